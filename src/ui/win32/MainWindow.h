// The real main window: its controls, its menu, and the binding of the main
// view and of the window's events to TForm1.
#pragma once

#include <vector>

#include "os/Struct.h"
#include "ui/Main.h"
#include "ui/win32/Controls.h"
#include "ui/win32/AboutDialog.h"
#include "ui/win32/FindDialog.h"
#include "ui/win32/SettingsDialog.h"
#include "view/MainView.h"

// The controls and commands of the main window, by their names in the layout.
enum : int {
  IdComboBox1 = 101,  // ComboBox1: the process selector
  IdButton3,          // Button3: "End process"
  IdListView1,        // ListView1: the file list
  IdLabel1,           // Label1: "Open files: "
  IdButton1,          // Button1: "Refresh"
  IdButton2,          // Button2: "Exit"
  IdStatusBar1,       // StatusBar1: status and process count
  IdGroupBox1,        // GroupBox1: "Process list"
  IdGroupBox2,        // GroupBox2: "Files"
  IdN2 = 201,         // N2: File, "&Save report" (Ctrl+S)
  IdN6,               // N6: File, "Refresh" (F5)
  IdN7,               // N7: File, "Exit" (Alt+F4)
  IdN4,               // N4: "Settings" on the menu bar
  IdN5,               // N5: "About" on the menu bar
  IdN8,               // N8: File, "&Find open file..." (Ctrl+F)
  IdN9,               // N9: file list menu, "&Properties"
  IdN10,              // N10: file list menu, "&Close handle..."
  IdN11,              // N11: file list menu, "C&opy" (Ctrl+C)
  IdN12,              // N12: File, "E&xplorer menu entry", checked when it is there
  IdTimer1 = RefreshTimerId,  // Timer1: the refresh timer
  WmShowRows = WM_APP + 1,    // the rows added since the last paint are shown
  IdShowRowsTimer = 2,        // the same, once the rows must wait to be shown
  WmStart = WM_APP + 2,       // the window is up: the command line's search
};

class TWin32MainView : public TMainView {
 public:
  HWND Window = nullptr, StatusBar = nullptr, Label = nullptr, List = nullptr, Selector = nullptr,
       EndProcess = nullptr;
  HMENU Menu = nullptr;

  void SetStatus(int Panel, const std::string& Text) override;
  void SetOpenFilesLabel(const std::string& Text) override;
  void ClearFiles() override;
  void AddFile(const TFileRow& Row) override;
  size_t FileCount() const override { return Rows.size(); }
  TFileRow File(size_t Index) const override { return Rows.at(Index); }
  void SortFiles(TRowCompare Compare, int Data) override;
  int SelectedFile() const override;
  void ClearSelector() override;
  void AddSelectorLine(const std::string& Line) override;
  int SelectorPosition() const override;
  void SetSelectorPosition(int Position) override;
  std::string SelectorText() const override;
  void SetEndProcessEnabled(bool Enabled) override;
  void SetSaveReportEnabled(bool Enabled) override;
  TRefreshTimer& Timer() override { return TimerState; }
  // Shows the rows added since the last dispatch of events.
  void ShowRows();
  // The text of one cell, for the list view that shows it.
  const char* CellText(size_t Row, int Column) const;

 protected:
  HWND TimerWindow() const override { return Window; }

 private:
  std::vector<TFileRow> Rows;
  TRefreshTimer TimerState;
  bool Deferred = false;
  DWORD LastShown = 0;
  size_t Known = 0;  // the rows the list has been told of
};

class TMainWindow {
 public:
  TForm1 Form;
  TWin32MainView Screen;
  HWND Handle = nullptr;
  TOwnedAccelerators Accelerators;
  TOwnedMenu PopupMenu1;  // the file list's context menu

  // Creates the window with every control, centred on the desktop, hidden.
  bool Create(HINSTANCE Instance);
  // Wires the Settings and About commands to their dialogs.
  void Attach(TSettingsWindow& Settings, TAboutWindow& About, TFindWindow& Find);
  // Shows it; the first showing runs the start-up sequence, and then what
  // Arguments (the command line's, after the program's name) ask for.
  void Show(int ShowCommand, std::vector<TWideString> Arguments = {});
  // Accelerators and dialog keys, for the message loop and for the pass's
  // own dispatch of pending events.
  bool PreTranslate(MSG* Message);

 private:
  static LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L);
  LRESULT Handle_(UINT Message, WPARAM W, LPARAM L);
  void Command(int Id, int Code, HWND From);
  // The file list's menu at a point of the screen (mouse), or at the
  // selected row (keyboard: Keyboard true).
  void ShowFileMenu(POINT At, bool Keyboard);
  bool MenuKey(const MSG& Message);
  bool SwallowF10Up = false;
  bool Shown = false;
  std::vector<TWideString> Arguments;
  TPickFilter Picks;
};

// The program's one main window, for the message filter of the pass.
TMainWindow* MainWindow();
// Runs the message loop until the main window is gone; returns the exit code.
int RunMessageLoop(TMainWindow& Window);
