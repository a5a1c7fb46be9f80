// The listing pass of one process, as the main view sees it.
#include "inspect/ListOpenFiles.h"

#include <algorithm>
#include <chrono>

#include "support/Machine.h"

namespace {

class ListOpenFilesTest : public TMachineTest {
 protected:
  ListOpenFilesTest() {
    Sim.AddProcess(1234, "Word.exe");
    Sim.AddFile(1234, "\\Device\\HarddiskVolume1\\docs\\a.doc", 0x7A4);
    Sim.AddObject(1234, TSimWindows::EventType, "\\BaseNamedObjects\\ev", 0x7A8);
    Sim.AddFile(1234, "\\Device\\NamedPipe\\wkssvc", 0x7AC);
    Sim.AddFile(1234, "\\Device\\HarddiskVolume5\\data\\x.log", 0x7B0);
    Sim.AddProcess(1300, "other.exe");
    Sim.AddFile(1300, "\\Device\\HarddiskVolume1\\other.txt", 0x7A4);
    Sim.AddFile(1234, "\\??\\C:\\windows\\win.ini", 0x10);
  }
  uint32_t Mode = 0;
};

TEST_F(ListOpenFilesTest, NormalModeListsDriveLetterPathsOnly) {
  EXPECT_EQ(ListOpenFiles(1234, Mode), TPassResult::Completed);
  ASSERT_EQ(Screen.Files.size(), 2u);
  EXPECT_EQ(Screen.Files[0], (TFileRow{"0x000007A4", {"C:\\docs\\a.doc", "File"}}));
  EXPECT_EQ(Screen.Files[1], (TFileRow{"0x00000010", {"C:\\windows\\win.ini", "File"}}));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 2");
  EXPECT_EQ(Screen.Status[0], "Ready");
  EXPECT_EQ(Sim.OpenProcessCalls.back(), std::make_tuple(DWORD(PROCESS_DUP_HANDLE), FALSE, DWORD(1234)));
  EXPECT_EQ(Sim.Calls("GetLogicalDriveStringsA"), 1);  // once for the pass, not once per name
  EXPECT_EQ(Sim.Calls("NtQuerySystemInformation"), 1);  // the table and the file type: one snapshot
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, AdvancedModeAddsPipesAndDevicePathsInTableOrder) {
  Mode = 1;
  ListOpenFiles(1234, Mode);
  std::vector<TFileRow> Expected = {
      {"0x000007A4", {"C:\\docs\\a.doc", "File"}},
      {"0x000007AC", {"\\Device\\NamedPipe\\wkssvc", "Pipe"}},
      {"0x000007B0", {"\\Device\\HarddiskVolume5\\data\\x.log", "Pipe"}},
      {"0x00000010", {"C:\\windows\\win.ini", "File"}},
  };
  EXPECT_EQ(Screen.Files, Expected);
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 4");
  // We hold no file: the NUL handle that gave the type is not taken for one.
  const long Copies = Sim.Calls("DuplicateHandle");
  ListOpenFiles(Sim.SelfPid, Mode);
  EXPECT_TRUE(Screen.Files.empty());
  EXPECT_EQ(Sim.Calls("DuplicateHandle"), Copies);
}

TEST_F(ListOpenFilesTest, OnlyPipesInNormalModeGiveAnEmptyList) {
  Sim.AddProcess(2000, "svc.exe");
  Sim.AddFile(2000, "\\Device\\NamedPipe\\a");
  Sim.AddFile(2000, "\\Device\\Afd");
  ListOpenFiles(2000, Mode);
  EXPECT_TRUE(Screen.Files.empty());
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 0");
  Mode = 7;  // anything but 1 is Normal
  ListOpenFiles(2000, Mode);
  EXPECT_TRUE(Screen.Files.empty());
}

TEST_F(ListOpenFilesTest, StatusTextsComeInTheirOrder) {
  ListOpenFiles(1234, Mode);
  std::vector<std::string> Expected = {"clear", "status0=Receiving handle table...",
                                       "status0=Enumerating handles for process: 1234", "row", "row",
                                       "label=Open files: 2", "status0=Ready"};
  EXPECT_EQ(Screen.Log, Expected);
}

TEST_F(ListOpenFilesTest, FailuresKeepTheLabelAndReleaseTheTable) {
  Screen.OpenFilesLabel = "Open files: 9";
  Sim.EndProcess(1234);  // exited between the selection and the pass
  EXPECT_EQ(ListOpenFiles(1234, Mode), TPassResult::Failed);
  EXPECT_EQ(Screen.Status[0], "Process access error.");
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 9");

  Sim.StatusCall("NtQuerySystemInformation", static_cast<NTSTATUS>(0xC0000017));
  EXPECT_EQ(ListOpenFiles(1300, Mode), TPassResult::Failed);
  EXPECT_EQ(Screen.Status[0], "Error with receiving handle table.");
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 9");
  EXPECT_TRUE(Screen.Files.empty());
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, HandlesThatCannotBeDuplicatedOrNamedAreLeftOut) {
  Sim.ObjectOf(1234, 0x7A4).NoDuplicate = true;
  Sim.ObjectOf(1234, 0x10).Hang = true;
  Mode = 1;
  ListOpenFiles(1234, Mode);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"\\Device\\NamedPipe\\wkssvc", "\\Device\\HarddiskVolume5\\data\\x.log"}));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 2");
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, ProcessIdsAndHandlesBeyondSixteenBitsAreNotConfused) {
  // 1234 + 65536: the old table would attribute this to process 1234.
  Sim.AddProcess(1234 + 65536, "big.exe");
  Sim.AddFile(1234 + 65536, "\\Device\\HarddiskVolume1\\big.txt", 0x104);
  Sim.AddFile(1234, "\\Device\\HarddiskVolume1\\high.txt", 0x107A4);
  ListOpenFiles(1234, Mode);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\docs\\a.doc", "C:\\windows\\win.ini", "C:\\high.txt"}));
  EXPECT_EQ(Screen.Files[2].Caption, "0x000107A4");
  ListOpenFiles(1234 + 65536, Mode);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\big.txt"}));
}

TEST_F(ListOpenFilesTest, ModeIsReadBeforeEachRow) {
  // 600 handles, every other one a pipe: the rows come in more than one step,
  // with events dispatched between them while a pipe in the middle hangs.
  Sim.AddProcess(4000, "many.exe");
  for (int I = 0; I < 300; ++I) {
    Sim.AddFile(4000, "\\Device\\HarddiskVolume1\\f" + std::to_string(I));
    Sim.AddFile(4000, "\\Device\\NamedPipe\\p" + std::to_string(I));
  }
  Sim.ObjectOf(4000, 4 + 4 * 301).Hang = true;
  Sim.OnProcessMessages = [&] {
    if (!Screen.Files.empty()) Mode = 1;  // the user switches to Advanced mid-pass
  };
  ListOpenFiles(4000, Mode);
  ASSERT_GT(Screen.Files.size(), 300u);
  EXPECT_EQ(Screen.Files[0].SubItems[1], "File");
  EXPECT_EQ(Screen.Files[1].SubItems[1], "File");  // Normal mode: no pipe between them
  EXPECT_EQ(Screen.Files.back().SubItems[1], "Pipe");
}

TEST_F(ListOpenFilesTest, StopRequestEndsThePassWithoutCountOrReady) {
  Sim.OnProcessMessages = [&] {
    if (!Screen.Files.empty()) Pass().RequestStop();
  };
  EXPECT_EQ(ListOpenFiles(1234, Mode), TPassResult::Stopped);
  EXPECT_EQ(Screen.Files.size(), 2u);
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: ");
  EXPECT_EQ(Screen.Status[0], "Enumerating handles for process: 1234");
  EXPECT_FALSE(Pass().Running());
  EXPECT_FALSE(Pass().StopRequested());
  ExpectAllReleased();
}

TEST(ListOpenFilesStops, AStopAtAnyPointEndsTheWorkerWithoutTerminatingIt) {
  // A stop arrives at each of the first dispatches of a pass over 600 files
  // (three chunks), with a worker stalled as it starts or as it ends, or none:
  // before the first query, between queries and after the last. The worker
  // always ends by itself; the pass stops within the deadline.
  const char* Stalls[] = {"", "ThreadStart", "ThreadEnd"};
  for (const char* Stall : Stalls) {
    for (int StopAt = 1; StopAt <= 8; ++StopAt) {
      SCOPED_TRACE(std::string(Stall) + " stop at dispatch " + std::to_string(StopAt));
      TSimWindows Sim;
      TMemoryView Screen;
      TOsScope UseOs(Sim);
      TViewScope UseView(Screen);
      Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
      Sim.AddProcess(4000, "many.exe");
      for (int I = 0; I < 600; ++I) Sim.AddFile(4000, "\\Device\\HarddiskVolume1\\f" + std::to_string(I));
      if (*Stall) Sim.BlockCall(Stall, StopAt % 3 + 1);
      int Dispatches = 0;
      Sim.OnProcessMessages = [&] {
        if (++Dispatches == StopAt) Pass().RequestStop();
      };
      const auto Start = std::chrono::steady_clock::now();
      uint32_t Mode = 0;
      const TPassResult Result = ListOpenFiles(4000, Mode);
      EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(1000));
      // A stop asked at any dispatch is a stopped pass, without "Ready".
      EXPECT_EQ(Result == TPassResult::Stopped, Dispatches >= StopAt);
      EXPECT_EQ(Screen.Status[0] == "Ready", Dispatches < StopAt);
      Sim.ReleaseBlocked();
      ASSERT_TRUE(Sim.WaitThreads());
      ReapNameWorkers();
      EXPECT_EQ(Sim.Calls("TerminateThread"), 0);
      EXPECT_EQ(Sim.UnsafeTerminations(), 0);
      EXPECT_EQ(Sim.Outstanding(), "");
    }
  }
}

TEST_F(ListOpenFilesTest, EventsAreDispatchedAfterRowsAndWhileAQueryHangs) {
  ListOpenFiles(1234, Mode);
  EXPECT_GE(Sim.ProcessMessagesCalls, 1);  // after the rows
  EXPECT_LT(Sim.ProcessMessagesCalls, 6);  // not once per entry
  long Before = Sim.ProcessMessagesCalls;
  Sim.ObjectOf(1234, 0x10).Hang = true;   // about 100 ms of waiting, watched every 10
  ListOpenFiles(1234, Mode);
  EXPECT_GE(Sim.ProcessMessagesCalls - Before, 4);
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, AHandleThatHungIsNotAskedAgainWhileItsOwnerHoldsIt) {
  // A pipe whose query never answers, on a system that cannot end a thread
  // inside it: twenty refreshes end one worker, not twenty.
  Sim.ObjectOf(1234, 0x7AC).Hang = true;
  Mode = 1;
  const std::vector<std::string> Listed = {"C:\\docs\\a.doc", "\\Device\\HarddiskVolume5\\data\\x.log",
                                           "C:\\windows\\win.ini"};
  for (int I = 0; I < 20; ++I) {
    ListOpenFiles(1234, Mode);
    ASSERT_EQ(Paths(), Listed) << "pass " << I;
  }
  EXPECT_EQ(Sim.Calls("TerminateThread"), 1);
  EXPECT_EQ(Sim.LiveThreads(), 1);
  // The same value on another object is asked at once; and once the table
  // no longer holds the pipe, it is asked again when it comes back.
  ASSERT_TRUE(ReapAllWorkers(Sim));  // our worker's copy of it goes too
  auto& Handles = Sim.Process(1234).Handles;
  auto Pipe = std::find_if(Handles.begin(), Handles.end(), [](auto& H) { return H.Value == 0x7AC; });
  const std::shared_ptr<TSimWindows::TObject> Hung = Pipe->Object;
  Pipe->Object = std::make_shared<TSimWindows::TObject>(*Hung);
  Pipe->Object->Address = TSimWindows::NewAddress();
  Pipe->Object->Hang = false;
  ListOpenFiles(1234, Mode);
  EXPECT_EQ(Paths().size(), 4u);
  EXPECT_EQ(Sim.Calls("TerminateThread"), 1);
  Pipe->Object = Hung;
  ListOpenFiles(1234, Mode);
  EXPECT_EQ(Paths(), Listed);
  EXPECT_EQ(Sim.Calls("TerminateThread"), 2);
  // Ten passes over every process, the pipe also in another and as our
  // worker's copy, and a pipe without an address (as Wine gives none): one end.
  Sim.AddProcess(5000, "dup.exe").Handles.push_back({0x40, Hung, "object"});
  Sim.ObjectOf(5000, Sim.AddFile(5000, "\\Device\\NamedPipe\\wine", 0x44)).Hang = true;
  for (uintptr_t Value : {uintptr_t(0x44), Sim.AddFile(5000, "\\Device\\HarddiskVolume1\\named.txt")})
    Sim.ObjectOf(5000, Value).Address = 0;
  FillProcessList(0);
  for (int I = 0; I < 10; ++I) ListOpenFiles(0, Mode);
  EXPECT_EQ(Sim.Calls("TerminateThread"), 3);
  EXPECT_EQ(Paths().back(), "C:\\named.txt");
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, AHungHandleWithoutAnAddressIsForgottenOnceItsOwnerClosesIt) {
  Mode = 1;
  Sim.AddProcess(5000, "x.exe");
  Sim.ObjectOf(5000, Sim.AddFile(5000, "\\Device\\NamedPipe\\wine", 0x44)).Hang = true;
  Sim.ObjectOf(5000, 0x44).Address = 0;  // as Wine gives every object
  ListOpenFiles(5000, Mode);
  Sim.RemoveHandle(5000, 0x44);
  ListOpenFiles(5000, Mode);
  Sim.ObjectOf(5000, Sim.AddFile(5000, "\\Device\\HarddiskVolume1\\again.txt", 0x44)).Address = 0;
  ListOpenFiles(5000, Mode);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\again.txt"}));
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, PastEightStuckWorkersHandlesAreLeftUnnamedAndTheStatusSaysSo) {
  // Nine pipes that never answer, ended inside their queries, or not: a
  // worker whose end failed may stay in its query as long.
  Mode = 1;
  for (bool EndsFail : {false, true}) {
    SCOPED_TRACE(EndsFail ? "the ends fail" : "the ends succeed");
    const DWORD Owner = EndsFail ? 5000 : 4000;
    Sim.AddProcess(Owner, "stuck.exe");
    for (int I = 0; I < 9; ++I) Sim.ObjectOf(Owner, Sim.AddFile(Owner, "\\Device\\NamedPipe\\p")).Hang = true;
    Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\after.txt");
    if (EndsFail) Sim.FailCall("TerminateThread", 0);
    const int Created = Sim.ThreadsCreated(), Ends = Sim.Calls("TerminateThread");
    ListOpenFiles(Owner, Mode);
    EXPECT_EQ(Sim.Calls("TerminateThread") - Ends, 8);
    EXPECT_EQ(Sim.ThreadsCreated() - Created, 8);
    EXPECT_TRUE(Screen.Files.empty());
    EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 0");
    EXPECT_EQ(Screen.Status[0], "Ready (some handles skipped: queries stuck)");
    // No other process is named while they are stuck...
    ListOpenFiles(1234, Mode);
    EXPECT_TRUE(Screen.Files.empty());
    EXPECT_EQ(Sim.ThreadsCreated() - Created, 8);
    // ...and once they have ended, the passes themselves reap them: one that
    // ended by itself at once, one that was ended after its grace.
    Sim.ReleaseBlocked();
    ASSERT_TRUE(Sim.WaitThreads());
    ListOpenFiles(1234, Mode);
    EXPECT_EQ(Screen.Files.empty(), !EndsFail);
    Sim.AdvanceClock(NameWorkerGraceMs);
    ListOpenFiles(1234, Mode);
    EXPECT_EQ(Paths().size(), 4u);
    EXPECT_EQ(Screen.Status[0], "Ready");
  }
  ExpectAllReleased();
}

TEST_F(ListOpenFilesTest, HandleTextIsEightUpperCaseHexDigits) {
  EXPECT_EQ(HandleText(0x7a4), "0x000007A4");
  EXPECT_EQ(HandleText(0), "0x00000000");
  EXPECT_EQ(HandleText(0xFFFFFFFF), "0xFFFFFFFF");
  EXPECT_STREQ(PathType("\\\\server"), "Pipe");
  EXPECT_STREQ(PathType("C:\\x"), "File");
}

// Every call the pass makes is made to fail in turn; whatever it got until
// then is given back.
TEST_F(ListOpenFilesTest, EveryFailureReleasesEverything) {
  auto Build = [](TSimWindows& Fresh) {
    Fresh.AddDrive('C', "\\Device\\HarddiskVolume1");
    Fresh.AddProcess(1234, "Word.exe");
    Fresh.AddFile(1234, "\\Device\\HarddiskVolume1\\docs\\a.doc", 0x7A4);
    Fresh.AddFile(1234, "\\Device\\NamedPipe\\wkssvc", 0x7AC);
    Fresh.AddFile(1234, "\\??\\C:\\windows\\win.ini", 0x10);
    Fresh.ObjectOf(1234, 0x10).Hang = true;  // one worker times out on every run
  };
  Mode = 1;
  long Total = 0;
  {
    TSimWindows Fresh;
    Build(Fresh);
    TOsScope Use(Fresh);
    ListOpenFiles(1234, Mode);
    Total = Fresh.TotalCalls();
    ASSERT_TRUE(ReapAllWorkers(Fresh));
  }
  ASSERT_GT(Total, 20);
  for (long K = 1; K <= Total; ++K) {
    TSimWindows Fresh;
    Build(Fresh);
    TOsScope Use(Fresh);
    Fresh.FailGlobalCall(K);
    ListOpenFiles(1234, Mode);
    // How many calls a pass makes depends on how often it looked at its
    // worker: a K past the pass's own calls must not fail the reaping below.
    Fresh.FailGlobalCall(0);
    ASSERT_TRUE(ReapAllWorkers(Fresh)) << "failing call " << K << " (" << Fresh.CallLog()[K - 1] << ")";
    EXPECT_EQ(Fresh.Outstanding(), "") << "failing call " << K << " (" << Fresh.CallLog()[K - 1] << ")";
  }
}

}  // namespace
