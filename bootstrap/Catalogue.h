#pragma once
// The product catalogue: which files each product downloads, under which
// names. The installer applies it at start-up; the vendor's tools (demo tree,
// publishing, server check) read it from here too, so it stands in one place.
#include <vector>

#include "bootstrap/State.h"
#include "framework/Types.h"

// Fills the download list for the product the program name selects.
void ApplyCatalogue(TBootstrapState& state);

// True for the database package's server names, one for each processor width.
bool IsDatabasePackage(const AnsiText& serverName);

// Every product code the catalogue knows, in catalogue order.
std::vector<AnsiText> ProductCodes();

struct TProductFile {
  AnsiText ServerName;
  AnsiText LocalName;
  bool operator==(const TProductFile&) const = default;
};
// The files a program name downloads on a machine of that width, in download
// order, as the installer's download list has them; empty for no product.
std::vector<TProductFile> DownloadList(const AnsiText& programName, bool is64Bit);
// The files a program name downloads, in download order, with both database
// packages (the 32-bit one first) where the product has one; empty when the
// name selects no product.
std::vector<TProductFile> ProductFiles(const AnsiText& programName);
