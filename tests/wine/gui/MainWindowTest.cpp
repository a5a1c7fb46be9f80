// The real main window: in this process over the simulated machine, and the
// real lumorex.exe on the real Wine system, read from outside.
#include <gtest/gtest.h>

#include "os/Struct.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "inspect/ListOpenFiles.h"
#include "support/SimWindows.h"
#include "os/Win32System.h"
#include "process/ProcessList.h"
#include "settings/ExplorerMenu.h"
#include "settings/Settings.h"
#include "ui/win32/MainWindow.h"
#include "wine/WineSupport.h"
#include "wine/gui/Layout.h"

namespace {

std::string ItemText(HWND List, int Item, int Sub) {
  char Text[512] = {};
  LVITEMA I = {};
  I.iSubItem = Sub;
  I.pszText = Text;
  I.cchTextMax = sizeof Text;
  SendMessageA(List, LVM_GETITEMTEXTA, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(&I));
  return Text;
}

std::string StatusText(HWND Bar, int Panel) {
  char Text[256] = {};
  SendMessageA(Bar, SB_GETTEXTA, static_cast<WPARAM>(Panel), reinterpret_cast<LPARAM>(Text));
  return Text;
}

std::string WindowText(HWND Window) {
  char Text[256] = {};
  GetWindowTextA(Window, Text, sizeof Text);
  return Text;
}

std::string MenuText(HMENU Menu, int Position) {
  char Text[64] = {};
  GetMenuStringA(Menu, static_cast<UINT>(Position), Text, sizeof Text, MF_BYPOSITION);
  return Text;
}

TEST(MainWindowGui, LayoutMenuKeysColumnsPanelsAndTimerAreAsDesigned) {
  TSimWindows Sim;
  Sim.AddAdministratorsGroup(0xF);
  Sim.OnProcessMessages = [] { Win32System().ProcessMessages(); };
  TOsScope Use(Sim);
  TMainWindow Window;
  ASSERT_TRUE(Window.Create(GetModuleHandleA(nullptr)));
  HWND Main = Window.Handle;
  const auto Timer = std::make_pair(Main, UINT_PTR(IdTimer1));
  EXPECT_EQ(Sim.Timers[Timer], 1000u);  // running from creation
  Window.Show(SW_SHOWNORMAL);
  PumpFor(300);

  RECT Client;
  GetClientRect(Main, &Client);
  EXPECT_EQ(Client.right, 496);
  EXPECT_EQ(Client.bottom, 442);
  EXPECT_EQ(WindowText(Main), "Lumorex by Brennary Software");
  const LONG_PTR Style = GetWindowLongPtrA(Main, GWL_STYLE);
  EXPECT_EQ(Style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  ExpectLaidOut(Main, {
                          {IdGroupBox1, "Button", "Process list", 0, 16, 493, 48},
                          {IdComboBox1, "ComboBox", "", 8, 32, 385, -1},
                          {IdButton3, "Button", "End process", 400, 29, 89, 25},
                          {IdGroupBox2, "Button", "Files", 0, 72, 493, 312},
                          {IdListView1, WC_LISTVIEWA, nullptr, 8, 88, 481, 273},
                          {IdLabel1, "Static", "Open files: 0", 8, 368, -1, -1},
                          {IdButton1, "Button", "Refresh", 336, 392, 75, 25},
                          {IdButton2, "Button", "Exit", 416, 392, 75, 25},
                          {IdStatusBar1, STATUSCLASSNAMEA, nullptr, 0, 423, 496, 19},
                      });

  HMENU Bar = GetMenu(Main), File = GetSubMenu(Bar, 0);
  ASSERT_EQ(GetMenuItemCount(Bar), 3);
  EXPECT_EQ(MenuText(Bar, 0), "File");
  EXPECT_EQ(MenuText(Bar, 1), "Settings");
  EXPECT_EQ(MenuText(Bar, 2), "About");
  EXPECT_EQ(GetMenuItemID(Bar, 1), static_cast<UINT>(IdN4));  // commands on the bar itself
  EXPECT_EQ(GetMenuItemID(Bar, 2), static_cast<UINT>(IdN5));
  ASSERT_EQ(GetMenuItemCount(File), 7);
  const struct {
    const char* Text;
    UINT Id;
  } Items[] = {{"&Save report\tCtrl+S", IdN2},
               {"Refresh\tF5", IdN6},
               {"&Find open file...\tCtrl+F", IdN8},
               {"", 0},
               {"E&xplorer menu entry", IdN12},
               {"", 0},
               {"Exit\tAlt+F4", IdN7}};
  for (int I = 0; I < 7; ++I) {
    EXPECT_EQ(MenuText(File, I), Items[I].Text);
    EXPECT_EQ(GetMenuItemID(File, I), Items[I].Id);
  }
  EXPECT_TRUE(GetMenuState(File, 3, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_TRUE(GetMenuState(File, 5, MF_BYPOSITION) & MF_SEPARATOR);
  // The Explorer item is checked, as the File menu opens, while the entry is there.
  AddExplorerMenu(HKEY_CURRENT_USER, RunningProgram());
  SendMessageA(Main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(File), 0);
  EXPECT_TRUE(GetMenuState(File, IdN12, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(Bar, IdN2, MF_BYCOMMAND) & MF_GRAYED);

  HWND List = GetDlgItem(Main, IdListView1);
  const struct {
    const char* Title;
    int Width;
  } Columns[] = {{"Handle", 70}, {"Filename", 330}, {"Type", 60}};
  for (int I = 0; I < 3; ++I) {
    char Title[32] = {};
    LVCOLUMNA Column = {};
    Column.mask = LVCF_TEXT | LVCF_WIDTH;
    Column.pszText = Title;
    Column.cchTextMax = sizeof Title;
    ASSERT_TRUE(SendMessageA(List, LVM_GETCOLUMNA, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&Column)));
    EXPECT_STREQ(Title, Columns[I].Title);
    EXPECT_EQ(Column.cx, Columns[I].Width);
  }
  EXPECT_EQ(GetWindowLongPtrA(List, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(SendMessageA(List, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
            LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

  HWND Status = GetDlgItem(Main, IdStatusBar1);
  int Parts[4] = {};
  ASSERT_EQ(SendMessageA(Status, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(Parts)), 2);
  EXPECT_EQ(Parts[0], 230);

  // The keys, pressed for real: F5 refreshes, Ctrl+S asks for a file name
  // (refused while no line is picked: the item is grayed), Alt+F4 closes.
  auto Loop = [&Window](MSG* M) { return Window.PreTranslate(M); };  // as the program's message loop
  ClickAt(MiddleOf(List));  // the window comes to the front as a user's click brings it
  PumpFor(200, Loop);
  long Snapshots = Sim.Calls("CreateToolhelp32Snapshot");
  PressKey(VK_F5);
  PumpFor(300, Loop);
  EXPECT_EQ(Sim.Calls("CreateToolhelp32Snapshot"), Snapshots + 1);
  EXPECT_EQ(Sim.Timers[Timer], 10000u);
  SendMessageA(Main, WM_COMMAND, MAKEWPARAM(IdComboBox1, CBN_DROPDOWN), 0);
  EXPECT_EQ(Sim.Timers.count(Timer), 0u);  // the drop-down stops it
  SendMessageA(GetDlgItem(Main, IdComboBox1), CB_SETCURSEL, 1, 0);
  SendMessageA(Main, WM_COMMAND, MAKEWPARAM(IdComboBox1, CBN_SELCHANGE), 0);
  EXPECT_EQ(Sim.Timers.count(Timer), 1u);  // and a pick starts it again
  ClickAt(MiddleOf(List));
  PressKey('S', VK_CONTROL);
  PumpFor(300, Loop);
  EXPECT_EQ(Sim.SaveDialogs.size(), 1u);
  PressKey(VK_F4, VK_MENU);
  PumpFor(300, Loop);
  EXPECT_FALSE(IsWindow(Main));
  Sim.ReleaseBlocked();
  Sim.WaitThreads();
  ReapNameWorkers();
}

TEST(MainWindowGui, ControlsShowWhatTheLogicWroteOverTheSimulatedMachine) {
  TSimWindows Sim;
  Sim.AddAdministratorsGroup(0xF);
  Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
  Sim.AddProcess(8, "smss.exe");
  Sim.AddProcess(2000, "Notepad.exe");
  Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\Users\\me\\notes.txt", 0x7A4);
  Sim.AddFile(2000, "\\Device\\NamedPipe\\wkssvc", 0x7A8);
  Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\Windows\\win.ini", 0x7AC);
  Sim.OnProcessMessages = [] { Win32System().ProcessMessages(); };
  TOsScope Use(Sim);

  TMainWindow Window;
  ASSERT_TRUE(Window.Create(GetModuleHandleA(nullptr)));
  Window.Show(SW_SHOWNORMAL);
  PumpFor(300);
  HWND Main = Window.Handle;
  HWND Combo = GetDlgItem(Main, IdComboBox1), List = GetDlgItem(Main, IdListView1);
  HWND Bar = GetDlgItem(Main, IdStatusBar1), Label = GetDlgItem(Main, IdLabel1), End = GetDlgItem(Main, IdButton3);

  ASSERT_EQ(SendMessageA(Combo, CB_GETCOUNT, 0, 0), 5);
  char Line[64];
  SendMessageA(Combo, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(Line));
  EXPECT_STREQ(Line, "2000   notepad.exe");
  EXPECT_EQ(SendMessageA(Combo, CB_GETCURSEL, 0, 0), -1);
  EXPECT_EQ(StatusText(Bar, 0), "Ready");
  EXPECT_EQ(StatusText(Bar, 1), "Processes: 5");
  EXPECT_EQ(WindowText(Label), "Open files: 0");
  EXPECT_FALSE(IsWindowEnabled(End));
  EXPECT_TRUE(GetMenuState(GetMenu(Main), IdN2, MF_BYCOMMAND) & MF_GRAYED);

  // The user picks the line of PID 2000, in the Advanced mode.
  Mode = 1;
  SendMessageA(Combo, CB_SETCURSEL, 4, 0);
  SendMessageA(Main, WM_COMMAND, MAKEWPARAM(IdComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Combo));
  PumpFor(200);
  // Read through the list view's own messages, as another program would.
  auto Shown = [List] {
    std::vector<std::string> Rows;
    int Count = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
    for (int I = 0; I < Count; ++I)
      Rows.push_back(ItemText(List, I, 0) + " | " + ItemText(List, I, 1) + " | " + ItemText(List, I, 2));
    return Rows;
  };
  const std::string Notes = "0x000007A4 | C:\\Users\\me\\notes.txt | File",
                    Pipe = "0x000007A8 | \\Device\\NamedPipe\\wkssvc | Pipe",
                    WinIni = "0x000007AC | C:\\Windows\\win.ini | File";
  EXPECT_EQ(Shown(), (std::vector<std::string>{Notes, Pipe, WinIni}));
  EXPECT_EQ(WindowText(Label), "Open files: 3");
  EXPECT_EQ(StatusText(Bar, 0), "Ready");
  EXPECT_TRUE(IsWindowEnabled(End));
  EXPECT_FALSE(GetMenuState(GetMenu(Main), IdN2, MF_BYCOMMAND) & MF_GRAYED);

  // Each column header clicked twice with the real mouse: one direction for
  // all columns, Z to A first, equal rows keeping their order.
  HWND Header = reinterpret_cast<HWND>(SendMessageA(List, LVM_GETHEADER, 0, 0));
  const struct {
    int Column;
    std::vector<std::string> Rows;
  } Clicks[] = {{0, {WinIni, Pipe, Notes}}, {0, {Notes, Pipe, WinIni}}, {1, {Pipe, WinIni, Notes}},
                {1, {Notes, WinIni, Pipe}}, {2, {Pipe, Notes, WinIni}}, {2, {Notes, WinIni, Pipe}}};
  for (auto& Click : Clicks) {
    RECT Box;
    SendMessageA(Header, HDM_GETITEMRECT, static_cast<WPARAM>(Click.Column), reinterpret_cast<LPARAM>(&Box));
    ClickAt(MiddleOf(Header, Box));
    PumpFor(GetDoubleClickTime() + 100);  // two clicks, not a double-click
    EXPECT_EQ(Shown(), Click.Rows) << "column " << Click.Column;
  }

  // The report writes the rows as they stand.
  Sim.SaveFileAnswer = "C:\\shown.txt";
  SendMessageA(Main, WM_COMMAND, IdN2, 0);
  const std::string Report = Sim.Files["C:\\shown.txt"].Data;
  EXPECT_NE(Report.find("  Handle   | Type | Path\r\n0x000007A4 | File | C:\\Users\\me\\notes.txt\r\n"
                        "0x000007AC | File | C:\\Windows\\win.ini\r\n0x000007A8 | Pipe | \\Device\\NamedPipe\\wkssvc\r\n"),
            std::string::npos)
      << Report;

  // A double-click on a row with the real mouse opens its Properties, once.
  RECT Row = {LVIR_BOUNDS, 0, 0, 0};
  ASSERT_TRUE(SendMessageA(List, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&Row)));
  ClickAt(MiddleOf(List, Row));
  ClickAt(MiddleOf(List, Row));
  PumpFor(300);
  ASSERT_EQ(Sim.ShellCalls.size(), 1u);
  EXPECT_EQ(Sim.ShellCalls[0].Verb, "properties");
  EXPECT_EQ(Sim.ShellCalls[0].File, "C:\\Windows\\win.ini");

  // A right-click on the pipe's row selects it and opens its menu, read from
  // inside the menu's own loop: a pipe has no Properties sheet.
  struct TReadMenu {
    static HMENU& Menu() {
      static HMENU M;
      return M;
    }
    static std::string& States() {
      static std::string S;
      return S;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR Id, DWORD) {
      KillTimer(nullptr, Id);
      if (!IsWindowVisible(FindWindowA("#32768", nullptr))) States() = "no menu";
      for (UINT Item : {UINT(IdN9), UINT(IdN10), UINT(IdN11)})
        States() += (GetMenuState(Menu(), Item, MF_BYCOMMAND) & MF_GRAYED) ? '-' : '+';
      PressKey(VK_ESCAPE);
    }
  };
  TReadMenu::Menu() = Window.PopupMenu1.Get();
  SetTimer(nullptr, 0, 400, TReadMenu::Tick);
  RECT PipeRow = {LVIR_BOUNDS, 0, 0, 0};
  ASSERT_TRUE(SendMessageA(List, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&PipeRow)));
  RightClickAt(MiddleOf(List, PipeRow));
  PumpFor(1000);
  EXPECT_EQ(TReadMenu::States(), "-++");
  EXPECT_EQ(Window.Screen.SelectedFile(), 2);
  Mode = 0;

  // A cleared list learns it at the next dispatch; until then the row it
  // still shows selected is none to the logic.
  Window.Screen.ClearFiles();
  EXPECT_EQ(Window.Screen.SelectedFile(), -1);
  PumpFor(50);
  EXPECT_EQ(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0), 0);

  // F5 reaches Refresh through the accelerators.
  long Before = Sim.Calls("CreateToolhelp32Snapshot");
  MSG Key = {List, WM_KEYDOWN, VK_F5, 0, 0, {}};
  EXPECT_TRUE(Window.PreTranslate(&Key));
  EXPECT_EQ(Sim.Calls("CreateToolhelp32Snapshot"), Before + 1);
  EXPECT_EQ(SendMessageA(Combo, CB_GETCURSEL, 0, 0), 4);
  PumpFor(200);
  SaveWindowShot(Main, "main-window-sim");

  DestroyWindow(Main);
  PumpFor(50);
  Sim.ReleaseBlocked();
  Sim.WaitThreads();
  ReapNameWorkers();
}

struct TRemoteText {
  HANDLE Process;
  BYTE* Block;
};

// Reads a list-view cell of another process through memory of its own.
std::string RemoteItemText(HWND List, const TRemoteText& R, int Item, int Sub) {
  LVITEMA I = {};
  I.iSubItem = Sub;
  I.cchTextMax = 400;
  I.pszText = reinterpret_cast<char*>(R.Block + 512);
  SIZE_T Done;
  WriteProcessMemory(R.Process, R.Block, &I, sizeof I, &Done);
  SendMessageA(List, LVM_GETITEMTEXTA, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(R.Block));
  char Text[400] = {};
  ReadProcessMemory(R.Process, R.Block + 512, Text, sizeof Text - 1, &Done);
  return Text;
}


TEST(MainWindowGui, RealProgramListsTheFilesOfAChildItIsPointedAt) {
  TRegistryLock Lock;
  std::string Folder = TempFolder("gui");
  std::vector<std::string> Files = {Folder + "\\alpha.txt", Folder + "\\beta report.log"};
  TChild Child(Files);
  ASSERT_TRUE(Child.Started());

  TRunningProgram Program;
  ASSERT_NE(Program.Main(), nullptr);
  HWND Main = Program.Main(), List = GetDlgItem(Main, IdListView1);
  std::string Seen;
  ASSERT_TRUE(Program.Pick(Child.Pid(), "lxchild.exe", &Seen)) << Seen;

  HANDLE Remote = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Program.Pid());
  ASSERT_NE(Remote, nullptr);
  TRemoteText R = {Remote, static_cast<BYTE*>(VirtualAllocEx(Remote, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE))};
  int Rows = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
  for (size_t F = 0; F < Files.size(); ++F) {
    bool Found = false;
    for (int I = 0; I < Rows && !Found; ++I)
      Found = _stricmp(RemoteItemText(List, R, I, 1).c_str(), Files[F].c_str()) == 0 &&
              RemoteItemText(List, R, I, 0) == HandleText(Child.Handles()[F]) && RemoteItemText(List, R, I, 2) == "File";
    EXPECT_TRUE(Found) << Files[F] << " among " << Rows << " rows";
  }
  SaveWindowShot(Main, "main-window");

  // The handle column fits its text in the window's own font.
  const char Handle[] = "0x000007A4";
  SIZE_T Written;
  WriteProcessMemory(Remote, R.Block + 1024, Handle, sizeof Handle, &Written);
  int TextWidth = static_cast<int>(
      SendMessageA(List, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(R.Block + 1024)));
  int ColumnWidth = static_cast<int>(SendMessageA(List, LVM_GETCOLUMNWIDTH, 0, 0));
  EXPECT_GT(TextWidth, 0);
  EXPECT_LE(TextWidth + 8, ColumnWidth) << "text " << TextWidth << " column " << ColumnWidth;

  // Line 0000 lists every process of the selector under its header, the
  // child's files under the child's.
  ASSERT_TRUE(Program.Pick(0, "[system process]", &Seen)) << Seen;
  HWND Combo = GetDlgItem(Main, IdComboBox1);
  int Lines = static_cast<int>(SendMessageA(Combo, CB_GETCOUNT, 0, 0));
  Rows = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
  std::vector<std::string> Headers;
  int ChildHeader = -1, ChildFiles = 0;
  for (int I = 0; I < Rows; ++I) {
    if (!RemoteItemText(List, R, I, 0).empty()) {
      if (ChildHeader >= 0 && ChildHeader == static_cast<int>(Headers.size()) - 1) ++ChildFiles;
      continue;
    }
    Headers.push_back(RemoteItemText(List, R, I, 1));
    if (Headers.back().rfind("Process information: " + std::to_string(Child.Pid()) + " (", 0) == 0)
      ChildHeader = static_cast<int>(Headers.size()) - 1;
  }
  EXPECT_EQ(static_cast<int>(Headers.size()), Lines);
  ASSERT_FALSE(Headers.empty());
  EXPECT_EQ(Headers[0], "Process information: 0 ([System Process])");
  EXPECT_GE(ChildHeader, 0);
  EXPECT_GE(ChildFiles, static_cast<int>(Files.size()));
  SaveWindowShot(Main, "main-window-all-processes");
  VirtualFreeEx(Remote, R.Block, 0, MEM_RELEASE);
  CloseHandle(Remote);

  EXPECT_TRUE(Program.Close());
}

}  // namespace

TEST(MainWindowGui, RealProgramListsAPathLongerThanItsFieldCutAndOtherNamesAsBefore) {
  TRegistryLock Lock;
  const std::vector<std::string> Files = HardNames(TempFolder("gui-long"));
  TChild Child(Files);
  ASSERT_TRUE(Child.Started());
  ASSERT_EQ(Files.back().size(), 300u);

  TRunningProgram Program;
  ASSERT_NE(Program.Main(), nullptr);
  HWND List = GetDlgItem(Program.Main(), IdListView1);
  std::string Seen;
  ASSERT_TRUE(Program.Pick(Child.Pid(), "lxchild.exe", &Seen)) << Seen;
  HANDLE Remote = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Program.Pid());
  ASSERT_NE(Remote, nullptr);
  TRemoteText R = {Remote, static_cast<BYTE*>(VirtualAllocEx(Remote, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE))};
  const int Rows = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
  for (size_t F = 0; F < Files.size(); ++F) {
    // What the window's field holds: the name in the ANSI code page, the
    // long one cut at 259 characters plus its NUL.
    const std::wstring Wide = WideFromUtf8(Files[F]);
    char Ansi[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, Wide.c_str(), static_cast<int>(Wide.size()), Ansi, sizeof Ansi - 1, nullptr,
                        nullptr);
    const std::string Shown = std::string(Ansi).substr(0, 259);
    std::string Got;
    for (int I = 0; I < Rows && Got.empty(); ++I)
      if (RemoteItemText(List, R, I, 0) == HandleText(Child.Handles()[F])) Got = RemoteItemText(List, R, I, 1);
    EXPECT_EQ(_stricmp(Got.c_str(), Shown.c_str()), 0) << Got << " for " << Shown;
    EXPECT_EQ(Got.size(), F + 1 == Files.size() ? 259u : Shown.size());
  }
  VirtualFreeEx(Remote, R.Block, 0, MEM_RELEASE);
  CloseHandle(Remote);
  EXPECT_TRUE(Program.Close());
}

namespace {
RECT RemoteItemRect(HWND List, const TRemoteText& R, int Item);
std::string RemoteStatusText(HWND Bar, const TRemoteText& R, int Panel);
HWND WaitForTop(DWORD Pid, const char* Class, const char* Title, DWORD Milliseconds);
}  // namespace

TEST(MainWindowGui, RealProgramFindsTheHolderOfAChildsFileWithCtrlF) {
  TRegistryLock Lock;
  std::string Folder = TempFolder("find");
  const std::string Needle = "needle-" + std::to_string(GetCurrentProcessId());
  // Held three ways: open, loaded as a DLL, mapped as data.
  const std::string Dll = Folder + "\\" + Needle + ".dll", Data = Folder + "\\" + Needle + ".map";
  ASSERT_TRUE(CopyFileA((ExeFolder() + "lxplugin.dll").c_str(), Dll.c_str(), FALSE));
  {
    std::unique_ptr<FILE, int (*)(FILE*)> Out(fopen(Data.c_str(), "wb"), fclose);
    ASSERT_TRUE(Out && fputs("mapped", Out.get()) >= 0);
  }
  TChild Child({Folder + "\\" + Needle + ".txt", Folder + "\\hay.txt", "load:" + Dll, "map:" + Data});
  ASSERT_TRUE(Child.Started());
  TRunningProgram Program;
  ASSERT_NE(Program.Main(), nullptr);
  HWND Main = Program.Main(), List = GetDlgItem(Main, IdListView1), Bar = GetDlgItem(Main, IdStatusBar1);

  // Ctrl+F in the program's window, as a user presses it.
  ClickAt(MiddleOf(List));
  Sleep(300);
  PressKey('F', VK_CONTROL);
  HWND Dialog = nullptr;
  for (int Try = 0; Try < 100 && !Dialog; ++Try, Sleep(100)) Dialog = FindWindowA("TFindForm", "Find open file");
  ASSERT_NE(Dialog, nullptr);
  ExpectLaidOut(Dialog, {
                            {IdLabel1Find, "Static", "Name or path contains:", 8, 8, -1, 13},
                            {IdEdit1Find, "Edit", "", 8, 24, 225, 21},
                            {IdButton3Find, "Button", "Browse...", 240, 22, 75, 25},
                            {IDOK, "Button", "Find", 160, 60, 75, 25},
                            {IDCANCEL, "Button", "Cancel", 240, 60, 75, 25},
                        });
  // Part of the name, in other letters' case, typed into the field.
  SendMessageA(GetDlgItem(Dialog, IdEdit1Find), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(("NEEDLE-" + Needle.substr(7)).c_str()));
  Sleep(200);
  SaveWindowShot(Dialog, "find-dialog");
  ClickAt(MiddleOf(GetDlgItem(Dialog, IDOK)));

  HANDLE Remote = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Program.Pid());
  ASSERT_NE(Remote, nullptr);
  TRemoteText R = {Remote, static_cast<BYTE*>(VirtualAllocEx(Remote, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE))};
  std::string Status;
  for (DWORD Start = GetTickCount(); GetTickCount() - Start < 30000; Sleep(100))
    if (SendMessageA(List, LVM_GETITEMCOUNT, 0, 0) >= 4 && (Status = RemoteStatusText(Bar, R, 0)).rfind("Ready", 0) == 0)
      break;
  EXPECT_EQ(Status, "Ready");  // every process and handle looked at
  // The child's header and its three holds; nothing of any other process.
  const int Rows = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
  ASSERT_EQ(Rows, 4);
  EXPECT_EQ(RemoteItemText(List, R, 0, 0), "");
  EXPECT_EQ(RemoteItemText(List, R, 0, 1), "Process information: " + std::to_string(Child.Pid()) + " (lxchild.exe)");
  EXPECT_EQ(RemoteItemText(List, R, 1, 0), HandleText(Child.Handles()[0]));
  EXPECT_EQ(_stricmp(RemoteItemText(List, R, 1, 1).c_str(), (Folder + "\\" + Needle + ".txt").c_str()), 0);
  const struct {
    const std::string& Path;
    const char* Type;
  } Holds[] = {{Dll, "Module"}, {Data, "Mapped"}};
  for (const auto& Hold : Holds) {
    // In the order of their addresses, which the system chooses.
    const int Row = RemoteItemText(List, R, 2, 2) == Hold.Type ? 2 : 3;
    EXPECT_EQ(RemoteItemText(List, R, Row, 0), "");
    EXPECT_EQ(_stricmp(RemoteItemText(List, R, Row, 1).c_str(), Hold.Path.c_str()), 0) << RemoteItemText(List, R, Row, 1);
    EXPECT_EQ(RemoteItemText(List, R, Row, 2), Hold.Type);
    // Right-clicked, its menu's Close handle is disabled: C, its key, asks nothing.
    RightClickAt(MiddleOf(List, RemoteItemRect(List, R, Row)));
    ASSERT_NE(WaitForTop(Program.Pid(), "#32768", nullptr, 5000), nullptr);
    EXPECT_EQ(SendMessageA(List, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), Row);
    PressKey('C');
    EXPECT_EQ(WaitForTop(Program.Pid(), "#32770", "Lumorex", 1000), nullptr);
    if (WaitForTop(Program.Pid(), "#32768", nullptr, 0)) PressKey(VK_ESCAPE);
    Sleep(300);
  }
  EXPECT_EQ(SendMessageA(GetDlgItem(Main, IdComboBox1), CB_GETCURSEL, 0, 0), -1);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Main, IdButton3)));
  SaveWindowShot(Main, "main-window-found");
  VirtualFreeEx(Remote, R.Block, 0, MEM_RELEASE);
  CloseHandle(Remote);
  EXPECT_TRUE(Program.Close());
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary\\Lumorex");
}

TEST(MainWindowGui, OnePickRunsOnePassWithTheMouseOrTheKeyboard) {
  TSimWindows Sim;
  Sim.AddAdministratorsGroup(0xF);
  Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
  for (DWORD Pid : {2000u, 2004u}) {
    Sim.AddProcess(Pid, "child.exe");
    for (int I = 0; I < 300; ++I) Sim.AddFile(Pid, "\\Device\\HarddiskVolume1\\f" + std::to_string(I));
  }
  Sim.OnProcessMessages = [] { Win32System().ProcessMessages(); };
  TOsScope Use(Sim);
  TMainWindow Window;
  ASSERT_TRUE(Window.Create(GetModuleHandleA(nullptr)));
  Window.Show(SW_SHOWNORMAL);
  HWND Main = Window.Handle, Combo = GetDlgItem(Main, IdComboBox1), List = GetDlgItem(Main, IdListView1);
  SetForegroundWindow(Main);
  PumpFor(300);
  auto Passes = [&] {
    return std::count_if(Sim.OpenProcessCalls.begin(), Sim.OpenProcessCalls.end(),
                         [](const auto& Call) { return std::get<0>(Call) == PROCESS_DUP_HANDLE; });
  };
  // Lines in PID order: 0, 4, 1000, 2000, 2004.
  RECT Box;
  GetClientRect(Combo, &Box);
  ClickAt(MiddleOf(Combo, Box));
  PumpFor(300);
  COMBOBOXINFO Info = {};
  Info.cbSize = sizeof Info;
  ASSERT_TRUE(GetComboBoxInfo(Combo, &Info));
  ASSERT_TRUE(IsWindowVisible(Info.hwndList)) << "the list did not drop down";
  RECT Line;
  SendMessageA(Info.hwndList, LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&Line));
  ClickAt(MiddleOf(Info.hwndList, Line));
  PumpFor(800);
  EXPECT_EQ(SendMessageA(Combo, CB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(Passes(), 1) << "a mouse pick";
  EXPECT_EQ(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0), 300);

  SetFocus(Combo);
  PressKey(VK_DOWN);
  PumpFor(800);
  EXPECT_EQ(SendMessageA(Combo, CB_GETCURSEL, 0, 0), 4);
  EXPECT_EQ(Passes(), 2) << "a keyboard pick";

  // Tab walks the controls in layout order, Shift+Tab back.
  // Pumped as the program's message loop does: accelerators and dialog keys first.
  auto PumpWindow = [&Window](DWORD Milliseconds) {
    PumpFor(Milliseconds, [&Window](MSG* Message) { return Window.PreTranslate(Message); });
  };
  const struct {
    WORD Modifier;
    int Focused;
  } Walk[] = {{0, IdButton3}, {0, IdListView1}, {0, IdButton1}, {0, IdButton2}, {0, IdComboBox1}, {VK_SHIFT, IdButton2}};
  for (const auto& Step : Walk) {
    PressKey(VK_TAB, Step.Modifier);
    PumpWindow(100);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), Step.Focused);
  }

  // Real input reaches the window while a pass waits on names with nothing
  // else to do: F5 pressed well into a keyboard pick of a line whose names
  // hang asks that pass to stop from inside it, not once it has ended.
  for (int I = 0; I < 8; ++I) Sim.ObjectOf(2000, 4 + 4 * I).Hang = true;
  int Dispatches = 0, StopAt = 0;
  Sim.OnProcessMessages = [&] {
    if (++Dispatches == 30) PressKey(VK_F5);
    Win32System().ProcessMessages();
    if (!StopAt && Pass().Running() && Pass().StopRequested()) StopAt = Dispatches;
  };
  SetFocus(Combo);
  PressKey(VK_UP);
  PumpWindow(2000);
  ASSERT_GE(Dispatches, 30);
  EXPECT_GE(StopAt, 30);
  EXPECT_LE(StopAt, 35) << "F5 waited for something else to dispatch, or for the pass to end";
  Sim.OnProcessMessages = [] { Win32System().ProcessMessages(); };

  DestroyWindow(Main);
  PumpFor(50);
  Sim.ReleaseBlocked();
  Sim.WaitThreads();
  ReapNameWorkers();
}

TEST(MainWindowGui, HammeredRefreshStaysAnsweringAndEndsWithTheChildsRows) {
  // A user holding F5 over a child with thousands of files: every refresh
  // that arrives during a pass stops it and waits; none may end a worker.
  TRegistryLock Lock;
  std::string Folder = TempFolder("hammer");
  TChild Child({"many:2500:" + Folder});
  ASSERT_TRUE(Child.Started());
  TMainWindow Window;
  ASSERT_TRUE(Window.Create(GetModuleHandleA(nullptr)));
  Window.Show(SW_SHOWNORMAL);
  PumpFor(100);
  Mode = 0;
  int Line = -1;
  for (int I = 0; I < ProcessCount; ++I)
    if (ProcessTable[I].PID == Child.Pid()) Line = I;
  ASSERT_GE(Line, 0);
  Window.Screen.SetSelectorPosition(Line);
  const size_t Terminated = NameWorkersTerminated();

  struct TPoster {
    HWND Main;
    int Unanswered = 0;
    std::atomic<bool> Done{false};
    static DWORD WINAPI Run(LPVOID P) {
      auto* Self = static_cast<TPoster*>(P);
      for (int I = 0; I < 300; ++I) {
        PostMessageA(Self->Main, WM_COMMAND, MAKEWPARAM(IdButton1, BN_CLICKED), 0);
        Sleep(1 + I % 7);
        DWORD_PTR Result;
        if (I % 50 == 49 && !SendMessageTimeoutA(Self->Main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &Result))
          ++Self->Unanswered;
      }
      Self->Done = true;
      return 0;
    }
  } Poster{Window.Handle};
  HANDLE Thread = CreateThread(nullptr, 0, TPoster::Run, &Poster, 0, nullptr);
  ASSERT_NE(Thread, nullptr);
  DWORD Start = GetTickCount();
  while ((!Poster.Done || Pass().Running() || Pass().Waiting() > 0) && GetTickCount() - Start < 120000) PumpFor(20);
  WaitForSingleObject(Thread, 10000);
  CloseHandle(Thread);
  PumpFor(100);

  EXPECT_EQ(Poster.Unanswered, 0);
  EXPECT_EQ(NameWorkersTerminated(), Terminated);
  EXPECT_EQ(StatusText(Window.Screen.StatusBar, 0), "Ready");
  size_t Mine = 0;
  for (size_t I = 0; I < Window.Screen.FileCount(); ++I)
    if (_strnicmp(Window.Screen.File(I).SubItems.at(0).c_str(), Folder.c_str(), Folder.size()) == 0) ++Mine;
  EXPECT_EQ(Mine, 2500u);
  DestroyWindow(Window.Handle);
  PumpFor(50);
}


namespace {

// A rectangle of a list-view row of another process, in the list's client area.
RECT RemoteItemRect(HWND List, const TRemoteText& R, int Item) {
  RECT Box = {LVIR_BOUNDS, 0, 0, 0};
  SIZE_T Done;
  WriteProcessMemory(R.Process, R.Block + 2048, &Box, sizeof Box, &Done);
  SendMessageA(List, LVM_GETITEMRECT, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(R.Block + 2048));
  ReadProcessMemory(R.Process, R.Block + 2048, &Box, sizeof Box, &Done);
  return Box;
}

std::string RemoteStatusText(HWND Bar, const TRemoteText& R, int Panel) {
  SendMessageA(Bar, SB_GETTEXTA, static_cast<WPARAM>(Panel), reinterpret_cast<LPARAM>(R.Block + 3072));
  char Text[512] = {};
  SIZE_T Done;
  ReadProcessMemory(R.Process, R.Block + 3072, Text, sizeof Text - 1, &Done);
  return Text;
}

struct TFindTop {
  DWORD Pid;
  const char* Class;
  const char* Title;  // null: any
  HWND Found;
};

BOOL CALLBACK FindVisibleTop(HWND W, LPARAM P) {
  auto* F = reinterpret_cast<TFindTop*>(P);
  DWORD Owner = 0;
  GetWindowThreadProcessId(W, &Owner);
  char Class[64] = {}, Title[64] = {};
  GetClassNameA(W, Class, sizeof Class);
  SendMessageTimeoutA(W, WM_GETTEXT, sizeof Title, reinterpret_cast<LPARAM>(Title), SMTO_NORMAL, 1000, nullptr);
  if (Owner == F->Pid && IsWindowVisible(W) && std::string(Class) == F->Class &&
      (!F->Title || std::string(Title) == F->Title))
    F->Found = W;
  return !F->Found;
}

// A visible top-level window of the program, waited for up to Milliseconds.
HWND WaitForTop(DWORD Pid, const char* Class, const char* Title, DWORD Milliseconds) {
  TFindTop Find = {Pid, Class, Title, nullptr};
  for (DWORD Start = GetTickCount(); !Find.Found; Sleep(50)) {
    EnumWindows(FindVisibleTop, reinterpret_cast<LPARAM>(&Find));
    if (!Find.Found && GetTickCount() - Start > Milliseconds) break;
  }
  return Find.Found;
}

BOOL CALLBACK CollectStatic(HWND W, LPARAM P) {
  char Class[32] = {}, Text[1024] = {};
  GetClassNameA(W, Class, sizeof Class);
  SendMessageA(W, WM_GETTEXT, sizeof Text, reinterpret_cast<LPARAM>(Text));
  if (_stricmp(Class, "Static") == 0 && std::strlen(Text) > reinterpret_cast<std::string*>(P)->size())
    *reinterpret_cast<std::string*>(P) = Text;
  return TRUE;
}

// The message of a message box: its longest static text.
std::string BoxMessage(HWND Box) {
  std::string Text;
  EnumChildWindows(Box, CollectStatic, reinterpret_cast<LPARAM>(&Text));
  return Text;
}

std::string ClipboardText() {
  std::string Text;
  for (int Try = 0; Try < 50 && !OpenClipboard(nullptr); ++Try) Sleep(20);
  if (HANDLE Data = GetClipboardData(CF_TEXT)) {
    if (const char* At = static_cast<const char*>(GlobalLock(Data))) {
      Text = At;
      GlobalUnlock(Data);
    }
  }
  CloseClipboard();
  return Text;
}

}  // namespace

TEST(MainWindowGui, RealProgramClosesTheHandleThatLocksAFileOnlyAfterYes) {
  TRegistryLock Lock;
  const std::string Folder = TempFolder("close"), Locked = Folder + "\\locked.dat", Free = Folder + "\\free.txt";
  TChild Child({"locked:" + Locked, Free});
  ASSERT_TRUE(Child.Started());
  ASSERT_EQ(Child.Write(), "written");
  EXPECT_FALSE(DeleteFileA(Locked.c_str()));
  EXPECT_EQ(GetLastError(), 32u);  // in use, shared with no one
  // No refresh of the timer's own while the rows are read.
  const DWORD NoTicks = 0;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary\\Lumorex", "TimerInterval", REG_DWORD, &NoTicks,
                            sizeof NoTicks),
            ERROR_SUCCESS);

  TRunningProgram Program;
  ASSERT_NE(Program.Main(), nullptr);
  HWND Main = Program.Main(), List = GetDlgItem(Main, IdListView1), Bar = GetDlgItem(Main, IdStatusBar1);
  ASSERT_TRUE(Program.Pick(Child.Pid(), "lxchild.exe"));
  HANDLE Remote = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Program.Pid());
  ASSERT_NE(Remote, nullptr);
  TRemoteText R = {Remote, static_cast<BYTE*>(VirtualAllocEx(Remote, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE))};
  auto RowOf = [&](const std::string& Path) {
    const int Rows = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
    for (int I = 0; I < Rows; ++I)
      if (_stricmp(RemoteItemText(List, R, I, 1).c_str(), Path.c_str()) == 0) return I;
    return -1;
  };
  const int Row = RowOf(Locked);
  ASSERT_GE(Row, 0);
  const std::string Handle = HandleText(Child.Handles()[0]), Shown = RemoteItemText(List, R, Row, 1);
  EXPECT_EQ(RemoteItemText(List, R, Row, 0), Handle);
  const std::string Question = "Close handle " + Handle + " of process " + std::to_string(Child.Pid()) +
                               " (lxchild.exe)?\n\n" + Shown +
                               "\n\nThe program may fail or lose unsaved work when a file it uses is closed under it.";

  // Right-clicked with the mouse, the row is selected and its menu opens;
  // C chooses "Close handle...".
  auto AskToClose = [&](bool Shoot) -> HWND {
    SetForegroundWindow(Main);
    RightClickAt(MiddleOf(List, RemoteItemRect(List, R, Row)));
    HWND Menu = WaitForTop(Program.Pid(), "#32768", nullptr, 5000);
    if (!Menu) return nullptr;
    EXPECT_EQ(SendMessageA(List, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), Row);
    if (Shoot) {
      Sleep(200);
      RECT Window, Popup, Both;
      GetWindowRect(Main, &Window);
      GetWindowRect(Menu, &Popup);
      UnionRect(&Both, &Window, &Popup);
      SaveScreenShot(Both, "context-menu");
    }
    PressKey('C');
    return WaitForTop(Program.Pid(), "#32770", "Lumorex", 5000);
  };
  HWND Box = AskToClose(true);
  ASSERT_NE(Box, nullptr);
  EXPECT_EQ(BoxMessage(Box), Question);
  Sleep(200);
  SaveWindowShot(Box, "close-handle-box");
  // Enter takes the default button, No: everything stays as it was.
  PressKey(VK_RETURN);
  for (int Try = 0; Try < 100 && IsWindow(Box); ++Try) Sleep(50);
  EXPECT_FALSE(IsWindow(Box));
  Sleep(300);
  EXPECT_EQ(Child.Write(), "written");
  EXPECT_FALSE(DeleteFileA(Locked.c_str()));
  EXPECT_EQ(RowOf(Locked), Row);

  Box = AskToClose(false);
  ASSERT_NE(Box, nullptr);
  PressKey('Y');
  const std::string Closed = "Handle " + Handle + " closed.";
  std::string Status;
  for (DWORD Start = GetTickCount(); (Status = RemoteStatusText(Bar, R, 0)) != Closed; Sleep(100))
    if (GetTickCount() - Start > 30000) break;
  EXPECT_EQ(Status, Closed);
  EXPECT_EQ(RowOf(Locked), -1) << "the list was not refreshed";
  EXPECT_EQ(Child.Write(), "failed 6");  // ERROR_INVALID_HANDLE: closed under it
  EXPECT_TRUE(DeleteFileA(Locked.c_str())) << GetLastError();

  // Ctrl+C on a row clicked with the mouse: exactly its cells.
  const int FreeRow = RowOf(Free);
  ASSERT_GE(FreeRow, 0);
  ClickAt(MiddleOf(List, RemoteItemRect(List, R, FreeRow)));
  Sleep(300);
  PressKey('C', VK_CONTROL);
  const std::string Copied = RemoteItemText(List, R, FreeRow, 0) + "\t" + RemoteItemText(List, R, FreeRow, 1) + "\t" +
                             RemoteItemText(List, R, FreeRow, 2) + "\r\n";
  std::string Read;
  for (int Try = 0; Try < 50 && (Read = ClipboardText()) != Copied; ++Try) Sleep(100);
  EXPECT_EQ(Read, Copied);

  // Shift+F10 and the Menu key open the menu once each.
  const struct {
    WORD Key, Modifier;
  } Keys[] = {{VK_F10, VK_SHIFT}, {VK_APPS, 0}};
  for (const auto& K : Keys) {
    PressKey(K.Key, K.Modifier);
    EXPECT_NE(WaitForTop(Program.Pid(), "#32768", nullptr, 5000), nullptr) << K.Key;
    PressKey(VK_ESCAPE);
    Sleep(500);
    EXPECT_EQ(WaitForTop(Program.Pid(), "#32768", nullptr, 0), nullptr) << K.Key;
  }
  VirtualFreeEx(Remote, R.Block, 0, MEM_RELEASE);
  CloseHandle(Remote);
  EXPECT_TRUE(Program.Close());
}

TEST(MainWindowGui, ExplorerVerbsAddedByLumorexcOpenTheWindowOnAHeldFileAndOnItsFolder) {
  TRegistryLock Lock;
  const std::string Folder = TempFolder("verb"), Held = Folder + "\\held by a child.txt";
  TChild Child({Held});
  ASSERT_TRUE(Child.Started());
  ASSERT_EQ(RunConsoleProgram("--explorer-menu add").Exit, 0u);
  const std::wstring Classes = L"Software\\Classes\\", Verb = L"\\shell\\Lumorex.WhatHolds";
  for (const wchar_t* Kind : {L"*", L"Directory"}) {
    // Started as Explorer starts it: the command as written, the item for %1.
    wchar_t Command[1024] = {};
    DWORD Size = sizeof Command;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (Classes + Kind + Verb + L"\\command").c_str(), nullptr, RRF_RT_REG_SZ,
                           nullptr, Command, &Size),
              ERROR_SUCCESS);
    std::wstring Line = Command;
    Line.replace(Line.find(L"%1"), 2, WideFromUtf8(Kind[0] == L'*' ? Held : Folder));
    TRunningProgram Program(Line);
    HWND Main = Program.Main(), List = GetDlgItem(Main, IdListView1), Bar = GetDlgItem(Main, IdStatusBar1);
    ASSERT_NE(Main, nullptr);
    HANDLE Remote = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, Program.Pid());
    TRemoteText R = {Remote, static_cast<BYTE*>(VirtualAllocEx(Remote, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE))};
    std::string Status;
    for (DWORD Start = GetTickCount(); GetTickCount() - Start < 30000; Sleep(100))
      if (SendMessageA(List, LVM_GETITEMCOUNT, 0, 0) >= 2 &&
          (Status = RemoteStatusText(Bar, R, 0)).rfind("Ready", 0) == 0)
        break;  // the search's rows are in, and it has ended
    EXPECT_EQ(Status, "Ready");
    EXPECT_EQ(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0), 2);  // the holder under its header, nothing else
    EXPECT_EQ(RemoteItemText(List, R, 0, 1), "Process information: " + std::to_string(Child.Pid()) + " (lxchild.exe)");
    EXPECT_EQ(RemoteItemText(List, R, 1, 0), HandleText(Child.Handles()[0]));
    EXPECT_EQ(_stricmp(RemoteItemText(List, R, 1, 1).c_str(), Held.c_str()), 0) << RemoteItemText(List, R, 1, 1);
    if (Kind[0] == L'*') SaveWindowShot(Main, "window-opened-on-file");
    VirtualFreeEx(Remote, R.Block, 0, MEM_RELEASE);
    CloseHandle(Remote);
    EXPECT_TRUE(Program.Close());
  }
  EXPECT_EQ(RunConsoleProgram("--explorer-menu remove").Exit, 0u);
  for (const wchar_t* Kind : {L"*", L"Directory", L"Drive"})
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, (Classes + Kind + Verb).c_str(), nullptr, RRF_RT_ANY, nullptr, nullptr,
                           nullptr),
              ERROR_FILE_NOT_FOUND);
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary\\Lumorex");
}
