// The real window, the real system: 300 listing passes through RefreshAll over
// a child holding a few dozen files and a pipe. Nothing may grow.
#include <gtest/gtest.h>

#include "os/Struct.h"

#include <psapi.h>

#include <cstdio>

#include "inspect/File2Name.h"
#include "process/ProcessList.h"
#include "settings/Settings.h"
#include "ui/win32/MainWindow.h"
#include "wine/WineSupport.h"

namespace {

struct TUsage {
  DWORD Handles = 0, Gdi = 0, User = 0;
  SIZE_T Bytes = 0;
};

TUsage Measure() {
  TUsage U;
  GetProcessHandleCount(GetCurrentProcess(), &U.Handles);
  if (U.Handles == 0) {
    // Wine does not count them: count this process's entries in the system
    // handle table instead.
    TInfoTable Table = GetInfoTable();
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I)
      if (Table.OwnedBy(Table.Entry(I), GetCurrentProcessId())) ++U.Handles;
  }
  U.Gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  U.User = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  PROCESS_MEMORY_COUNTERS_EX Counters = {};
  Counters.cb = sizeof Counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&Counters), sizeof Counters);
  // Private bytes where the system keeps them; the commit charge elsewhere.
  U.Bytes = Counters.PrivateUsage ? Counters.PrivateUsage : Counters.PagefileUsage;
  return U;
}

TEST(Soak, ThreeHundredRefreshesLeakNothingAndListTheSameRows) {
  TRegistryLock Lock;
  std::string Folder = TempFolder("soak");
  TChild Child({"many:30:" + Folder, "pipe:lumorex-soak-" + std::to_string(GetCurrentProcessId())});
  ASSERT_TRUE(Child.Started());
  TMainWindow Window;
  TSettingsWindow Settings;
  TAboutWindow About;
  TFindWindow Find;
  ASSERT_TRUE(Window.Create(GetModuleHandleA(nullptr)));
  Window.Attach(Settings, About, Find);
  Window.Show(SW_SHOWNORMAL);
  PumpFor(100);
  Mode = 1;  // the pipe too
  // A refresh keeps the line, not the process: when other processes of the
  // session come or go, the user picks the child's line again.
  auto PickChild = [&] {
    for (int I = 0; I < ProcessCount; ++I)
      if (ProcessTable[I].PID == Child.Pid()) {
        Window.Screen.SetSelectorPosition(I);
        Window.Form.ComboBox1Select();
        return true;
      }
    return false;
  };
  ASSERT_TRUE(PickChild());
  std::vector<TFileRow> First;
  for (size_t I = 0; I < Window.Screen.FileCount(); ++I) First.push_back(Window.Screen.File(I));
  ASSERT_GE(First.size(), 31u);

  TUsage Base;
  int Differ = 0;
  for (int Pass = 1; Pass <= 300; ++Pass) {
    Window.Form.RefreshAll();
    PumpFor(0);
    DWORD Shown = 0;
    if (!PidOfLine(Window.Screen.SelectorPosition(), &Shown) || Shown != Child.Pid()) PickChild();
    std::vector<TFileRow> Rows;
    for (size_t I = 0; I < Window.Screen.FileCount(); ++I) Rows.push_back(Window.Screen.File(I));
    if (Rows != First) ++Differ;
    if (Pass == 10) Base = Measure();
  }
  TUsage End = Measure();
  std::printf("after 10 passes: handles %lu, GDI %lu, USER %lu, bytes %zu\n", Base.Handles, Base.Gdi, Base.User,
              static_cast<size_t>(Base.Bytes));
  std::printf("after 300 passes: handles %lu, GDI %lu, USER %lu, bytes %zu\n", End.Handles, End.Gdi, End.User,
              static_cast<size_t>(End.Bytes));
  EXPECT_EQ(Differ, 0);
  EXPECT_LE(End.Handles, Base.Handles + 4);
  // Wine reports no GDI or USER objects (0): the checks bite on Windows.
  EXPECT_LE(End.Gdi, Base.Gdi + 4);
  EXPECT_LE(End.User, Base.User + 4);
  EXPECT_LE(End.Bytes, Base.Bytes + 2 * 1024 * 1024);
  EXPECT_EQ(ReapNameWorkersWithin(5000), 0u);
  Mode = 0;
  DestroyWindow(Window.Handle);
  PumpFor(50);
}

}  // namespace
