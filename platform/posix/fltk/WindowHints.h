#pragma once
// What the program reads from the X display and asks of its window manager.
#include <string>

class Fl_Window;

// Opens the display and gives every window of the program the same look.
void OpenDisplay();

// The desktop's resolution as X clients share it, in Xft.dpi; 96 without one.
int XftDpi();

// Asks the window manager for a dialog frame: title and close button, no
// resizing, minimising or maximising.
void SetDialogFrame(Fl_Window& window);

// Names the window for taskbars and pagers (its icon name), in UTF-8.
void SetIconName(Fl_Window& window, const std::string& utf8);

void CentreOn(Fl_Window& window, int areaX, int areaY, int areaW, int areaH);
