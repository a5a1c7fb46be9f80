#include "support/ReferencePass.h"

#include "process/Process.h"
#include "process/ProcessList.h"

namespace {

bool Dispatch() {
  Os().ProcessMessages();
  return !PassStopRequested();
}

bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) {
  TMainView& Out = View();
  for (int32_t Slot = 0; Slot < ProcessCount; ++Slot) {
    const DWORD Pid = ProcessTable[Slot].PID;
    Out.AddFile({"", {"Process information: " + std::to_string(Pid) + " (" + ProcessNameByPID(Pid) + ")"}});
    TOwnedHandle Process(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
    if (!Process) continue;
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
      if (!Dispatch()) return false;
      const auto Entry = Table.Entry(I);
      if (!Table.OwnedBy(Entry, Pid) || FileType == 0 || Entry.ObjectTypeNumber != FileType) continue;
      const std::string Path = NameEntry(Process.Get(), Entry);
      if (Path.empty()) continue;
      Out.AddFile(FileRow(Entry.Handle, Path));
      if (!Dispatch()) return false;
      ++Count;
    }
  }
  return true;
}

}  // namespace

TPassResult ReferenceListOpenFiles(DWORD Pid, const uint32_t& Mode) {
  TMainView& Out = View();
  Out.ClearFiles();
  Out.SetStatus(0, "Receiving handle table...");
  long Count = 0;
  TInfoTable Table = GetInfoTable();
  if (!Table) {
    Out.SetStatus(0, "Error with receiving handle table.");
    return TPassResult::Failed;
  }
  const uint16_t FileType = GetFileObjectType();
  if (Pid != 0) {
    TOwnedHandle Process(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
    if (!Process) {
      Out.SetStatus(0, "Process access error.");
      return TPassResult::Failed;
    }
    Out.SetStatus(0, "Enumerating handles for process: " + std::to_string(Pid));
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
      if (!Dispatch()) return TPassResult::Stopped;
      const auto Entry = Table.Entry(I);
      if (!Table.OwnedBy(Entry, Pid) || FileType == 0 || Entry.ObjectTypeNumber != FileType) continue;
      const std::string Path = NameEntry(Process.Get(), Entry);
      if (Path.empty() || (Mode != 1 && Path[0] == '\\')) continue;
      Out.AddFile(FileRow(Entry.Handle, Path));
      ++Count;
    }
  } else if (!ListAll(Table, FileType, Count)) {
    return TPassResult::Stopped;
  }
  Out.SetOpenFilesLabel("Open files: " + std::to_string(Count));
  Out.SetStatus(0, "Ready");
  return TPassResult::Completed;
}
