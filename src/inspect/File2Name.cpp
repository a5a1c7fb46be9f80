#include "inspect/File2Name.h"

#include "inspect/PassOwner.h"

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

constexpr DWORD NameWaitMs = 100;
constexpr DWORD Cancelled = 0xC0000120;  // the status of a query not begun
constexpr ULONG NameBufferSize = 520;
// How often a waiting caller looks up: to dispatch events and watch deadlines.
constexpr DWORD PassSlice = 10, FirstSlice = 2;
constexpr size_t FirstNames = 32;

bool IsHighSurrogate(WCHAR C) { return C >= 0xD800 && C <= 0xDBFF; }

// Converts Count UTF-16 units into Out (Size bytes with its NUL). A name that
// does not fit is cut before the first character that would not fit whole, so
// no double-byte character is split. Nothing is allocated: a terminated worker
// must never hold the heap.
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

TInfoTable TakeTable() {
  NTSTATUS Status = STATUS_SUCCESS;
  size_t Size = 0;
  TOwnedBlock Block = QuerySystemTable(SystemExtendedHandleInformation, &Status, &Size);
  if (Block) return TInfoTable(std::move(Block), Size, HandleTableLayout(SystemExtendedHandleInformation, NativePointerWidth));
  if (Status != STATUS_INVALID_INFO_CLASS) return {};
  Block = QuerySystemTable(SystemHandleInformation, &Status, &Size);
  if (!Block) return {};
  return TInfoTable(std::move(Block), Size, HandleTableLayout(SystemHandleInformation, NativePointerWidth));
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

// Names one handle into Name; 0 when Name is valid, else the failing status of
// the file-name query. A worker told to stop after the first query does not
// begin the second: nobody waits for its answer. Allocates nothing.
DWORD QueryName(HANDLE Handle, char (&Name)[MAX_PATH], const std::atomic<size_t>& Progress) {
  alignas(8) BYTE FileInfo[524] = {};
  alignas(8) BYTE ObjectInfo[NameBufferSize];
  IO_STATUS_BLOCK IoStatus = {};
  NTSTATUS Status = Os().NtQueryInformationFile(Handle, &IoStatus, FileInfo, NameBufferSize, FileNameInformation);
  if (Status != STATUS_SUCCESS) return static_cast<DWORD>(Status);
  if (Progress.load() & TNameBatch::StopFlag) return Cancelled;
  ULONG Returned = 0;
  if (Os().NtQueryObject(Handle, ObjectNameInformation, ObjectInfo, NameBufferSize, &Returned) == STATUS_SUCCESS) {
    const auto* Object = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(ObjectInfo);
    int Count = Object->Name.Buffer ? Object->Name.Length / 2 : 0;
    ToAnsi(Object->Name.Buffer, Count, Name, sizeof Name);
  } else {
    // Without its device part: such a path is never mapped to a drive.
    const auto* File = reinterpret_cast<const FILE_NAME_INFORMATION*>(FileInfo);
    ULONG Bytes = std::min<ULONG>(File->FileNameLength, NameBufferSize - offsetof(FILE_NAME_INFORMATION, FileName));
    ToAnsi(File->FileName, static_cast<int>(Bytes / 2), Name, sizeof Name);
  }
  return 0;
}

}  // namespace

TNameBatch::~TNameBatch() {
  for (size_t I = 0; I < Count; ++I)
    if (Requests[I].Copy) Os().CloseHandle(Requests[I].Copy);
}

namespace {

void CloseCopy(TNameRequest& Request) {
  if (Request.Copy) Os().CloseHandle(std::exchange(Request.Copy, nullptr));
}

// The worker: names a batch in turn, and ends by itself when asked to stop.
// Allocates nothing.
DWORD WINAPI NameQueryThread(LPVOID Parameter) {
  auto* Batch = static_cast<TNameBatch*>(Parameter);
  const HANDLE From = Batch->Process ? Batch->Process->Get() : nullptr;
  for (size_t I = 0; I < Batch->Count; ++I) {
    TNameRequest& Request = Batch->Requests[I];
    size_t Step = 2 * I;
    HANDLE Handle = Request.Handle;
    if (From) {
      if (Batch->Progress.load() != Step) return 0;  // nobody waits for this one now
      if (!Os().DuplicateHandle(From, Request.Handle, Os().GetCurrentProcess(), &Request.Copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS))
        Request.Copy = nullptr;
      Handle = Request.Copy;
    }
    // Begin only if nobody has asked us to stop: the handle may be closed then.
    if (!Batch->Progress.compare_exchange_strong(Step, Step + 1)) {
      CloseCopy(Request);
      return 0;
    }
    Batch->Status[I] = Handle ? QueryName(Handle, Batch->Names[I], Batch->Progress) : ERROR_INVALID_HANDLE;
    // Answered: keep a stop asked meanwhile; a condemned query waits here to
    // be ended, inside the system where that is safe, its copy left to the batch.
    size_t Seen = 2 * I + 1;
    while (!Batch->Progress.compare_exchange_weak(Seen, (Seen & TNameBatch::StopFlag) | (2 * I + 2))) {
      if (Seen & TNameBatch::Condemned) {
        Os().Sleep(INFINITE);
        return 1;
      }
    }
    CloseCopy(Request);
  }
  return 0;
}

// Workers left behind, with the batch each may still write.
struct TAbandoned {
  HANDLE Thread;
  TNameBatch* Batch;
};
std::vector<TAbandoned>& Abandoned() {
  static std::vector<TAbandoned> List;
  return List;
}
size_t Terminated = 0;

// Names handles on one worker after another: a new one starts only after one
// that missed a deadline, for the handles after the one it was at.
class TNamer {
 public:
  TNamer(TSharedProcess Process, const HANDLE* Handles, size_t Count)
      : Process(std::move(Process)), Handles(Handles), Count(Count) {}
  ~TNamer() {  // a worker still running is told to stop and left to end by itself
    if (Batch) Batch->Progress.fetch_or(TNameBatch::StopFlag);
    LeaveBehind();
  }
  TNamer(const TNamer&) = delete;
  TNamer& operator=(const TNamer&) = delete;
  bool Run(const TNameSink& Named, TPassOwner* Pass);

 private:
  void Launch();
  // Hands the worker and its batch to the reaper: they are freed once the
  // thread has really ended.
  void LeaveBehind() {
    if (Thread) Abandoned().push_back({Thread.Release(), Batch.release()});
    Batch.reset();
  }
  // Hands on the names answered since the last call, up to Done.
  void Publish(size_t Done, const TNameSink& Named);

  const TSharedProcess Process;
  const HANDLE* Handles;
  const size_t Count;
  size_t Next = 0;       // the first handle of the current batch
  size_t Published = 0;  // within the current batch
  std::unique_ptr<TNameBatch> Batch;
  TOwnedHandle Thread;
  DWORD LaunchedAt = 0;
  // The drives are asked once, not once per name: under Wine each question
  // is a round trip to the server, several per name.
  std::optional<TDriveMap> Drives;
};

void TNamer::Launch() {
  Batch = std::make_unique<TNameBatch>(Count - Next, Process);
  for (size_t I = 0; I < Batch->Count; ++I) Batch->Requests[I].Handle = Handles[Next + I];
  Published = 0;
  LaunchedAt = Os().GetTickCount();
  Thread = TOwnedHandle(Os().CreateThread(nullptr, 0, NameQueryThread, Batch.get(), 0, nullptr));
  if (!Thread) Batch.reset();
}

void TNamer::Publish(size_t Done, const TNameSink& Named) {
  for (; Published < Done; ++Published) {
    const char* Text = Batch->Names[Published];
    const size_t Length = Batch->Status[Published] == 0 ? strnlen(Text, MAX_PATH) : 0;
    if (Length == 0) {
      Named(Next + Published, std::string());
      continue;
    }
    if (!Drives) Drives.emplace();
    Named(Next + Published, Drives->Map(std::string(Text, Length)));
  }
}

bool TNamer::Run(const TNameSink& Named, TPassOwner* Pass) {
  ReapNameWorkers();
  while (Next < Count) {
    Launch();
    if (!Thread) {
      for (; Next < Count; ++Next) Named(Next, std::string());
      return true;
    }
    const size_t All = 2 * Batch->Count;
    size_t Watched = 0;  // the step last seen, and since when
    DWORD WatchedSince = LaunchedAt;
    bool Stopping = false, Lost = false;
    size_t Step = 0;
    DWORD Slice = FirstSlice;
    for (;;) {
      DWORD Wait = Os().WaitForSingleObject(Thread.Get(), Slice);
      size_t Seen = Batch->Progress.load();
      const DWORD Now = Os().GetTickCount();
      Step = Seen & TNameBatch::StepMask;
      // Answered all: its names are ready, its end is not waited for.
      if (Step == All) break;
      if (Wait != WAIT_TIMEOUT) {
        // Ended early, or cannot be waited for: the handle it was at is lost,
        // and the worker is told to stop.
        Seen = Batch->Progress.fetch_or(TNameBatch::StopFlag);
        Step = Seen & TNameBatch::StepMask;
        Lost = Step != All;
        break;
      }
      if (Step != Watched) {
        Watched = Step;
        WatchedSince = Now;
      }
      // The first names are looked for sooner, and handed on, with events
      // dispatched, once a screenful is in or 10 ms have passed: the list then
      // repaints once with its first rows, not first empty, then with a few.
      const bool Early = Next == 0 && Step / 2 < FirstNames && Now - LaunchedAt < PassSlice;
      if (!Early) Slice = PassSlice;
      if (!Stopping && !Early) Publish(Step / 2, Named);
      if (!Stopping && !Early && Pass && !Pass->KeepGoing(false)) {
        Stopping = true;
        Seen = Batch->Progress.fetch_or(TNameBatch::StopFlag);
        Step = Seen & TNameBatch::StepMask;
        Seen |= TNameBatch::StopFlag;
      }
      // Between queries the worker begins no more once stopped.
      if (Stopping && Step % 2 == 0) break;
      if (Now - WatchedSince < NameWaitMs) continue;
      // Before or between queries for 100 ms: that handle gets no name, and
      // the worker ends by itself without beginning it.
      if (Step % 2 == 0 && Batch->Progress.compare_exchange_strong(Seen, Seen | TNameBatch::StopFlag)) {
        Lost = true;
        break;
      }
      // Inside one query for 100 ms: only that query is ended, and only if it
      // is still unanswered now.
      if (Step % 2 == 1 && Batch->Progress.compare_exchange_strong(Seen, Seen | TNameBatch::Condemned)) {
        // If it cannot be ended, it is told to stop instead: it records its
        // answer and ends by itself if that ever comes.
        ++Terminated;
        if (!Os().TerminateThread(Thread.Get(), 0))
          Batch->Progress.fetch_xor(TNameBatch::Condemned | TNameBatch::StopFlag);
        Lost = true;
        break;
      }
    }
    // Once stopped, only a finished batch still hands on its names.
    const size_t Done = Step / 2;
    if (!Stopping || Done == Batch->Count) Publish(Done, Named);
    LeaveBehind();
    Next += Done;
    if (Stopping) return Next == Count;
    if (Lost && Next < Count) Named(Next++, std::string());
  }
  return true;
}

}  // namespace

size_t ReapNameWorkers() {
  auto& List = Abandoned();
  for (size_t I = 0; I < List.size();) {
    if (Os().WaitForSingleObject(List[I].Thread, 0) == WAIT_OBJECT_0) {
      Os().CloseHandle(List[I].Thread);
      delete List[I].Batch;
      List[I] = List.back();
      List.pop_back();
    } else {
      ++I;
    }
  }
  return List.size();
}

size_t NameWorkersTerminated() { return Terminated; }

bool NameHandles(const HANDLE* Handles, size_t Count, std::string* Names, TPassOwner* Pass) {
  TNamer Namer(nullptr, Handles, Count);
  return Namer.Run([Names](size_t I, const std::string& Name) { Names[I] = Name; }, Pass);
}

bool NameProcessHandles(const TSharedProcess& Process, const HANDLE* Handles, size_t Count, const TNameSink& Named,
                        TPassOwner* Pass) {
  TNamer Namer(Process, Handles, Count);
  return Namer.Run(Named, Pass);
}

std::string HandleToFileName(HANDLE Handle) {
  std::string Name;
  NameHandles(&Handle, 1, &Name, nullptr);
  return Name;
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
    if (Target[0]) Letters.push_back({Device, std::string(Target, strnlen(Target, MAX_PATH))});
  }
}

std::string TDriveMap::Map(const std::string& Name) const {
  // Wine names files \??\C:\dir\file; Windows never does.
  if (Name.size() >= 6 && Name.compare(0, 4, "\\??\\") == 0 && Name[5] == ':' &&
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

std::string MapDevicePath(const std::string& Name) { return TDriveMap().Map(Name); }
