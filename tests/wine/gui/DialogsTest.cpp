// The Settings and About dialogs as real windows, opened from the menu bar of
// the real main window over the simulated machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "os/Struct.h"

#include <commctrl.h>

#include "inspect/File2Name.h"
#include "os/Win32System.h"
#include "support/SimWindows.h"
#include "settings/Settings.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/ModalDialog.h"
#include "wine/WineSupport.h"
#include "wine/gui/Layout.h"

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

std::string Text(HWND Window) {
  char T[256] = {};
  GetWindowTextA(Window, T, sizeof T);
  return T;
}

class DialogsGui : public ::testing::Test {
 protected:
  DialogsGui() : Use(Sim) {
    DefaultSettings();  // whatever the test before left
    Sim.AddAdministratorsGroup(0xF);
    Sim.OnProcessMessages = [] { Win32System().ProcessMessages(); };
    Window.Create(GetModuleHandleA(nullptr));
    Window.Attach(Settings, About, Find);
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
  TFindWindow Find;
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
    ExpectLaidOut(Dialog, {
                              {IdGroupBox1Settings, "Button", "Viewer mode", 8, 0, 265, 65},
                              {IdRadioButton1, "Button", "Advanced", 16, 16, 169, 17},
                              {IdRadioButton2, "Button", "Normal", 16, 40, 113, 17},
                              {IdGroupBox2Settings, "Button", "Sorting mode", 8, 72, 265, 65},
                              {IdRadioButton3, "Button", "process ID", 16, 88, 185, 17},
                              {IdRadioButton4, "Button", "process name", 16, 112, 177, 17},
                              {IdLabel1Settings, "Static", "Refresh rate", 8, 147, -1, 13},
                              {IdSpinEdit1, "Edit", "10", 72, 144, 25, 22},
                              {IdSpinArrows, UPDOWN_CLASSA, nullptr, 97, 144, 16, 22},  // 41 wide together
                              {IdLabel2Settings, "Static", "seconds", 115, 147, -1, 13},
                              {IDOK, "Button", "OK", 120, 176, 75, 25},
                              {IDCANCEL, "Button", "Cancel", 200, 176, 75, 25},
                          });
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
    // The arrows, clicked for real: the upper one raises the value.
    HWND Arrows = GetDlgItem(Dialog, IdSpinArrows);
    RECT Box;
    GetClientRect(Arrows, &Box);
    const RECT Upper = {0, 0, Box.right, Box.bottom / 2}, Lower = {0, Box.bottom / 2, Box.right, Box.bottom};
    for (auto [Half, Expected] : {std::pair<RECT, const char*>{Upper, "2"}, {Upper, "3"}, {Lower, "2"}}) {
      ClickAt(MiddleOf(Arrows, Half));
      PumpFor(200);
      EXPECT_EQ(Text(Spin), Expected);
    }
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
    ExpectLaidOut(Dialog, {
                              {IdPanel1, "Static", "", 0, 0, 321, 129},
                              {IdImage1, "Static", "", 2, 2, 313, 121},
                              {IdLabel1About, "Static", "", 5, 137, -1, -1},
                              {IdLabel4, "Static", nullptr, 6, 154, -1, 13},
                              {IdLabel5, "Static", "www.brennary.example", 188, 154, -1, 13},
                              {IdLabel3, "Static", "Support Service", 100, 170, -1, 13},
                              {IdLabel2About, "Static", "support@brennary.example", 187, 170, -1, 13},
                              {IDOK, "Button", nullptr, 120, 192, 75, 25},
                          });
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

    // The mouse over a link makes it red and underlined; away, blue again.
    HWND Web = GetDlgItem(Dialog, IdLabel5);
    auto Underlined = [](HWND Link) {
      LOGFONTA Font = {};
      GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Link, WM_GETFONT, 0, 0)), sizeof Font, &Font);
      return Font.lfUnderline != 0;
    };
    auto Shows = [](HWND Link, COLORREF Colour) {
      RECT R;
      GetClientRect(Link, &R);
      HDC Dc = GetDC(Link);
      bool Found = false;
      for (int Y = 0; Y < R.bottom && !Found; ++Y)
        for (int X = 0; X < R.right && !Found; ++X) Found = GetPixel(Dc, X, Y) == Colour;
      ReleaseDC(Link, Dc);
      return Found;
    };
    MoveMouseTo(MiddleOf(Web));
    PumpFor(200);
    EXPECT_TRUE(Underlined(Web));
    EXPECT_TRUE(Shows(Web, RGB(255, 0, 0)));
    MoveMouseTo(MiddleOf(Dialog));
    PumpFor(200);
    EXPECT_FALSE(Underlined(Web));
    EXPECT_TRUE(Shows(Web, RGB(0, 0, 255)));

    // The links and the picture, clicked for real: each opens its target once.
    ClickAt(MiddleOf(Web));
    ClickAt(MiddleOf(GetDlgItem(Dialog, IdLabel2About)));
    ClickAt(MiddleOf(Image));
    PumpFor(300);
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  SendMessageA(Window.Handle, WM_COMMAND, IdN5, 0);
  EXPECT_TRUE(Ran);
  ASSERT_EQ(Sim.ShellCalls.size(), 3u);
  EXPECT_EQ(Sim.ShellCalls[0].File, "www.brennary.example");
  EXPECT_EQ(Sim.ShellCalls[1].File, "mailto: support@brennary.example");
  EXPECT_EQ(Sim.ShellCalls[2].File, "www.brennary.example");
  EXPECT_NE(Sim.ShellCalls[0].Owner, nullptr);
}

// The smallest dialog on the base: what the base does, apart from any dialog.
class TProbeDialog final : public TModalDialog {
 public:
  TProbeDialog() : TModalDialog({"LxProbeDialog", "Probe", 200, 100}) {}
  std::vector<std::string> Calls;

 private:
  void OnInit() override {
    Calls.push_back("init");
    MakeControl(Handle, {IdOk, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 10, 75, 25});
    SetFocus(GetDlgItem(Handle, IdOk));
  }
  void OnCommand(int Id, int Code, HWND) override {
    Calls.push_back("command " + std::to_string(Id) + " " + std::to_string(Code));
    if (Id == IdOk) Close();
  }
  void OnEnd() override { Calls.push_back(FindWindowA("LxProbeDialog", nullptr) ? "end, still open" : "end"); }
};

void CALLBACK CloseProbe(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND Open = FindWindowA("LxProbeDialog", nullptr)) PostMessageA(Open, WM_CLOSE, 0, 0);
}

TEST_F(DialogsGui, TheDialogBaseHoldsItsOwnerWhileOpenAndEndsByEnterTheCloseBoxOrAQuit) {
  TProbeDialog Probe;
  RECT Owner;
  GetWindowRect(Window.Handle, &Owner);
  struct TWay {
    const char* Name;
    std::function<void(HWND)> Ends;
    std::vector<std::string> Calls;
  };
  const TWay Ways[] = {
      {"Enter", [](HWND) { PressKey(VK_RETURN); }, {"init", "command 1 0", "end"}},
      {"close box", [](HWND Dialog) { PostMessageA(Dialog, WM_CLOSE, 0, 0); }, {"init", "end"}},
      {"quit", [](HWND) { PostQuitMessage(3); }, {"init", "end"}},
  };
  for (const TWay& Way : Ways) {
    Probe.Calls.clear();
    HWND Seen = nullptr;
    Meanwhile([&] {
      HWND Dialog = FindWindowA("LxProbeDialog", "Probe");
      ASSERT_NE(Dialog, nullptr) << Way.Name;
      Seen = Dialog;
      EXPECT_EQ(Probe.Handle, Dialog);
      EXPECT_EQ(GetWindow(Dialog, GW_OWNER), Window.Handle);
      EXPECT_FALSE(IsWindowEnabled(Window.Handle));
      RECT Client, Frame;
      GetClientRect(Dialog, &Client);
      GetWindowRect(Dialog, &Frame);
      EXPECT_EQ(Client.right, 200);
      EXPECT_EQ(Client.bottom, 100);
      EXPECT_LE(std::abs((Frame.left + Frame.right) - (Owner.left + Owner.right)), 1) << Way.Name;
      EXPECT_LE(std::abs((Frame.top + Frame.bottom) - (Owner.top + Owner.bottom)), 1) << Way.Name;
      EXPECT_EQ(SendMessageA(Dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
      Way.Ends(Dialog);
    });
    // Should the way not end the loop, the test fails instead of hanging.
    const UINT_PTR Backstop = SetTimer(nullptr, 0, 5000, CloseProbe);
    Probe.ShowModal(Window.Handle);
    KillTimer(nullptr, Backstop);
    EXPECT_NE(Seen, nullptr) << Way.Name;
    EXPECT_EQ(Probe.Calls, Way.Calls) << Way.Name;
    EXPECT_EQ(Probe.Handle, nullptr) << Way.Name;
    EXPECT_FALSE(IsWindow(Seen)) << Way.Name;
    EXPECT_TRUE(IsWindowEnabled(Window.Handle)) << Way.Name;
  }
  // The quit that ended the last loop is left for the outer one.
  MSG Quit;
  ASSERT_TRUE(PeekMessageA(&Quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(Quit.wParam, 3u);
}

}  // namespace
