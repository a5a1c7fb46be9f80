#include "ui/win32/ModalDialog.h"

#include "ui/win32/Controls.h"

void TModalDialog::ShowModal(HWND Owner) {
  Closing = false;
  Create(Owner);
  if (!Handle) return;
  OnInit();
  RunModal(Owner);
  Handle = nullptr;
  OnEnd();
}

void TModalDialog::Create(HWND Owner) {
  // One class per dialog: registering it again, at a later showing, fails
  // and leaves the first.
  HINSTANCE Instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA Info = {};
  Info.cbSize = sizeof Info;
  Info.lpfnWndProc = Procedure;
  Info.hInstance = Instance;
  Info.hCursor = LoadCursor(nullptr, IDC_ARROW);
  Info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Info.lpszClassName = Frame.Class;
  RegisterClassExA(&Info);
  // A fixed frame around the client size the layout was drawn for, centred
  // on the owner.
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU, ExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT Outer = {0, 0, Frame.Width, Frame.Height};
  AdjustWindowRectEx(&Outer, Style, FALSE, ExStyle);
  int W = Outer.right - Outer.left, H = Outer.bottom - Outer.top;
  RECT Around;
  GetWindowRect(Owner, &Around);
  int X = Around.left + (Around.right - Around.left - W) / 2, Y = Around.top + (Around.bottom - Around.top - H) / 2;
  Handle = CreateWindowExA(ExStyle, Frame.Class, Frame.Title, Style, X, Y, W, H, Owner, nullptr, Instance, this);
}

void TModalDialog::RunModal(HWND Owner) {
  EnableWindow(Owner, FALSE);
  ShowWindow(Handle, SW_SHOW);
  MSG Message;
  while (!Closing) {
    BOOL Got = GetMessageA(&Message, nullptr, 0, 0);
    if (Got <= 0) {
      if (Got == 0) PostQuitMessage(static_cast<int>(Message.wParam));  // for the outer loop
      break;
    }
    if (IsDialogMessageA(Handle, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  EnableWindow(Owner, TRUE);
  SetActiveWindow(Owner);
  DestroyWindow(Handle);
}

LRESULT TModalDialog::OnMessage(UINT Message, WPARAM W, LPARAM L) { return DefWindowProcA(Handle, Message, W, L); }

LRESULT CALLBACK TModalDialog::Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  auto* Me = Self<TModalDialog>(Window, Message, L);
  if (!Me) return DefWindowProcA(Window, Message, W, L);
  // Its messages come before CreateWindowExA returns.
  if (Message == WM_NCCREATE) Me->Handle = Window;
  switch (Message) {
    case DM_GETDEFID:
      return MAKELRESULT(IdOk, DC_HASDEFID);
    case WM_COMMAND:
      Me->OnCommand(LOWORD(W), HIWORD(W), reinterpret_cast<HWND>(L));
      return 0;
    case WM_CLOSE:
      Me->OnClose();
      return 0;
  }
  return Me->OnMessage(Message, W, L);
}
