// The listing pass on the real system under Wine: per-handle cost against the
// bare loop any lister must do, and the program's peak working set. Prints
// figures; asserts nothing.
#include "os/Struct.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "inspect/ListOpenFiles.h"
#include "os/Win32System.h"
#include "process/ProcessList.h"
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

  // The program itself, pointed at the largest child.
  TRunningProgram Program;
  if (Program.Main() && Program.Pick(Child.Pid(), "lxchild.exe")) {
    PROCESS_MEMORY_COUNTERS_EX Counters = {};
    Counters.cb = sizeof Counters;
    GetProcessMemoryInfo(Program.Process(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&Counters), sizeof Counters);
    int Rows = static_cast<int>(SendMessageA(GetDlgItem(Program.Main(), 103), LVM_GETITEMCOUNT, 0, 0));
    std::printf("\nlumorex.exe with %d rows listed: peak working set %.1f MiB, peak commit %.1f MiB\n", Rows,
                Counters.PeakWorkingSetSize / 1048576.0, Counters.PeakPagefileUsage / 1048576.0);
    Program.Close();
  } else {
    std::printf("\nlumorex.exe could not be driven: no memory figure\n");
  }
  return 0;
}
