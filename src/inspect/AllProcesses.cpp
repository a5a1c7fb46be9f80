#include "inspect/AllProcesses.h"

#include <optional>
#include <unordered_map>
#include <vector>

#include "inspect/ListOpenFiles.h"
#include "process/Process.h"
#include "process/ProcessList.h"

namespace {

TFileRow HeaderRow(DWORD Pid) {
  // The name as the system gives it, from a fresh snapshot: not lower-cased,
  // and empty for a process that has ended since the table was built.
  return TFileRow(Pid, ProcessNameByPID(Pid));
}

}  // namespace

bool ListAllProcesses(const THandleTableView& Table, uint16_t FileType, long& Count, const std::string* Sought) {
  // One walk groups the file entries by owner, in table order, so the view
  // costs handles plus processes rather than their product.
  std::unordered_map<DWORD, std::vector<size_t>> ByOwner;
  if (FileType != 0) {
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
      if (!Pass().KeepGoing(false)) return false;
      const THandleTableView::TEntry Entry = Table.Entry(I);
      if (Entry.ObjectTypeNumber == FileType) ByOwner[Entry.ProcessId].push_back(I);
    }
  }
  static const std::vector<size_t> None;
  TMainView& Out = View();
  for (int32_t Slot = 0; Slot < ProcessCount; ++Slot) {
    const DWORD Pid = ProcessTable[Slot].PID;
    if (!Sought) Out.AddFile(HeaderRow(Pid));
    if (!Pass().KeepGoing(true)) return false;
    auto Found = ByOwner.find(Table.OwnerKey(Pid));
    if (Sought && Found == ByOwner.end()) continue;  // nothing to search: no header either
    TSharedProcess Process = std::make_shared<const TOwnedHandle>(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
    if (!*Process) continue;  // PID 0, or ended: the header stands alone
    std::optional<TRowFilter> Filter;
    if (Sought) Filter.emplace(TRowFilter{*Sought, [Pid] { return HeaderRow(Pid); }});
    // Every object is listed here, pipes and devices too, in both modes.
    if (!ListProcessFiles(Process, Table, Found == ByOwner.end() ? None : Found->second, nullptr, Count,
                          Filter ? &*Filter : nullptr))
      return false;
  }
  return true;
}
