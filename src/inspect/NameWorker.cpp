// The name worker: one thread copies, names and closes handles in turn, while
// the waiting side hands the names on in order and ends a query that is late.
//
// The progress word. The worker and the waiting side share one word per
// batch; each moves it only by compare-and-swap, or by an add that keeps the
// flags, so a decision taken on a value holds. For handle I:
//   3I      before it: the worker copies it out of the owner;
//   3I + 1  inside its queries: the two system calls and nothing else;
//   3I + 2  answered: the worker writes the name and status into the batch;
//   3 x Count when every handle is answered.
// A query whose answer does not fit its buffer leaves 3I + 1 for 3I again,
// the one step that goes back: there, outside any system call, the worker
// grows the buffer, then enters 3I + 1 for a new query with its own 100 ms.
// The word also counts the queries begun (moved only by the worker, as it
// enters 3I + 1), so a new query is a new value even where the waiting side,
// looking every few milliseconds, never saw the step back: its clock starts
// anew, and no decision taken on the old query's value can land on it.
// StopFlag: begin nothing more (set by the waiting side). Condemned: this
// late query is being ended (set by the waiting side, only on a step 3I + 1).
//
// Only a query unanswered for 100 ms is ended. The system writes its answer
// into the batch's query buffers (the status block and returned length
// too), never into the worker's stack or a block the worker would free: a
// query ended late may still write there. The worker leaves step 3I + 1
// before it writes the name or allocates (inside it, it reads only the
// length an answer that did not fit asks for), so a termination lands
// inside a system call, and an answer given in time is never lost. The other steps have a bound of seconds: a worker that is slow
// to start or to copy on a loaded machine costs no row, and one that never
// starts still cannot hold a pass for ever.
//
// What a worker may still touch. A worker that ends by itself touches the
// batch until it returns, and its thread handle is signalled only after that:
// its batch is freed once the handle is signalled. A condemned worker touches
// nothing but the progress word from the moment it sees the flag (it waits in
// the system to be ended), and its query may still be using the copy; some
// systems (Wine) report it ended before it has stopped. Its names are freed
// at once; the word, the copy and the query buffers are kept until
// NameWorkerGraceMs after its end was first reported, on a system that never
// reports it (a query stuck in I/O on Windows), for the run.
#include "inspect/NameWorker.h"

#include <algorithm>
#include <optional>
#include <set>
#include <tuple>

#include "inspect/PassOwner.h"

namespace {

constexpr DWORD QueryLimitMs = 100;
constexpr DWORD StallLimitMs = 5000;
// How often a condemned worker looks whether its end failed.
constexpr DWORD ParkMs = 50;
constexpr DWORD Cancelled = 0xC0000120;  // the status of a query not begun
// Most paths fit the first size; the largest is what a UNICODE_STRING can
// count (65535 bytes), with the record's header.
constexpr ULONG FirstQuerySize = 1024, LargestQuerySize = 0x10000 + 64;
// How often a waiting caller looks up: to dispatch events and watch deadlines.
constexpr DWORD PassSlice = 10, FirstSlice = 2;
constexpr size_t FirstNames = 32;

constexpr size_t StopFlag = size_t(1) << (sizeof(size_t) * 8 - 1);
constexpr size_t Condemned = size_t(1) << (sizeof(size_t) * 8 - 2);
// Four bits of query count under the flags: it wraps, but no handle takes 16
// queries (each of the two buffers grows at most 7 times), so one step never
// shows the same count for two queries. The steps keep 26 bits at least.
constexpr size_t QueryOne = size_t(1) << (sizeof(size_t) * 8 - 6);
constexpr size_t QueryMask = Condemned - QueryOne;
constexpr size_t StepMask = QueryOne - 1;
constexpr size_t Before(size_t I) { return 3 * I; }
constexpr size_t Inside(size_t I) { return 3 * I + 1; }
constexpr size_t Answered(size_t I) { return 3 * I + 2; }

// One query's buffer, 8-aligned as the records need: it only grows, and only
// between queries.
class TQueryBuffer {
 public:
  TQueryBuffer() : Data(new uint64_t[FirstQuerySize / 8]()), Size_(FirstQuerySize) {}
  BYTE* Bytes() const { return reinterpret_cast<BYTE*>(Data.get()); }
  ULONG Size() const { return Size_; }
  // Needed is what the system said the answer takes, 0 when it did not say:
  // the buffer then doubles. No name needs more than the largest size.
  bool CanGrow(ULONG Needed) const { return Size_ < LargestQuerySize && Needed <= LargestQuerySize; }
  void Grow(ULONG Needed) {
    const ULONG Size = std::min(std::max(Needed, Size_ * 2), LargestQuerySize);
    Data.reset(new uint64_t[(Size + 7) / 8]());
    Size_ = Size;
  }

 private:
  std::unique_ptr<uint64_t[]> Data;
  ULONG Size_;
};

// What the system writes into while a query runs.
struct TQueryArea {
  TQueryBuffer File, Object;
  IO_STATUS_BLOCK IoStatus = {};
  ULONG Returned = 0;
  bool ObjectNamed = false;
};

// The handles a worker names in turn, what it answered, and how far it has come.
struct TNameBatch {
  TNameBatch(size_t N, TSharedProcess From)
      : Count(N),
        Process(std::move(From)),
        Handles(new HANDLE[N]()),
        Skip(new bool[N]()),
        Names(new TWideString[N]),
        Status(new DWORD[N]()) {}
  ~TNameBatch() {
    if (HANDLE Held = Copy.load()) Os().CloseHandle(Held);
  }
  TNameBatch(const TNameBatch&) = delete;
  TNameBatch& operator=(const TNameBatch&) = delete;
  // What a condemned worker will never touch again; its query may still
  // write into Query.
  void DropAnswers() {
    Process.reset();
    Handles.reset();
    Skip.reset();
    Names.reset();
    Status.reset();
  }

  const size_t Count;
  TSharedProcess Process;
  std::unique_ptr<HANDLE[]> Handles;
  std::unique_ptr<bool[]> Skip;  // known to hang: not asked
  // A name is written only where its status is 0, and moved out as it is
  // handed on: a batch holds only the names not handed on yet.
  std::unique_ptr<TWideString[]> Names;
  std::unique_ptr<DWORD[]> Status;
  TQueryArea Query;
  // The worker's copy of the handle it is at; read by the waiting side too,
  // which never names such a copy of ours.
  std::atomic<HANDLE> Copy{nullptr};
  std::atomic<size_t> Progress{0};
};

bool TooSmall(NTSTATUS Status) {
  return Status == STATUS_BUFFER_OVERFLOW || Status == STATUS_INFO_LENGTH_MISMATCH ||
         Status == STATUS_BUFFER_TOO_SMALL;
}

// The queries themselves: 0, or the failing status of the file-name query. A
// worker told to stop, or condemned, after the first does not begin the
// second: nobody waits for its answer. Calls the system and nothing else;
// Short is set to the buffer an answer did not fit.
DWORD Query(HANDLE Handle, TQueryArea& Area, const std::atomic<size_t>& Progress, TQueryBuffer** Short) {
  Area.ObjectNamed = false;
  NTSTATUS Status =
      Os().NtQueryInformationFile(Handle, &Area.IoStatus, Area.File.Bytes(), Area.File.Size(), FileNameInformation);
  if (TooSmall(Status)) *Short = &Area.File;
  if (Status != STATUS_SUCCESS) return static_cast<DWORD>(Status);
  if (Progress.load() & (StopFlag | Condemned)) return Cancelled;
  Area.Returned = 0;
  Status = Os().NtQueryObject(Handle, ObjectNameInformation, Area.Object.Bytes(), Area.Object.Size(), &Area.Returned);
  if (TooSmall(Status)) *Short = &Area.Object;
  Area.ObjectNamed = Status == STATUS_SUCCESS;
  return 0;
}

// The room an answer that did not fit says it needs; 0 when it does not say.
ULONG Needed(const TQueryArea& Area, const TQueryBuffer& Short) {
  if (&Short == &Area.Object) return Area.Returned;
  if (Short.Size() < offsetof(FILE_NAME_INFORMATION, FileName) + sizeof(WCHAR)) return 0;
  const ULONG Length = reinterpret_cast<const FILE_NAME_INFORMATION*>(Short.Bytes())->FileNameLength;
  return Length > LargestQuerySize ? ~ULONG(0) : ULONG(offsetof(FILE_NAME_INFORMATION, FileName)) + Length;
}

void WriteName(const TQueryArea& Area, TWideString& Name) {
  if (Area.ObjectNamed) {
    const auto* Object = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(Area.Object.Bytes());
    if (Object->Name.Buffer) Name.assign(Object->Name.Buffer, Object->Name.Length / 2);
    return;
  }
  // Without its device part: such a path is never mapped to a drive.
  const auto* File = reinterpret_cast<const FILE_NAME_INFORMATION*>(Area.File.Bytes());
  ULONG Bytes = std::min<ULONG>(File->FileNameLength, Area.File.Size() - offsetof(FILE_NAME_INFORMATION, FileName));
  Name.assign(File->FileName, Bytes / 2);
}

void CloseCopy(TNameBatch& Batch) {
  if (HANDLE Held = Batch.Copy.exchange(nullptr)) Os().CloseHandle(Held);
}

// Condemned: waits inside the system to be ended, touching nothing but the
// word. When the end could not be made, the waiting side has made this a
// stopped worker, which ends by itself.
DWORD Park(TNameBatch& Batch) {
  while (Batch.Progress.load() & Condemned) Os().Sleep(ParkMs);
  CloseCopy(Batch);
  return 0;
}

// The worker: names a batch in turn, and ends by itself when asked to stop.
DWORD WINAPI NameQueryThread(LPVOID Parameter) {
  TNameBatch& Batch = *static_cast<TNameBatch*>(Parameter);
  std::atomic<size_t>& Progress = Batch.Progress;
  const HANDLE From = Batch.Process ? Batch.Process->Get() : nullptr;
  const size_t Count = Batch.Count;
  size_t Queries = 0;  // the count's bits in the word, as this worker last set them
  // Enters a new query of handle I: false when asked to stop before it.
  const auto Enter = [&](size_t I) {
    size_t Expected = Before(I) | Queries;
    const size_t Next = (Queries + QueryOne) & QueryMask;
    if (!Progress.compare_exchange_strong(Expected, Inside(I) | Next)) return false;
    Queries = Next;
    return true;
  };
  for (size_t I = 0; I < Count; ++I) {
    if (Progress.load() != (Before(I) | Queries)) return 0;  // nobody waits for this one now
    if (Batch.Skip[I]) {
      Batch.Status[I] = Cancelled;
      Progress.fetch_add(3);
      continue;
    }
    HANDLE Handle = Batch.Handles[I];
    if (From) {
      HANDLE Copy = nullptr;
      if (!Os().DuplicateHandle(From, Handle, Os().GetCurrentProcess(), &Copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        Copy = nullptr;
      Batch.Copy.store(Handle = Copy);
    }
    // Begin only if nobody has asked us to stop: the handle may be closed then.
    if (!Enter(I)) {
      CloseCopy(Batch);
      return 0;
    }
    DWORD Status = ERROR_INVALID_HANDLE;
    while (Handle) {
      TQueryBuffer* Short = nullptr;
      Status = Query(Handle, Batch.Query, Progress, &Short);
      const ULONG Room = Short ? Needed(Batch.Query, *Short) : 0;
      if (!Short || !Short->CanGrow(Room)) break;
      // Back before the query, keeping a stop asked meanwhile, to make room
      // where no end can land.
      size_t Seen = Inside(I) | Queries;
      while (!Progress.compare_exchange_weak(Seen, (Seen & StopFlag) | Before(I) | Queries))
        if (Seen & Condemned) return Park(Batch);
      Short->Grow(Room);
      if (!Enter(I)) {
        CloseCopy(Batch);
        return 0;
      }
    }
    // Out of the queries, keeping a stop asked meanwhile, unless condemned.
    size_t Seen = Inside(I) | Queries;
    while (!Progress.compare_exchange_weak(Seen, (Seen & StopFlag) | Answered(I) | Queries))
      if (Seen & Condemned) return Park(Batch);
    Batch.Status[I] = Status;
    if (Status == 0) WriteName(Batch.Query, Batch.Names[I]);
    CloseCopy(Batch);
    Progress.fetch_add(1);
  }
  return 0;
}

// A worker left behind, with what it may still touch.
struct TAbandoned {
  TOwnedHandle Thread;
  std::unique_ptr<TNameBatch> Batch;
  bool Ended;             // terminated inside its query
  bool Stuck;             // left in a late query or a stalled step: it may never end
  bool Reported = false;  // its end has been reported, since ReportedAt
  DWORD ReportedAt = 0;
};
// Never destroyed: a worker may outlive every destructor of the program.
std::vector<TAbandoned>& Abandoned() {
  static auto* List = new std::vector<TAbandoned>;
  return *List;
}
size_t Terminated = 0, Skipped = 0, Unnamed = 0;

size_t StuckWorkers() {
  return static_cast<size_t>(
      std::count_if(Abandoned().begin(), Abandoned().end(), [](const TAbandoned& A) { return A.Stuck; }));
}

// The handles whose query had to be ended: owner, value and object, as the
// table gives them; and the objects, so that any other holder of one is
// known too (a worker's copy in this very process, or a duplicate). Only
// where the table gives addresses: Wine gives 0 for every object.
using THungKey = std::tuple<DWORD, ULONG_PTR, ULONG_PTR>;
std::set<THungKey>& Hung() {
  static auto* Keys = new std::set<THungKey>;
  return *Keys;
}
std::set<ULONG_PTR>& HungObjects() {
  static auto* Objects = new std::set<ULONG_PTR>;
  return *Objects;
}
THungKey KeyOf(const THandleTableView::TEntry& Entry) { return {Entry.ProcessId, Entry.Handle, Entry.Object}; }
bool KnownToHang(const THandleTableView::TEntry& Entry) {
  return Hung().count(KeyOf(Entry)) != 0 || (Entry.Object != 0 && HungObjects().count(Entry.Object) != 0);
}
void RememberHung(const THandleTableView::TEntry& Entry) {
  Hung().insert(KeyOf(Entry));
  if (Entry.Object != 0) HungObjects().insert(Entry.Object);
}

// The copies that workers left behind still hold, as values of this
// process's table: naming one would ask the very query that hung again.
std::set<ULONG_PTR> WorkerCopies() {
  std::set<ULONG_PTR> Copies;
  for (const TAbandoned& Worker : Abandoned())
    if (HANDLE Held = Worker.Batch->Copy.load()) Copies.insert(reinterpret_cast<ULONG_PTR>(Held));
  return Copies;
}

// Names handles on one worker after another: a new one starts only after one
// that missed a deadline, for the handles after the one it was at. Handles
// are this process's own, or table entries of Process.
class TNamer {
 public:
  TNamer(const HANDLE* Own, size_t Count) : Own(Own), Count(Count) {}
  TNamer(TSharedProcess Process, const THandleTableView::TEntry* Entries, size_t Count, const bool* Halt)
      : Process(std::move(Process)), Entries(Entries), Count(Count), Halt(Halt) {}
  ~TNamer() {  // a worker still running is told to stop and left to end by itself
    if (Batch) Batch->Progress.fetch_or(StopFlag);
    LeaveBehind(false);
  }
  TNamer(const TNamer&) = delete;
  TNamer& operator=(const TNamer&) = delete;
  bool Run(const TNameSink& Named, TPassOwner* Pass);

 private:
  // How one worker's watch ended.
  struct TWatch {
    size_t Step = 0;
    bool Stopping = false;  // the pass asked to stop
    bool Lost = false;      // the handle at Step gets no name
    bool Late = false;      // its query was unanswered for 100 ms
    bool Stalled = false;   // or it did not start, copy or write for seconds
  };
  void Launch();
  TWatch Watch(const TNameSink& Named, TPassOwner* Pass);
  // Hands the worker and its batch to the reaper. A worker still condemned
  // was ended inside its query; a failed end has taken the flag back.
  void LeaveBehind(bool Stuck) {
    if (Batch && Thread) {
      const bool Ended = (Batch->Progress.load() & Condemned) != 0;
      Abandoned().reserve(Abandoned().size() + 1);
      if (Ended) Batch->DropAnswers();
      Abandoned().push_back({std::move(Thread), std::move(Batch), Ended, Stuck || Ended});
    }
    Batch.reset();
  }
  // Hands on the names answered since the last call, up to Done.
  void Publish(size_t Done, const TNameSink& Named);
  HANDLE HandleAt(size_t I) const {
    return Entries ? reinterpret_cast<HANDLE>(Entries[I].Handle) : Own[I];
  }

  const TSharedProcess Process;
  const HANDLE* Own = nullptr;
  const THandleTableView::TEntry* Entries = nullptr;
  const size_t Count;
  const bool* Halt = nullptr;  // the caller's own stop, set from its sink
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
  const DWORD Self = Entries ? Os().GetCurrentProcessId() : 0;
  const std::set<ULONG_PTR> Copies = Entries ? WorkerCopies() : std::set<ULONG_PTR>();
  for (size_t I = 0; I < Batch->Count; ++I) {
    Batch->Handles[I] = HandleAt(Next + I);
    if (!Entries) continue;
    const THandleTableView::TEntry& Entry = Entries[Next + I];
    Batch->Skip[I] = KnownToHang(Entry) || (Entry.ProcessId == Self && Copies.count(Entry.Handle) != 0);
  }
  Published = 0;
  LaunchedAt = Os().GetTickCount();
  Thread = TOwnedHandle(Os().CreateThread(nullptr, 0, NameQueryThread, Batch.get(), 0, nullptr));
  if (!Thread) Batch.reset();
}

void TNamer::Publish(size_t Done, const TNameSink& Named) {
  for (; Published < Done; ++Published) {
    TWideString Name = std::move(Batch->Names[Published]);
    if (Batch->Skip[Published]) ++Unnamed;  // known to hang: not asked
    if (Batch->Status[Published] != 0 || Name.empty()) {
      Named(Next + Published, TWideString());
      continue;
    }
    if (!Drives) Drives.emplace();
    Named(Next + Published, Drives->Map(Name));
  }
}

TNamer::TWatch TNamer::Watch(const TNameSink& Named, TPassOwner* Pass) {
  TWatch W;
  const size_t All = Before(Batch->Count);
  size_t Watched = 0;  // the step and query last seen, and since when
  DWORD WatchedSince = LaunchedAt;
  DWORD Slice = FirstSlice;
  for (;;) {
    const DWORD Wait = Os().WaitForSingleObject(Thread.Get(), Slice);
    size_t Seen = Batch->Progress.load();
    const DWORD Now = Os().GetTickCount();
    W.Step = Seen & StepMask;
    // Answered all: its names are ready, its end is not waited for.
    if (W.Step == All) return W;
    if (Wait != WAIT_TIMEOUT) {
      // Ended early, or cannot be waited for: the handle it was at is lost,
      // and the worker is told to stop.
      W.Step = Batch->Progress.fetch_or(StopFlag) & StepMask;
      W.Lost = W.Stalled = W.Step != All;  // it may be in a query that never answers
      return W;
    }
    // A new query starts its own clock, even one the worker went back for.
    if ((Seen & (StepMask | QueryMask)) != Watched) {
      Watched = Seen & (StepMask | QueryMask);
      WatchedSince = Now;
    }
    // The first names are looked for sooner, and handed on, with events
    // dispatched, once a screenful is in or 10 ms have passed: the list then
    // repaints once with its first rows, not first empty, then with a few.
    const bool Early = Next == 0 && W.Step / 3 < FirstNames && Now - LaunchedAt < PassSlice;
    if (!Early) Slice = PassSlice;
    if (!W.Stopping && !Early) {
      Publish(W.Step / 3, Named);
      if ((Pass && !Pass->KeepGoing(false)) || (Halt && *Halt)) {
        W.Stopping = true;
        Seen = Batch->Progress.fetch_or(StopFlag) | StopFlag;
        W.Step = Seen & StepMask;
        if (W.Step == All) return W;
      }
    }
    const size_t Phase = W.Step % 3;
    // Once stopped, the worker begins nothing more: it is left at a boundary.
    if (W.Stopping && Phase == 0) return W;
    if (Now - WatchedSince < (Phase == 1 ? QueryLimitMs : StallLimitMs)) continue;
    if (Phase != 1) {
      // Not starting, not copying, or not handing over its answer for
      // seconds: that handle gets no name, and the worker ends by itself.
      if (!Batch->Progress.compare_exchange_strong(Seen, Seen | StopFlag)) continue;
      W.Lost = W.Stalled = true;
      return W;
    }
    // Inside its queries for 100 ms: only that query is ended, and only if
    // it is still unanswered now.
    if (!Batch->Progress.compare_exchange_strong(Seen, Seen | Condemned)) continue;
    W.Lost = W.Late = true;
    if (Os().TerminateThread(Thread.Get(), 0)) {
      ++Terminated;
    } else {
      // Not ended: it is told to stop instead, and ends by itself once its
      // query answers, if that ever comes.
      Seen |= Condemned;
      while (!Batch->Progress.compare_exchange_weak(Seen, (Seen & ~Condemned) | StopFlag)) {
      }
    }
    return W;
  }
}

bool TNamer::Run(const TNameSink& Named, TPassOwner* Pass) {
  ReapNameWorkers();
  while (Next < Count) {
    const bool Stuck = StuckWorkers() >= MaxStuckNameWorkers;
    if (!Stuck) Launch();
    if (!Thread) {
      if (Stuck) {
        Skipped += Count - Next;
        Unnamed += Count - Next;
      }
      for (; Next < Count; ++Next) Named(Next, TWideString());
      return true;
    }
    const TWatch W = Watch(Named, Pass);
    // Once stopped, only a finished batch still hands on its names.
    const size_t Done = W.Step / 3;
    if (!W.Stopping || Done == Batch->Count) Publish(Done, Named);
    LeaveBehind(W.Late || W.Stalled);
    Next += Done;
    if (W.Late && Entries) RememberHung(Entries[Next]);
    if (W.Stopping) return Next == Count;
    if (W.Lost && Next < Count) {
      ++Unnamed;
      Named(Next++, TWideString());
    }
  }
  return true;
}

}  // namespace

void KeepHungHandlesOf(const THandleTableView& Table) {
  if (Hung().empty() && HungObjects().empty()) return;
  std::set<THungKey> Held;
  std::set<ULONG_PTR> Objects;
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    const THandleTableView::TEntry Entry = Table.Entry(I);
    if (Hung().count(KeyOf(Entry))) Held.insert(KeyOf(Entry));
    if (HungObjects().count(Entry.Object)) Objects.insert(Entry.Object);
  }
  Hung().swap(Held);
  HungObjects().swap(Objects);
}

size_t ReapNameWorkers() {
  auto& List = Abandoned();
  const DWORD Now = Os().GetTickCount();
  size_t Kept = 0;
  for (size_t I = 0; I < List.size(); ++I) {
    TAbandoned& Worker = List[I];
    bool Keep = Os().WaitForSingleObject(Worker.Thread.Get(), 0) != WAIT_OBJECT_0;
    if (!Keep && Worker.Ended) {
      if (!Worker.Reported) {
        Worker.Reported = true;
        Worker.ReportedAt = Now;
      }
      Keep = Now - Worker.ReportedAt < NameWorkerGraceMs;
    }
    if (Keep && Kept != I) List[Kept] = std::move(Worker);
    if (Keep) ++Kept;
  }
  List.erase(List.begin() + static_cast<std::ptrdiff_t>(Kept), List.end());
  return List.size();
}

size_t NameWorkersTerminated() { return Terminated; }

size_t NameHandlesSkipped() { return Skipped; }

size_t NameHandlesUnnamed() { return Unnamed; }

bool NameHandles(const HANDLE* Handles, size_t Count, std::string* Names, TPassOwner* Pass) {
  TNamer Namer(Handles, Count);
  return Namer.Run([Names](size_t I, const TWideString& Name) { Names[I] = AnsiName(Name); }, Pass);
}

bool NameProcessHandles(const TSharedProcess& Process, const THandleTableView::TEntry* Handles, size_t Count,
                        const TNameSink& Named, TPassOwner* Pass, const bool* Halt) {
  TNamer Namer(Process, Handles, Count, Halt);
  return Namer.Run(Named, Pass);
}


std::string HandleToFileName(HANDLE Handle) {
  std::string Name;
  NameHandles(&Handle, 1, &Name, nullptr);
  return Name;
}
