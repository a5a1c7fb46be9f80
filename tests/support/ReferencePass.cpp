#include "support/ReferencePass.h"

#include "process/Process.h"
#include "process/ProcessList.h"

namespace {

// Duplicates one handle out of Process and names it on a worker of its own.
std::string NameEntry(HANDLE Process, const THandleTableView::TEntry& Entry) {
  TOwnedHandle Copy;
  if (!Os().DuplicateHandle(Process, reinterpret_cast<HANDLE>(Entry.Handle), Os().GetCurrentProcess(), Copy.Receive(),
                            0, FALSE, DUPLICATE_SAME_ACCESS))
    return "";
  return HandleToFileName(Copy.Get());
}

bool Dispatch() {
  Os().ProcessMessages();
  return !Pass().StopRequested();
}

class TReferenceLister : public TLister {
 public:
  bool ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
               const uint32_t& Mode, long& Count) override;
  bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) override;
};

bool TReferenceLister::ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) {
  TMainView& Out = View();
  for (int32_t Slot = 0; Slot < ProcessCount; ++Slot) {
    const DWORD Pid = ProcessTable[Slot].PID;
    Out.AddFile(TFileRow(Pid, ProcessNameByPID(Pid)));
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

bool TReferenceLister::ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table,
                               uint16_t FileType, const uint32_t& Mode, long& Count) {
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    if (!Dispatch()) return false;
    const auto Entry = Table.Entry(I);
    if (!Table.OwnedBy(Entry, Pid) || FileType == 0 || Entry.ObjectTypeNumber != FileType) continue;
    const std::string Path = NameEntry(Process->Get(), Entry);
    if (Path.empty() || (Mode != 1 && Path[0] == '\\')) continue;
    View().AddFile(FileRow(Entry.Handle, Path));
    ++Count;
  }
  return true;
}

}  // namespace

TPassResult ReferenceListOpenFiles(DWORD Pid, const uint32_t& Mode) {
  TReferenceLister Reference;
  return RunPass(Pid, Mode, Reference);
}
