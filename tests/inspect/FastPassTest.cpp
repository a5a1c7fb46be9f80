// The fast pass lists exactly what the first pass listed: the same rows in the
// same order, the same counts and the same status texts.
#include "inspect/ListOpenFiles.h"
#include "process/ProcessList.h"
#include "support/Machine.h"
#include "support/ReferencePass.h"

namespace {

using TBuild = void (*)(TSimWindows&);

void Mixed(TSimWindows& Sim) {
  Sim.AddProcess(1234, "Word.exe");
  Sim.AddFile(1234, "\\Device\\HarddiskVolume1\\docs\\a.doc", 0x7A4);
  Sim.AddObject(1234, TSimWindows::EventType, "\\BaseNamedObjects\\ev");
  Sim.AddFile(1234, "\\Device\\NamedPipe\\wkssvc");
  Sim.AddFile(1234, "\\Device\\HarddiskVolume5\\data\\x.log");
  Sim.AddFile(1234, "\\??\\C:\\windows\\win.ini");
  Sim.AddProcess(1234 + 65536, "big.exe");
  Sim.AddFile(1234 + 65536, "\\Device\\HarddiskVolume1\\big.txt");
  Sim.AddProcess(3000, "locked.exe");
  Sim.AddFile(3000, "\\Device\\HarddiskVolume1\\secret");
  Sim.Process(3000).CanOpen = false;
}

void Failing(TSimWindows& Sim) {
  Mixed(Sim);
  Sim.ObjectOf(1234, 0x7A4).NoDuplicate = true;
  Sim.ObjectOf(1234, 0x7A4 + 12).Hang = true;  // x.log never answers
  Sim.ObjectOf(1234, 0x7A4 + 16).ObjectNameStatus = STATUS_INFO_LENGTH_MISMATCH;
}

void Many(TSimWindows& Sim) {
  Sim.AddProcess(1234, "many.exe");
  for (int I = 0; I < 700; ++I) {
    Sim.AddFile(1234, (I % 3 ? "\\Device\\HarddiskVolume1\\f" : "\\Device\\NamedPipe\\p") + std::to_string(I));
    if (I % 7 == 0) Sim.AddObject(1234, TSimWindows::EventType, "\\e");
  }
  Sim.AddProcess(1300, "other.exe");
  for (int I = 0; I < 50; ++I) Sim.AddFile(1300, "\\Device\\HarddiskVolume1\\o" + std::to_string(I));
}

void OldTable(TSimWindows& Sim) {
  Mixed(Sim);
  Sim.ExtendedTableSupported = false;
}

struct TRun {
  std::vector<TFileRow> Files;
  std::vector<std::string> Log;
};

TRun RunPass(TBuild Build, DWORD Pid, uint32_t Mode, bool Reference) {
  TSimWindows Sim;
  Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
  Build(Sim);
  TMemoryView Screen;
  TOsScope UseOs(Sim);
  TViewScope UseView(Screen);
  FillProcessList(0);
  Screen.Log.clear();
  if (Reference)
    ReferenceListOpenFiles(Pid, Mode);
  else
    ListOpenFiles(Pid, Mode);
  ReapAllWorkers(Sim);
  EXPECT_EQ(Sim.Outstanding(), "");
  return {Screen.Files, Screen.Log};
}

TEST(FastPass, SameRowsCountsAndStatusesAsTheFirstPass) {
  for (TBuild Build : {Mixed, Failing, Many, OldTable}) {
    for (DWORD Pid : {DWORD(1234), DWORD(0), DWORD(3000), DWORD(1234 + 65536)}) {
      for (uint32_t Mode : {0u, 1u}) {
        TRun Old = RunPass(Build, Pid, Mode, true);
        TRun New = RunPass(Build, Pid, Mode, false);
        EXPECT_EQ(New.Files, Old.Files) << "pid " << Pid << " mode " << Mode;
        EXPECT_EQ(New.Log, Old.Log) << "pid " << Pid << " mode " << Mode;
      }
    }
  }
}

TEST(FastPass, OneWorkerNamesAProcessUnlessAQueryIsLate) {
  TSimWindows Sim;
  Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
  Many(Sim);
  TMemoryView Screen;
  TOsScope UseOs(Sim);
  TViewScope UseView(Screen);
  uint32_t Mode = 1;
  ListOpenFiles(1234, Mode);
  EXPECT_EQ(Screen.Files.size(), 700u);
  EXPECT_EQ(Sim.ThreadsCreated(), 1);  // 700 handles, one worker
  Sim.ObjectOf(1234, 4 + 4 * 10).Hang = true;
  int Before = Sim.ThreadsCreated();
  size_t ShownWhenEnded = 0;  // every name answered before the late one is on the list by then
  Sim.OnNextCall("TerminateThread", [&] { ShownWhenEnded = Screen.Files.size(); });
  ListOpenFiles(1234, Mode);
  EXPECT_EQ(ShownWhenEnded, 8u);  // the files before handle 44
  EXPECT_EQ(Screen.Files.size(), 699u);
  EXPECT_EQ(Sim.ThreadsCreated() - Before, 2);  // one more after the late query
  // Each with the default stack, running at once.
  EXPECT_EQ(Sim.ThreadArguments, (std::vector<std::pair<SIZE_T, DWORD>>(3, {0, 0})));
  ReapAllWorkers(Sim);
  EXPECT_EQ(Sim.Outstanding(), "");
}

TEST(FastPass, AllProcessesViewWalksTheTableOnce) {
  TSimWindows Sim;
  Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
  for (DWORD P = 0; P < 40; ++P) {
    Sim.AddProcess(5000 + 4 * P, "p.exe");
    for (int H = 0; H < 20; ++H) Sim.AddObject(5000 + 4 * P, TSimWindows::EventType, "\\e");
    Sim.AddFile(5000 + 4 * P, "\\Device\\HarddiskVolume1\\f");
    // A process with no file of its own: its header, and no dispatch for rows.
    Sim.AddProcess(9000 + 4 * P, "quiet.exe");
    Sim.AddObject(9000 + 4 * P, TSimWindows::EventType, "\\e");
  }
  TMemoryView Screen;
  TOsScope UseOs(Sim);
  TViewScope UseView(Screen);
  FillProcessList(0);
  uint32_t Mode = 0;
  long Before = Sim.ProcessMessagesCalls;
  ListOpenFiles(0, Mode);
  // A dispatch after each of the 83 headers and after the rows of each of the
  // 40 processes that have some, not one per entry per process (83 x 920
  // with the old walk); a little more when the machine is slow.
  EXPECT_LT(Sim.ProcessMessagesCalls - Before, 83 + 40 + 20);
  ReapAllWorkers(Sim);
}

}  // namespace
