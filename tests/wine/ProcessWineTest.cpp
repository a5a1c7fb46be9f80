// Process queries, the token and the settings store on the real system.
#include <gtest/gtest.h>

#include "process/Process.h"
#include "process/ProcessList.h"
#include "settings/Settings.h"
#include "support/MemoryView.h"
#include "wine/WineSupport.h"

namespace {

TEST(ProcessWine, NamesAndPathsOfThisProcessAndAChild) {
  EXPECT_EQ(ProcessNameByPID(GetCurrentProcessId()), "lumorex_wine_tests.exe");
  std::string Own = ProcessPathByPID(GetCurrentProcessId());
  EXPECT_NE(Own.find("lumorex_wine_tests.exe"), std::string::npos) << Own;
  TChild Child({});
  ASSERT_TRUE(Child.Started());
  EXPECT_EQ(ProcessNameByPID(Child.Pid()), "lxchild.exe");
  EXPECT_NE(ProcessPathByPID(Child.Pid()).find("lxchild.exe"), std::string::npos);
  EXPECT_EQ(ProcessPathByPID(0), "");
}

TEST(ProcessWine, TableHoldsThisProcessLowerCasedAndAChild) {
  TChild Child({});
  ASSERT_TRUE(Child.Started());
  TMemoryView Screen;
  TViewScope Use(Screen);
  FillProcessList(0);
  bool Self = false, Kid = false;
  for (int I = 0; I < ProcessCount; ++I) {
    if (ProcessTable[I].PID == GetCurrentProcessId()) Self = ProcessTable[I].Name == "lumorex_wine_tests.exe";
    if (ProcessTable[I].PID == Child.Pid()) Kid = ProcessTable[I].Name == "lxchild.exe";
  }
  EXPECT_TRUE(Self);
  EXPECT_TRUE(Kid);
  EXPECT_EQ(Screen.Status[1], "Processes: " + std::to_string(ProcessCount));
}

TEST(ProcessWine, KillEndsAChild) {
  TChild Child({});
  ASSERT_TRUE(Child.Started());
  HANDLE Watch = OpenProcess(SYNCHRONIZE, FALSE, Child.Pid());
  EXPECT_TRUE(KillProcess(Child.Pid()));
  EXPECT_EQ(WaitForSingleObject(Watch, 5000), WAIT_OBJECT_0);
  CloseHandle(Watch);
}

TEST(ProcessWine, AdministratorWithTheDebugPrivilege) {
  EXPECT_TRUE(IsAdmin());
  EXPECT_TRUE(SetDebugPrivilege(true));
}

TEST(ProcessWine, SettingsRoundTripThroughTheRealRegistry) {
  TRegistryLock Lock;
  RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey);
  StartupSettings();
  EXPECT_EQ(TimerInterval, 10u);
  TimerInterval = 300;
  Mode = 1;
  SortType = 7;
  SaveSettings();
  DefaultSettings();
  LoadSettings();
  EXPECT_EQ(TimerInterval, 300u);
  EXPECT_EQ(Mode, 1u);
  EXPECT_EQ(SortType, 7u);
  DWORD Value = 0, Size = 4, Type = 0;
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, SettingsKey, "TimerInterval", RRF_RT_ANY, &Type, &Value, &Size),
            ERROR_SUCCESS);
  EXPECT_EQ(Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Value, 300u);
  RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey);
}

}  // namespace
