#pragma once
#include <array>
#include <cstdint>

#include "framework/Types.h"

// The installer's process-wide record. Written at start-up, then advanced by
// the download sequencer and the completion step; touched only from the UI
// thread.
struct TBootstrapState {
  static constexpr int kSlots = 10;

  AnsiText ProgramName;
  AnsiText DownloadFolder;    // always ends with the path delimiter
  AnsiText SharedDataFolder;  // always ends with the path delimiter
  bool Is64Bit = false;
  // Slots 1..10; index 0 is unused so slot numbers read as they are spoken.
  std::array<AnsiText, kSlots + 1> ServerFileNames{};
  std::array<AnsiText, kSlots + 1> LocalFileNames{};
  std::int32_t FileCount = 0;
  std::int32_t CurrentIndex = 0;
  AnsiText LanguageCode;
  AnsiText LaunchPath;
};

// The one record of this process.
TBootstrapState& BootstrapState();
