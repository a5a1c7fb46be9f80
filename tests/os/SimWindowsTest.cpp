// The simulation's accounting and fault injection are what every leak and
// failure test stands on, so they are proven first.
#include <chrono>

#include "support/Machine.h"

namespace {

DWORD WINAPI Returns7(LPVOID) { return 7; }

DWORD WINAPI QueriesName(LPVOID Parameter) {
  BYTE Buffer[520];
  ULONG Length = 0;
  return static_cast<DWORD>(Os().NtQueryObject(static_cast<HANDLE>(Parameter), ObjectNameInformation, Buffer,
                                               sizeof Buffer, &Length));
}

class SimWindowsTest : public TMachineTest {};

TEST_F(SimWindowsTest, AccountingNamesWhatIsStillHeld) {
  HANDLE File = Sim.CreateFileA("NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  void* Block = Sim.VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  HANDLE Thread = Sim.CreateThread(nullptr, 0, Returns7, nullptr, 0, nullptr);
  ASSERT_EQ(Sim.WaitForSingleObject(Thread, INFINITE), WAIT_OBJECT_0);
  HKEY Key;
  ASSERT_EQ(Sim.RegCreateKeyA(HKEY_CURRENT_USER, "Software\\X", &Key), ERROR_SUCCESS);
  SID_IDENTIFIER_AUTHORITY Nt = SECURITY_NT_AUTHORITY;
  PSID Sid;
  ASSERT_TRUE(Sim.AllocateAndInitializeSid(&Nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &Sid));
  HANDLE Snapshot = Sim.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);

  EXPECT_EQ(Sim.Outstanding(), "block 1, handle:file 1, handle:snapshot 1, handle:thread 1, key 1, sid 1");
  DWORD Code = 0;
  EXPECT_TRUE(Sim.GetExitCodeThread(Thread, &Code));
  EXPECT_EQ(Code, 7u);

  Sim.CloseHandle(File);
  Sim.VirtualFree(Block, 0, MEM_RELEASE);
  Sim.CloseHandle(Thread);
  Sim.RegCloseKey(Key);
  Sim.FreeSid(Sid);
  Sim.CloseHandle(Snapshot);
  EXPECT_EQ(Sim.Outstanding(), "");
  // A second close is an error, not a silent success.
  EXPECT_FALSE(Sim.CloseHandle(File));
  EXPECT_FALSE(Sim.VirtualFree(Block, 0, MEM_RELEASE));
}

TEST_F(SimWindowsTest, FaultsHitTheChosenCallOnly) {
  Sim.FailCall("OpenProcess", 2, ERROR_ACCESS_DENIED);
  HANDLE First = Sim.OpenProcess(PROCESS_DUP_HANDLE, FALSE, 4);
  HANDLE Second = Sim.OpenProcess(PROCESS_DUP_HANDLE, FALSE, 4);
  HANDLE Third = Sim.OpenProcess(PROCESS_DUP_HANDLE, FALSE, 4);
  EXPECT_NE(First, nullptr);
  EXPECT_EQ(Second, nullptr);
  EXPECT_EQ(Sim.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_NE(Third, nullptr);
  Sim.CloseHandle(First);
  Sim.CloseHandle(Third);

  Sim.StatusCall("NtQuerySystemInformation", static_cast<NTSTATUS>(0xC0000017));
  BYTE Buffer[64];
  EXPECT_EQ(Sim.NtQuerySystemInformation(16, Buffer, sizeof Buffer, nullptr), static_cast<NTSTATUS>(0xC0000017));

  long Before = Sim.TotalCalls();
  Sim.FailGlobalCall(Before + 2);
  void* A = Sim.VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
  void* B = Sim.VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
  EXPECT_NE(A, nullptr);
  EXPECT_EQ(B, nullptr);
  Sim.VirtualFree(A, 0, MEM_RELEASE);
  EXPECT_EQ(Sim.Outstanding(), "");
}

TEST_F(SimWindowsTest, BlockedCallWaitsForReleaseAndTerminationTakesEffectAfterIt) {
  uintptr_t Value = Sim.AddFile(Sim.SelfPid, "\\Device\\HarddiskVolume1\\x.log");
  Sim.ObjectOf(Sim.SelfPid, Value).Hang = true;
  HANDLE Thread = Sim.CreateThread(nullptr, 0, QueriesName, nullptr, 0, nullptr);
  // The hanging object belongs to our own table, so the query reaches it only
  // through a handle we own.
  HANDLE Own;
  ASSERT_TRUE(Sim.DuplicateHandle(Sim.GetCurrentProcess(), reinterpret_cast<HANDLE>(Value), Sim.GetCurrentProcess(),
                                  &Own, 0, FALSE, DUPLICATE_SAME_ACCESS));
  HANDLE Hung = Sim.CreateThread(nullptr, 0, QueriesName, Own, 0, nullptr);
  EXPECT_EQ(Sim.WaitForSingleObject(Thread, 1000), WAIT_OBJECT_0);
  auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Sim.WaitForSingleObject(Hung, 50), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(50));
  EXPECT_TRUE(Sim.TerminateThread(Hung, 0));
  EXPECT_EQ(Sim.LiveThreads(), 1);  // still inside the hung call
  Sim.ReleaseBlocked();
  EXPECT_EQ(Sim.WaitForSingleObject(Hung, 1000), WAIT_OBJECT_0);
  DWORD Code = 1;
  Sim.GetExitCodeThread(Hung, &Code);
  EXPECT_EQ(Code, 0u);  // the termination's code, not the query's status
  Sim.CloseHandle(Thread);
  Sim.CloseHandle(Hung);
  Sim.CloseHandle(Own);
  ExpectAllReleased();
}

TEST_F(SimWindowsTest, OldTableClassCarriesSixteenBitValues) {
  Sim.AddProcess(70000, "big.exe");
  Sim.AddFile(70000, "\\Device\\HarddiskVolume1\\a", 0x10004);
  ULONG Needed = 0;
  BYTE Probe[8];
  ASSERT_EQ(Sim.NtQuerySystemInformation(16, Probe, sizeof Probe, &Needed), STATUS_INFO_LENGTH_MISMATCH);
  std::vector<BYTE> Block(Needed);
  ASSERT_EQ(Sim.NtQuerySystemInformation(16, Block.data(), Needed, &Needed), STATUS_SUCCESS);
  THandleTableView Old(Block.data(), Block.size(), HandleTableLayout(16, NativePointerWidth));
  auto Last = Old.Entry(Old.NumberOfHandles() - 1);
  EXPECT_EQ(Last.ProcessId, 70000u & 0xFFFF);
  EXPECT_EQ(Last.Handle, 0x0004u);

  ASSERT_EQ(Sim.NtQuerySystemInformation(64, Probe, sizeof Probe, &Needed), STATUS_INFO_LENGTH_MISMATCH);
  Block.resize(Needed);
  ASSERT_EQ(Sim.NtQuerySystemInformation(64, Block.data(), Needed, &Needed), STATUS_SUCCESS);
  THandleTableView Extended(Block.data(), Block.size(), HandleTableLayout(64, NativePointerWidth));
  Last = Extended.Entry(Extended.NumberOfHandles() - 1);
  EXPECT_EQ(Last.ProcessId, 70000u);
  EXPECT_EQ(Last.Handle, 0x10004u);
  EXPECT_EQ(Last.ObjectTypeNumber, Sim.FileTypeNumber);
}

}  // namespace
