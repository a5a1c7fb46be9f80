#include "ui/win32/Controls.h"

#include <cstring>

HFONT ProgramFont(bool Underline, bool Cyrillic) {
  static TOwnedFont Plain, Lined, Russian;
  TOwnedFont& Font = Cyrillic ? Russian : Underline ? Lined : Plain;
  // MS Sans Serif is a bitmap font with one file per character set: Cyrillic
  // text needs the Cyrillic one asked for by name.
  if (!Font)
    Font.Reset(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, Underline, FALSE,
                           Cyrillic ? RUSSIAN_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif"));
  return Font.Get();
}

HWND MakeControl(HWND Parent, const TControl& C) {
  HWND Made = CreateWindowExA(C.ExStyle, C.Class, C.Text, WS_CHILD | WS_VISIBLE | C.Style, C.Left, C.Top, C.Width,
                              C.Height, Parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(C.Id)),
                              GetModuleHandleA(nullptr), nullptr);
  SendMessageA(Made, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont()), FALSE);
  if (C.Width == 0 && std::strcmp(C.Class, "STATIC") == 0) {
    // Placed by its corner only: as wide as its text in the program's font.
    HDC Dc = GetDC(Made);
    HGDIOBJ Old = SelectObject(Dc, ProgramFont());
    SIZE Size = {};
    GetTextExtentPoint32A(Dc, C.Text, static_cast<int>(std::strlen(C.Text)), &Size);
    SelectObject(Dc, Old);
    ReleaseDC(Made, Dc);
    SetWindowPos(Made, nullptr, 0, 0, Size.cx, C.Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return Made;
}

std::string TextOf(HWND Window) {
  int Length = GetWindowTextLengthA(Window);
  std::string Text(static_cast<size_t>(Length) + 1, '\0');
  GetWindowTextA(Window, Text.data(), Length + 1);
  Text.resize(static_cast<size_t>(Length));
  return Text;
}
