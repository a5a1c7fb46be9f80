#include "inspect/HandleClose.h"

#include <memory>
#include <optional>

#include "inspect/File2Name.h"

namespace {

// The entry of Value in Pid's table, when it is still there and, where the
// type of files is known, still a file. Read says whether the table was had.
std::optional<THandleTableView::TEntry> EntryOf(DWORD Pid, ULONG_PTR Value, bool* Read = nullptr) {
  uint16_t FileType = 0;
  TInfoTable Table = GetInfoTable(&FileType);
  if (Read) *Read = static_cast<bool>(Table);
  for (size_t I = 0; Table && I < Table.NumberOfHandles(); ++I) {
    const THandleTableView::TEntry Entry = Table.Entry(I);
    if (!Table.OwnedBy(Entry, Pid) || !Table.IsHandle(Entry, Value)) continue;
    if (FileType != 0 && Entry.ObjectTypeNumber != FileType) return std::nullopt;
    return Entry;
  }
  return std::nullopt;
}

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
  return !Read || (Now && Now->Object == Before.Object);
}

}  // namespace

TSameFile ShownAs(const std::string& Path) {
  return [Path](const TWideString& Fresh) { return !Path.empty() && AnsiName(Fresh) == Path; };
}

TSameFile NamedExactly(const TWideString& Path) {
  return [Path](const TWideString& Fresh) { return !Path.empty() && Fresh == Path; };
}

TCloseResult CloseHandleOf(DWORD Pid, ULONG_PTR Value, const TSameFile& Same) {
  const TSharedProcess Owner =
      std::make_shared<const TOwnedHandle>(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
  if (!*Owner) return TCloseResult::NotOpened;
  bool Read = false;
  const std::optional<THandleTableView::TEntry> Entry = EntryOf(Pid, Value, &Read);
  if (!Entry) return Read ? TCloseResult::OtherFile : TCloseResult::NotVerified;
  const TWideString Name = NameOf(Owner, *Entry);
  if (Name.empty()) return TCloseResult::NotVerified;
  if (!Same(Name)) return TCloseResult::OtherFile;
  // Some systems refuse a null target process: the handle comes here, and
  // the copy is closed.
  TOwnedHandle Copy;
  if (Os().DuplicateHandle(Owner->Get(), reinterpret_cast<HANDLE>(Value), Os().GetCurrentProcess(), Copy.Receive(), 0,
                           FALSE, DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS))
    return TCloseResult::Closed;
  // Windows closes the source even when the copy fails: only the table tells.
  return StillHeld(Pid, *Entry) ? TCloseResult::NotClosed : TCloseResult::Closed;
}
