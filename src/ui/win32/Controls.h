// What every window of the program is built from: owners for the GDI and
// USER objects it makes, one layout entry per control, the program's font,
// and the window object behind a window handle.
#pragma once

#include "os/Owned.h"
#include "os/Struct.h"

#include <string>

inline void FreeGdiObject(HGDIOBJ Object) { DeleteObject(Object); }
inline void FreeAccelerators(HACCEL Table) { DestroyAcceleratorTable(Table); }
using TOwnedFont = TOwned<HFONT, FreeGdiObject>;
using TOwnedAccelerators = TOwned<HACCEL, FreeAccelerators>;
// A menu no window owns (a context menu): a window destroys only its own.
inline void FreeMenu(HMENU Menu) { DestroyMenu(Menu); }
using TOwnedMenu = TOwned<HMENU, FreeMenu>;

// One control of a layout: pixels at 96 dots per inch in the parent's client
// area. A label (class "STATIC") of width 0 is as wide as its text.
struct TControl {
  int Id;
  const char* Class;
  const char* Text;
  DWORD Style;  // besides WS_CHILD | WS_VISIBLE
  int Left, Top, Width, Height;
  DWORD ExStyle = 0;
};

// Makes one control in the program's font, or every control of a layout.
HWND MakeControl(HWND Parent, const TControl& Control);
template <size_t N>
void MakeControls(HWND Parent, const TControl (&Layout)[N]) {
  for (const TControl& C : Layout) MakeControl(Parent, C);
}

// MS Sans Serif at 8 points, plain or underlined, or with its Cyrillic
// characters; made once, freed when the program ends.
HFONT ProgramFont(bool Underline = false, bool Cyrillic = false);

// A window's text.
std::string TextOf(HWND Window);

// The object a window was created for (its creation parameter), kept with
// the window from WM_NCCREATE on.
template <typename T>
T* Self(HWND Window, UINT Message, LPARAM L) {
  if (Message == WM_NCCREATE)
    SetWindowLongPtrA(Window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(L)->lpCreateParams));
  return reinterpret_cast<T*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
}
