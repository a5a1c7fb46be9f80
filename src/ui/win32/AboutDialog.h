// The About dialog as a real window: the picture, the version line and the
// maker's links, shown modally over the main window.
#pragma once

#include "ui/Unit3.h"
#include "ui/win32/ModalDialog.h"

// Its controls, by their names in the layout; its OK is IdOk.
enum : int {
  IdPanel1 = 401,  // Panel1: the picture's frame
  IdImage1,        // Image1: the picture
  IdLabel1About,   // Label1: the version line
  IdLabel4,        // Label4: the maker's notice
  IdLabel5,        // Label5: the web link
  IdLabel3,        // Label3: "Support Service"
  IdLabel2About,   // Label2: the mail link
};

class TAboutWindow final : public TModalDialog {
 public:
  TForm3 Form;
  TAboutWindow() : TModalDialog({"TForm3", "About", 322, 223}) {}

 private:
  void OnInit() override;
  void OnCommand(int Id, int Code, HWND From) override;
  void OnEnd() override { Form.Handle = nullptr; }
  LRESULT OnMessage(UINT Message, WPARAM W, LPARAM L) override;
  static LRESULT CALLBACK LinkProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  static LRESULT CALLBACK ImageProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  void PaintPicture(HWND Image, HDC Dc);
};
