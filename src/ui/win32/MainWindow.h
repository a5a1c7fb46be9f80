// The real main window: its controls, its menu, and the binding of the main
// view and of the window's events to TForm1.
#pragma once

#include <vector>

#include "os/Struct.h"
#include "ui/Main.h"
#include "ui/MainView.h"
#include "ui/win32/Dialogs.h"

enum : int {
  IdComboBox1 = 101,
  IdButton3,
  IdListView1,
  IdLabel1,
  IdButton1,
  IdButton2,
  IdStatusBar1,
  IdGroupBox1,
  IdGroupBox2,
  IdN2 = 201,  // &Save report
  IdN6,        // Refresh
  IdN7,        // Exit
  IdN4,        // Settings
  IdN5,        // About
  IdTimer1 = RefreshTimerId,
  WmShowRows = WM_APP + 1,
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
  // Repaints the rows added since the last dispatch of events.
  void ShowRows();

 protected:
  HWND TimerWindow() const override { return Window; }

 private:
  void InsertRow(size_t Index);
  std::vector<TFileRow> Rows;
  TRefreshTimer TimerState;
  bool Deferred = false;
};

class TMainWindow {
 public:
  TForm1 Form;
  TWin32MainView Screen;
  HWND Handle = nullptr;
  HACCEL Accelerators = nullptr;

  // Creates the window with every control, centred on the desktop, hidden.
  bool Create(HINSTANCE Instance);
  // Wires the Settings and About commands to their dialogs.
  void Attach(TSettingsWindow& Settings, TAboutWindow& About);
  // Shows it; the first showing runs the start-up sequence.
  void Show(int ShowCommand);
  // Accelerators and dialog keys, for the message loop and for the pass's
  // own dispatch of pending events.
  bool PreTranslate(MSG* Message);

 private:
  static LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L);
  LRESULT Handle_(UINT Message, WPARAM W, LPARAM L);
  void Command(int Id, int Code, HWND From);
  bool Shown = false;
  TPickFilter Picks;
  HFONT Font = nullptr;
};

// The program's one main window, for the message filter of the pass.
TMainWindow* MainWindow();
// Runs the message loop until the main window is gone; returns the exit code.
int RunMessageLoop(TMainWindow& Window);
