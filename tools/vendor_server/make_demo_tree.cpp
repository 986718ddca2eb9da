// make_demo_tree OUT_DIR SETUP_PROGRAM: the download tree of the demo, served by vendor_server --root
// OUT_DIR.
#include <exception>
#include <iostream>

#include "DemoTree.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_demo_tree OUT_DIR SETUP_PROGRAM\n";
    return 2;
  }
  try {
    const vendor::DemoTreeStats stats = vendor::MakeDemoTree(argv[1], argv[2]);
    std::cout << "demo tree in " << argv[1] << ": " << stats.folders << " folders, " << stats.files
              << " files, " << stats.dataBytes << " bytes of distinct content\n";
  } catch (const std::exception& e) {
    std::cerr << "make_demo_tree: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
