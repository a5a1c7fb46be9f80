// PID 0: every process of the table under its header row.
#include <algorithm>

#include "inspect/ListOpenFiles.h"
#include "process/ProcessList.h"
#include "support/Machine.h"

namespace {

class AllProcessesTest : public TMachineTest {
 protected:
  AllProcessesTest() {
    Sim.AddProcess(2000, "Notepad.EXE");
    Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\b.txt", 0x20);
    Sim.AddFile(2000, "\\Device\\NamedPipe\\p", 0x24);
    Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\a.txt", 0x28);
    Sim.AddProcess(3000, "locked.exe");
    Sim.AddFile(3000, "\\Device\\HarddiskVolume1\\secret", 0x10);
    Sim.Process(3000).CanOpen = false;
    Sim.AddFile(4, "\\Device\\HarddiskVolume1\\pagefile.sys", 0x8);
    Sim.AddView(2000, MEM_IMAGE, "\\Device\\HarddiskVolume1\\plugins\\x.dll", 50);  // searched, never in a view
    for (int Twice = 0; Twice < 2; ++Twice) Sim.AddView(2000, MEM_MAPPED, "\\??\\c:\\data\\map.bin");
    FillProcessList(0);  // 0, 4, 1000, 2000, 3000
  }
  static TFileRow Header(const std::string& Text) { return {"", {"Process information: " + Text}}; }
  uint32_t Mode = 0;
};

TEST_F(AllProcessesTest, EveryProcessGetsItsHeaderAndItsFilesInTableOrder) {
  EXPECT_EQ(ListOpenFiles(0, Mode), TPassResult::Completed);
  std::vector<TFileRow> Expected = {
      Header("0 ([System Process])"),
      Header("4 (System)"),
      {"0x00000008", {"C:\\pagefile.sys", "File"}},
      Header("1000 (lumorex.exe)"),
      Header("2000 (Notepad.EXE)"),
      {"0x00000020", {"C:\\b.txt", "File"}},
      {"0x00000024", {"\\Device\\NamedPipe\\p", "Pipe"}},  // in Normal mode too
      {"0x00000028", {"C:\\a.txt", "File"}},
      Header("3000 (locked.exe)"),  // cannot be opened: header alone
  };
  EXPECT_EQ(Screen.Files, Expected);
  // The window acts on a header's process as the row carries it, never as
  // its text reads: the two must agree on every header.
  std::vector<std::pair<DWORD, std::string>> Carried;
  for (const TFileRow& Row : Screen.Files)
    if (Row.IsHeader()) Carried.emplace_back(Row.Pid, Row.Process);
  EXPECT_EQ(Carried, (std::vector<std::pair<DWORD, std::string>>{
                         {0, "[System Process]"}, {4, "System"}, {1000, "lumorex.exe"}, {2000, "Notepad.EXE"},
                         {3000, "locked.exe"}}));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 4");  // file rows only
  EXPECT_EQ(Screen.Status[0], "Ready");
  // The per-process text of the single view never shows here.
  for (auto& Line : Screen.Log) EXPECT_EQ(Line.find("Enumerating"), std::string::npos);
  EXPECT_EQ(Screen.SelectorLines[3], "2000   notepad.exe");
  for (auto& Call : Sim.OpenProcessCalls) EXPECT_EQ(std::get<1>(Call), FALSE) << std::get<2>(Call);
  ExpectAllReleased();
}

TEST_F(AllProcessesTest, ProcessThatEndedBeforeItsHeaderHasAnEmptyName) {
  Sim.EndProcess(2000);
  ListOpenFiles(0, Mode);
  ASSERT_EQ(Screen.Files.size(), 6u);
  EXPECT_EQ(Screen.Files[4], Header("2000 ()"));
  EXPECT_EQ(Screen.Files[5], Header("3000 (locked.exe)"));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 1");
}

TEST_F(AllProcessesTest, ProcessEndingDuringTheViewKeepsItsHeader) {
  Sim.OnProcessMessages = [&] {
    if (Screen.Files.size() == 5) Sim.EndProcess(2000);  // right after its header
  };
  ListOpenFiles(0, Mode);
  ASSERT_EQ(Screen.Files.size(), 6u);
  EXPECT_EQ(Screen.Files[4], Header("2000 (Notepad.EXE)"));
  EXPECT_EQ(Screen.Files[5], Header("3000 (locked.exe)"));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 1");
}

TEST_F(AllProcessesTest, StopRequestEndsTheViewWithoutCountOrReady) {
  // At the header of 1000, which holds no file, and at that of 2000.
  for (size_t Rows : {4u, 5u}) {
    Screen.Files.clear();
    Sim.OnProcessMessages = [&] {
      if (Screen.Files.size() == Rows) Pass().RequestStop();
    };
    EXPECT_EQ(ListOpenFiles(0, Mode), TPassResult::Stopped);
    EXPECT_EQ(Screen.Files.size(), Rows);
    EXPECT_EQ(Screen.Status[0], "Receiving handle table...");
    EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 0");
  }
  ExpectAllReleased();
}

TEST_F(AllProcessesTest, SearchKeepsTheRowsThatHoldTheTextUnderTheirProcesses) {
  const TFileRow System = Header("4 (System)"), Notepad = Header("2000 (Notepad.EXE)");
  const TFileRow Pagefile = {"0x00000008", {"C:\\pagefile.sys", "File"}}, B = {"0x00000020", {"C:\\b.txt", "File"}},
                 Pipe = {"0x00000024", {"\\Device\\NamedPipe\\p", "Pipe"}},
                 A = {"0x00000028", {"C:\\a.txt", "File"}}, Dll = {"", {"C:\\plugins\\x.dll", "Module"}},
                 Map = {"", {"c:\\data\\map.bin", "Mapped"}};
  const struct {
    const char* Text;
    std::vector<TFileRow> Rows;
  } Cases[] = {
      {"A.TXT", {Notepad, A}},                          // upper or lower case alike
      {"txt", {Notepad, B, A}},                         // in the all-processes order
      {"c:\\", {System, Pagefile, Notepad, B, A, Dll, Map}},  // several processes, each under its header
      {"namedpipe\\P", {Notepad, Pipe}},               // a pipe, whatever the viewer mode
      {"plugins/X", {Notepad, Dll}},                    // "/" as "\\"
      {"map.bin", {Notepad, Map}},                      // mapped twice, one row
      {"secret", {}},                                   // held by a process that cannot be opened
      {"nowhere", {}},
  };
  for (auto& Case : Cases) {
    Screen.Log.clear();
    EXPECT_EQ(FindOpenFile(Case.Text), TPassResult::Completed) << Case.Text;
    EXPECT_EQ(Screen.Files, Case.Rows) << Case.Text;
    size_t Found = std::count_if(Case.Rows.begin(), Case.Rows.end(), [](const TFileRow& R) { return !R.IsHeader(); });
    EXPECT_EQ(Screen.OpenFilesLabel, "Open files: " + std::to_string(Found)) << Case.Text;
    ASSERT_FALSE(Screen.Log.empty());
    EXPECT_NE(std::find(Screen.Log.begin(), Screen.Log.end(), "status0=Searching..."), Screen.Log.end());
    EXPECT_EQ(Screen.Status[0], "Ready (not looked at: 1 processes, 0 handles)");
  }
  // A 32-bit program on 64-bit Windows cannot read a 64-bit process's images.
  Sim.SelfWow64 = true;
  Sim.Process(2000).Wow64 = true;
  Sim.Process(3000).CanOpen = true;
  FindOpenFile("x.dll");
  EXPECT_EQ(Screen.Files, (std::vector<TFileRow>{Notepad, Dll}));
  EXPECT_EQ(Screen.Status[0], "Ready (not looked at: 2 processes, 0 handles)");  // 1000 and 3000
  Sim.SelfWow64 = false;
  Sim.AddView(3000, MEM_IMAGE, "\\Device\\HarddiskVolume1\\plugins\\x.dll", 50);
  // Each image's 50 regions are passed over in one step, its headers read
  // once a search; headers that are not an image's are read in each process,
  // and the regions asked about one by one.
  for (uint32_t PeAt : {0u, 0x3ADu, 0x3ACu}) {
    SCOPED_TRACE(PeAt);
    for (DWORD Pid : {2000, 3000}) Sim.Process(Pid).Views[0].PeAt = PeAt;
    const bool Whole = PeAt == 0x3AC;  // the last place SizeOfImage fits in the first 1 KiB
    const int Queries = Sim.Calls("VirtualQueryEx"), Reads = Sim.Calls("ReadProcessMemory");
    FindOpenFile("x.dll");
    EXPECT_EQ(Screen.Status[0], "Ready");
    EXPECT_EQ(Sim.Calls("VirtualQueryEx") - Queries < 20, Whole);
    EXPECT_EQ(Sim.Calls("ReadProcessMemory") - Reads, Whole ? 1 : 2);
  }
  // Headers that claim more than the image is hide nothing past it.
  Sim.Process(2000).Views[0].Claims = 0x40000000;
  FindOpenFile("map.bin");
  EXPECT_EQ(Screen.Files, (std::vector<TFileRow>{Notepad, Map}));
  // Where the type of files cannot be learnt no handle counts as a file, and
  // the images are still searched.
  Sim.FailCall("CreateFileA", 1);
  EXPECT_EQ(FindOpenFile("x.dll"), TPassResult::Completed);
  EXPECT_EQ(Screen.Files, (std::vector<TFileRow>{Notepad, Dll, Header("3000 (locked.exe)"), Dll}));
  // Memory that cannot be asked about at all is not looked at.
  Sim.FailCall("VirtualQueryEx", 0);
  FindOpenFile("map.bin");
  EXPECT_EQ(Screen.Status[0], "Ready (not looked at: 3 processes, 0 handles)");
  // A stop ends the search as it ends any pass: no count, no "Ready".
  Screen.SetOpenFilesLabel("Open files: 0");
  Sim.OnProcessMessages = [&] { Pass().RequestStop(); };
  EXPECT_EQ(FindOpenFile("txt"), TPassResult::Stopped);
  EXPECT_EQ(Screen.Status[0], "Searching...");
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 0");
  ExpectAllReleased();
}

TEST_F(AllProcessesTest, EveryFailureReleasesEverything) {
  auto Build = [](TSimWindows& Fresh) {
    Fresh.AddDrive('C', "\\Device\\HarddiskVolume1");
    Fresh.AddProcess(2000, "a.exe");
    Fresh.AddFile(2000, "\\Device\\HarddiskVolume1\\b.txt");
    Fresh.AddFile(2000, "\\Device\\NamedPipe\\p");
    Fresh.AddProcess(3000, "b.exe");
    Fresh.AddFile(3000, "\\Device\\HarddiskVolume1\\c.txt");
  };
  long Total = 0;
  {
    TSimWindows Fresh;
    Build(Fresh);
    TOsScope Use(Fresh);
    FillProcessList(0);
    long Before = Fresh.TotalCalls();
    ListOpenFiles(0, Mode);
    Total = Fresh.TotalCalls() - Before;
    ASSERT_TRUE(ReapAllWorkers(Fresh));  // no worker of this machine may outlive it
  }
  for (long K = 1; K <= Total; ++K) {
    TSimWindows Fresh;
    Build(Fresh);
    TOsScope Use(Fresh);
    FillProcessList(0);
    Fresh.FailGlobalCall(Fresh.TotalCalls() + K);
    ListOpenFiles(0, Mode);
    Fresh.FailGlobalCall(0);  // the reaping below is not the pass's
    ASSERT_TRUE(ReapAllWorkers(Fresh));
    EXPECT_EQ(Fresh.Outstanding(), "") << "failing call " << K;
  }
}

}  // namespace
