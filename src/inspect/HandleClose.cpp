#include "inspect/HandleClose.h"

#include <memory>
#include <optional>

#include "inspect/File2Name.h"

namespace {

constexpr DWORD SystemPid = 4;

// The entry of Value in Pid's table, of any type, when it is still there.
// Read says whether the table was had; FileType, where given, is the type
// number of files (0 when unknown).
std::optional<THandleTableView::TEntry> EntryOf(DWORD Pid, ULONG_PTR Value, bool* Read = nullptr,
                                                uint16_t* FileType = nullptr) {
  uint16_t Type = 0;
  TInfoTable Table = GetInfoTable(&Type);
  if (Read) *Read = static_cast<bool>(Table);
  if (FileType) *FileType = Type;
  for (size_t I = 0; Table && I < Table.NumberOfHandles(); ++I) {
    const THandleTableView::TEntry Entry = Table.Entry(I);
    if (Table.OwnedBy(Entry, Pid) && Table.IsHandle(Entry, Value)) return Entry;
  }
  return std::nullopt;
}

// The refusals that need no look at the process: ours, and the system's own.
bool RefusedByPid(DWORD Pid, TCloseResult* Why) {
  if (Pid == Os().GetCurrentProcessId()) {
    *Why = TCloseResult::OwnProcess;
    return true;
  }
  if (Pid != 0 && Pid != SystemPid) return false;
  *Why = TCloseResult::SystemProcess;
  return true;
}

// Where the system does not answer (an older system, or no right to ask),
// the process is taken as not critical.
bool Critical(HANDLE Process) {
  ULONG Breaks = 0;
  return Os().NtQueryInformationProcess(Process, ProcessBreakOnTermination, &Breaks, sizeof Breaks, nullptr) ==
             STATUS_SUCCESS &&
         Breaks != 0;
}

// A process may be ended while a handle keeps its object: only the wait tells.
bool Ended(HANDLE Process) { return Os().WaitForSingleObject(Process, 0) == WAIT_OBJECT_0; }

// The one call into the name worker: the worker copies the handle out of its
// owner without closing it, names the copy and closes it, as for the listing.
TWideString NameOf(const TSharedProcess& Owner, const THandleTableView::TEntry& Entry) {
  TWideString Name;
  const TNameSink Keep = [&Name](size_t, const TWideString& Named) { Name = Named; };
  NameProcessHandles(Owner, &Entry, 1, Keep, nullptr);
  return Name;
}

// A table that cannot be read shows nothing closed: no success is claimed
// that was not seen.
bool StillHeld(DWORD Pid, const THandleTableView::TEntry& Before) {
  bool Read = false;
  const std::optional<THandleTableView::TEntry> Now = EntryOf(Pid, Before.Handle, &Read);
  return !Read || (Now && Now->Object == Before.Object && Now->ObjectTypeNumber == Before.ObjectTypeNumber);
}

}  // namespace

bool CloseRefused(DWORD Pid, TCloseResult* Why) {
  TCloseResult Refusal = TCloseResult::NotClosed;
  if (!RefusedByPid(Pid, &Refusal)) {
    const TOwnedHandle Process(Os().OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, Pid));
    if (!Process || !Critical(Process.Get())) return false;
    Refusal = TCloseResult::SystemProcess;
  }
  if (Why) *Why = Refusal;
  return true;
}

TCloseResult CloseHandleOf(const THold& Listed) {
  const DWORD Pid = Listed.Pid;
  const ULONG_PTR Value = Listed.Handle;
  TCloseResult Refusal = TCloseResult::NotClosed;
  if (RefusedByPid(Pid, &Refusal)) return Refusal;
  TOwnedHandle Opened(Os().OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, Pid));
  // No such process: it has ended since it was listed. Any other failure
  // (no right to it) says nothing of its handle.
  if (!Opened)
    return Os().GetLastError() == ERROR_INVALID_PARAMETER ? TCloseResult::ProcessEnded : TCloseResult::NotOpened;
  const TSharedProcess Owner = std::make_shared<const TOwnedHandle>(std::move(Opened));
  if (Ended(Owner->Get())) return TCloseResult::ProcessEnded;
  if (Critical(Owner->Get())) return TCloseResult::SystemProcess;
  bool Read = false;
  uint16_t FileType = 0;
  const std::optional<THandleTableView::TEntry> Entry = EntryOf(Pid, Value, &Read, &FileType);
  if (!Read) return TCloseResult::NotVerified;
  // Gone from the table: its owner closed it, or ended as the table was taken.
  if (!Entry) return Ended(Owner->Get()) ? TCloseResult::ProcessEnded : TCloseResult::HandleClosed;
  // The value closed and reused, even for the same file opened again, or for
  // another object whatever its name.
  if (Entry->Object != Listed.Object || (FileType != 0 && Entry->ObjectTypeNumber != FileType))
    return TCloseResult::OtherFile;
  const TWideString Name = NameOf(Owner, *Entry);
  if (Name.empty()) return TCloseResult::NotVerified;
  // Where the system gives no addresses (Wine), the whole name tells.
  if (Name != Listed.Name) return TCloseResult::OtherFile;
  // Some systems refuse a null target process: the handle comes here, and
  // the copy is closed.
  TOwnedHandle Copy;
  if (Os().DuplicateHandle(Owner->Get(), reinterpret_cast<HANDLE>(Value), Os().GetCurrentProcess(), Copy.Receive(), 0,
                           FALSE, DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS))
    return TCloseResult::Closed;
  // Windows closes the source even when the copy fails: only the table tells.
  return StillHeld(Pid, *Entry) ? TCloseResult::NotClosed : TCloseResult::Closed;
}
