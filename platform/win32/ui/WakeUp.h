#pragma once
// Workers' hand-offs reach the UI thread as a message posted to a hidden
// window; one posted message stands for any number of queued hand-offs, so
// a fast worker cannot flood the message queue.
// clang-format off
#include "platform/win32/ui/Win32WidgetSet.h"
#include <windows.h>
// clang-format on

constexpr UINT kWakeUp = WM_APP + 1;

// Makes the main-thread queue post kWakeUp to window through post.
void InstallWakeUp(HWND window, TWin32WidgetSet::TPostMessage post);
void RemoveWakeUp();
// kWakeUp arrived: runs what is queued.
void WakeUpArrived();
// The window is gone, and with it a wake-up still on its way.
void WakeUpWindowGone();
