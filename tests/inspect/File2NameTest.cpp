// Naming handles: the table snapshot, the file type number, the worker with its
// deadline, and the mapping of device paths to drive letters.
#include <chrono>
#include <functional>
#include <thread>

#include "inspect/PassOwner.h"

#include "support/Machine.h"

namespace {

class File2NameTest : public TMachineTest {
 protected:
  // A handle of our own process on a new file object.
  HANDLE Own(const std::string& Name) {
    uintptr_t Value = Sim.AddFile(Sim.SelfPid, Name);
    HANDLE Copy;
    Sim.DuplicateHandle(Sim.GetCurrentProcess(), reinterpret_cast<HANDLE>(Value), Sim.GetCurrentProcess(), &Copy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    Owned.push_back(Copy);
    Objects.push_back(Value);
    return Copy;
  }
  TSimWindows::TObject& LastObject() { return Sim.ObjectOf(Sim.SelfPid, Objects.back()); }
  // The names of Owner's files, as a pass asks for them.
  std::vector<std::string> NameOf(DWORD Owner) {
    TInfoTable Table = GetInfoTable();
    std::vector<THandleTableView::TEntry> Entries;
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I)
      if (Table.Entry(I).ProcessId == Owner) Entries.push_back(Table.Entry(I));
    auto Process = std::make_shared<const TOwnedHandle>(Sim.OpenProcess(PROCESS_DUP_HANDLE, FALSE, Owner));
    std::vector<std::string> Names(Entries.size());
    NameProcessHandles(Process, Entries.data(), Entries.size(),
                       TNameSink([&](size_t I, const TWideString& Name) { Names[I] = AnsiName(Name); }), nullptr);
    return Names;
  }
  void CloseOwned() {
    for (HANDLE H : Owned) Sim.CloseHandle(H);
    Owned.clear();
  }
  std::vector<HANDLE> Owned;
  std::vector<uintptr_t> Objects;
};

TEST_F(File2NameTest, TableLargerThanSixteenKilobytesArrivesWholeAfterDoublings) {
  Sim.AddProcess(500, "many.exe");
  for (int I = 0; I < 1500; ++I) Sim.AddFile(500, "\\Device\\HarddiskVolume1\\f" + std::to_string(I));
  {
    TInfoTable Table = GetInfoTable();
    ASSERT_TRUE(Table);
    size_t Mine = 0;
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I)
      if (Table.Entry(I).ProcessId == 500) ++Mine;
    EXPECT_EQ(Mine, 1500u);
    EXPECT_EQ(Table.Entry(Table.NumberOfHandles() - 1).Handle, 4u + 4 * 1499);
  }
  // 16, 32 and 64 KiB were asked for before 60 KiB of entries fitted.
  EXPECT_EQ(Sim.SystemQueryLengths, (std::vector<ULONG>{0x4000, 0x8000, 0x10000}));
  ExpectAllReleased();
}

TEST_F(File2NameTest, TableFallsBackToTheOldClassOnlyWhereTheExtendedOneIsUnknown) {
  Sim.ExtendedTableSupported = false;
  {
    TInfoTable Table = GetInfoTable();
    ASSERT_TRUE(Table);
    EXPECT_EQ(Table.Layout()->InfoClass, 16u);
  }
  Sim.ExtendedTableSupported = true;
  int Before = Sim.Calls("NtQuerySystemInformation");
  Sim.StatusCall("NtQuerySystemInformation", static_cast<NTSTATUS>(0xC0000022));
  EXPECT_FALSE(GetInfoTable());
  EXPECT_EQ(Sim.Calls("NtQuerySystemInformation"), Before + 1);  // no fallback after a real failure
  Sim.AllocationLimit = 0x8000;
  for (int I = 0; I < 1500; ++I) Sim.AddFile(4, "\\Device\\X\\f");
  EXPECT_FALSE(GetInfoTable());
  ExpectAllReleased();
}

TEST_F(File2NameTest, FileTypeComesFromTheNulHandle) {
  Sim.FileTypeNumber = 28;
  // System, listed before us, holds an event under the very value our NUL
  // handle will get: only the entry we own counts.
  Sim.Process(Sim.SelfPid).NextHandle = 0x40;
  Sim.AddObject(4, TSimWindows::EventType, "\\BaseNamedObjects\\e", 0x40);
  EXPECT_EQ(GetFileObjectType(), 28);
  EXPECT_EQ(Sim.CreateFileCalls.back(), (TSimWindows::TCreateFileCall{"NUL", GENERIC_READ, 0, OPEN_EXISTING, 0}));
  Sim.FailCall("CreateFileA");
  EXPECT_EQ(GetFileObjectType(), 0);
  Sim.StatusCall("NtQuerySystemInformation", static_cast<NTSTATUS>(0xC0000022));
  EXPECT_EQ(GetFileObjectType(), 0);
  ExpectAllReleased();
}

TEST_F(File2NameTest, FileTypeMatchesTheWholeHandleValueOfTheExtendedClass) {
  // Another process holds a handle whose low 16 bits equal our NUL handle's,
  // and one of ours differs from it only above bit 16.
  Sim.Process(Sim.SelfPid).NextHandle = 0x10000;
  Sim.AddObject(Sim.SelfPid, TSimWindows::EventType, "\\BaseNamedObjects\\e", 0x20000 + 0x10000);
  EXPECT_EQ(GetFileObjectType(), Sim.FileTypeNumber);
  ExpectAllReleased();
}

TEST_F(File2NameTest, DevicePathsMapToDriveLettersAtNameBoundariesOnly) {
  Sim.AddDrive('D', "\\Device\\HarddiskVolume10");
  Sim.AddDrive('E', "\\Device\\CdRom0");
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume1\\boot.ini"), "C:\\boot.ini");
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume10\\x.log"), "D:\\x.log");
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume1"), "C:");
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume5\\data\\x.log"), "\\Device\\HarddiskVolume5\\data\\x.log");
  EXPECT_EQ(MapDevicePath("\\??\\C:\\windows\\win.ini"), "C:\\windows\\win.ini");
  EXPECT_EQ(MapDevicePath("\\??\\unix\\tmp\\x"), "\\??\\unix\\tmp\\x");
  EXPECT_EQ(MapDevicePath("\\??\\C:"), "C:");
  EXPECT_EQ(MapDevicePath("\\??\\c:\\users\\x"), "c:\\users\\x");  // Wine writes the letter in either case
  EXPECT_EQ(MapDevicePath("\\??\\C:x\\y"), "\\??\\C:x\\y");  // a letter and colon, then no boundary
  EXPECT_EQ(MapDevicePath("\\??\\1:\\y"), "\\??\\1:\\y");
  EXPECT_EQ(MapDevicePath("\\Device\\harddiskvolume1\\x"), "\\Device\\harddiskvolume1\\x");  // case counts
  Sim.AddDrive('F', "\\Device\\HarddiskVolume1");  // a second letter for the volume: the first one wins
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume1\\boot.ini"), "C:\\boot.ini");
}

TEST_F(File2NameTest, UnmatchedPrefixIsNotMappedAndNoDrivesLeaveTheDeviceForm) {
  // Only volume 1 has a letter: volume 10 must not turn into C:0.
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume10\\x.log"), "\\Device\\HarddiskVolume10\\x.log");
  Sim.FailCall("GetLogicalDriveStringsA");
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume1\\x"), "\\Device\\HarddiskVolume1\\x");
  Sim.FailCall("QueryDosDeviceA");  // C: cannot be asked: no drive matches
  EXPECT_EQ(MapDevicePath("\\Device\\HarddiskVolume1\\x"), "\\Device\\HarddiskVolume1\\x");
}

TEST_F(File2NameTest, NamesComeFromTheObjectQueryWithTheFileQueryAsFallback) {
  EXPECT_EQ(HandleToFileName(Own("\\Device\\HarddiskVolume1\\WINDOWS\\win.ini")), "C:\\WINDOWS\\win.ini");
  EXPECT_EQ(HandleToFileName(Own("\\Device\\NamedPipe\\lsass")), "\\Device\\NamedPipe\\lsass");

  HANDLE Fallback = Own("\\Device\\HarddiskVolume1\\data\\x.log");
  LastObject().ObjectNameStatus = STATUS_INFO_LENGTH_MISMATCH;
  EXPECT_EQ(HandleToFileName(Fallback), "\\data\\x.log");  // without device part, not mapped

  HANDLE Unnamed = Own("\\Device\\HarddiskVolume1\\y");
  LastObject().Name.clear();
  EXPECT_EQ(HandleToFileName(Unnamed), "");  // the file name is used only when the object query fails

  HANDLE Failing = Own("\\Device\\HarddiskVolume1\\z");
  LastObject().FileNameStatus = static_cast<NTSTATUS>(0xC0000022);
  EXPECT_EQ(HandleToFileName(Failing), "");
  CloseOwned();
  ExpectAllReleased();
}

TEST_F(File2NameTest, NamesOfAnyLengthComeOutWholeAfterTheBuffersGrow) {
  // Both queries' buffers start at 1 KiB: names of 300 and 1000 characters
  // and the longest a path can be outgrow them, whether the object query says
  // so by its length alone or by one of the statuses Windows versions give;
  // the file query is the fallback that must grow too. The window's door cuts
  // every one at 259 bytes; none is dropped.
  Sim.AddProcess(500, "long.exe");
  struct TCase {
    size_t Length;  // characters after "C:\"
    NTSTATUS TooSmall;
    bool ObjectFails;  // the file query's name, without its device part
    DWORD QueryMs = 0;  // each query takes so long, on a clock only they move: each has its 100 ms
  } Cases[] = {{257, STATUS_INFO_LENGTH_MISMATCH, false}, {300, STATUS_INFO_LENGTH_MISMATCH, false},
               {1000, STATUS_BUFFER_OVERFLOW, false},      {32000, STATUS_BUFFER_OVERFLOW, false},
               {300, STATUS_INFO_LENGTH_MISMATCH, true},   {1000, STATUS_INFO_LENGTH_MISMATCH, true},
               {1000, STATUS_INFO_LENGTH_MISMATCH, false, 40}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Length) + (C.ObjectFails ? " by the file query" : ""));
    Sim.ObjectNameTooSmall = C.TooSmall;
    Sim.NameQueryMs = C.QueryMs;
    if (C.QueryMs) Sim.FreezeClock();
    std::string Tail;
    for (size_t I = 0; I < C.Length; ++I) Tail += static_cast<char>('a' + I % 26);
    const uintptr_t Value = Sim.AddFile(500, "\\Device\\HarddiskVolume1\\" + Tail);
    if (C.ObjectFails) Sim.ObjectOf(500, Value).ObjectNameStatus = static_cast<NTSTATUS>(0xC0000022);
    const std::string Whole = (C.ObjectFails ? "\\" : "C:\\") + Tail;

    TInfoTable Table = GetInfoTable();
    std::vector<THandleTableView::TEntry> Entries;
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I)
      if (Table.Entry(I).ProcessId == 500 && Table.Entry(I).Handle == Value) Entries.push_back(Table.Entry(I));
    ASSERT_EQ(Entries.size(), 1u);
    auto Process = std::make_shared<const TOwnedHandle>(Sim.OpenProcess(PROCESS_DUP_HANDLE, FALSE, 500));
    TWideString Got;
    NameProcessHandles(Process, Entries.data(), 1, TNameSink([&](size_t, const TWideString& N) { Got = N; }), nullptr);
    const std::string Ansi = AnsiName(Got);  // as the window takes it
    EXPECT_EQ(Got.size(), Whole.size());
    EXPECT_TRUE(std::u16string(Got.begin(), Got.end()) == TSimWindows::Wide(Whole));
    EXPECT_EQ(Ansi, Whole.substr(0, 259));
  }
  ExpectAllReleased();
}

TEST_F(File2NameTest, LongNamesAreCutAtACharacterBoundary) {
  Sim.DoubleByteCodePage = true;
  Sim.FileTypeNumber = TSimWindows::DefaultFileType;
  // 120 characters of the device form, then multi-byte characters: 259 bytes
  // end inside one, or, after 121, exactly at the end of one. U+3042 is one
  // UTF-16 unit of two bytes; U+1F600 a surrogate pair of four bytes, which
  // must not be cut between its halves.
  struct {
    const char* Character;
    size_t Bytes;
    int Count;
    size_t Letters;  // of the device form's last folder
  } Cases[] = {{"\xe3\x81\x82", 2, 100, 96}, {"\xf0\x9f\x98\x80", 4, 60, 96}, {"\xe3\x81\x82", 2, 100, 97},
               // The first and the last high surrogate (U+10000, U+10FFFF), cut between the halves.
               {"\xf0\x90\x80\x80", 4, 60, 97}, {"\xf4\x8f\xbf\xbf", 4, 60, 97},
               // The last pair of the name cut, an ASCII letter after it.
               {"\xf0\x9f\x98\x80", 4, 40, 97}};
  for (auto& Case : Cases) {
    const std::string Device = "\\Device\\HarddiskVolume1\\" + std::string(Case.Letters, 'a');
    std::string Name = Device;
    for (int I = 0; I < Case.Count; ++I) Name += Case.Character;
    HANDLE H = Own(Name + "x");
    LastObject().ObjectNameStatus = STATUS_SUCCESS;
    std::string Got = HandleToFileName(H);
    // "C:\" + the letters + the whole characters that fit 259 bytes: the
    // name is mapped first, then cut.
    size_t Whole = (259 - 3 - Case.Letters) / Case.Bytes;
    EXPECT_EQ(Got.size(), 3 + Case.Letters + Case.Bytes * Whole) << Case.Bytes << " " << Case.Letters;
    for (size_t I = 3 + Case.Letters; I < Got.size(); I += 2) {
      unsigned char Lead = static_cast<unsigned char>(Got[I]);
      EXPECT_TRUE(Lead >= 0x81 && Lead <= 0x9F) << I;
    }
  }
  CloseOwned();
  ExpectAllReleased();
}

TEST_F(File2NameTest, OnlyAQueryUnansweredFor100MsLosesItsName) {
  using namespace std::chrono;
  // Two files of another process, the first one's naming in trouble
  // somewhere; the second must always be named, no worker may be ended
  // outside a query, and no trouble may cost much more than its bound. On a
  // system that reports a terminated thread ended at once, too.
  struct TCase {
    const char* What;
    const char* Stall;  // the call that does not return until released
    int ReleaseAfterMs;  // 0: at the end
    DWORD ClockMovesMs;  // time that passes while it stalls
    bool AnswersAtTheDecision;  // the first query answers as the waiter decides it is late
    const char* FirstName;
    int Terminations;
    int CostsMs;  // at least
  } Cases[] = {
      {"hung query", "NtQueryObject", 0, 0, false, "", 1, 100},
      {"answer as the waiter reads the clock", "NtQueryObject", 0, 0, true, "C:\\a", 0, 100},
      {"slow start", "ThreadStart", 150, 0, false, "C:\\a", 0, 150},
      {"slow copy", "DuplicateHandle", 150, 0, false, "C:\\a", 0, 150},
      {"answer held as it is written", "WideCharToMultiByte", 150, 0, false, "C:\\a", 0, 150},
      {"end stalled", "ThreadEnd", 0, 0, false, "C:\\a", 0, 0},
      {"start that never comes", "ThreadStart", 0, 5000, false, "", 0, 0},
  };
  DWORD Owner = 500;
  for (bool Early : {false, true}) {
    Sim.EndReportedEarly = Early;
    for (const TCase& C : Cases) {
      SCOPED_TRACE(std::string(C.What) + (Early ? ", end reported early" : ""));
      Owner += 4;
      Sim.AddProcess(Owner, "p.exe");
      Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\a");
      Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\b");
      const int Terminated = Sim.Calls("TerminateThread");
      Sim.BlockCall(C.Stall, 1);
      const auto Start = steady_clock::now();
      std::function<void()> AnswerLate = [&] {
        // Right after the waiter has read the worker's progress, at the first look
        // that finds it 100 ms late: the decision rests on a value now stale.
        if (steady_clock::now() - Start < milliseconds(100)) return Sim.OnNextCall("GetTickCount", AnswerLate);
        Sim.ReleaseBlocked();
        std::this_thread::sleep_for(milliseconds(30));
      };
      if (C.AnswersAtTheDecision) Sim.OnNextCall("GetTickCount", AnswerLate);
      std::thread Later([&] {
        std::this_thread::sleep_for(milliseconds(C.ReleaseAfterMs ? C.ReleaseAfterMs : 20));
        if (C.ReleaseAfterMs) Sim.ReleaseBlocked();
        Sim.AdvanceClock(C.ClockMovesMs);
      });
      const std::vector<std::string> Names = NameOf(Owner);
      const auto Spent = steady_clock::now() - Start;
      Later.join();
      EXPECT_EQ(Sim.OpenHandles("file"), C.Terminations);  // the copy a late query may still use
      EXPECT_EQ(Names, (std::vector<std::string>{C.FirstName, "C:\\b"}));
      EXPECT_LT(Spent, milliseconds(500));
      EXPECT_GE(Spent, milliseconds(C.CostsMs));
      EXPECT_EQ(Sim.Calls("TerminateThread") - Terminated, C.Terminations);
      ExpectAllReleased();  // the record outlived the worker, which ended
      EXPECT_EQ(Sim.UnsafeTerminations(), 0);
    }
  }
}

TEST_F(File2NameTest, TheBoundsHoldToTheMillisecond) {
  // The clock moves only when the test moves it: a query 100 ms inside, or a
  // start 5 s late, is given up at that very millisecond.
  struct {
    const char* Stall;
    DWORD Bound;
    int Terminations;
  } Cases[] = {{"NtQueryInformationFile", 100, 1}, {"ThreadStart", 5000, 0}};
  Sim.FreezeClock();
  DWORD Owner = 700;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Stall);
    Owner += 4;
    Sim.AddProcess(Owner, "p.exe");
    Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\a");
    Sim.AddFile(Owner, "\\Device\\HarddiskVolume1\\b");
    const int Ends = Sim.Calls("TerminateThread"), Stalls = Sim.Calls(C.Stall);
    Sim.BlockCall(C.Stall, 1);
    // Two looks after the worker was first seen stalled, the waiter has seen
    // its step for one look at least: the bound passes at the next.
    int Looks = -1;
    std::function<void()> Look = [&] {
      if (Looks < 0) {
        if (Sim.Calls(C.Stall) > Stalls) Looks = 0;
      } else if (++Looks == 2) {
        Sim.AdvanceClock(C.Bound);
        return;
      }
      Sim.OnNextCall("GetTickCount", Look);
    };
    Sim.OnNextCall("GetTickCount", Look);
    EXPECT_EQ(NameOf(Owner), (std::vector<std::string>{"", "C:\\b"}));
    EXPECT_EQ(Sim.Calls("TerminateThread") - Ends, C.Terminations);
    ExpectAllReleased();
  }
}

TEST_F(File2NameTest, AQueryAnsweringAsItIsEndedLeavesTheNextHandleItsName) {
  // The late query answers between the decision and the termination: the
  // worker waits to be ended where that is safe and names nothing more. If
  // the end then fails, it ends by itself and is reaped.
  HANDLE Handles[3] = {Own("\\Device\\HarddiskVolume1\\a"), Own("\\Device\\HarddiskVolume1\\b"),
                       Own("\\Device\\HarddiskVolume1\\c")};
  for (bool EndFails : {false, true}) {
    SCOPED_TRACE(EndFails ? "the end fails" : "the end succeeds");
    const int Ends = Sim.Calls("TerminateThread");
    Sim.BlockCall("NtQueryObject", 1);
    Sim.OnNextCall("TerminateThread", [&] {
      Sim.ReleaseBlocked();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    if (EndFails) Sim.FailCall("TerminateThread");
    std::string Names[3];
    EXPECT_TRUE(NameHandles(Handles, 3, Names, nullptr));
    EXPECT_EQ(Names[0], "");
    EXPECT_EQ(Names[1], "C:\\b");
    EXPECT_EQ(Names[2], "C:\\c");
    EXPECT_EQ(Sim.Calls("TerminateThread") - Ends, 1);
    EXPECT_EQ(Sim.UnsafeTerminations(), 0);
    ASSERT_TRUE(Sim.WaitThreads());
    if (!EndFails) continue;
    Sim.AdvanceClock(NameWorkerGraceMs);  // past the grace of the one ended before
    EXPECT_EQ(ReapNameWorkers(), 0u);
  }
  CloseOwned();
  ExpectAllReleased();
}

TEST_F(File2NameTest, LateWorkerNeverWritesIntoReusedMemory) {
  // Under AddressSanitizer, on a system that reports a terminated thread
  // ended while it runs on: many workers are ended inside their queries and
  // reaped, the caller's memory is reused, then all of them come back at once.
  Sim.EndReportedEarly = true;
  Sim.BlockCall("NtQueryInformationFile", 0);
  HANDLE H = Own("\\Device\\HarddiskVolume1\\x");
  for (int I = 0; I < 5; ++I) EXPECT_EQ(HandleToFileName(H), "");
  Sim.FreezeClock();
  EXPECT_EQ(ReapNameWorkers(), 5u);  // reported ended, kept all the same
  std::vector<char> Churn(4096, 'x');
  std::string Again(300, 'y');
  EXPECT_EQ(Churn.size() + Again.size(), 4396u);
  Sim.ReleaseBlocked();
  ASSERT_TRUE(Sim.WaitThreads());
  EXPECT_EQ(Sim.Calls("NtQueryObject"), 0);  // a condemned worker begins no second query
  // Each pass reaped those before it: their ends were reported earlier.
  Sim.AdvanceClock(NameWorkerGraceMs - 1);
  EXPECT_EQ(ReapNameWorkers(), 1u);
  Sim.AdvanceClock(1);
  EXPECT_EQ(ReapNameWorkers(), 0u);
  CloseOwned();
  ExpectAllReleased();
}

TEST_F(File2NameTest, AWorkerThatCannotBeEndedStopsAndIsReaped) {
  // The end of a late query fails after the pass asked to stop: the worker
  // begins no further query, ends by itself and is reaped.
  HANDLE Handles[3] = {Own("\\Device\\HarddiskVolume1\\a"), Own("\\Device\\HarddiskVolume1\\b"),
                       Own("\\Device\\HarddiskVolume1\\c")};
  std::string Names[3];
  {
    TPassOwner Owner;
    TPassOwner::TRun Running(Owner);
    Sim.BlockCall("NtQueryInformationFile", 1);
    Sim.OnProcessMessages = [&] {
      if (Sim.Calls("NtQueryInformationFile") == 1) Owner.RequestStop();  // the query is under way
    };
    Sim.FailCall("TerminateThread");
    EXPECT_FALSE(NameHandles(Handles, 3, Names, &Owner));
    Sim.OnProcessMessages = nullptr;
  }
  Sim.ReleaseBlocked();
  ASSERT_TRUE(Sim.WaitThreads());
  EXPECT_EQ(Sim.Calls("TerminateThread"), 1);  // a stop does not spare a late query its end
  EXPECT_EQ(Sim.Calls("NtQueryInformationFile"), 1);
  EXPECT_EQ(Sim.Calls("NtQueryObject"), 0);
  EXPECT_EQ(ReapNameWorkers(), 0u);
  // A stop asked while the object query is under way, which then answers
  // that the name needs more room: the worker does not ask again.
  HANDLE Long = Own("\\Device\\HarddiskVolume1\\" + std::string(1000, 'l'));
  {
    TPassOwner Owner;
    TPassOwner::TRun Running(Owner);
    Sim.BlockCall("NtQueryObject", 1);
    Sim.OnProcessMessages = [&] {
      if (Sim.Calls("NtQueryObject") != 1) return;
      Owner.RequestStop();
      Sim.OnNextCall("WaitForSingleObject", [&] { Sim.ReleaseBlocked(); });  // once the worker is told
    };
    EXPECT_FALSE(NameHandles(&Long, 1, Names, &Owner));
    Sim.OnProcessMessages = nullptr;
  }
  ASSERT_TRUE(Sim.WaitThreads());
  EXPECT_EQ(Sim.Calls("NtQueryObject"), 1);
  CloseOwned();
  ExpectAllReleased();
}

TEST_F(File2NameTest, NoThreadMeansNoName) {
  HANDLE H = Own("\\Device\\HarddiskVolume1\\x");
  Sim.FailCall("CreateThread");
  EXPECT_EQ(HandleToFileName(H), "");
  // A failed wait on a worker inside a query that has not answered: the
  // names answered before are handed on, that handle gets none, and the
  // worker is kept until it has really gone. The rest are named by a new
  // worker, which is not sent into the hung query again.
  HANDLE Hung = Own("\\Device\\HarddiskVolume1\\hung");
  LastObject().Hang = true;
  HANDLE Handles[3] = {Own("\\Device\\HarddiskVolume1\\a"), Hung, Own("\\Device\\HarddiskVolume1\\c")};
  const int Queried = Sim.Calls("NtQueryInformationFile");
  ASSERT_EQ(ReapNameWorkers(), 0u);  // the next wait is the watcher's own
  Sim.OnNextCall("WaitForSingleObject", [&] {
    while (Sim.Calls("NtQueryInformationFile") < Queried + 2) std::this_thread::yield();
  });
  Sim.FailCall("WaitForSingleObject");
  std::string Names[3];
  EXPECT_TRUE(NameHandles(Handles, 3, Names, nullptr));
  EXPECT_EQ(std::vector<std::string>(Names, Names + 3), (std::vector<std::string>{"C:\\a", "", "C:\\c"}));
  EXPECT_EQ(Sim.Calls("TerminateThread"), 0);
  Sim.ReleaseBlocked();
  ASSERT_TRUE(Sim.WaitThreads());
  // A worker whose exit code cannot be read still answered what it marked done.
  Sim.FailCall("GetExitCodeThread");
  EXPECT_EQ(HandleToFileName(H), "C:\\x");
  CloseOwned();
  ExpectAllReleased();
}

}  // namespace
