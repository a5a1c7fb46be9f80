// The listing pass on the real system under Wine: per-handle cost against the
// bare loop any lister must do, and the program's peak working set. Prints
// figures; asserts nothing.
#include "os/Struct.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "inspect/HandleClose.h"
#include "inspect/ListOpenFiles.h"
#include "os/Win32System.h"
#include "process/ProcessList.h"
#include "ui/win32/MainWindow.h"
#include "support/MemoryView.h"
#include "wine/WineSupport.h"

namespace {

double Now() {
  LARGE_INTEGER Count, Frequency;
  QueryPerformanceCounter(&Count);
  QueryPerformanceFrequency(&Frequency);
  return double(Count.QuadPart) * 1e6 / double(Frequency.QuadPart);
}

// For each file handle of Pid: duplicate it, ask its object name (and, with
// FileQuery, first its file name, as the pass must), close the copy.
size_t BareLoop(DWORD Pid, uint16_t FileType, bool FileQuery) {
  TSystem& Sys = Os();
  TInfoTable Table = GetInfoTable();
  HANDLE Process = Sys.OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid);
  size_t Named = 0;
  alignas(8) BYTE Buffer[520];
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    auto E = Table.Entry(I);
    if (!Table.OwnedBy(E, Pid) || E.ObjectTypeNumber != FileType) continue;
    HANDLE Copy;
    if (!Sys.DuplicateHandle(Process, reinterpret_cast<HANDLE>(E.Handle), Sys.GetCurrentProcess(), &Copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
      continue;
    ULONG Length;
    IO_STATUS_BLOCK Io;
    alignas(8) BYTE FileInfo[524];
    if (FileQuery) Sys.NtQueryInformationFile(Copy, &Io, FileInfo, 520, FileNameInformation);
    if (Sys.NtQueryObject(Copy, ObjectNameInformation, Buffer, sizeof Buffer, &Length) == STATUS_SUCCESS) ++Named;
    Sys.CloseHandle(Copy);
  }
  Sys.CloseHandle(Process);
  return Named;
}

// The floor of a search over every process: each file handle of the table
// duplicated, asked both names and closed, with no worker.
void BareLoopAll(uint16_t FileType) {
  TSystem& Sys = Os();
  TInfoTable Table = GetInfoTable();
  DWORD Owner = ~DWORD(0);
  HANDLE Process = nullptr;
  alignas(8) BYTE FileInfo[1024], ObjectInfo[1024];
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    auto E = Table.Entry(I);
    if (E.ObjectTypeNumber != FileType) continue;
    if (E.ProcessId != Owner) {
      if (Process) Sys.CloseHandle(Process);
      Owner = E.ProcessId;
      Process = Sys.OpenProcess(PROCESS_DUP_HANDLE, FALSE, Owner);
    }
    HANDLE Copy;
    if (!Process || !Sys.DuplicateHandle(Process, reinterpret_cast<HANDLE>(E.Handle), Sys.GetCurrentProcess(), &Copy,
                                         0, FALSE, DUPLICATE_SAME_ACCESS))
      continue;
    IO_STATUS_BLOCK Io;
    ULONG Length;
    Sys.NtQueryInformationFile(Copy, &Io, FileInfo, sizeof FileInfo, FileNameInformation);
    Sys.NtQueryObject(Copy, ObjectNameInformation, ObjectInfo, sizeof ObjectInfo, &Length);
    Sys.CloseHandle(Copy);
  }
  if (Process) Sys.CloseHandle(Process);
}

// Follows another process's peak working set until it ends: Wine reads it
// from the running process, and has none once it is gone.
struct TPeakWatch {
  HANDLE Process;
  SIZE_T Peak = 0;
};

DWORD WINAPI WatchPeak(LPVOID Data) {
  auto* Watch = static_cast<TPeakWatch*>(Data);
  do {
    PROCESS_MEMORY_COUNTERS Counters = {};
    Counters.cb = sizeof Counters;
    if (GetProcessMemoryInfo(Watch->Process, &Counters, sizeof Counters))
      Watch->Peak = std::max(Watch->Peak, Counters.PeakWorkingSetSize);
  } while (WaitForSingleObject(Watch->Process, 2) == WAIT_TIMEOUT);
  return 0;
}

constexpr int IdList = 103;  // the file list of lumorex.exe

// Watches another program's list from a thread of its own until it shows a
// row of the pick under way: a count other than the one before the pick, or
// any after the list was seen empty.
struct TFirstRow {
  HWND List;
  DWORD_PTR Before;
  std::atomic<double> Start{0};  // set at the pick
  std::atomic<bool> Stop{false};
  std::atomic<double> Seen{0};
};

DWORD WINAPI WatchFirstRow(LPVOID Data) {
  auto* Watch = static_cast<TFirstRow*>(Data);
  bool Cleared = false;
  while (!Watch->Stop) {
    if (Watch->Start == 0) {
      Sleep(0);
      continue;
    }
    DWORD_PTR Count = 0;
    if (SendMessageTimeoutA(Watch->List, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 1000, &Count)) {
      if (Count == 0) Cleared = true;
      if (Count > 0 && (Cleared || Count != Watch->Before)) {
        Watch->Seen = Now() - Watch->Start;
        break;
      }
    }
    Sleep(1);
  }
  return 0;
}

}  // namespace

int main() {
  std::printf("Listing pass under Wine, per handle (one child holding N files)\n");
  std::printf("%6s %8s %12s %12s %8s %16s\n", "N", "rows", "pass us/h", "bare us/h", "ratio", "bare+file us/h");
  std::string Folder = TempFolder("bench");
  uint16_t FileType = GetFileObjectType();
  for (int N : {200, 1000, 5000}) {
    TChild Child({"many:" + std::to_string(N) + ":" + Folder});
    TMemoryView Screen;
    TViewScope Use(Screen);
    uint32_t Mode = 1;
    double Start = Now();
    ListOpenFiles(Child.Pid(), Mode);
    double Pass = Now() - Start;
    Start = Now();
    size_t Named = BareLoop(Child.Pid(), FileType, false);
    double Bare = Now() - Start;
    Start = Now();
    BareLoop(Child.Pid(), FileType, true);
    double WithFile = Now() - Start;
    size_t Per = Named ? Named : 1;
    std::printf("%6d %8zu %12.1f %12.1f %8.2f %16.1f\n", N, Screen.Files.size(), Pass / N, Bare / Per,
                (Pass / N) / (Bare / Per), WithFile / Per);
    std::fflush(stdout);
  }

  // Close handle: the check (a table, the owner opened, one name asked on
  // the worker) and the close, for a child's file among N others.
  std::printf("\nClose handle under Wine (a child holding a locked file and N others), best of three\n");
  std::printf("%6s %10s\n", "N", "ms");
  for (int N : {200, 5000}) {
    double Best = 1e18;
    for (int Try = 0; Try < 3; ++Try) {
      TChild Child({"locked:" + Folder + "\\locked" + std::to_string(Try) + ".dat", "many:" + std::to_string(N) + ":" + Folder});
      TMemoryView Screen;
      TViewScope Use(Screen);
      uint32_t Mode = 0;
      ListOpenFiles(Child.Pid(), Mode);
      const std::string Caption = HandleText(Child.Handles()[0]);
      for (const TFileRow& Row : Screen.Files) {
        if (Row.Caption != Caption) continue;
        double Start = Now();
        if (CloseHandleOf(Row.Hold) == TCloseResult::Closed)
          Best = std::min(Best, Now() - Start);
      }
    }
    std::printf("%6d %10.2f\n", N, Best / 1000);
    std::fflush(stdout);
  }

  // The search against the all-processes view it is built from, over the
  // same machine with a child holding 5000 files: best of three each.
  TChild Child({"many:5000:" + Folder});
  {
    TMemoryView Screen;
    TViewScope Use(Screen);
    FillProcessList(0);
    double All = 1e30, Search = 1e30;
    size_t AllRows = 0, Found = 0;
    for (int Round = 0; Round < 3; ++Round) {
      uint32_t Mode = 1;
      double Start = Now();
      ListOpenFiles(0, Mode);
      All = std::min(All, Now() - Start);
      AllRows = Screen.Files.size();
      Start = Now();
      FindOpenFile("F02500.DAT");
      Search = std::min(Search, Now() - Start);
      Found = Screen.Files.size();
    }
    std::printf("\nFind open file over %d processes, a child holding 5000 files (best of 3)\n", ProcessCount);
    std::printf("%-26s %10s %8s\n", "", "ms", "rows");
    std::printf("%-26s %10.1f %8zu\n", "all-processes view", All / 1000, AllRows);
    std::printf("%-26s %10.1f %8zu\n", "search \"F02500.DAT\"", Search / 1000, Found);
    std::printf("%-26s %10.2f\n", "search / view", Search / All);
    std::fflush(stdout);
  }

  // Every kind of hold against handles alone: 20 children each holding 50
  // files and 20 loaded DLLs, the search's whole walk (the table snapshot
  // included) over every process, best of five each, taken in turn.
  {
    std::vector<std::string> Loads;
    for (int K = 0; K < 20; ++K) {
      const std::string Dll = Folder + "\\plugin" + std::to_string(K) + ".dll";
      CopyFileA((ExeFolder() + "lxplugin.dll").c_str(), Dll.c_str(), FALSE);
      Loads.push_back("load:" + Dll);
    }
    Loads.push_back("many:50:" + Folder);
    std::vector<std::unique_ptr<TChild>> Children;
    for (int K = 0; K < 20; ++K) Children.push_back(std::make_unique<TChild>(Loads));
    TMemoryView Screen;
    TViewScope Use(Screen);
    FillProcessList(0);
    struct TCount : THoldSink {
      size_t Holds = 0;
      bool Hold(const THold&) override { return ++Holds, true; }
    };
    double Took[2] = {1e30, 1e30};
    size_t Found[2] = {};
    for (int Round = 0; Round < 5; ++Round) {
      for (int Images = 0; Images < 2; ++Images) {
        const double Start = Now();
        uint16_t Type = 0;
        TInfoTable Table = GetInfoTable(&Type);
        std::vector<DWORD> Pids;
        for (int32_t Slot = 0; Slot < ProcessCount; ++Slot) Pids.push_back(ProcessTable[Slot].PID);
        TCount Sink;
        TWalkSources Sources;
        Sources.Images = Images != 0;
        THoldWalk Walk(Table, Type, Sources, THoldFilter::Holding(L"PLUGIN7.DLL"), Sink, nullptr);
        Walk.Group(Pids);
        for (DWORD Pid : Pids) Walk.Walk(Pid);
        Took[Images] = std::min(Took[Images], Now() - Start);
        Found[Images] = Sink.Holds;
      }
    }
    std::printf("\nFind over %d processes, 20 of them holding 50 files and 20 loaded DLLs each (best of 5)\n",
                ProcessCount);
    std::printf("%-34s %10s %8s\n", "", "ms", "holds");
    std::printf("%-34s %10.1f %8zu\n", "handles alone", Took[0] / 1000, Found[0]);
    std::printf("%-34s %10.1f %8zu\n", "handles, images and mapped views", Took[1] / 1000, Found[1]);
    std::printf("%-34s %10.2f\n", "all kinds / handles alone", Took[1] / Took[0]);
    std::fflush(stdout);
  }

  // The console program's search, started as a program and read through a
  // pipe, against the window's Find open file and the floor of a search, over
  // one machine with a child holding 10 000 files: best of five each, taken
  // in turn, as the shared machine's load moves by more than the difference.
  {
    TChild Big({"many:10000:" + Folder});
    TMemoryView Screen;
    TViewScope Use(Screen);
    FillProcessList(0);
    double Window = 1e30, Console = 1e30, Floor = 1e30;
    size_t Found = 0, Printed = 0;
    for (int Round = 0; Round < 5; ++Round) {
      double Start = Now();
      FindOpenFile("F05000.DAT");
      Window = std::min(Window, Now() - Start);
      Found = Screen.Files.size();
      Start = Now();
      const TConsoleRun Run = RunConsoleProgram("--find F05000.DAT --csv");
      Console = std::min(Console, Now() - Start);
      Printed = static_cast<size_t>(std::count(Run.Out.begin(), Run.Out.end(), '\n')) - 1;
      Start = Now();
      BareLoopAll(FileType);
      Floor = std::min(Floor, Now() - Start);
    }
    std::printf("\nlumorexc --find over %d processes, a child holding 10000 files (best of 5)\n", ProcessCount);
    std::printf("%-34s %10s %8s\n", "", "ms", "rows");
    std::printf("%-34s %10.1f %8zu\n", "lumorexc.exe --find F05000.DAT", Console / 1000, Printed);
    std::printf("%-34s %10.1f %8zu\n", "the window's Find open file", Window / 1000, Found);
    std::printf("%-34s %10.1f\n", "floor: every file handle, bare", Floor / 1000);
    std::printf("%-34s %10.2f\n", "lumorexc / window", Console / Window);
    std::printf("%-34s %10.2f\n", "lumorexc / floor", Console / Floor);
    std::fflush(stdout);
  }
  // Its memory does not follow the rows it writes: the peak working set of
  // one child's listing of N rows.
  std::printf("\nlumorexc.exe listing one child's N files, as CSV through a pipe\n");
  std::printf("%6s %8s %22s\n", "N", "rows", "peak working set MiB");
  for (int N : {1000, 10000}) {
    TChild Many({"many:" + std::to_string(N) + ":" + Folder});
    TPeakWatch Watch{nullptr};
    HANDLE Watcher = nullptr;
    const TConsoleRun Run = RunConsoleProgram("--csv " + std::to_string(Many.Pid()), [&](HANDLE Process) {
      // A handle of the watcher's own: the run closes its handle once it ends.
      DuplicateHandle(GetCurrentProcess(), Process, GetCurrentProcess(), &Watch.Process, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
      Watcher = CreateThread(nullptr, 0, WatchPeak, &Watch, 0, nullptr);
    });
    WaitForSingleObject(Watcher, INFINITE);
    CloseHandle(Watcher);
    CloseHandle(Watch.Process);
    const double Peak = Watch.Peak / 1048576.0;
    const long Rows = static_cast<long>(std::count(Run.Out.begin(), Run.Out.end(), '\n')) - 1;
    std::printf("%6d %8ld %22.1f\n", N, Rows, Peak);
    std::fflush(stdout);
  }

  // The real window, from outside: a pick to "Ready" (the pick's message
  // returns when the pass has), and to the first row the list shows, against
  // the fair floor measured in the same run (the bare loop with both name
  // queries). Best of three each.
  std::printf("\nThe real window under Wine: pick to \"Ready\" against the fair floor (best of 3)\n");
  std::printf("%6s %8s %10s %10s %8s %14s\n", "N", "rows", "ready ms", "floor ms", "ratio", "first row ms");
  // The refresh timer must not start a pass of its own between the picks.
  TRegistryLock Lock;
  HKEY Key = nullptr;
  DWORD Period = 10, Size = sizeof Period, Long = 255;
  RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary\\Lumorex", &Key);
  RegQueryValueExA(Key, "TimerInterval", nullptr, nullptr, reinterpret_cast<BYTE*>(&Period), &Size);
  RegSetValueExA(Key, "TimerInterval", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Long), sizeof Long);
  for (int N : {1000, 10000}) {
    TChild Child({"many:" + std::to_string(N) + ":" + Folder});
    TRunningProgram Program;
    if (!Program.Main()) break;
    HWND List = GetDlgItem(Program.Main(), IdList);
    double Ready = 1e30, First = 1e30, Floor = 1e30;
    for (int Round = 0; Round < 3; ++Round) {
      // The clock starts once the line is found, with the watcher already running.
      TFirstRow Watch{List, static_cast<DWORD_PTR>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0))};
      HANDLE Watcher = CreateThread(nullptr, 0, WatchFirstRow, &Watch, 0, nullptr);
      if (!Program.Pick(Child.Pid(), "lxchild.exe", nullptr, [&] { Watch.Start = Now(); })) break;
      Ready = std::min(Ready, Now() - Watch.Start);
      Watch.Stop = true;
      WaitForSingleObject(Watcher, 5000);
      CloseHandle(Watcher);
      if (Watch.Seen > 0) First = std::min(First, Watch.Seen.load());
      double Start = Now();
      BareLoop(Child.Pid(), FileType, true);
      Floor = std::min(Floor, Now() - Start);
    }
    int Rows = static_cast<int>(SendMessageA(List, LVM_GETITEMCOUNT, 0, 0));
    std::printf("%6d %8d %10.1f %10.1f %8.2f %14.1f\n", N, Rows, Ready / 1000, Floor / 1000, Ready / Floor,
                First / 1000);
    std::fflush(stdout);
    Program.Close();
  }
  RegSetValueExA(Key, "TimerInterval", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Period), sizeof Period);
  RegCloseKey(Key);

  // The program itself, with the largest child listed.
  {
    TChild Child({"many:5000:" + Folder});
    TRunningProgram Program;
    if (Program.Main() && Program.Pick(Child.Pid(), "lxchild.exe")) {
      PROCESS_MEMORY_COUNTERS_EX Counters = {};
      Counters.cb = sizeof Counters;
      GetProcessMemoryInfo(Program.Process(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&Counters), sizeof Counters);
      int Rows = static_cast<int>(SendMessageA(GetDlgItem(Program.Main(), IdList), LVM_GETITEMCOUNT, 0, 0));
      std::printf("\nlumorex.exe with %d rows listed: peak working set %.1f MiB, peak commit %.1f MiB\n", Rows,
                  Counters.PeakWorkingSetSize / 1048576.0, Counters.PeakPagefileUsage / 1048576.0);
      Program.Close();
    } else {
      std::printf("\nlumorex.exe could not be driven: no memory figure\n");
    }
  }

  // The window's row model with 100 000 rows: the program's own main window,
  // made in this process, given the rows a pass would add (a child holding
  // that many files would take minutes to open them under Wine).
  {
    PROCESS_MEMORY_COUNTERS_EX Before = {}, After = {};
    Before.cb = After.cb = sizeof Before;
    TMainWindow Window;
    Window.Create(GetModuleHandleA(nullptr));
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&Before), sizeof Before);
    char Path[MAX_PATH];
    for (int I = 0; I < 100000; ++I) {
      std::snprintf(Path, sizeof Path, "C:\\Users\\someone\\AppData\\Local\\Temp\\lumorex-bench\\f%05d.dat", I);
      Window.Screen.AddFile(FileRow(static_cast<ULONG_PTR>(0x100 + 4 * I), Path));
    }
    Window.Screen.ShowRows();
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&After), sizeof After);
    std::printf("the main window with %d rows in its model: peak working set %.1f MiB (%.1f MiB before the rows)\n",
                static_cast<int>(SendMessageA(Window.Screen.List, LVM_GETITEMCOUNT, 0, 0)),
                After.PeakWorkingSetSize / 1048576.0, Before.PeakWorkingSetSize / 1048576.0);
    DestroyWindow(Window.Handle);
  }
  return 0;
}
