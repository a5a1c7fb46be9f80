// The process table, its sort and the selector lines.
#include "process/ProcessList.h"
#include "process/Process.h"

#include "support/Machine.h"

namespace {

class ProcessListTest : public TMachineTest {
 protected:
  ProcessListTest() {
    // The machine starts with [System Process] (0), System (4) and lumorex.exe.
    Sim.AddProcess(1234, "Explorer.EXE");
    Sim.AddProcess(8, "csrss.exe");
    Sim.AddProcess(12345, "svchost.exe");
    Sim.AddProcess(600, "SVCHOST.exe");
  }
  std::vector<DWORD> Pids() const {
    std::vector<DWORD> Out;
    for (int I = 0; I < ProcessCount; ++I) Out.push_back(ProcessTable[I].PID);
    return Out;
  }
};

TEST_F(ProcessListTest, SelectorLinesPadThePidToFourDigits) {
  FillProcessList(0);
  EXPECT_EQ(Screen.SelectorLines, (std::vector<std::string>{"0000   [system process]", "0004   system",
                                                            "0008   csrss.exe", "0600   svchost.exe",
                                                            "1000   lumorex.exe", "1234   explorer.exe",
                                                            "12345   svchost.exe"}));
}

TEST_F(ProcessListTest, SortByNameIsBytewiseStableAndPrefixFirst) {
  Sim.AddProcess(700, "csrss");
  FillProcessList(1);
  // csrss before csrss.exe (prefix), before explorer; the two svchost.exe,
  // equal once lower-cased, keep the snapshot's order (12345 came first).
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 700, 8, 1234, 1000, 12345, 600, 4}));
}

TEST_F(ProcessListTest, SortByPidIsUnsignedAndOtherOrdersKeepTheSnapshot) {
  Sim.AddProcess(0x80000004u, "high.exe");
  FillProcessList(0);
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 4, 8, 600, 1000, 1234, 12345, 0x80000004u}));
  EXPECT_EQ(Screen.SelectorLines[0], "0000   [system process]");
  FillProcessList(2);
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 4, 1000, 1234, 8, 12345, 600, 0x80000004u}));
}

TEST_F(ProcessListTest, ASnapshotWithoutPidZeroGetsItWhereWindowsListsIt) {
  Sim.EndProcess(0);  // as Wine's snapshot
  Sim.AddProcess(2, "ZZ.exe");
  const size_t Slots = ProcessTable.size();
  FillProcessList(0);
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 2, 4, 8, 600, 1000, 1234, 12345}));
  EXPECT_EQ(Screen.SelectorLines[0], "0000   [system process]");
  FillProcessList(1);  // '[' sorts before the letters
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 8, 1234, 1000, 12345, 600, 4, 2}));
  FillProcessList(2);
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 4, 1000, 1234, 8, 12345, 600, 2}));
  EXPECT_EQ(ProcessNameByPID(0), "[System Process]");
  EXPECT_EQ(ProcessNameByPID(2), "ZZ.exe");
  EXPECT_EQ(ProcessTable.size(), Slots);  // the line added is not a slot more per refresh
  ExpectAllReleased();
}

TEST_F(ProcessListTest, OnlyAsciiLettersAreLowerCased) {
  // '@' and '[' stand just outside 'A' to 'Z'.
  Sim.AddProcess(900, "\xC4PFEL@AZ[.EXE");
  FillProcessList(2);
  ASSERT_GT(ProcessCount, 0);
  EXPECT_EQ(ProcessTable[ProcessCount - 1].Name, "\xC4pfel@az[.exe");
}

TEST_F(ProcessListTest, PidZerosLineIsAddedToAnySnapshotThatLacksIt) {
  Sim.EndProcess(0);
  for (DWORD Pid : {4u, 1234u, 8u, 12345u, 600u}) Sim.EndProcess(Pid);
  FillProcessList(0);  // ours alone
  EXPECT_EQ(Pids(), (std::vector<DWORD>{0, 1000}));
  // As many processes as the table has slots: the line put in needs one more.
  for (DWORD I = 1; I < 2049; ++I) Sim.AddProcess(20000 + 4 * I, "p.exe");
  FillProcessList(0);
  EXPECT_EQ(ProcessCount, 2050);
  EXPECT_EQ(ProcessTable[0].PID, 0u);
  EXPECT_EQ(ProcessTable[1].PID, 1000u);
  EXPECT_EQ(ProcessTable[2049].PID, 20000u + 4 * 2048);
}

TEST_F(ProcessListTest, ResetsTheWindowInItsOrder) {
  FillProcessList(0);
  std::vector<std::string> Expected = {"status0=Loading...",  "status0=Sorting...", "selector-clear", "selector=-1",
                                       "status0=Ready",       "clear",              "savereport=off", "endprocess=off",
                                       "status1=Processes: 7", "label=Open files: 0"};
  EXPECT_EQ(Screen.Log, Expected);
  EXPECT_EQ(Screen.SelectorText(), "");
  ExpectAllReleased();
}

TEST_F(ProcessListTest, NoSnapshotGivesAnEmptySelector) {
  FillProcessList(0);
  Sim.FailCall("CreateToolhelp32Snapshot");
  FillProcessList(0);
  EXPECT_TRUE(Screen.SelectorLines.empty());
  EXPECT_EQ(Screen.Status[1], "Processes: 0");
  Sim.FailCall("Process32Next");  // the first entry fails
  FillProcessList(0);
  EXPECT_EQ(ProcessCount, 0);
  EXPECT_EQ(Screen.Status[1], "Processes: 0");
  ExpectAllReleased();
}

TEST_F(ProcessListTest, NoProcessIsLeftOutPastTwoThousandFortyNine) {
  for (DWORD I = 0; I < 2100; ++I) Sim.AddProcess(20000 + 4 * I, "p" + std::to_string(I) + ".exe");
  FillProcessList(0);
  EXPECT_EQ(ProcessCount, 2107);
  EXPECT_EQ(Screen.SelectorLines.size(), 2107u);
  EXPECT_EQ(Screen.SelectorLines.back(), "28396   p2099.exe");
  DWORD Pid = 0;
  EXPECT_TRUE(PidOfLine(2106, &Pid));
  EXPECT_EQ(Pid, 28396u);
  EXPECT_FALSE(PidOfLine(2107, &Pid));
  EXPECT_FALSE(PidOfLine(-1, &Pid));
}

}  // namespace
