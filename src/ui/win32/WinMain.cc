// The program's start: the main window, then the message loop.
#include "ui/win32/MainWindow.h"

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show) {
  static TMainWindow Window;
  if (!Window.Create(Instance)) return 1;
  Window.Show(Show);
  return RunMessageLoop(Window);
}
