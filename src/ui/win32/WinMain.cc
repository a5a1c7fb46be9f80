// The program's start: the main window, then the message loop.
#include "ui/win32/MainWindow.h"

namespace {
void FreeArguments(LPWSTR* Arguments) { LocalFree(Arguments); }
}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show) {
  // The main window, then the settings dialog, then the About dialog.
  static TMainWindow Window;
  static TSettingsWindow Settings;
  static TAboutWindow About;
  static TFindWindow Find;
  if (!Window.Create(Instance)) return 1;
  Window.Attach(Settings, About, Find);
  // The wide command line, split as every program's is; the window reads it.
  int Count = 0;
  const TOwned<LPWSTR*, FreeArguments> Split(CommandLineToArgvW(GetCommandLineW(), &Count));
  std::vector<TWideString> Arguments;
  for (int I = 1; Split && I < Count; ++I) Arguments.emplace_back(Split.Get()[I]);
  Window.Show(Show, std::move(Arguments));
  return RunMessageLoop(Window);
}
