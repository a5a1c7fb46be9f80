// Lookups, termination and the token.
#include "process/Process.h"

#include "support/Machine.h"

namespace {

class ProcessTest : public TMachineTest {
 protected:
  ProcessTest() { Sim.AddProcess(2000, "MixedCase.EXE", "C:\\Program Files\\Mixed\\MixedCase.EXE"); }
};

TEST_F(ProcessTest, NameKeepsItsCaseAndIsEmptyOnceTheProcessEnded) {
  EXPECT_EQ(ProcessNameByPID(2000), "MixedCase.EXE");
  Sim.EndProcess(2000);
  EXPECT_EQ(ProcessNameByPID(2000), "");
  Sim.FailCall("CreateToolhelp32Snapshot");
  EXPECT_EQ(ProcessNameByPID(4), "");
  ExpectAllReleased();
}

TEST_F(ProcessTest, PathNeedsAnOpenableProcessAndPsapi) {
  EXPECT_EQ(ProcessPathByPID(2000), "C:\\Program Files\\Mixed\\MixedCase.EXE");
  EXPECT_EQ(Sim.OpenProcessCalls.back(), std::make_tuple(DWORD(0x410), FALSE, DWORD(2000)));
  EXPECT_EQ(ProcessPathByPID(0), "");
  // A 64-bit process seen from the 32-bit program, and a system without PSAPI:
  // the image name comes from the system; without that call too, nothing.
  Sim.FailCall("GetModuleFileNameExA");
  EXPECT_EQ(ProcessPathByPID(2000), "C:\\Program Files\\Mixed\\MixedCase.EXE");
  Sim.PsapiMissing = true;
  EXPECT_EQ(ProcessPathByPID(2000), "C:\\Program Files\\Mixed\\MixedCase.EXE");
  Sim.FullImageNameMissing = true;
  EXPECT_EQ(ProcessPathByPID(2000), "");
  ExpectAllReleased();
}

TEST_F(ProcessTest, KillEndsWhatItCanOpenAndAlwaysSaysTrue) {
  Sim.Process(2000).CanOpen = false;
  EXPECT_TRUE(KillProcess(2000));
  EXPECT_EQ(ProcessNameByPID(2000), "MixedCase.EXE");
  Sim.Process(2000).CanOpen = true;
  EXPECT_TRUE(KillProcess(2000));
  EXPECT_EQ(Sim.OpenProcessCalls.back(), std::make_tuple(DWORD(0x1F0FFF), TRUE, DWORD(2000)));
  EXPECT_EQ(ProcessNameByPID(2000), "");
  EXPECT_EQ(Sim.Process(2000).ExitCode, 0u);
  ExpectAllReleased();
}

TEST_F(ProcessTest, AdministratorsGroupCountsWhateverItsAttributes) {
  const BYTE Nt[6] = {0, 0, 0, 0, 0, 5};
  Sim.Groups.push_back({TSimWindows::MakeSid(Nt, {21, 1, 2, 3, 513}), 7});
  EXPECT_FALSE(IsAdmin());
  Sim.AddAdministratorsGroup(0x10 /* SE_GROUP_USE_FOR_DENY_ONLY */);
  EXPECT_TRUE(IsAdmin());
  Sim.Groups.back().Attributes = 0xF;
  EXPECT_TRUE(IsAdmin());
  // Thread token first; the process token only when there is none.
  EXPECT_EQ(Sim.Calls("OpenThreadToken"), 3);
  EXPECT_EQ(Sim.Calls("OpenProcessToken"), 3);
  Sim.ThreadToken = true;
  EXPECT_TRUE(IsAdmin());
  EXPECT_EQ(Sim.Calls("OpenProcessToken"), 3);
  EXPECT_EQ(Sim.TokenAccess.back(), static_cast<DWORD>(TOKEN_QUERY));
  EXPECT_EQ(Sim.ThreadTokenAsSelf, std::vector<BOOL>(4, TRUE));
  ExpectAllReleased();
}

TEST_F(ProcessTest, NoTokenMeansNoAdministrator) {
  Sim.AddAdministratorsGroup(0xF);
  Sim.FailCall("OpenThreadToken", 1, ERROR_ACCESS_DENIED);  // not ERROR_NO_TOKEN: no fallback
  EXPECT_FALSE(IsAdmin());
  Sim.FailCall("OpenProcessToken");
  EXPECT_FALSE(IsAdmin());
  ExpectAllReleased();
}

TEST_F(ProcessTest, MemberOfManyGroupsIsStillAnAdministrator) {
  const BYTE Nt[6] = {0, 0, 0, 0, 0, 5};
  for (DWORD I = 0; I < 60; ++I) Sim.Groups.push_back({TSimWindows::MakeSid(Nt, {21, 10, 20, 30, 1000 + I}), 7});
  Sim.AddAdministratorsGroup(0xF);
  EXPECT_TRUE(IsAdmin());
  EXPECT_EQ(Sim.Calls("GetTokenInformation"), 2);
  ExpectAllReleased();
}

TEST_F(ProcessTest, DebugPrivilegeAsksForTheExactRecord) {
  EXPECT_TRUE(SetDebugPrivilege(true));
  ASSERT_EQ(Sim.AdjustRecords.size(), 1u);
  TOKEN_PRIVILEGES Sent;
  std::memcpy(&Sent, Sim.AdjustRecords[0].data(), sizeof Sent);
  EXPECT_EQ(Sent.PrivilegeCount, 1u);
  EXPECT_EQ(Sent.Privileges[0].Luid.LowPart, 20u);
  EXPECT_EQ(Sent.Privileges[0].Attributes, static_cast<DWORD>(SE_PRIVILEGE_ENABLED));
  EXPECT_EQ(Sim.AdjustLengths[0], 16u);
  EXPECT_EQ(Sim.TokenAccess.back(), static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES));
  EXPECT_TRUE(SetDebugPrivilege(false));
  std::memcpy(&Sent, Sim.AdjustRecords[1].data(), sizeof Sent);
  EXPECT_EQ(Sent.Privileges[0].Attributes, 0u);
  EXPECT_EQ(Sim.AdjustDisableAll, std::vector<BOOL>(2, FALSE));  // TRUE would drop every privilege
  Sim.AdjustResult = FALSE;
  EXPECT_FALSE(SetDebugPrivilege(true));
  Sim.FailCall("OpenProcessToken");
  EXPECT_FALSE(SetDebugPrivilege(true));
  ExpectAllReleased();
}

TEST_F(ProcessTest, EveryFailureReleasesTokensSidsAndHandles) {
  Sim.AddAdministratorsGroup(0xF);
  for (long K = 1; K <= 12; ++K) {
    Sim.FailGlobalCall(Sim.TotalCalls() + K);
    IsAdmin();
    SetDebugPrivilege(true);
    ProcessNameByPID(2000);
    ProcessPathByPID(2000);
    KillProcess(4);
    EXPECT_EQ(Sim.Outstanding(), "") << "failing call " << K;
  }
}

}  // namespace
