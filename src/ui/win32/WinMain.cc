#include "os/Struct.h"

static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  if (Message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(Window, Message, W, L);
}

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show) {
  WNDCLASSA Class = {};
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = "TForm1";
  RegisterClassA(&Class);
  HWND Window = CreateWindowA("TForm1", "Lumorex", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 504, 480,
                              nullptr, nullptr, Instance, nullptr);
  ShowWindow(Window, Show);
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return 0;
}
