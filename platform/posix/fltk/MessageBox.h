#pragma once
// The message box, drawn as Windows draws its own: the text on white, an
// error sign where asked for, and an OK button on a strip below.
#include <string>

#include "framework/Types.h"

class Fl_Window;

// Shows the box modally, centred on owner when it is shown (else on the
// screen), and returns once it is dismissed. Timers and workers' hand-offs
// go on meanwhile. xclass names the program to the window manager.
void ShowMessageBox(const AnsiText& title, const AnsiText& text, bool errorIcon, Fl_Window* owner,
                    const std::string& xclass);
