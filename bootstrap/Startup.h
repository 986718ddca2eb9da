#pragma once
#include <string_view>

#include "bootstrap/Catalogue.h"
#include "bootstrap/State.h"
#include "bootstrap/System.h"
#include "framework/Types.h"

inline constexpr const char* kFolderErrorMessage = "Nelze vytvorit tmp adresar";

struct TColourScheme {
  TColor PanelColor;
  TColor GaugeColor;
};

// The executable's file name without its last four characters.
AnsiText DeriveProgramName(const AnsiText& modulePath, char delimiter);
// One environment variable, empty when unset.
AnsiText GetEnv(ISystem& system, const AnsiText& name);
// The machine's processor architecture, whatever the width of this program:
// processor_architew6432 when set (a 32-bit process on 64-bit Windows), else
// processor_architecture.
AnsiText MachineArchitecture(ISystem& system);
// Case-sensitive: only a lower-case "zulan" picks the violet scheme.
TColourScheme ColourScheme(const AnsiText& programName);

// What start-up hands to the window.
struct TStartupResult {
  AnsiText Caption;
  TColourScheme Colours{};
  bool FolderReady = false;
};

// Derives the program name, folders, processor width, caption, colours and
// download list, and creates the download folder. The window applies the
// result; when the folder cannot be created it shows kFolderErrorMessage and
// closes.
TStartupResult RunStartup(TBootstrapState& state, ISystem& system);
