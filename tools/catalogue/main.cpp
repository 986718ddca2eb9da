// catalogue                prints every product code, one a line
// catalogue NAME [32|64]   prints the product code NAME selects, then one
//                          line "SERVER-NAME LOCAL-NAME" for each of its files:
//                          with a width, the download list of a machine of
//                          that width; without, both database packages.
//                          Exits 1 when NAME selects nothing.
//
// The vendor's scripts and the tests read the catalogue through this, so it
// stands only in the installer's code.
#include <iostream>
#include <string>

#include "bootstrap/Catalogue.h"
#include "textconv/Utility.h"

int main(int argc, char** argv) {
  const std::string width = argc > 2 ? argv[2] : "";
  if (argc > 3 || (argc == 3 && width != "32" && width != "64")) {
    std::cerr << "usage: catalogue [PROGRAM-NAME [32|64]]\n";
    return 2;
  }
  if (argc == 1) {
    for (const AnsiText& code : ProductCodes()) std::cout << code << '\n';
    return 0;
  }
  const AnsiText name = argv[1];
  const std::vector<TProductFile> files =
      width.empty() ? ProductFiles(name) : DownloadList(name, width == "64");
  if (files.empty()) {
    std::cerr << "catalogue: no product is called " << name << "\n";
    return 1;
  }
  std::cout << CzechUpper(name) << '\n';
  for (const TProductFile& file : files) std::cout << file.ServerName << ' ' << file.LocalName << '\n';
  return std::cout.flush() ? 0 : 1;
}
