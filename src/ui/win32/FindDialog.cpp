#include "ui/win32/FindDialog.h"

#include "ui/win32/Controls.h"

namespace {

// In the Settings dialog's style: the field and its Browse button, then Find
// (the default) and Cancel.
const TControl FindLayout[] = {
    {IdLabel1Find, "STATIC", "Name or path contains:", SS_LEFT, 8, 8, 0, 13},
    {IdEdit1Find, "EDIT", "", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, 8, 24, 225, 21, WS_EX_CLIENTEDGE},
    {IdButton3Find, "BUTTON", "Browse...", BS_PUSHBUTTON | WS_TABSTOP, 240, 22, 75, 25},
    {IdOk, "BUTTON", "Find", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 160, 60, 75, 25},
    {IdCancel, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 240, 60, 75, 25},
};

}  // namespace

void TFindWindow::OnInit() {
  Form.Handle = Handle;
  MakeControls(Handle, FindLayout);
  HWND Edit = GetDlgItem(Handle, IdEdit1Find);
  SetWindowTextA(Edit, Form.Edit1.c_str());  // the last text of the run
  SendMessageA(Edit, EM_SETSEL, 0, -1);
  SetFocus(Edit);
}

void TFindWindow::OnCommand(int Id, int Code, HWND) {
  if (Code != BN_CLICKED) return;
  HWND Edit = GetDlgItem(Handle, IdEdit1Find);
  Form.Edit1 = TextOf(Edit);
  if (Id == IdOk) {
    Form.Button1Click();
  } else if (Id == IdCancel) {
    Form.Button2Click();
  } else if (Id == IdButton3Find) {
    Form.Button3Click();
    SetWindowTextA(Edit, Form.Edit1.c_str());
  }
}
