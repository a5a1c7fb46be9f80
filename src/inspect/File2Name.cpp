#include "inspect/File2Name.h"

#include "inspect/NameWorker.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

uint64_t Read(const BYTE* At, size_t Size) {
  uint64_t Value = 0;
  for (size_t I = 0; I < Size; ++I) Value |= uint64_t(At[I]) << (8 * I);
  return Value;
}

}  // namespace

THandleTableView::THandleTableView(const void* Block, size_t Size, const THandleTableLayout& Layout)
    : Data(static_cast<const BYTE*>(Block)), Layout_(&Layout) {
  if (!Data || Size < Layout.HeaderSize) return;
  size_t Claimed = static_cast<size_t>(Read(Data, Layout.CountSize));
  // Never read past the block, whatever the count says.
  Count = std::min(Claimed, (Size - Layout.HeaderSize) / Layout.EntrySize);
  if (Layout.InfoClass == SystemHandleInformation) {
    PidMask = 0xFFFF;
    HandleMask = 0xFFFF;
  }
}

THandleTableView::TEntry THandleTableView::Entry(size_t Index) const {
  const BYTE* E = Data + Layout_->HeaderSize + Index * Layout_->EntrySize;
  TEntry Result;
  Result.ProcessId = static_cast<DWORD>(Read(E + Layout_->PidOffset, Layout_->PidSize));
  Result.ObjectTypeNumber = static_cast<uint16_t>(Read(E + Layout_->TypeOffset, Layout_->TypeSize));
  Result.Handle = static_cast<ULONG_PTR>(Read(E + Layout_->HandleOffset, Layout_->HandleSize));
  Result.Object = static_cast<ULONG_PTR>(Read(E + Layout_->ObjectOffset, Layout_->ObjectSize));
  return Result;
}

TOwnedBlock QuerySystemTable(ULONG InfoClass, NTSTATUS* Status, size_t* Size) {
  size_t Length = 0x4000;
  for (;;) {
    TOwnedBlock Block(Os().VirtualAlloc(nullptr, Length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!Block) {
      *Status = STATUS_INFO_LENGTH_MISMATCH;
      return {};
    }
    *Status = Os().NtQuerySystemInformation(InfoClass, Block.Get(), static_cast<ULONG>(Length), nullptr);
    if (*Status == STATUS_SUCCESS) {
      *Size = Length;
      return Block;
    }
    if (*Status != STATUS_INFO_LENGTH_MISMATCH || Length > (~ULONG(0) >> 1)) return {};
    Length *= 2;
  }
}

namespace {

TInfoTable QueryTable() {
  NTSTATUS Status = STATUS_SUCCESS;
  size_t Size = 0;
  TOwnedBlock Block = QuerySystemTable(SystemExtendedHandleInformation, &Status, &Size);
  if (Block) return TInfoTable(std::move(Block), Size, HandleTableLayout(SystemExtendedHandleInformation, NativePointerWidth));
  if (Status != STATUS_INVALID_INFO_CLASS) return {};
  Block = QuerySystemTable(SystemHandleInformation, &Status, &Size);
  if (!Block) return {};
  return TInfoTable(std::move(Block), Size, HandleTableLayout(SystemHandleInformation, NativePointerWidth));
}

TInfoTable TakeTable() {
  TInfoTable Table = QueryTable();
  // A handle that hung is remembered only while its owner still holds it.
  if (Table) KeepHungHandlesOf(Table);
  return Table;
}

}  // namespace

void TInfoTable::Forget(size_t Index) {
  if (Index >= NumberOfHandles()) return;
  BYTE* Entry = static_cast<BYTE*>(Block_.Get()) + Layout()->HeaderSize + Index * Layout()->EntrySize;
  std::fill_n(Entry + Layout()->TypeOffset, Layout()->TypeSize, BYTE(0));
}

TInfoTable GetInfoTable(uint16_t* FileType) {
  if (!FileType) return TakeTable();
  *FileType = 0;
  TOwnedHandle Nul(Os().CreateFileA("NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  TInfoTable Table = TakeTable();
  if (!Table || !Nul) return Table;
  const DWORD Self = Os().GetCurrentProcessId();
  const auto Value = reinterpret_cast<ULONG_PTR>(Nul.Get());
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    THandleTableView::TEntry E = Table.Entry(I);
    if (!Table.IsHandle(E, Value) || !Table.OwnedBy(E, Self)) continue;
    *FileType = E.ObjectTypeNumber;
    Table.Forget(I);
    break;
  }
  return Table;
}

uint16_t GetFileObjectType() {
  uint16_t Type = 0;
  GetInfoTable(&Type);
  return Type;
}

namespace {

// Drive and device names are ASCII: each byte is one unit.
TWideString Widened(const std::string& Text) {
  TWideString Wide(Text.size(), 0);
  for (size_t I = 0; I < Text.size(); ++I) Wide[I] = static_cast<unsigned char>(Text[I]);
  return Wide;
}

bool IsHighSurrogate(WCHAR C) { return C >= 0xD800 && C <= 0xDBFF; }

// Converts Count UTF-16 units into Out (Size bytes with its NUL). A name that
// does not fit is cut before the first character that would not fit whole, so
// no double-byte character is split.
void ToAnsi(const WCHAR* Text, int Count, char* Out, int Size) {
  Out[0] = '\0';
  if (Count <= 0) return;
  int Written = Os().WideCharToMultiByte(CP_ACP, 0, Text, Count, Out, Size - 1, nullptr, nullptr);
  if (Written <= 0) {
    int Fits = 0, Over = Count;  // Fits converts within Size - 1 bytes
    while (Over - Fits > 1) {
      int Mid = Fits + (Over - Fits) / 2;
      int Need = Os().WideCharToMultiByte(CP_ACP, 0, Text, Mid, nullptr, 0, nullptr, nullptr);
      if (Need > 0 && Need <= Size - 1)
        Fits = Mid;
      else
        Over = Mid;
    }
    if (Fits > 0 && IsHighSurrogate(Text[Fits - 1])) --Fits;
    Written = Fits > 0 ? Os().WideCharToMultiByte(CP_ACP, 0, Text, Fits, Out, Size - 1, nullptr, nullptr) : 0;
  }
  Out[Written > 0 ? Written : 0] = '\0';
}

}  // namespace

std::string AnsiName(const TWideString& Name) {
  char Text[MAX_PATH];
  // Every character takes a byte at least, and two units at most: the units
  // past twice the bytes are cut anyway, and a name of any length costs a
  // conversion of at most that much.
  const size_t Units = std::min<size_t>(Name.size(), 2 * MAX_PATH);
  ToAnsi(Name.data(), static_cast<int>(Units), Text, sizeof Text);
  return std::string(Text, strnlen(Text, sizeof Text));
}

TDriveMap::TDriveMap() {
  char Drives[512];
  DWORD Length = Os().GetLogicalDriveStringsA(sizeof Drives, Drives);
  if (Length == 0 || Length >= sizeof Drives) return;
  Drives[Length] = '\0';
  for (const char* Root = Drives; *Root && Root < Drives + Length; Root += strnlen(Root, Drives + Length - Root) + 1) {
    const char Device[3] = {Root[0], ':', '\0'};
    char Target[MAX_PATH] = {};
    if (Os().QueryDosDeviceA(Device, Target, MAX_PATH) == 0) continue;
    if (Target[0]) Letters.push_back({Widened(Device), Widened(std::string(Target, strnlen(Target, MAX_PATH)))});
  }
}

TWideString TDriveMap::Map(const TWideString& Name) const {
  // Wine names files \??\C:\dir\file; Windows never does.
  static const TWideString WinePrefix = Widened("\\??\\");
  if (Name.size() >= 6 && Name.compare(0, 4, WinePrefix) == 0 && Name[5] == ':' &&
      ((Name[4] >= 'A' && Name[4] <= 'Z') || (Name[4] >= 'a' && Name[4] <= 'z')) &&
      (Name.size() == 6 || Name[6] == '\\'))
    return Name.substr(4);
  for (const auto& [Device, Target] : Letters) {
    // The target must end at a name boundary: \Device\HarddiskVolume1 is not
    // a prefix of \Device\HarddiskVolume10\x.
    if (Name.compare(0, Target.size(), Target) != 0) continue;
    if (Name.size() > Target.size() && Name[Target.size()] != '\\') continue;
    return Device + Name.substr(Target.size());
  }
  return Name;
}

std::string MapDevicePath(const std::string& Name) {
  const TWideString Mapped = TDriveMap().Map(Widened(Name));
  return std::string(Mapped.begin(), Mapped.end());
}
