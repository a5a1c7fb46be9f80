// The Settings and About dialogs as real windows, each shown modally over the
// main window.
#pragma once

#include "os/Struct.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/FindForm.h"

// The controls of the two dialogs, by their names in the layout.
enum : int {
  IdGroupBox1Settings = 301,  // Settings GroupBox1: "Viewer mode"
  IdRadioButton1,             // RadioButton1: "Advanced"
  IdRadioButton2,             // RadioButton2: "Normal"
  IdGroupBox2Settings,        // Settings GroupBox2: "Sorting mode"
  IdRadioButton3,             // RadioButton3: "process ID"
  IdRadioButton4,             // RadioButton4: "process name"
  IdLabel1Settings,           // Settings Label1: "Refresh rate"
  IdSpinEdit1,                // SpinEdit1: the refresh period, its text
  IdSpinArrows,               // SpinEdit1's arrows
  IdLabel2Settings,           // Settings Label2: "seconds"
  IdOk = IDOK,                // Button1 of either dialog: OK
  IdCancel = IDCANCEL,        // Settings Button2: "Cancel"
  IdPanel1 = 401,             // About Panel1: the picture's frame
  IdImage1,                   // Image1: the picture
  IdLabel1About,              // About Label1: the version line
  IdLabel4,                   // Label4: the maker's notice
  IdLabel5,                   // Label5: the web link
  IdLabel3,                   // Label3: "Support Service"
  IdLabel2About,              // About Label2: the mail link
  IdLabel1Find = 501,         // Find Label1: "Name or path contains:"
  IdEdit1Find,                // Find Edit1: the text sought
  IdButton3Find,              // Find Button3: "Browse..."
};

class TSettingsWindow {
 public:
  TForm2 Form;
  HWND Handle = nullptr;
  // Shows the dialog modally over Owner; returns when it is closed.
  void ShowModal(HWND Owner);
  // Every message but those the dialogs' class procedure answers.
  LRESULT Handle_(HWND Window, UINT Message, WPARAM W, LPARAM L);

 private:
  static LRESULT CALLBACK SpinProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  void Store();
  void ShowSpin();
  int FocusId = IdOk;  // where the focus was when it last closed
  bool Done = false;
};

class TAboutWindow {
 public:
  TForm3 Form;
  HWND Handle = nullptr;
  void ShowModal(HWND Owner);
  // Every message but those the dialogs' class procedure answers.
  LRESULT Handle_(HWND Window, UINT Message, WPARAM W, LPARAM L);

 private:
  static LRESULT CALLBACK LinkProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  static LRESULT CALLBACK ImageProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  void PaintPicture(HWND Image, HDC Dc);
  bool Done = false;
};

class TFindWindow {
 public:
  TFindForm Form;
  HWND Handle = nullptr;
  void ShowModal(HWND Owner);
  // Every message but those the dialogs' class procedure answers.
  LRESULT Handle_(HWND Window, UINT Message, WPARAM W, LPARAM L);

 private:
  bool Done = false;
};

// Creates a fixed dialog-framed popup of the given client size, centred on
// Owner, with the program's font.
HWND CreateDialogFrame(const char* Class, const char* Title, int Width, int Height, HWND Owner, void* Self,
                       WNDPROC Procedure);
// Runs a modal loop for Dialog until Done becomes true.
void RunModal(HWND Owner, HWND Dialog, const bool& Done);
