#include "process/ProcessList.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "os/Owned.h"
#include "process/Process.h"
#include "view/MainView.h"

std::vector<TProcessEntry> ProcessTable(2049);
int32_t ProcessCount = 0;

namespace {

std::string LowerAscii(const char* Text) {
  std::string Out(Text, strnlen(Text, MAX_PATH));
  for (char& C : Out)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return Out;
}

bool ComesAfter(const TProcessEntry& A, const TProcessEntry& B, uint32_t SortOrder) {
  if (SortOrder == 0) return A.PID > B.PID;
  // Byte by byte as unsigned characters; a prefix sorts first.
  if (SortOrder == 1) return A.Name.compare(B.Name) > 0;
  return false;
}

}  // namespace

std::string SelectorLine(const TProcessEntry& Entry) {
  char Pid[16];
  std::snprintf(Pid, sizeof Pid, "%04u", static_cast<unsigned>(Entry.PID));
  return std::string(Pid) + "   " + Entry.Name;
}

bool PidOfLine(int Line, DWORD* Pid) {
  if (Line < 0 || Line >= ProcessCount) return false;
  *Pid = ProcessTable[Line].PID;
  return true;
}

void SortProcessList(uint32_t SortOrder) {
  // A bubble sort: equal keys never swap, so equal names keep the snapshot's order.
  for (int32_t I = 0; I < ProcessCount; ++I)
    for (int32_t J = 0; J <= ProcessCount - 2 - I; ++J)
      if (ComesAfter(ProcessTable[J], ProcessTable[J + 1], SortOrder)) std::swap(ProcessTable[J], ProcessTable[J + 1]);
}

void FillProcessList(uint32_t SortOrder) {
  TMainView& Out = View();
  Out.SetStatus(0, "Loading...");
  ProcessCount = 0;
  {
    TOwnedHandle Snapshot(Os().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (Snapshot) {
      PROCESSENTRY32 Entry = {};
      Entry.dwSize = sizeof Entry;
      bool HasIdle = false;
      for (BOOL More = Os().Process32First(Snapshot.Get(), &Entry); More;
           More = Os().Process32Next(Snapshot.Get(), &Entry)) {
        if (ProcessCount >= static_cast<int32_t>(ProcessTable.size())) ProcessTable.resize(ProcessTable.size() * 2);
        ProcessTable[ProcessCount].PID = Entry.th32ProcessID;
        ProcessTable[ProcessCount].Name = LowerAscii(Entry.szExeFile);
        HasIdle = HasIdle || Entry.th32ProcessID == 0;
        ++ProcessCount;
      }
      // The all-processes view lives on PID 0's line: where the snapshot has
      // none, it gets one at the front, where Windows lists it.
      // The slots past the count are reused, never added to: a refresh every
      // few seconds must not grow the table.
      if (ProcessCount > 0 && !HasIdle) {
        if (ProcessCount >= static_cast<int32_t>(ProcessTable.size())) ProcessTable.resize(ProcessTable.size() * 2);
        std::move_backward(ProcessTable.begin(), ProcessTable.begin() + ProcessCount,
                           ProcessTable.begin() + ProcessCount + 1);
        ProcessTable[0] = {LowerAscii(SystemProcessName), 0};
        ++ProcessCount;
      }
    }
  }
  Out.SetStatus(0, "Sorting...");
  SortProcessList(SortOrder);
  Out.ClearSelector();
  for (int32_t I = 0; I < ProcessCount; ++I) Out.AddSelectorLine(SelectorLine(ProcessTable[I]));
  Out.SetSelectorPosition(-1);
  Out.SetStatus(0, "Ready");
  Out.ClearFiles();
  Out.SetSaveReportEnabled(false);
  Out.SetEndProcessEnabled(false);
  Out.SetStatus(1, "Processes: " + std::to_string(ProcessCount));
  Out.SetOpenFilesLabel("Open files: 0");
}
