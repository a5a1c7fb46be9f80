// The Settings and About dialogs as real windows, each shown modally over the
// main window.
#pragma once

#include "os/Struct.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"

enum : int {
  IdGroupBox1Settings = 301,
  IdRadioButton1,
  IdRadioButton2,
  IdGroupBox2Settings,
  IdRadioButton3,
  IdRadioButton4,
  IdLabel1Settings,
  IdSpinEdit1,
  IdSpinArrows,
  IdLabel2Settings,
  IdOk = IDOK,
  IdCancel = IDCANCEL,
  IdPanel1 = 401,
  IdImage1,
  IdLabel1About,
  IdLabel4,
  IdLabel5,
  IdLabel3,
  IdLabel2About,
  IdButton1About,
};

class TSettingsWindow {
 public:
  TForm2 Form;
  HWND Handle = nullptr;
  // Shows the dialog modally over Owner; returns when it is closed.
  void ShowModal(HWND Owner);

 private:
  static LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L);
  static LRESULT CALLBACK SpinProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  void Store();
  void ShowSpin();
  int FocusId = IdOk;  // where the focus was when it last closed
  bool Done = false;
  HFONT Font = nullptr;
};

class TAboutWindow {
 public:
  TForm3 Form;
  HWND Handle = nullptr;
  void ShowModal(HWND Owner);

 private:
  static LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L);
  static LRESULT CALLBACK LinkProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  static LRESULT CALLBACK ImageProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  void PaintPicture(HWND Image, HDC Dc);
  bool Done = false;
  HFONT Font = nullptr, Underlined = nullptr;
};

// Creates a fixed dialog-framed popup of the given client size, centred on
// Owner, with the program's font.
HWND CreateDialogFrame(const char* Class, const char* Title, int Width, int Height, HWND Owner, void* Self,
                       WNDPROC Procedure);
// Runs a modal loop for Dialog until Done becomes true.
void RunModal(HWND Owner, HWND Dialog, const bool& Done);
HFONT ProgramFont(bool Underline = false, bool Cyrillic = false);
