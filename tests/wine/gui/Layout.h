// What the window tests share: a control's place as the layout gives it.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "wine/WineSupport.h"

// A control as laid out: its id, window class, caption (nullptr: not
// checked) and place in its parent's client area (a width or height of -1:
// not checked).
struct TPlace {
  int Id;
  const char* Class;
  const char* Text;
  int Left, Top, Width, Height;
};

// Each control of Parent where the table puts it, with its class and caption.
inline void ExpectLaidOut(HWND Parent, const std::vector<TPlace>& Table) {
  for (const TPlace& P : Table) {
    HWND C = GetDlgItem(Parent, P.Id);
    ASSERT_NE(C, nullptr) << P.Id;
    char Class[64] = {}, Text[256] = {};
    GetClassNameA(C, Class, sizeof Class);
    EXPECT_EQ(_stricmp(Class, P.Class), 0) << P.Id << " is a " << Class;
    GetWindowTextA(C, Text, sizeof Text);
    if (P.Text) {
      EXPECT_STREQ(Text, P.Text) << P.Id;
    }
    RECT R;
    GetWindowRect(C, &R);
    MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&R), 2);
    EXPECT_EQ(R.left, P.Left) << Text;
    EXPECT_EQ(R.top, P.Top) << Text;
    if (P.Width >= 0) {
      EXPECT_EQ(R.right - R.left, P.Width) << Text;
    }
    if (P.Height >= 0) {
      EXPECT_EQ(R.bottom - R.top, P.Height) << Text;
    }
  }
}
