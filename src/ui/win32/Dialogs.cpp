#include "ui/win32/Dialogs.h"

#include <commctrl.h>

#include <vector>

#include "ui/win32/Controls.h"
#include "view/Maker.h"

namespace {

char DecimalSeparator() {
  char Text[8] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, Text, sizeof Text);
  return Text[0] ? Text[0] : '.';
}

// The Settings dialog, as laid out; the spin field is an edit and its arrows,
// 41 pixels wide together.
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

// The About dialog, as laid out. The picture lies on the panel: each clips
// the other so neither paints over it. The OK button's caption is set as wide
// text after it is made.
const TControl AboutLayout[] = {
    {IdPanel1, "STATIC", "", SS_SUNKEN | WS_BORDER | WS_CLIPSIBLINGS, 0, 0, 321, 129},
    {IdImage1, "STATIC", "", SS_NOTIFY | SS_OWNERDRAW | WS_CLIPSIBLINGS, 2, 2, 313, 121},
    {IdLabel4, "STATIC", MakerNotice, SS_LEFTNOWORDWRAP, 6, 154, 0, 13},
    {IdLabel5, "STATIC", MakerWebAddress, SS_LEFTNOWORDWRAP | SS_NOTIFY, 188, 154, 0, 13},
    {IdLabel3, "STATIC", "Support Service", SS_LEFTNOWORDWRAP, 100, 170, 0, 13},
    {IdLabel2About, "STATIC", MakerMailAddress, SS_LEFTNOWORDWRAP | SS_NOTIFY, 187, 170, 0, 13},
    {IdOk, "BUTTON", "", BS_DEFPUSHBUTTON | WS_TABSTOP, 120, 192, 75, 25},
};

// The Find open file dialog, in the Settings dialog's style: the field and
// its Browse button, then Find (the default) and Cancel.
const TControl FindLayout[] = {
    {IdLabel1Find, "STATIC", "Name or path contains:", SS_LEFT, 8, 8, 0, 13},
    {IdEdit1Find, "EDIT", "", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, 8, 24, 225, 21, WS_EX_CLIENTEDGE},
    {IdButton3Find, "BUTTON", "Browse...", BS_PUSHBUTTON | WS_TABSTOP, 240, 22, 75, 25},
    {IdOk, "BUTTON", "Find", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 160, 60, 75, 25},
    {IdCancel, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 240, 60, 75, 25},
};

// The class procedure of every dialog: finds the window's object, names OK
// the default button, and hands the object every other message.
template <typename T>
LRESULT CALLBACK DialogProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  auto* Me = Self<T>(Window, Message, L);
  if (!Me) return DefWindowProcA(Window, Message, W, L);
  if (Message == DM_GETDEFID) return MAKELRESULT(IdOk, DC_HASDEFID);
  return Me->Handle_(Window, Message, W, L);
}

}  // namespace

HWND CreateDialogFrame(const char* Class, const char* Title, int Width, int Height, HWND Owner, void* Self,
                       WNDPROC Procedure) {
  WNDCLASSEXA Info = {};
  Info.cbSize = sizeof Info;
  if (!GetClassInfoExA(GetModuleHandleA(nullptr), Class, &Info)) {
    Info = {};
    Info.cbSize = sizeof Info;
    Info.lpfnWndProc = Procedure;
    Info.hInstance = GetModuleHandleA(nullptr);
    Info.hCursor = LoadCursor(nullptr, IDC_ARROW);
    Info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    Info.lpszClassName = Class;
    RegisterClassExA(&Info);
  }
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU, ExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT Frame = {0, 0, Width, Height};
  AdjustWindowRectEx(&Frame, Style, FALSE, ExStyle);
  int W = Frame.right - Frame.left, H = Frame.bottom - Frame.top;
  RECT Around;
  GetWindowRect(Owner, &Around);
  int X = Around.left + (Around.right - Around.left - W) / 2, Y = Around.top + (Around.bottom - Around.top - H) / 2;
  return CreateWindowExA(ExStyle, Class, Title, Style, X, Y, W, H, Owner, nullptr, GetModuleHandleA(nullptr), Self);
}

void RunModal(HWND Owner, HWND Dialog, const bool& Done) {
  EnableWindow(Owner, FALSE);
  ShowWindow(Dialog, SW_SHOW);
  MSG Message;
  while (!Done) {
    BOOL Got = GetMessageA(&Message, nullptr, 0, 0);
    if (Got <= 0) {
      if (Got == 0) PostQuitMessage(static_cast<int>(Message.wParam));  // for the outer loop
      break;
    }
    if (IsDialogMessageA(Dialog, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  EnableWindow(Owner, TRUE);
  SetActiveWindow(Owner);
  DestroyWindow(Dialog);
}

// ---- Settings -------------------------------------------------------------------------

void TSettingsWindow::ShowModal(HWND Owner) {
  Done = false;
  Form.CloseDialog = [this] {
    HWND Focus = GetFocus();
    if (Focus && GetParent(Focus) == Handle) FocusId = GetDlgCtrlID(Focus);
    Done = true;
  };
  Handle = CreateDialogFrame("TForm2", "Settings", 280, 205, Owner, this, DialogProcedure<TSettingsWindow>);
  if (!Handle) return;
  MakeControls(Handle, SettingsLayout);
  HWND Spin = GetDlgItem(Handle, IdSpinEdit1), Arrows = GetDlgItem(Handle, IdSpinArrows);
  SendMessageA(Arrows, UDM_SETRANGE32, 0, 512);
  SendMessageA(Arrows, UDM_SETPOS32, 0, 256);
  SetWindowSubclass(Spin, SpinProcedure, 1, reinterpret_cast<DWORD_PTR>(this));

  CheckDlgButton(Handle, IdRadioButton1, Form.RadioButton1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(Handle, IdRadioButton2, Form.RadioButton2 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(Handle, IdRadioButton3, Form.RadioButton3 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(Handle, IdRadioButton4, Form.RadioButton4 ? BST_CHECKED : BST_UNCHECKED);
  ShowSpin();
  HWND Focus = GetDlgItem(Handle, FocusId);
  SetFocus(Focus ? Focus : GetDlgItem(Handle, IdOk));
  RunModal(Owner, Handle, Done);
  Handle = nullptr;
}

void TSettingsWindow::ShowSpin() {
  HWND Spin = GetDlgItem(Handle, IdSpinEdit1);
  if (TextOf(Spin) != Form.SpinEdit1.Text) SetWindowTextA(Spin, Form.SpinEdit1.Text.c_str());
}

void TSettingsWindow::Store() {
  Form.RadioButton1 = IsDlgButtonChecked(Handle, IdRadioButton1) == BST_CHECKED;
  Form.RadioButton2 = IsDlgButtonChecked(Handle, IdRadioButton2) == BST_CHECKED;
  Form.RadioButton3 = IsDlgButtonChecked(Handle, IdRadioButton3) == BST_CHECKED;
  Form.RadioButton4 = IsDlgButtonChecked(Handle, IdRadioButton4) == BST_CHECKED;
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

LRESULT TSettingsWindow::Handle_(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_COMMAND:
      if (LOWORD(W) == IdOk && HIWORD(W) == BN_CLICKED) {
        Store();
        Form.Button1Click();
      } else if (LOWORD(W) == IdCancel && HIWORD(W) == BN_CLICKED) {
        Form.Button2Click();
      } else if (LOWORD(W) == IdSpinEdit1 && HIWORD(W) == EN_CHANGE) {
        Form.SpinEdit1.Text = TextOf(reinterpret_cast<HWND>(L));
      }
      return 0;
    case WM_NOTIFY: {
      auto* Header = reinterpret_cast<NMHDR*>(L);
      if (Header->idFrom == IdSpinArrows && Header->code == UDN_DELTAPOS) {
        int Delta = reinterpret_cast<NMUPDOWN*>(L)->iDelta;
        Form.SpinEdit1.Text = TextOf(GetDlgItem(Window, IdSpinEdit1));
        Form.SpinEdit1.Step(Delta > 0 ? 1 : -1);
        ShowSpin();
        return TRUE;  // the arrows keep no position of their own
      }
      break;
    }
    case WM_CLOSE:
      Form.Button2Click();
      return 0;
  }
  return DefWindowProcA(Window, Message, W, L);
}

// ---- About ----------------------------------------------------------------------------

void TAboutWindow::ShowModal(HWND Owner) {
  if (!Form.PictureData) {
    HRSRC Found = FindResourceA(nullptr, "ABOUT_JPG", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL Loaded = Found ? LoadResource(nullptr, Found) : nullptr;
    if (Loaded) {
      Form.PictureData = static_cast<const uint8_t*>(LockResource(Loaded));
      Form.PictureSize = SizeofResource(nullptr, Found);
    }
  }
  Done = false;
  Form.Label5Hot = Form.Label2Hot = false;
  Handle = CreateDialogFrame("TForm3", "About", 322, 223, Owner, this, DialogProcedure<TAboutWindow>);
  if (!Handle) return;
  Form.Handle = Handle;
  MakeControls(Handle, AboutLayout);
  MakeControl(Handle, {IdLabel1About, "STATIC", Form.Label1.c_str(), SS_LEFT, 5, 137, 0, 13});  // the version line
  HWND Image = GetDlgItem(Handle, IdImage1), Web = GetDlgItem(Handle, IdLabel5);
  HWND Mail = GetDlgItem(Handle, IdLabel2About), Ok = GetDlgItem(Handle, IdOk);
  SetWindowPos(Image, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowSubclass(Image, ImageProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
  // Cyrillic capitals O and K, set as wide text so every code page shows them.
  SetWindowTextW(Ok, L"\x041E\x041A");
  SendMessageA(Ok, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont(false, true)), FALSE);
  SetWindowSubclass(Web, LinkProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(Mail, LinkProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
  SetFocus(Ok);
  RunModal(Owner, Handle, Done);
  Handle = nullptr;
  Form.Handle = nullptr;
}

void TAboutWindow::PaintPicture(HWND Image, HDC Dc) {
  RECT Area;
  GetClientRect(Image, &Area);
  const TPixels* Picture = Form.Picture();
  if (!Picture) {
    FillRect(Dc, &Area, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  int Stride = (Picture->Width * 3 + 3) & ~3;
  std::vector<BYTE> Bgr(static_cast<size_t>(Stride) * Picture->Height);
  for (int Y = 0; Y < Picture->Height; ++Y)
    for (int X = 0; X < Picture->Width; ++X) {
      const uint8_t* From = &Picture->Rgb[(size_t(Y) * Picture->Width + X) * 3];
      BYTE* To = &Bgr[size_t(Y) * Stride + X * 3];
      To[0] = From[2];
      To[1] = From[1];
      To[2] = From[0];
    }
  BITMAPINFO Info = {};
  Info.bmiHeader = {sizeof(BITMAPINFOHEADER), Picture->Width, -Picture->Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  SetStretchBltMode(Dc, HALFTONE);
  StretchDIBits(Dc, 0, 0, Area.right, Area.bottom, 0, 0, Picture->Width, Picture->Height, Bgr.data(), &Info,
                DIB_RGB_COLORS, SRCCOPY);
}

LRESULT CALLBACK TAboutWindow::ImageProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR,
                                              DWORD_PTR Data) {
  if (Message == WM_PAINT) {
    PAINTSTRUCT Paint;
    HDC Dc = BeginPaint(Window, &Paint);
    reinterpret_cast<TAboutWindow*>(Data)->PaintPicture(Window, Dc);
    EndPaint(Window, &Paint);
    return 0;
  }
  return DefSubclassProc(Window, Message, W, L);
}

LRESULT CALLBACK TAboutWindow::LinkProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Data) {
  auto* Me = reinterpret_cast<TAboutWindow*>(Data);
  bool Web = GetDlgCtrlID(Window) == IdLabel5;
  bool& Hot = Web ? Me->Form.Label5Hot : Me->Form.Label2Hot;
  if (Message == WM_MOUSEMOVE && !Hot) {
    Web ? Me->Form.Label5MouseMove() : Me->Form.Label2MouseMove();
    TRACKMOUSEEVENT Track = {sizeof Track, TME_LEAVE, Window, 0};
    TrackMouseEvent(&Track);
    SendMessageA(Window, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont(true)), TRUE);
  } else if (Message == WM_MOUSELEAVE) {
    Web ? Me->Form.Label5MouseLeave() : Me->Form.Label2MouseLeave();
    SendMessageA(Window, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont(false)), TRUE);
  }
  return DefSubclassProc(Window, Message, W, L);
}

LRESULT TAboutWindow::Handle_(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_CTLCOLORSTATIC: {
      int Id = GetDlgCtrlID(reinterpret_cast<HWND>(L));
      HDC Dc = reinterpret_cast<HDC>(W);
      if (Id == IdLabel5 || Id == IdLabel2About) {
        bool Hot = Id == IdLabel5 ? Form.Label5Hot : Form.Label2Hot;
        SetTextColor(Dc, Hot ? RGB(255, 0, 0) : RGB(0, 0, 255));
      }
      SetBkColor(Dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_COMMAND:
      if (LOWORD(W) == IdOk || LOWORD(W) == IdCancel) {
        Done = true;
      } else if (HIWORD(W) == STN_CLICKED) {
        if (LOWORD(W) == IdLabel5) Form.Label5Click();
        if (LOWORD(W) == IdImage1) Form.Image1Click();
        if (LOWORD(W) == IdLabel2About) Form.Label2Click();
      }
      return 0;
    case WM_CLOSE:
      Done = true;
      return 0;
  }
  return DefWindowProcA(Window, Message, W, L);
}

// ---- Find open file -------------------------------------------------------------------

void TFindWindow::ShowModal(HWND Owner) {
  Done = false;
  Form.CloseDialog = [this] { Done = true; };
  Handle = CreateDialogFrame("TFindForm", "Find open file", 323, 93, Owner, this, DialogProcedure<TFindWindow>);
  if (!Handle) return;
  Form.Handle = Handle;
  MakeControls(Handle, FindLayout);
  HWND Edit = GetDlgItem(Handle, IdEdit1Find);
  SetWindowTextA(Edit, Form.Edit1.c_str());  // the last text of the run
  SendMessageA(Edit, EM_SETSEL, 0, -1);
  SetFocus(Edit);
  RunModal(Owner, Handle, Done);
  Handle = nullptr;
  Form.Handle = nullptr;
}

LRESULT TFindWindow::Handle_(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_COMMAND: {
      HWND Edit = GetDlgItem(Window, IdEdit1Find);
      if (HIWORD(W) != BN_CLICKED) return 0;
      Form.Edit1 = TextOf(Edit);
      if (LOWORD(W) == IdOk) {
        Form.Button1Click();
      } else if (LOWORD(W) == IdCancel) {
        Form.Button2Click();
      } else if (LOWORD(W) == IdButton3Find) {
        Form.Button3Click();
        SetWindowTextA(Edit, Form.Edit1.c_str());
      }
      return 0;
    }
    case WM_CLOSE:
      Form.Button2Click();
      return 0;
  }
  return DefWindowProcA(Window, Message, W, L);
}
