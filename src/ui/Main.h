// The main window's behaviour, apart from its controls: every handler the
// window binds, over the main view and the system. The Win32 window only
// forwards its events here.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

#include "os/System.h"
#include "ui/MainView.h"
#include "ui/Unit2.h"

// An error that reaches the message loop and is shown in the error box.
class TAppError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

extern int SortDirection;

int CompareByHandle(const TFileRow& A, const TFileRow& B, int Direction);
int CompareByName(const TFileRow& A, const TFileRow& B, int Direction);
int CompareByType(const TFileRow& A, const TFileRow& B, int Direction);

// The error box's text: the message, with "." added when its last character
// comes after "." in the character order.
std::string ErrorBoxText(const std::string& Message);

class TForm1 {
 public:
  HWND Handle = nullptr;                 // owner of the boxes it shows
  std::function<void()> CloseWindow;     // closes the real window
  TForm2* Form2 = nullptr;               // the settings dialog's state
  std::function<void()> ShowSettings;    // the settings dialog, modal
  std::function<void()> ShowAbout;       // the About dialog, modal

  void FormShow();
  void FormClose();
  void ComboBox1DropDown();
  void ComboBox1Select();
  void Button3Click();
  void Button1Click();
  void Timer1Timer();
  void Button2Click();
  void N7Click();
  void N2Click();
  void N4Click();
  void N5Click();
  void ListView1ColumnClick(int Column);
  void ListView1DblClick();
  void RefreshAll();

  // Runs an event handler as the message loop does: an error that escapes it
  // is shown in the error box and the program goes on.
  void HandleEvent(const std::function<void()>& Handler);
  void ShowError(const std::string& Message);

 private:
  // Work that starts a pass or rebuilds the list. During a pass it asks the
  // pass to stop and runs once the pass has returned, so the list never holds
  // rows of two passes.
  void RunExclusive(std::function<void()> Work);
  void SelectionHandler();
  void EndProcess(DWORD Pid);

  std::deque<std::function<void()>> Pending;
  bool Draining = false;
};
