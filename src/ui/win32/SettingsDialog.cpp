#include "ui/win32/SettingsDialog.h"

#include <commctrl.h>

#include <utility>

#include "ui/win32/Controls.h"

namespace {

char DecimalSeparator() {
  char Text[8] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, Text, sizeof Text);
  return Text[0] ? Text[0] : '.';
}

// As laid out; the spin field is an edit and its arrows, 41 pixels wide
// together.
const TControl SettingsLayout[] = {
    {IdGroupBox1Settings, "BUTTON", "Viewer mode", BS_GROUPBOX, 8, 0, 265, 65},
    {IdRadioButton1, "BUTTON", "Advanced", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 16, 16, 169, 17},
    {IdRadioButton2, "BUTTON", "Normal", BS_AUTORADIOBUTTON, 16, 40, 113, 17},
    {IdGroupBox2Settings, "BUTTON", "Sorting mode", BS_GROUPBOX | WS_GROUP, 8, 72, 265, 65},
    {IdRadioButton3, "BUTTON", "process ID", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 16, 88, 185, 17},
    {IdRadioButton4, "BUTTON", "process name", BS_AUTORADIOBUTTON, 16, 112, 177, 17},
    {IdLabel1Settings, "STATIC", "Refresh rate", SS_LEFT | WS_GROUP, 8, 147, 0, 13},
    {IdSpinEdit1, "EDIT", "", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, 72, 144, 25, 22, WS_EX_CLIENTEDGE},
    {IdSpinArrows, UPDOWN_CLASSA, "", 0, 97, 144, 16, 22},
    {IdLabel2Settings, "STATIC", "seconds", SS_LEFT, 115, 147, 0, 13},
    {IdOk, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 120, 176, 75, 25},
    {IdCancel, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 200, 176, 75, 25},
};

// Each radio button and the form's field that holds it.
const std::pair<int, bool TForm2::*> Radios[] = {{IdRadioButton1, &TForm2::RadioButton1},
                                                 {IdRadioButton2, &TForm2::RadioButton2},
                                                 {IdRadioButton3, &TForm2::RadioButton3},
                                                 {IdRadioButton4, &TForm2::RadioButton4}};

}  // namespace

TSettingsWindow::TSettingsWindow() : TModalDialog({"TForm2", "Settings", 280, 205}) {
  Form.CloseDialog = [this] {
    HWND Focus = GetFocus();
    if (Focus && GetParent(Focus) == Handle) FocusId = GetDlgCtrlID(Focus);
    Close();
  };
}

void TSettingsWindow::OnInit() {
  MakeControls(Handle, SettingsLayout);
  HWND Spin = GetDlgItem(Handle, IdSpinEdit1), Arrows = GetDlgItem(Handle, IdSpinArrows);
  SendMessageA(Arrows, UDM_SETRANGE32, 0, 512);
  SendMessageA(Arrows, UDM_SETPOS32, 0, 256);
  SetWindowSubclass(Spin, SpinProcedure, 1, reinterpret_cast<DWORD_PTR>(this));

  for (auto [Id, Checked] : Radios) CheckDlgButton(Handle, Id, Form.*Checked ? BST_CHECKED : BST_UNCHECKED);
  ShowSpin();
  HWND Focus = GetDlgItem(Handle, FocusId);
  SetFocus(Focus ? Focus : GetDlgItem(Handle, IdOk));
}

void TSettingsWindow::ShowSpin() {
  HWND Spin = GetDlgItem(Handle, IdSpinEdit1);
  if (TextOf(Spin) != Form.SpinEdit1.Text) SetWindowTextA(Spin, Form.SpinEdit1.Text.c_str());
}

void TSettingsWindow::Store() {
  for (auto [Id, Checked] : Radios) Form.*Checked = IsDlgButtonChecked(Handle, Id) == BST_CHECKED;
  Form.SpinEdit1.Text = TextOf(GetDlgItem(Handle, IdSpinEdit1));
}

LRESULT CALLBACK TSettingsWindow::SpinProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR,
                                                DWORD_PTR Data) {
  auto* Me = reinterpret_cast<TSettingsWindow*>(Data);
  switch (Message) {
    case WM_CHAR:
      if (!TSpinField::AcceptsKey(static_cast<char>(W), DecimalSeparator())) {
        MessageBeep(0);
        return 0;
      }
      break;
    case WM_KEYDOWN:
      if (W == VK_UP || W == VK_DOWN) {
        Me->Form.SpinEdit1.Text = TextOf(Window);
        Me->Form.SpinEdit1.Step(W == VK_UP ? 1 : -1);
        Me->ShowSpin();
        return 0;
      }
      break;
    case WM_KILLFOCUS:
      Me->Form.SpinEdit1.Text = TextOf(Window);
      Me->Form.SpinEdit1.LoseFocus();
      Me->ShowSpin();
      break;
  }
  return DefSubclassProc(Window, Message, W, L);
}

void TSettingsWindow::OnCommand(int Id, int Code, HWND From) {
  if (Id == IdOk && Code == BN_CLICKED) {
    Store();
    Form.Button1Click();
  } else if (Id == IdCancel && Code == BN_CLICKED) {
    Form.Button2Click();
  } else if (Id == IdSpinEdit1 && Code == EN_CHANGE) {
    Form.SpinEdit1.Text = TextOf(From);
  }
}

LRESULT TSettingsWindow::OnMessage(UINT Message, WPARAM W, LPARAM L) {
  auto* Header = reinterpret_cast<NMHDR*>(L);
  if (Message == WM_NOTIFY && Header->idFrom == IdSpinArrows && Header->code == UDN_DELTAPOS) {
    int Delta = reinterpret_cast<NMUPDOWN*>(L)->iDelta;
    Form.SpinEdit1.Text = TextOf(GetDlgItem(Handle, IdSpinEdit1));
    Form.SpinEdit1.Step(Delta > 0 ? 1 : -1);
    ShowSpin();
    return TRUE;  // the arrows keep no position of their own
  }
  return TModalDialog::OnMessage(Message, W, L);
}
