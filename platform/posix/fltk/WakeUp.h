#pragma once
// Workers' hand-offs reach FLTK's loop through Fl::awake.

// Makes the main-thread queue wake FLTK's loop; the loop then runs what is queued.
void InstallWakeUp();
void RemoveWakeUp();
