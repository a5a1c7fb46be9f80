// The Settings and About dialogs as real windows, opened from the menu bar of
// the real main window over the simulated machine.
#include <gtest/gtest.h>

#include <functional>

#include "os/Struct.h"

#include <commctrl.h>

#include "inspect/File2Name.h"
#include "os/Win32System.h"
#include "os/sim/SimWindows.h"
#include "settings/Settings.h"
#include "ui/win32/MainWindow.h"
#include "wine/WineSupport.h"

namespace {

std::function<void()> WhileOpen;

void CALLBACK RunWhileOpen(HWND, UINT, UINT_PTR Timer, DWORD) {
  KillTimer(nullptr, Timer);
  auto Steps = std::exchange(WhileOpen, nullptr);
  if (Steps) Steps();
  // Whatever the steps asserted, no dialog stays open to hang the test.
  for (const char* Class : {"TForm2", "TForm3"})
    if (HWND Open = FindWindowA(Class, nullptr)) SendMessageA(Open, WM_CLOSE, 0, 0);
}

// Runs Steps from inside the dialog's modal loop once it is up.
void Meanwhile(std::function<void()> Steps) {
  WhileOpen = std::move(Steps);
  SetTimer(nullptr, 0, 300, RunWhileOpen);
}

RECT PlaceIn(HWND Parent, int Id) {
  RECT R;
  GetWindowRect(GetDlgItem(Parent, Id), &R);
  MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&R), 2);
  return R;
}

std::string Text(HWND Window) {
  char T[256] = {};
  GetWindowTextA(Window, T, sizeof T);
  return T;
}

class DialogsGui : public ::testing::Test {
 protected:
  DialogsGui() : Use(Sim) {
    Sim.AddAdministratorsGroup(0xF);
    Sim.OnProcessMessages = [] { Win32System().ProcessMessages(); };
    Window.Create(GetModuleHandleA(nullptr));
    Window.Attach(Settings, About);
    Window.Show(SW_SHOWNORMAL);
    PumpFor(200);
  }
  ~DialogsGui() override {
    DestroyWindow(Window.Handle);
    PumpFor(50);
  }
  TSimWindows Sim;
  TOsScope Use;
  TMainWindow Window;
  TSettingsWindow Settings;
  TAboutWindow About;
};

TEST_F(DialogsGui, SettingsDialogLaysOutItsControlsAndItsSpinFieldKeepsItsRules) {
  bool Ran = false;
  Meanwhile([&] {
    HWND Dialog = FindWindowA("TForm2", "Settings");
    ASSERT_NE(Dialog, nullptr);
    Ran = true;
    RECT Client;
    GetClientRect(Dialog, &Client);
    EXPECT_EQ(Client.right, 280);
    EXPECT_EQ(Client.bottom, 205);
    RECT Ok = PlaceIn(Dialog, IDOK);
    EXPECT_EQ(Ok.left, 120);
    EXPECT_EQ(Ok.top, 176);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDOK);  // the first time
    EXPECT_EQ(IsDlgButtonChecked(Dialog, IdRadioButton2), BST_CHECKED);  // Mode 0: Normal
    EXPECT_EQ(IsDlgButtonChecked(Dialog, IdRadioButton3), BST_CHECKED);  // SortType 0: process ID
    HWND Spin = GetDlgItem(Dialog, IdSpinEdit1);
    EXPECT_EQ(Text(Spin), "10");

    SetFocus(Spin);
    SendMessageA(Spin, EM_SETSEL, 0, -1);
    SendMessageA(Spin, WM_CHAR, 'x', 0);  // refused
    EXPECT_EQ(Text(Spin), "10");
    SendMessageA(Spin, WM_CHAR, '3', 0);
    EXPECT_EQ(Text(Spin), "3");
    SendMessageA(Spin, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(Text(Spin), "4");
    SendMessageA(Spin, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(Spin, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(Spin, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(Spin, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(Text(Spin), "1");
    SetWindowTextA(Spin, "300");
    SetFocus(GetDlgItem(Dialog, IDOK));  // leaving the field brings it into range
    EXPECT_EQ(Text(Spin), "255");
    CheckRadioButton(Dialog, IdRadioButton1, IdRadioButton2, IdRadioButton1);
    SaveWindowShot(Dialog, "settings-dialog");
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, IDOK)));
  });
  SendMessageA(Window.Handle, WM_COMMAND, IdN4, 0);
  EXPECT_TRUE(Ran);
  EXPECT_EQ(FindWindowA("TForm2", nullptr), nullptr);
  EXPECT_EQ(TimerInterval, 255u);
  EXPECT_EQ(Mode, 1u);
  EXPECT_EQ(Window.Screen.Timer().Interval(), 255000u);
  EXPECT_EQ(Sim.Registry["hkcu\\software\\brennary\\lumorex"]["TimerInterval"].Data, std::string("\xFF\0\0\0", 4));

  // Cancel, after the focus was left on Cancel: it reopens there.
  Meanwhile([&] {
    HWND Dialog = FindWindowA("TForm2", "Settings");
    ASSERT_NE(Dialog, nullptr);
    SetFocus(GetDlgItem(Dialog, IDCANCEL));
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  SendMessageA(Window.Handle, WM_COMMAND, IdN4, 0);
  Meanwhile([&] {
    HWND Dialog = FindWindowA("TForm2", "Settings");
    ASSERT_NE(Dialog, nullptr);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDCANCEL);
    SendMessageA(Dialog, WM_CLOSE, 0, 0);
  });
  SendMessageA(Window.Handle, WM_COMMAND, IdN4, 0);
  EXPECT_EQ(Mode, 1u);
  Mode = 0;
  TimerInterval = 10;
}

TEST_F(DialogsGui, AboutDialogPaintsItsPictureAndOpensItsLinks) {
  bool Ran = false;
  Meanwhile([&] {
    HWND Dialog = FindWindowA("TForm3", "About");
    ASSERT_NE(Dialog, nullptr);
    Ran = true;
    RECT Client;
    GetClientRect(Dialog, &Client);
    EXPECT_EQ(Client.right, 322);
    EXPECT_EQ(Client.bottom, 223);
    wchar_t Caption[8] = {};
    GetWindowTextW(GetDlgItem(Dialog, IDOK), Caption, 8);
    EXPECT_EQ(std::wstring(Caption), L"\x041E\x041A");
    EXPECT_EQ(Text(GetDlgItem(Dialog, IdLabel5)), "www.brennary.example");
    EXPECT_EQ(Text(GetDlgItem(Dialog, IdLabel2About)), "support@brennary.example");
    UpdateWindow(Dialog);
    PumpFor(200);
    ASSERT_NE(About.Form.Picture(), nullptr);
    EXPECT_EQ(About.Form.Picture()->Width, 313);
    // The picture's deep blue, not the dialog's face, at the top left corner.
    HWND Image = GetDlgItem(Dialog, IdImage1);
    HDC Dc = GetDC(Image);
    COLORREF Corner = GetPixel(Dc, 3, 3);
    ReleaseDC(Image, Dc);
    EXPECT_LT(GetRValue(Corner), 80);
    EXPECT_GT(GetBValue(Corner), GetRValue(Corner));
    SaveWindowShot(Dialog, "about-dialog");
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(IdLabel5, STN_CLICKED), 0);
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(IdLabel2About, STN_CLICKED), 0);
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  SendMessageA(Window.Handle, WM_COMMAND, IdN5, 0);
  EXPECT_TRUE(Ran);
  ASSERT_EQ(Sim.ShellCalls.size(), 2u);
  EXPECT_EQ(Sim.ShellCalls[0].File, "www.brennary.example");
  EXPECT_EQ(Sim.ShellCalls[1].File, "mailto: support@brennary.example");
  EXPECT_NE(Sim.ShellCalls[0].Owner, nullptr);
}

}  // namespace
