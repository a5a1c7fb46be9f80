#include "inspect/AllProcesses.h"

#include "inspect/ListOpenFiles.h"
#include "process/Process.h"
#include "process/ProcessList.h"

namespace {

TFileRow HeaderRow(DWORD Pid) {
  // The name as the system gives it, from a fresh snapshot: not lower-cased,
  // and empty for a process that has ended since the table was built.
  return {"", {"Process information: " + std::to_string(Pid) + " (" + ProcessNameByPID(Pid) + ")"}};
}

}  // namespace

bool ListAllProcesses(const THandleTableView& Table, uint16_t FileType, long& Count) {
  TMainView& Out = View();
  for (int32_t Slot = 0; Slot < ProcessCount; ++Slot) {
    const DWORD Pid = ProcessTable[Slot].PID;
    Out.AddFile(HeaderRow(Pid));
    TOwnedHandle Process(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
    if (!Process) continue;  // PID 0, or ended: the header stands alone
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
      if (!PassKeepsGoing()) return false;
      const THandleTableView::TEntry Entry = Table.Entry(I);
      if (!Table.OwnedBy(Entry, Pid) || FileType == 0 || Entry.ObjectTypeNumber != FileType) continue;
      const std::string Path = NameEntry(Process.Get(), Entry);
      if (Path.empty()) continue;
      // Every object is listed here, pipes and devices too, in both modes.
      Out.AddFile(FileRow(Entry.Handle, Path));
      if (!PassKeepsGoing()) return false;
      ++Count;
    }
  }
  return true;
}
