// box_text TITLE: prints the text of the message box titled TITLE that is
// open on this desktop, so a run checked from outside can tell which message
// the user was shown. Exits 1 when there is none.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
BOOL CALLBACK TakeStatic(HWND child, LPARAM text) {
  char className[16] = {};
  GetClassNameA(child, className, sizeof className);
  if (lstrcmpiA(className, "Static") != 0) return TRUE;
  char buffer[1024] = {};
  GetWindowTextA(child, buffer, sizeof buffer);
  // The icon is a static control too, without text.
  if (buffer[0] == '\0') return TRUE;
  *reinterpret_cast<std::string*>(text) = buffer;
  return FALSE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: box_text TITLE\n");
    return 2;
  }
  const HWND box = FindWindowA("#32770", argv[1]);
  if (box == nullptr) return 1;
  std::string text;
  EnumChildWindows(box, TakeStatic, reinterpret_cast<LPARAM>(&text));
  std::printf("%s\n", text.c_str());
  return text.empty() ? 1 : 0;
}
