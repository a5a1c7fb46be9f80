// The main window's behaviour, apart from its controls: every handler the
// window binds, over the main view and the system. The Win32 window only
// forwards its events here.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "inspect/HoldWalk.h"
#include "inspect/PassOwner.h"
#include "os/System.h"
#include "view/MainView.h"
#include "ui/Unit2.h"
#include "ui/FindForm.h"

extern int SortDirection;

int CompareByHandle(const TFileRow& A, const TFileRow& B, int Direction);
int CompareByName(const TFileRow& A, const TFileRow& B, int Direction);
int CompareByType(const TFileRow& A, const TFileRow& B, int Direction);

// The error box's text: the message, with "." added when its last character
// comes after "." in the character order.
std::string ErrorBoxText(const std::string& Message);

// A row as the clipboard gets it: its cells separated by tabs, ended by CR LF.
std::string RowText(const TFileRow& Row);

// What the file list's context menu enables for the selected row.
struct TFileMenu {
  bool Properties = false, CloseHandle = false, Copy = false;
};

// Turns the selector's notifications into picks: exactly one per pick, with
// the mouse or the keyboard, whatever order the system sends them in (Wine
// follows the close-up of a mouse pick with a selection change).
class TPickFilter {
 public:
  enum TNote { DropDown, SelEndOk, CloseUp, SelChange };
  // True when this notification completes a pick. Dropped: whether the list
  // is open as it arrives; Position: the selected line.
  bool Picked(TNote Note, bool Dropped, int Position);

 private:
  bool Chosen = false;  // a line was chosen in the open list: picked at its close
  int ClosedOn = -1;    // the line the last close-up picked, until its own change note
};

class TForm1 {
 public:
  HWND Handle = nullptr;                 // owner of the boxes it shows
  std::function<void()> CloseWindow;     // closes the real window
  TForm2* Form2 = nullptr;               // the settings dialog's state
  std::function<void()> ShowSettings;    // the settings dialog, modal
  std::function<void()> ShowAbout;       // the About dialog, modal
  TFindForm* Form4 = nullptr;            // the Find open file dialog's state
  std::function<void()> ShowFind;        // the Find open file dialog, modal

  // The window exists: its timer is armed, and a failure shows in the error box.
  void FormCreate();  // window made: the refresh timer armed
  void FormShow();    // window shown: the start-up sequence
  // Then, once: the command line's search (/file PATH, /find TEXT), or an
  // error box naming what it did not understand.
  void Start(const std::vector<TWideString>& Arguments);
  // Whether the window may close now; during a pass it closes after the pass.
  bool FormCloseQuery();
  void FormClose();                      // window closing: settings saved
  void ComboBox1DropDown();              // selector opened: timer stopped
  void ComboBox1Select();                // selector line picked: the selection handler
  void Button3Click();                   // "End process"
  void Button1Click();                   // "Refresh", the button and the menu item (F5)
  void Timer1Timer();                    // refresh timer tick
  void Button2Click();                   // "Exit" button
  void N7Click();                        // File, "Exit" (Alt+F4)
  void N2Click();                        // File, "&Save report" (Ctrl+S)
  void N4Click();                        // "Settings"
  void N5Click();                        // "About"
  void N8Click();                        // File, "&Find open file..." (Ctrl+F)
  void N12Click();                       // File, "E&xplorer menu entry": added, or removed, for this user
  bool N12Checked() const;               // whether that entry is there, as the File menu opens
  void ListView1ColumnClick(int Column);  // column header clicked: sort
  void ListView1DblClick();               // row double-clicked: Properties, or a found process picked
  TFileMenu PopupMenu1Popup() const;      // the file list's context menu opens on the selected row
  void N9Click();                         // file list menu, "&Properties"
  void N10Click();                        // file list menu, "&Close handle..."
  void N11Click();                        // file list menu, "C&opy" (Ctrl+C)
  void RefreshAll();

  // Runs an event handler as the message loop does: an error that escapes it
  // is shown in the error box and the program goes on.
  void HandleEvent(const std::function<void()>& Handler);
  void ShowError(const std::string& Message);

 private:
  // Work that starts a pass or rebuilds the list. During a pass it asks the
  // pass to stop and runs once the pass has returned, so the list never holds
  // rows of two passes; it runs under the error box like any event.
  void Submit(TCommandKind Kind, std::function<void()> Work);
  void SelectionHandler();
  void EndProcess(DWORD Pid);
  void SaveReportCommand();
  void SortColumn(int Column);
  void Search(const THoldFilter& Filter);
  void Refresh();
  // A file row with the process that holds its handle.
  struct TTarget {
    DWORD Pid = 0;
    std::string Process;  // the executable's name
    TFileRow Row;
    bool operator==(const TTarget& Other) const {
      return Pid == Other.Pid && Process == Other.Process && Row == Other.Row;
    }
  };
  bool TargetOf(int Row, TTarget* Target) const;
  void CloseHandleCommand(const TTarget& Asked);
  bool ShowsSearch = false;  // the list holds a search's result
  THoldFilter Sought;        // what that search looked for
};
