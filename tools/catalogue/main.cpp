// catalogue            prints every product code, one a line
// catalogue NAME       prints the product code NAME selects, then one line
//                      "SERVER-NAME LOCAL-NAME" for each of its files (both
//                      database packages); exits 1 when NAME selects nothing
//
// The vendor's scripts read the catalogue through this, so it stands only in
// the installer's code.
#include <cstdio>
#include <iostream>

#include "bootstrap/Catalogue.h"
#include "textconv/Utility.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: catalogue [PROGRAM-NAME]\n";
    return 2;
  }
  if (argc == 1) {
    for (const AnsiText& code : ProductCodes()) std::cout << code << '\n';
    return 0;
  }
  const AnsiText name = argv[1];
  const std::vector<TProductFile> files = ProductFiles(name);
  if (files.empty()) {
    std::cerr << "catalogue: no product is called " << name << "\n";
    return 1;
  }
  std::cout << CzechUpper(name) << '\n';
  for (const TProductFile& file : files) std::cout << file.ServerName << ' ' << file.LocalName << '\n';
  return std::cout.flush() ? 0 : 1;
}
