#include "ui/win32/AboutDialog.h"

#include <commctrl.h>

#include <vector>

#include "ui/win32/Controls.h"
#include "view/Maker.h"

namespace {

// As laid out. The picture lies on the panel: each clips the other so
// neither paints over it. The OK button's caption is set as wide text after
// it is made.
const TControl AboutLayout[] = {
    {IdPanel1, "STATIC", "", SS_SUNKEN | WS_BORDER | WS_CLIPSIBLINGS, 0, 0, 321, 129},
    {IdImage1, "STATIC", "", SS_NOTIFY | SS_OWNERDRAW | WS_CLIPSIBLINGS, 2, 2, 313, 121},
    {IdLabel4, "STATIC", MakerNotice, SS_LEFTNOWORDWRAP, 6, 154, 0, 13},
    {IdLabel5, "STATIC", MakerWebAddress, SS_LEFTNOWORDWRAP | SS_NOTIFY, 188, 154, 0, 13},
    {IdLabel3, "STATIC", "Support Service", SS_LEFTNOWORDWRAP, 100, 170, 0, 13},
    {IdLabel2About, "STATIC", MakerMailAddress, SS_LEFTNOWORDWRAP | SS_NOTIFY, 187, 170, 0, 13},
    {IdOk, "BUTTON", "", BS_DEFPUSHBUTTON | WS_TABSTOP, 120, 192, 75, 25},
};

}  // namespace

void TAboutWindow::OnInit() {
  if (!Form.PictureData) {
    HRSRC Found = FindResourceA(nullptr, "ABOUT_JPG", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL Loaded = Found ? LoadResource(nullptr, Found) : nullptr;
    if (Loaded) {
      Form.PictureData = static_cast<const uint8_t*>(LockResource(Loaded));
      Form.PictureSize = SizeofResource(nullptr, Found);
    }
  }
  Form.Label5Hot = Form.Label2Hot = false;
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

void TAboutWindow::OnCommand(int Id, int Code, HWND) {
  if (Id == IdOk || Id == IdCancel) {
    Close();
  } else if (Code == STN_CLICKED) {
    if (Id == IdLabel5) Form.Label5Click();
    if (Id == IdImage1) Form.Image1Click();
    if (Id == IdLabel2About) Form.Label2Click();
  }
}

LRESULT TAboutWindow::OnMessage(UINT Message, WPARAM W, LPARAM L) {
  if (Message != WM_CTLCOLORSTATIC) return TModalDialog::OnMessage(Message, W, L);
  int Id = GetDlgCtrlID(reinterpret_cast<HWND>(L));
  HDC Dc = reinterpret_cast<HDC>(W);
  if (Id == IdLabel5 || Id == IdLabel2About) {
    bool Hot = Id == IdLabel5 ? Form.Label5Hot : Form.Label2Hot;
    SetTextColor(Dc, Hot ? RGB(255, 0, 0) : RGB(0, 0, 255));
  }
  SetBkColor(Dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}
