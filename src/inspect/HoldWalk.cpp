#include "inspect/HoldWalk.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "inspect/PassOwner.h"

namespace {

// How names are compared: upper-cased by the Unicode tables as Windows
// compares file names, "/" read as "\" as Windows reads it in a path.
TWideString Folded(TWideString Name) {
  Name = UpperCase(std::move(Name));
  std::replace(Name.begin(), Name.end(), WCHAR('/'), WCHAR('\\'));
  return Name;
}

bool IsRoot(const TWideString& Path) { return Path.size() == 3 && Path[1] == ':' && Path[2] == '\\'; }

// The longest name GetMappedFileNameW can give: what a UNICODE_STRING counts.
constexpr DWORD MappedNameUnits = 0x8000 + 1;

// The end of the image loaded at Base, from its own headers; 0 when they
// cannot be read.
uintptr_t EndFromHeaders(HANDLE Process, const void* Base) {
  BYTE Header[0x400];
  SIZE_T Read = 0;
  if (!Os().ReadProcessMemory(Process, Base, Header, sizeof Header, &Read) || Read != sizeof Header) return 0;
  if (Header[0] != 'M' || Header[1] != 'Z') return 0;
  uint32_t At = 0, Size = 0;
  std::memcpy(&At, Header + 0x3C, 4);  // e_lfanew: where "PE\0\0" stands
  // SizeOfImage: 56 bytes into the optional header, after the signature and
  // the 20-byte file header, in 32- and 64-bit images alike.
  constexpr uint32_t SizeOfImageAt = 4 + 20 + 56;
  if (At > sizeof Header - SizeOfImageAt - 4 || std::memcmp(Header + At, "PE\0\0", 4) != 0) return 0;
  std::memcpy(&Size, Header + At + SizeOfImageAt, 4);
  // Headers are the process's own to write: the last byte they claim must be
  // the same image's, or what lies past them would go unseen. (A size of 0,
  // or one that wraps, puts that byte before the image.)
  const uintptr_t End = reinterpret_cast<uintptr_t>(Base) + Size;
  MEMORY_BASIC_INFORMATION Last = {};
  if (Os().VirtualQueryEx(Process, reinterpret_cast<const void*>(End - 1), &Last, sizeof Last) != sizeof Last ||
      Last.AllocationBase != Base)
    return 0;
  return End;
}

TSharedProcess Open(DWORD Access, DWORD Pid) {
  return std::make_shared<const TOwnedHandle>(Os().OpenProcess(Access, FALSE, Pid));
}

// An answer whose length is known only by asking: the buffer grows to what
// each refusal says it needs. The answer may grow between two asks (the
// current folder changed, a folder renamed longer), so it is asked three
// times at most. Its length, or 0 when it failed or never fitted: a buffer
// grown after the last ask holds no answer.
template <typename TAsk>
DWORD AskGrowing(std::vector<WCHAR>& Buffer, TAsk Ask) {
  for (int Tries = 0; Tries < 3; ++Tries) {
    const DWORD Length = Ask(Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Length < Buffer.size()) return Length;
    Buffer.resize(Length + 1);
  }
  return 0;
}

}  // namespace

THoldFilter THoldFilter::Holding(const TWideString& Text) {
  THoldFilter Filter;
  Filter.How = Substring;
  Filter.Sought.push_back(Folded(Text));
  return Filter;
}

THoldFilter THoldFilter::Under(const std::vector<TWideString>& Paths) {
  THoldFilter Filter;
  Filter.How = Path;
  for (const TWideString& Given : Paths) {
    TWideString Sought = Folded(Given);
    // A folder's own name, so that what lies beneath it starts with it and a "\".
    while (Sought.size() > 1 && Sought.back() == '\\' && !IsRoot(Sought)) Sought.pop_back();
    if (!Sought.empty()) Filter.Sought.push_back(std::move(Sought));  // a path that did not resolve holds nothing
  }
  return Filter;
}

bool THoldFilter::Keeps(const TWideString& Name) const {
  if (How == Everything) return true;
  const TWideString Seen = Folded(Name);
  if (How == Substring) return Seen.find(Sought.front()) != TWideString::npos;
  return std::any_of(Sought.begin(), Sought.end(), [&Seen](const TWideString& P) {
    if (Seen.compare(0, P.size(), P) != 0) return false;
    return Seen.size() == P.size() || P.back() == '\\' || Seen[P.size()] == '\\';
  });
}

TWideString ResolvePath(const TWideString& Path) {
  if (Path.empty()) return {};
  std::vector<WCHAR> Full(MAX_PATH);
  const DWORD Length =
      AskGrowing(Full, [&](WCHAR* To, DWORD Room) { return Os().GetFullPathNameW(Path.c_str(), Room, To, nullptr); });
  if (Length == 0) return {};
  TWideString Resolved(Full.data(), Length);
  std::vector<WCHAR> Long(Resolved.size() + MAX_PATH);
  const DWORD LongLength =
      AskGrowing(Long, [&](WCHAR* To, DWORD Room) { return Os().GetLongPathNameW(Resolved.c_str(), To, Room); });
  // Only a path that exists has a long form; any other stays as resolved.
  if (LongLength != 0) Resolved.assign(Long.data(), LongLength);
  return Resolved;
}

THoldWalk::THoldWalk(const THandleTableView& Table, uint16_t FileType, TWalkSources Sources, THoldFilter Filter,
                     THoldSink& Sink, TPassOwner* Pass)
    : Table(Table), FileType(FileType), Sources(Sources), Filter(std::move(Filter)), Sink(Sink), Pass(Pass) {}

bool THoldWalk::Group(const std::vector<DWORD>& Pids) {
  for (DWORD Pid : Pids) ByOwner[Table.OwnerKey(Pid)];
  // Type 0 means the file type was not found: no entry is a file then.
  if (!Sources.Handles || FileType == 0) return true;
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    if (Pass && !Pass->KeepGoing(false)) return false;
    const THandleTableView::TEntry Entry = Table.Entry(I);
    if (Entry.ObjectTypeNumber != FileType) continue;
    auto Found = ByOwner.find(Entry.ProcessId);
    if (Found != ByOwner.end()) Found->second.push_back(Entry);
  }
  return true;
}

bool THoldWalk::Hand(const THold& Hold) { return !Filter.Keeps(Hold.Name) || Sink.Hold(Hold); }

bool THoldWalk::Walk(DWORD Pid, const TSharedProcess& Opened) {
  if (!Sink.Begin(Pid)) return false;
  auto Found = ByOwner.find(Table.OwnerKey(Pid));
  const bool HasHandles = Sources.Handles && Found != ByOwner.end() && !Found->second.empty();
  // The idle pseudo-process and System map no file into a user address
  // space: the kernel's own images are no process's.
  const bool WantImages = Sources.Images && Pid != 0 && Pid != 4;
  TSharedProcess Process = Opened;
  bool CanRead = false;
  if (!Process && (HasHandles || WantImages)) {
    constexpr DWORD Read = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    Process = Open((HasHandles ? PROCESS_DUP_HANDLE : 0) | (WantImages ? Read : 0), Pid);
    CanRead = WantImages && *Process;
    // A protected process lets its handles be copied but not its memory read.
    if (!*Process && HasHandles && WantImages) Process = Open(PROCESS_DUP_HANDLE, Pid);
  }
  bool Complete = !HasHandles && !WantImages;
  if (Process && *Process) {
    if (HasHandles && !WalkHandles(Process, Pid)) return false;
    Complete = true;
    if (WantImages) {
      const TLook Look = CanRead ? WalkImages(Process->Get(), Pid) : TLook::NotLooked;
      if (Look == TLook::Stopped) return false;
      Complete = Look == TLook::Looked;
    }
  }
  if (!Complete) Tally_.NotOpened.push_back(Pid);
  ++Tally_.Processes;
  Sink.Progress(Tally_);
  return Sink.End(Pid);
}

bool THoldWalk::WalkHandles(const TSharedProcess& Process, DWORD Pid) {
  const std::vector<THandleTableView::TEntry>& Entries = ByOwner[Table.OwnerKey(Pid)];
  bool Halt = false;
  const size_t UnnamedBefore = NameHandlesUnnamed();
  const TNameSink Named = [&](size_t I, const TWideString& Name) {
    if (Halt) return;
    ++Tally_.Named;
    Sink.Progress(Tally_);
    if (!Name.empty() && !Hand({Pid, THoldKind::Handle, Entries[I].Handle, Entries[I].Object, Name})) Halt = true;
  };
  const bool Done = NameProcessHandles(Process, Entries.data(), Entries.size(), Named, Pass, &Halt);
  Tally_.Unnamed += NameHandlesUnnamed() - UnnamedBefore;
  return Done && !Halt;
}

uintptr_t THoldWalk::ImageEnd(HANDLE Process, const void* Base, const TWideString& File) {
  const uintptr_t At = reinterpret_cast<uintptr_t>(Base);
  auto Known = ImageSizes.find(File);
  if (Known != ImageSizes.end()) return At + Known->second;
  const uintptr_t End = EndFromHeaders(Process, Base);
  if (End) ImageSizes.emplace(File, End - At);
  return End;
}

THoldWalk::TLook THoldWalk::WalkImages(HANDLE Process, DWORD Pid) {
  if (!SelfWow64) {
    BOOL Wow64 = FALSE;
    SelfWow64 = Os().IsWow64Process(Os().GetCurrentProcess(), &Wow64) && Wow64;
  }
  // A 32-bit program reads only the lower part of a 64-bit process's memory,
  // and its images lie above it: that process is not looked at.
  BOOL TargetWow64 = FALSE;
  if (*SelfWow64 && (!Os().IsWow64Process(Process, &TargetWow64) || !TargetWow64)) return TLook::NotLooked;
  if (!NameBuffer) NameBuffer.reset(new WCHAR[MappedNameUnits]);
  // A file mapped twice, or an image's many regions, is one hold.
  std::set<std::pair<THoldKind, TWideString>> Seen;
  MEMORY_BASIC_INFORMATION Region = {};
  uintptr_t At = 0;
  const void* Last = nullptr;  // the allocation last named: its regions follow each other
  bool Any = false;
  while (Os().VirtualQueryEx(Process, reinterpret_cast<const void*>(At), &Region, sizeof Region) == sizeof Region) {
    Any = true;
    if (Pass && !Pass->KeepGoing(false)) return TLook::Stopped;
    uintptr_t Next = reinterpret_cast<uintptr_t>(Region.BaseAddress) + Region.RegionSize;
    if ((Region.Type == MEM_IMAGE || Region.Type == MEM_MAPPED) && Region.AllocationBase != Last) {
      Last = Region.AllocationBase;
      const DWORD Length = Os().GetMappedFileNameW(Process, Region.AllocationBase, NameBuffer.get(), MappedNameUnits);
      if (Length == 0 && Os().GetLastError() == ERROR_PROC_NOT_FOUND) return TLook::NotLooked;
      if (Length > 0 && Length < MappedNameUnits) {
        const TWideString File(NameBuffer.get(), Length);
        if (Region.Type == MEM_IMAGE) Next = std::max(Next, ImageEnd(Process, Region.AllocationBase, File));
        if (!Drives) Drives.emplace();
        THold Hold;
        Hold.Pid = Pid;
        Hold.Kind = Region.Type == MEM_IMAGE ? THoldKind::Module : THoldKind::Mapped;
        Hold.Name = Drives->Map(File);
        if (Seen.emplace(Hold.Kind, Hold.Name).second && !Hand(Hold)) return TLook::Stopped;
      }
    }
    if (Next <= At) break;  // the top of the address space
    At = Next;
  }
  // Not even the first region: the memory could not be read at all.
  return Any ? TLook::Looked : TLook::NotLooked;
}
