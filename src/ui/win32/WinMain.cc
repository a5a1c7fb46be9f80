// The program's start: the main window, then the message loop.
#include "ui/win32/MainWindow.h"

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show) {
  // The main window, then the settings dialog, then the About dialog.
  static TMainWindow Window;
  static TSettingsWindow Settings;
  static TAboutWindow About;
  static TFindWindow Find;
  if (!Window.Create(Instance)) return 1;
  Window.Attach(Settings, About, Find);
  Window.Show(Show);
  return RunMessageLoop(Window);
}
