#include "support/SimWindows.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>

namespace {

// The numbers as Windows gives them, written here rather than taken from the
// program's own declarations: a slip there must meet a refusal here.
constexpr ULONG WindowsHandleClass = 16, WindowsExtendedHandleClass = 64, WindowsFileNameClass = 9,
                WindowsObjectNameClass = 1;
constexpr int WindowsTokenGroups = 2;
constexpr ULONG WindowsBreakOnTerminationClass = 29;
constexpr int WindowsObjectFlags = 1;  // UOI_FLAGS
constexpr DWORD WindowsQueryInformation = 0x400, WindowsQueryLimited = 0x1000, WindowsSynchronize = 0x100000;
constexpr DWORD WindowsStationVisible = 1;  // WSF_VISIBLE

thread_local DWORD LastError = 0;

// Ends a simulated thread that was terminated, at its next system call.
struct TThreadTerminated {};

std::string Lower(std::string Text) {
  for (char& C : Text)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return Text;
}

// A key path or value name given wide, as the machine keeps it.
std::string NarrowName(const WCHAR* Wide) {
  return TSimWindows::Narrow(Wide ? std::u16string(reinterpret_cast<const char16_t*>(Wide)) : u"");
}

// The name without its device part: \Device\X\rest and \??\C:\rest give \rest.
std::u16string WithoutDevice(const std::u16string& Name) {
  size_t Skip = 0;
  if (Name.rfind(u"\\??\\", 0) == 0) {
    Skip = Name.find(u'\\', 4);
  } else if (Name.rfind(u"\\Device\\", 0) == 0) {
    Skip = Name.find(u'\\', 8);
  }
  if (Skip == std::u16string::npos) return u"";
  return Name.substr(Skip);
}

}  // namespace

struct TSimWindows::TThread {
  std::thread Runner;
  // A thread starts and ends inside the system (the loader runs there), and
  // runs the program's code in between; tests can stall either end.
  enum { Starting, Running, Ending } Phase = Starting;
  int Waiting = 0;  // blocked inside a call of the system
  bool Done = false;
  bool Terminated = false;
  bool ReportedEnded = false;  // what a wait sees: Done, or early after a termination
  DWORD ExitCode = STILL_ACTIVE;
};

namespace {
thread_local void* CurrentThread = nullptr;  // the TThread this host thread plays
}

TSimWindows::TSimWindows() {
  AddProcess(0, "[System Process]");
  AddProcess(4, "System");
  AddProcess(SelfPid, "lumorex.exe", "C:\\Tools\\lumorex.exe");
}

TSimWindows::~TSimWindows() {
  {
    TLock Lock(M);
    ShuttingDown = true;
    ++ReleaseGeneration;
  }
  Changed.notify_all();
  for (auto& T : Threads)
    if (T->Runner.joinable()) T->Runner.join();
  for (auto& B : Blocks) std::free(B.first);
  for (auto& S : Sids) delete S.second;
}

// ---- Building ---------------------------------------------------------------------

std::u16string TSimWindows::Wide(const std::string& Text) {
  std::u16string Out;
  // Test names are UTF-8; characters beyond U+FFFF become surrogate pairs.
  for (size_t I = 0; I < Text.size();) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    if ((C & 0xF8) == 0xF0 && I + 3 < Text.size()) {
      unsigned Point = ((C & 0x07u) << 18) | ((Text[I + 1] & 0x3Fu) << 12) | ((Text[I + 2] & 0x3Fu) << 6) |
                       (Text[I + 3] & 0x3Fu);
      Out += static_cast<char16_t>(0xD800 + ((Point - 0x10000) >> 10));
      Out += static_cast<char16_t>(0xDC00 + ((Point - 0x10000) & 0x3FF));
      I += 4;
    } else if (C < 0x80) {
      Out += static_cast<char16_t>(C);
      I += 1;
    } else if ((C & 0xE0) == 0xC0 && I + 1 < Text.size()) {
      Out += static_cast<char16_t>(((C & 0x1F) << 6) | (Text[I + 1] & 0x3F));
      I += 2;
    } else if (I + 2 < Text.size()) {
      Out += static_cast<char16_t>(((C & 0x0F) << 12) | ((Text[I + 1] & 0x3F) << 6) | (Text[I + 2] & 0x3F));
      I += 3;
    } else {
      break;
    }
  }
  return Out;
}

std::string TSimWindows::Narrow(const std::u16string& Text) {
  std::string Out;
  for (const char16_t Unit : Text) {
    const unsigned U = Unit;
    if (U < 0x80) {
      Out += static_cast<char>(U);
    } else if (U < 0x800) {
      Out += {static_cast<char>(0xC0 | U >> 6), static_cast<char>(0x80 | (U & 0x3F))};
    } else {
      Out += {static_cast<char>(0xE0 | U >> 12), static_cast<char>(0x80 | (U >> 6 & 0x3F)),
              static_cast<char>(0x80 | (U & 0x3F))};
    }
  }
  return Out;
}

uintptr_t TSimWindows::NewAddress() {
  static std::atomic<uintptr_t> Next{0x81000000};
  return Next += 0x40;
}

TSimWindows::TProcess& TSimWindows::AddProcess(DWORD Pid, const std::string& Exe, const std::string& Path) {
  TLock Lock(M);
  TProcess P;
  P.Pid = Pid;
  P.Exe = Exe;
  P.Path = Path;
  Processes.push_back(std::move(P));
  return Processes.back();
}

TSimWindows::TProcess* TSimWindows::FindProcess(DWORD Pid) {
  for (auto& P : Processes)
    if (P.Pid == Pid && P.Alive) return &P;
  return nullptr;
}

TSimWindows::TProcess& TSimWindows::Process(DWORD Pid) {
  TLock Lock(M);
  for (auto& P : Processes)
    if (P.Pid == Pid) return P;
  std::abort();
}

uintptr_t TSimWindows::AddObject(DWORD Pid, uint16_t Type, const std::string& Name, uintptr_t Value) {
  TLock Lock(M);
  TProcess* P = FindProcess(Pid);
  if (!P) std::abort();
  auto Object = std::make_shared<TObject>();
  Object->Type = Type;
  Object->Name = Wide(Name);
  Object->FileName = WithoutDevice(Object->Name);
  if (Value == 0) Value = P->NextHandle;
  P->NextHandle = std::max(P->NextHandle, Value + 4);
  P->Handles.push_back({Value, Object, "object"});
  return Value;
}

uintptr_t TSimWindows::AddFile(DWORD Pid, const std::string& Name, uintptr_t Value) {
  return AddObject(Pid, FileTypeNumber, Name, Value);
}

uintptr_t TSimWindows::AddView(DWORD Pid, DWORD Type, const std::string& Name, int Regions) {
  TLock Lock(M);
  TProcess* P = FindProcess(Pid);
  if (!P) std::abort();
  // One view per 1 MiB from 256 MiB up, each region 16 KiB, free space between.
  const uintptr_t Base = 0x10000000 + 0x100000 * P->Views.size();
  P->Views.push_back({Base, Type, Name, Regions});
  return Base;
}

TSimWindows::TObject& TSimWindows::ObjectOf(DWORD Pid, uintptr_t Value) {
  TLock Lock(M);
  for (auto& P : Processes)
    if (P.Pid == Pid)
      for (auto& H : P.Handles)
        if (H.Value == Value) return *H.Object;
  std::abort();
}

void TSimWindows::EndProcess(DWORD Pid) {
  TLock Lock(M);
  if (TProcess* P = FindProcess(Pid)) {
    P->Alive = false;
    P->Handles.clear();
  }
}

void TSimWindows::RemoveHandle(DWORD Pid, uintptr_t Value) {
  TLock Lock(M);
  if (TProcess* P = FindProcess(Pid))
    P->Handles.erase(std::remove_if(P->Handles.begin(), P->Handles.end(),
                                    [Value](const THandle& H) { return H.Value == Value; }),
                     P->Handles.end());
}

bool TSimWindows::Holds(DWORD Pid, uintptr_t Value) const {
  TLock Lock(M);
  for (auto& P : Processes)
    if (P.Pid == Pid && P.Alive)
      for (auto& H : P.Handles)
        if (H.Value == Value) return true;
  return false;
}

void TSimWindows::AddDrive(char Letter, const std::string& Target) {
  TLock Lock(M);
  Drives.emplace_back(Letter, Target);
}

std::vector<BYTE> TSimWindows::MakeSid(const BYTE (&Authority)[6], std::vector<DWORD> Subs) {
  std::vector<BYTE> Sid(8 + 4 * Subs.size());
  Sid[0] = 1;
  Sid[1] = static_cast<BYTE>(Subs.size());
  std::memcpy(&Sid[2], Authority, 6);
  std::memcpy(&Sid[8], Subs.data(), 4 * Subs.size());
  return Sid;
}

void TSimWindows::AddAdministratorsGroup(DWORD Attributes) {
  const BYTE Nt[6] = {0, 0, 0, 0, 0, 5};
  Groups.push_back({MakeSid(Nt, {32, 544}), Attributes});
}

// ---- Faults -----------------------------------------------------------------------

void TSimWindows::FailCall(const std::string& Op, int Nth, DWORD Error) {
  TLock Lock(M);
  TFault F{Op, Nth, 0, TFault::Fail};
  F.Error = Error;
  Faults.push_back(F);
}

void TSimWindows::StatusCall(const std::string& Op, NTSTATUS Status, int Nth) {
  TLock Lock(M);
  TFault F{Op, Nth, 0, TFault::Status};
  F.Code = Status;
  Faults.push_back(F);
}

void TSimWindows::BlockCall(const std::string& Op, int Nth) {
  TLock Lock(M);
  TFault F{Op, Nth, 0, TFault::Block};
  Faults.push_back(F);
}

void TSimWindows::ReleaseBlocked() {
  {
    TLock Lock(M);
    ++ReleaseGeneration;
  }
  Changed.notify_all();
}

long TSimWindows::TotalCalls() const {
  TLock Lock(M);
  return GlobalCalls;
}

int TSimWindows::Calls(const std::string& Op) const {
  TLock Lock(M);
  auto It = OpCalls.find(Op);
  return It == OpCalls.end() ? 0 : It->second;
}

std::vector<std::string> TSimWindows::CallLog() const {
  TLock Lock(M);
  return Log;
}

void TSimWindows::CheckTerminated() {
  auto* T = static_cast<TThread*>(CurrentThread);
  if (T && T->Terminated) throw TThreadTerminated{};
}

void TSimWindows::WaitReleased(TLock& Lock) {
  auto* T = static_cast<TThread*>(CurrentThread);
  long Generation = ReleaseGeneration;
  if (T) ++T->Waiting;
  Changed.wait(Lock, [&] { return ReleaseGeneration != Generation || ShuttingDown; });
  if (T) --T->Waiting;
  // Where the end is reported early, the call it was in still returns.
  if (!EndReportedEarly) CheckTerminated();
}

void TSimWindows::RunHook(const char* Op) {
  std::function<void()> Hook;
  {
    TLock Lock(M);
    auto It = Hooks.find(Op);
    if (It == Hooks.end()) return;
    Hook = std::move(It->second);
    Hooks.erase(It);
  }
  Hook();
}

TSimWindows::TGate TSimWindows::Gate(TLock& Lock, const char* Op) {
  // Counted before a terminated thread ends at it: the call was begun.
  ++GlobalCalls;
  ++OpCalls[Op];
  Log.emplace_back(Op);
  CheckTerminated();
  TGate Result;
  if (FailGlobalAt != 0 && GlobalCalls == FailGlobalAt) {
    Result.Fail = true;
    Result.Error = GlobalError;
  }
  bool Block = false;
  for (auto& F : Faults) {
    if (F.Op != Op) continue;
    ++F.Seen;
    if (F.Nth != 0 && F.Seen != F.Nth) continue;
    if (F.Kind == TFault::Fail) {
      Result.Fail = true;
      Result.Error = F.Error;
    } else if (F.Kind == TFault::Status) {
      Result.HasStatus = true;
      Result.Status = F.Code;
    } else {
      Block = true;
    }
  }
  if (Block) WaitReleased(Lock);
  return Result;
}

TSimWindows::TCall TSimWindows::Enter(const char* Op) {
  RunHook(Op);
  TCall Call{TLock(M), {}};
  Call.Gate = Gate(Call.Lock, Op);
  return Call;
}

bool TSimWindows::Refuse(const TGate& G, bool Refused, DWORD Error) {
  if (!G.Fail && !Refused) return false;
  SetError(G.Fail ? G.Error : Error);
  return true;
}

void TSimWindows::SetError(DWORD Error) { LastError = Error; }

// ---- Accounting ---------------------------------------------------------------------

int TSimWindows::OpenHandles(const std::string& Kind) const {
  TLock Lock(M);
  int N = 0;
  for (auto& P : Processes)
    if (P.Pid == SelfPid)
      for (auto& H : P.Handles)
        if (H.Kind == Kind) ++N;
  return N;
}

int TSimWindows::LiveThreads() const {
  TLock Lock(M);
  int N = 0;
  for (auto& T : Threads)
    if (!T->Done) ++N;
  return N;
}

int TSimWindows::ThreadsCreated() const {
  TLock Lock(M);
  return static_cast<int>(Threads.size());
}

bool TSimWindows::WaitThreads() {
  TLock Lock(M);
  return Changed.wait_for(Lock, std::chrono::seconds(5), [&] {
    for (auto& T : Threads)
      if (!T->Done) return false;
    return true;
  });
}

std::string TSimWindows::Outstanding() const {
  TLock Lock(M);
  std::map<std::string, int> Counts;
  for (auto& P : Processes)
    if (P.Pid == SelfPid)
      for (auto& H : P.Handles)
        if (H.Kind != "object") ++Counts["handle:" + H.Kind];
  if (!Blocks.empty()) Counts["block"] = static_cast<int>(Blocks.size());
  if (!Globals.empty()) Counts["global"] = static_cast<int>(Globals.size());
  if (ClipboardOpen_) Counts["clipboard"] = 1;
  if (!Sids.empty()) Counts["sid"] = static_cast<int>(Sids.size());
  if (!Keys.empty()) Counts["key"] = static_cast<int>(Keys.size());
  int Live = 0;
  for (auto& T : Threads)
    if (!T->Done) ++Live;
  if (Live) Counts["thread"] = Live;
  std::ostringstream Out;
  for (auto& C : Counts) Out << (Out.tellp() > 0 ? ", " : "") << C.first << " " << C.second;
  return Out.str();
}

// ---- Handles --------------------------------------------------------------------------

TSimWindows::THandle* TSimWindows::Find(HANDLE Handle) {
  TProcess* Self = FindProcess(SelfPid);
  for (auto& H : Self->Handles)
    if (H.Value == reinterpret_cast<uintptr_t>(Handle) && H.Kind != "object") return &H;
  return nullptr;
}

HANDLE TSimWindows::AddOwn(std::shared_ptr<TObject> Object, const std::string& Kind) {
  TProcess* Self = FindProcess(SelfPid);
  uintptr_t Value = Self->NextHandle;
  Self->NextHandle += 4;
  Self->Handles.push_back({Value, std::move(Object), Kind});
  return reinterpret_cast<HANDLE>(Value);
}

HANDLE TSimWindows::GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
HANDLE TSimWindows::GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }
DWORD TSimWindows::GetCurrentProcessId() { return SelfPid; }
DWORD TSimWindows::GetLastError() { return LastError; }
namespace {
DWORD RealTicks() {
  static const auto Boot = std::chrono::steady_clock::now();
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Boot).count());
}
}  // namespace

DWORD TSimWindows::GetTickCount() {
  RunHook("GetTickCount");
  return ClockOffset + (ClockFrozen ? FrozenAt.load() : RealTicks());
}

HANDLE TSimWindows::CreateFileW(const WCHAR* Name, DWORD Access, DWORD, void*, DWORD Disposition, DWORD, HANDLE) {
  auto [Lock, G] = Enter("CreateFileW");
  const std::u16string Path = Name ? std::u16string(reinterpret_cast<const char16_t*>(Name)) : u"";
  if (Refuse(G, Path != u"CONOUT$" || Disposition != OPEN_EXISTING, ERROR_FILE_NOT_FOUND) ||
      Refuse(G, !HasConsole(), ERROR_INVALID_HANDLE))
    return INVALID_HANDLE_VALUE;
  auto Object = std::make_shared<TObject>();
  Object->Type = EventType + 1;  // a console's own type, no file's
  HANDLE Handle = AddOwn(Object, "screen");
  Find(Handle)->Access = Access;
  Screen.Console = true;
  return Handle;
}

void TSimWindows::FreezeClock() {
  FrozenAt = RealTicks();
  ClockFrozen = true;
}

BOOL TSimWindows::CloseHandle(HANDLE Handle) {
  auto [Lock, G] = Enter("CloseHandle");
  TProcess* Self = FindProcess(SelfPid);
  auto It = std::find_if(Self->Handles.begin(), Self->Handles.end(), [&](const THandle& H) {
    return H.Value == reinterpret_cast<uintptr_t>(Handle) && H.Kind != "object";
  });
  if (It == Self->Handles.end()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A failed close still releases the handle, as on Windows for a valid one;
  // the failure is only reported.
  for (auto& F : Files)
    if (It->Kind == "file" && It->Object && Wide("\\??\\" + F.first) == It->Object->Name) F.second.Open = false;
  Self->Handles.erase(It);
  if (Refuse(G)) return FALSE;
  return TRUE;
}

HANDLE TSimWindows::CreateFileA(const char* Name, DWORD Access, DWORD Share, void*, DWORD Disposition,
                                DWORD Attributes, HANDLE) {
  auto [Lock, G] = Enter("CreateFileA");
  CreateFileCalls.push_back({Name ? Name : "", Access, Share, Disposition, Attributes});
  if (Refuse(G)) return INVALID_HANDLE_VALUE;
  std::string Path = Name ? Name : "";
  auto Object = std::make_shared<TObject>();
  Object->Type = FileTypeNumber;
  if (Lower(Path) == "nul") {
    Object->Name = u"\\Device\\Null";
    return AddOwn(Object, "file");
  }
  auto It = Files.find(Path);
  if (Disposition == OPEN_EXISTING && It == Files.end()) {
    SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if ((Access & GENERIC_WRITE) && It != Files.end() && (It->second.ReadOnly || It->second.Open)) {
    SetError(It->second.ReadOnly ? ERROR_ACCESS_DENIED : 32 /* sharing violation */);
    return INVALID_HANDLE_VALUE;
  }
  TSimFile& F = Files[Path];
  if (Disposition == CREATE_ALWAYS) F.Data.clear();
  F.Open = (Access & GENERIC_WRITE) != 0;
  Object->Name = Wide("\\??\\" + Path);
  Object->FileName = WithoutDevice(Object->Name);
  return AddOwn(Object, "file");
}

DWORD TSimWindows::GetFileAttributesA(const char* Name) {
  return FileAttributes("GetFileAttributesA", Name ? Name : "");
}

DWORD TSimWindows::GetFileAttributesW(const WCHAR* Name) {
  return FileAttributes("GetFileAttributesW", NarrowName(Name));
}

DWORD TSimWindows::FileAttributes(const char* Op, const std::string& Name) {
  auto [Lock, G] = Enter(Op);
  auto It = Files.find(Name);
  if (Refuse(G, It == Files.end(), ERROR_FILE_NOT_FOUND)) return INVALID_FILE_ATTRIBUTES;
  return It->second.ReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

BOOL TSimWindows::WriteFile(HANDLE File, const void* Data, DWORD Size, DWORD* Written, void*) {
  auto [Lock, G] = Enter("WriteFile");
  if (Written) *Written = 0;
  if (TStdStream* S = StdStream(File)) {
    if (Refuse(G)) return FALSE;
    S->Bytes.append(static_cast<const char*>(Data), Size);
    ++S->Writes;
    if (Written) *Written = Size;
    return TRUE;
  }
  THandle* H = Find(File);
  if (!H || H->Kind != "file") {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Refuse(G)) return FALSE;
  for (auto& F : Files) {
    if (Wide("\\??\\" + F.first) != H->Object->Name) continue;
    size_t Stored = std::min<size_t>(Size, DiskFree);
    DiskFree -= Stored;
    F.second.Data.append(static_cast<const char*>(Data), Stored);
    if (Written) *Written = static_cast<DWORD>(Stored);
    return TRUE;
  }
  if (Written) *Written = Size;  // the NUL device swallows everything
  return TRUE;
}

BOOL TSimWindows::DuplicateHandle(HANDLE SourceProcess, HANDLE Source, HANDLE TargetProcess, HANDLE* Target,
                                  DWORD Access, BOOL Inherit, DWORD Options) {
  auto [Lock, G] = Enter("DuplicateHandle");
  TProcess* From = nullptr;
  bool MayDuplicate = true;
  if (SourceProcess == GetCurrentProcess()) {
    From = FindProcess(SelfPid);
  } else if (THandle* P = Find(SourceProcess); P && P->Kind == "process") {
    From = FindProcess(P->Target);
    MayDuplicate = (P->Access & PROCESS_DUP_HANDLE) != 0;
  }
  DuplicateCalls.push_back({From ? From->Pid : 0, reinterpret_cast<uintptr_t>(Source),
                            TargetProcess == GetCurrentProcess(), Access, Inherit, Options});
  if (!From || !MayDuplicate) {
    SetError(From ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto H = std::find_if(From->Handles.begin(), From->Handles.end(),
                        [&](const THandle& E) { return E.Value == reinterpret_cast<uintptr_t>(Source); });
  const bool CloseSource = (Options & DUPLICATE_CLOSE_SOURCE) != 0;
  DWORD Error = G.Fail ? G.Error : 0;
  if (!Error && TargetProcess != GetCurrentProcess()) Error = ERROR_INVALID_PARAMETER;
  if (!Error && H == From->Handles.end()) Error = ERROR_INVALID_HANDLE;
  if (!Error && H->Object->NoDuplicate) Error = ERROR_ACCESS_DENIED;
  if (Error) {
    if (CloseSource && CloseSourceOnFailure && H != From->Handles.end()) From->Handles.erase(H);
    SetError(Error);
    return FALSE;
  }
  std::string Kind = H->Kind == "object" ? (H->Object->Type == FileTypeNumber ? "file" : "object-copy") : H->Kind;
  std::shared_ptr<TObject> Object = H->Object;
  if (CloseSource) From->Handles.erase(H);
  *Target = AddOwn(std::move(Object), Kind);
  return TRUE;
}

// ---- Native ---------------------------------------------------------------------------

namespace {
void Put(BYTE* At, uint64_t Value, size_t Size) {
  for (size_t I = 0; I < Size; ++I) At[I] = static_cast<BYTE>(Value >> (8 * I));
}
}  // namespace

NTSTATUS TSimWindows::NtQuerySystemInformation(ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) {
  auto [Lock, G] = Enter("NtQuerySystemInformation");
  SystemQueryLengths.push_back(Length);
  if (G.HasStatus) return G.Status;
  if (G.Fail) return STATUS_ACCESS_DENIED;
  if (InfoClass != WindowsHandleClass &&
      !(InfoClass == WindowsExtendedHandleClass && ExtendedTableSupported))
    return STATUS_INVALID_INFO_CLASS;
  const THandleTableLayout& L = HandleTableLayout(InfoClass, NativePointerWidth);
  size_t Count = 0;
  for (auto& P : Processes)
    if (P.Alive) Count += P.Handles.size();
  size_t Needed = L.HeaderSize + Count * L.EntrySize;
  if (ReturnLength) *ReturnLength = static_cast<ULONG>(Needed);
  if (Needed > Length) return STATUS_INFO_LENGTH_MISMATCH;
  auto* Out = static_cast<BYTE*>(Info);
  std::memset(Out, 0, Needed);
  Put(Out, Count, L.CountSize);
  BYTE* E = Out + L.HeaderSize;
  // The old class carries 16-bit process ids and handle values.
  uint64_t Narrow = InfoClass == WindowsHandleClass ? 0xFFFF : ~0ull;
  for (auto& P : Processes) {
    if (!P.Alive) continue;
    for (auto& H : P.Handles) {
      Put(E + L.PidOffset, P.Pid & Narrow, L.PidSize);
      Put(E + L.TypeOffset, H.Object->Type, L.TypeSize);
      Put(E + L.HandleOffset, H.Value & Narrow, L.HandleSize);
      Put(E + L.ObjectOffset, H.Object->Address, L.ObjectSize);
      E += L.EntrySize;
    }
  }
  return STATUS_SUCCESS;
}

std::shared_ptr<TSimWindows::TObject> TSimWindows::QueriedObject(TLock& Lock, const char* Op, HANDLE Handle,
                                                                 NTSTATUS* Status) {
  TGate G = Gate(Lock, Op);
  THandle* H = G.HasStatus || G.Fail ? nullptr : Find(Handle);
  if (!H) {
    *Status = G.HasStatus ? G.Status : G.Fail ? STATUS_ACCESS_DENIED : STATUS_INVALID_HANDLE;
    return nullptr;
  }
  auto Object = H->Object;
  if (Object->Hang) WaitReleased(Lock);
  if (NameQueryMs) {
    ClockOffset += NameQueryMs;
    WaitInside(Lock, NameQueryMs / 2);
  }
  return Object;
}

void TSimWindows::WaitInside(TLock& Lock, DWORD Milliseconds) {
  auto* T = static_cast<TThread*>(CurrentThread);
  if (T) ++T->Waiting;
  Changed.wait_for(Lock, std::chrono::milliseconds(Milliseconds), [&] { return (T && T->Terminated) || ShuttingDown; });
  if (T) --T->Waiting;
  if (!EndReportedEarly) CheckTerminated();
}

NTSTATUS TSimWindows::NtQueryInformationProcess(HANDLE Process, ULONG InfoClass, void* Info, ULONG Length,
                                                ULONG* ReturnLength) {
  auto [Lock, G] = Enter("NtQueryInformationProcess");
  if (G.HasStatus) return G.Status;
  THandle* H = Find(Process);
  if (G.Fail || !H || H->Kind != "process") return STATUS_INVALID_HANDLE;
  if (!(H->Access & (WindowsQueryInformation | WindowsQueryLimited))) return STATUS_ACCESS_DENIED;
  if (InfoClass != WindowsBreakOnTerminationClass) return STATUS_INVALID_INFO_CLASS;
  if (Length != sizeof(ULONG)) return STATUS_INFO_LENGTH_MISMATCH;
  // An ended process is still answered for: its object lives while a handle does.
  ULONG Critical = 0;
  for (auto& P : Processes)
    if (P.Pid == H->Target) Critical = P.Critical;
  std::memcpy(Info, &Critical, sizeof Critical);
  if (ReturnLength) *ReturnLength = sizeof Critical;
  return STATUS_SUCCESS;
}

NTSTATUS TSimWindows::NtQueryInformationFile(HANDLE File, IO_STATUS_BLOCK* IoStatus, void* Info, ULONG Length,
                                             ULONG InfoClass) {
  TLock Lock(M);
  NTSTATUS Status = STATUS_SUCCESS;
  auto Object = QueriedObject(Lock, "NtQueryInformationFile", File, &Status);
  if (!Object) return Status;
  if (InfoClass != WindowsFileNameClass) return STATUS_INVALID_INFO_CLASS;
  if (Object->FileNameStatus != STATUS_SUCCESS) return Object->FileNameStatus;
  auto* Out = static_cast<FILE_NAME_INFORMATION*>(Info);
  size_t Bytes = Object->FileName.size() * 2;
  if (Length < offsetof(FILE_NAME_INFORMATION, FileName)) return STATUS_INFO_LENGTH_MISMATCH;
  size_t Room = Length - offsetof(FILE_NAME_INFORMATION, FileName);
  Out->FileNameLength = static_cast<ULONG>(Bytes);
  std::memcpy(Out->FileName, Object->FileName.data(), std::min(Room, Bytes) & ~size_t(1));
  if (IoStatus) IoStatus->Status = Bytes > Room ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
  return Bytes > Room ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

NTSTATUS TSimWindows::NtQueryObject(HANDLE Handle, ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) {
  TLock Lock(M);
  NTSTATUS Status = STATUS_SUCCESS;
  auto Object = QueriedObject(Lock, "NtQueryObject", Handle, &Status);
  if (!Object) return Status;
  if (InfoClass != WindowsObjectNameClass) return STATUS_INVALID_INFO_CLASS;
  if (Object->ObjectNameStatus != STATUS_SUCCESS) return Object->ObjectNameStatus;
  size_t Bytes = Object->Name.size() * 2;
  size_t Needed = sizeof(OBJECT_NAME_INFORMATION) + Bytes + 2;
  if (ReturnLength) *ReturnLength = static_cast<ULONG>(Needed);
  if (Length < sizeof(OBJECT_NAME_INFORMATION)) return STATUS_INFO_LENGTH_MISMATCH;
  if (Needed > Length) return ObjectNameTooSmall;
  auto* Out = static_cast<OBJECT_NAME_INFORMATION*>(Info);
  auto* Text = reinterpret_cast<WCHAR*>(Out + 1);
  std::memcpy(Text, Object->Name.data(), Bytes);
  Text[Object->Name.size()] = 0;
  Out->Name.Length = static_cast<USHORT>(Bytes);
  Out->Name.MaximumLength = static_cast<USHORT>(Bytes + 2);
  Out->Name.Buffer = Bytes ? Text : nullptr;
  return STATUS_SUCCESS;
}

// ---- Memory ---------------------------------------------------------------------------

void* TSimWindows::VirtualAlloc(void*, SIZE_T Size, DWORD AllocationType, DWORD Protect) {
  auto [Lock, G] = Enter("VirtualAlloc");
  if (G.Fail || Size == 0 || Size > AllocationLimit || !(AllocationType & MEM_COMMIT) || Protect != PAGE_READWRITE) {
    SetError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* Block = std::calloc(1, Size);
  Blocks[Block] = Size;
  return Block;
}

BOOL TSimWindows::VirtualFree(void* Address, SIZE_T Size, DWORD FreeType) {
  auto [Lock, G] = Enter("VirtualFree");
  auto It = Blocks.find(Address);
  if (It == Blocks.end() || Size != 0 || FreeType != MEM_RELEASE) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::free(It->first);
  Blocks.erase(It);
  if (Refuse(G)) return FALSE;
  return TRUE;
}

// ---- Threads --------------------------------------------------------------------------

HANDLE TSimWindows::CreateThread(void*, SIZE_T StackSize, LPTHREAD_START_ROUTINE Start, void* Parameter, DWORD Flags,
                                 DWORD* ThreadId) {
  auto [Lock, G] = Enter("CreateThread");
  ThreadArguments.emplace_back(StackSize, Flags);
  if (Refuse(G)) return nullptr;
  Threads.push_back(std::make_unique<TThread>());
  TThread* T = Threads.back().get();
  size_t Index = Threads.size();
  if (ThreadId) *ThreadId = static_cast<DWORD>(0x2000 + Index * 4);
  auto Object = std::make_shared<TObject>();
  Object->Type = ThreadType;
  HANDLE Handle = AddOwn(Object, "thread");
  Find(Handle)->Thread = Index;
  T->Runner = std::thread([this, T, Start, Parameter] {
    CurrentThread = T;
    DWORD Code = 0;
    bool Ended = false;
    try {
      {
        TLock Inner(M);
        Gate(Inner, "ThreadStart");
        T->Phase = TThread::Running;
      }
      Code = Start(Parameter);
      TLock Inner(M);
      T->Phase = TThread::Ending;
      Gate(Inner, "ThreadEnd");
    } catch (const TThreadTerminated&) {
      Ended = true;
    }
    TLock Inner(M);
    if (!Ended && !T->Terminated) T->ExitCode = Code;
    T->Done = true;
    Changed.notify_all();
  });
  return Handle;
}

DWORD TSimWindows::WaitForSingleObject(HANDLE Handle, DWORD Milliseconds) {
  auto [Lock, G] = Enter("WaitForSingleObject");
  if (Refuse(G)) return WAIT_FAILED;
  THandle* H = Find(Handle);
  if (!H) {
    SetError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (H->Kind == "process") {
    if (Refuse(G, !(H->Access & WindowsSynchronize), ERROR_ACCESS_DENIED)) return WAIT_FAILED;
    return FindProcess(H->Target) ? WAIT_TIMEOUT : WAIT_OBJECT_0;
  }
  if (H->Kind != "thread") return WAIT_OBJECT_0;
  TThread* T = Threads[H->Thread - 1].get();
  auto Ended = [&] { return T->Done || T->ReportedEnded; };
  if (Milliseconds == INFINITE) {
    Changed.wait(Lock, Ended);
    return WAIT_OBJECT_0;
  }
  return Changed.wait_for(Lock, std::chrono::milliseconds(Milliseconds), Ended) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL TSimWindows::GetExitCodeThread(HANDLE Thread, DWORD* ExitCode) {
  auto [Lock, G] = Enter("GetExitCodeThread");
  THandle* H = Find(Thread);
  if (Refuse(G, !H || H->Kind != "thread", ERROR_INVALID_HANDLE)) return FALSE;
  TThread* T = Threads[H->Thread - 1].get();
  *ExitCode = T->Done || T->ReportedEnded ? T->ExitCode : STILL_ACTIVE;
  return TRUE;
}

BOOL TSimWindows::TerminateThread(HANDLE Thread, DWORD ExitCode) {
  auto [Lock, G] = Enter("TerminateThread");
  THandle* H = Find(Thread);
  if (Refuse(G, !H || H->Kind != "thread", ERROR_INVALID_HANDLE)) return FALSE;
  TThread* T = Threads[H->Thread - 1].get();
  // Only a thread blocked inside a call of the system is safe to end: one
  // that is starting or ending may hold the loader's lock, one running its
  // own code any lock it has taken.
  if (!T->Done && (T->Phase != TThread::Running || T->Waiting == 0)) ++UnsafeTerminations_;
  // Like the real call, termination takes effect when the thread next leaves
  // or enters the system: a thread stuck in a call stays alive until it returns.
  if (!T->Done) {
    T->Terminated = true;
    T->ExitCode = ExitCode;
    T->ReportedEnded = EndReportedEarly;
    Changed.notify_all();
  }
  return TRUE;
}

// ---- Names ----------------------------------------------------------------------------

DWORD TSimWindows::GetLogicalDriveStringsA(DWORD Length, char* Buffer) {
  auto [Lock, G] = Enter("GetLogicalDriveStringsA");
  if (Refuse(G)) return 0;
  std::string All;
  for (auto& D : Drives) {
    All += D.first;
    All += ":\\";
    All += '\0';
  }
  if (All.size() + 1 > Length) return static_cast<DWORD>(All.size() + 1);
  std::memcpy(Buffer, All.data(), All.size());
  Buffer[All.size()] = '\0';
  return static_cast<DWORD>(All.size());
}

DWORD TSimWindows::QueryDosDeviceA(const char* DeviceName, char* TargetPath, DWORD Max) {
  auto [Lock, G] = Enter("QueryDosDeviceA");
  if (Refuse(G)) return 0;
  std::string Name = DeviceName ? DeviceName : "";
  for (auto& D : Drives) {
    if (Name.size() != 2 || Name[1] != ':' || (Name[0] & ~0x20) != (D.first & ~0x20)) continue;
    if (D.second.size() + 2 > Max) {
      SetError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(TargetPath, D.second.c_str(), D.second.size() + 1);
    TargetPath[D.second.size() + 1] = '\0';
    return static_cast<DWORD>(D.second.size() + 2);
  }
  SetError(ERROR_FILE_NOT_FOUND);
  return 0;
}

int TSimWindows::WideCharToMultiByte(UINT, DWORD, const WCHAR* Wide, int WideCount, char* Multi, int MultiSize,
                                     const char*, BOOL* UsedDefault) {
  auto [Lock, G] = Enter("WideCharToMultiByte");
  if (Refuse(G)) return 0;
  if (WideCount < 0) {
    WideCount = 0;
    while (Wide[WideCount]) ++WideCount;
    ++WideCount;
  }
  // Two code pages: a single-byte one where what is beyond Latin-1 becomes "?",
  // and a multi-byte one where every other non-ASCII character takes a lead
  // byte (0x81 to 0x9F) and a trail byte, and a surrogate pair two such pairs,
  // as GB18030 writes it in four bytes. Half a pair is no character: "?".
  std::string Out;
  bool Default = false;
  for (int I = 0; I < WideCount; ++I) {
    unsigned C = Wide[I];
    const bool High = C >= 0xD800 && C <= 0xDBFF, Low = C >= 0xDC00 && C <= 0xDFFF;
    const bool Pair = High && I + 1 < WideCount && Wide[I + 1] >= 0xDC00 && Wide[I + 1] <= 0xDFFF;
    if (Pair) ++I;
    if ((High && !Pair) || Low) {
      Out += '?';
      Default = true;
    } else if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (DoubleByteCodePage) {
      for (unsigned Unit : {C, Pair ? unsigned(Wide[I]) : 0u}) {
        if (!Unit) continue;
        Out += static_cast<char>(0x81 + Unit % 31);
        Out += static_cast<char>(0x40 + (Unit / 31) % 64);
      }
    } else if (C < 0x100) {
      Out += static_cast<char>(C);
    } else {
      Out += '?';
      Default = true;
    }
  }
  if (UsedDefault) *UsedDefault = Default;
  if (MultiSize == 0) return static_cast<int>(Out.size());
  if (static_cast<int>(Out.size()) > MultiSize) {
    std::memcpy(Multi, Out.data(), MultiSize);
    SetError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(Multi, Out.data(), Out.size());
  return static_cast<int>(Out.size());
}

DWORD TSimWindows::CharUpperBuffA(char* Text, DWORD Length) {
  // A Latin-1 user locale: a-z and the accented lower-case letters.
  for (DWORD I = 0; I < Length; ++I) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    if ((C >= 'a' && C <= 'z') || (C >= 0xE0 && C <= 0xFE && C != 0xF7)) Text[I] = static_cast<char>(C - 0x20);
  }
  return Length;
}

DWORD TSimWindows::CharUpperBuffW(WCHAR* Text, DWORD Length) {
  // As the Unicode tables have it for the scripts the tests use: Latin,
  // Greek, Cyrillic and the full-width letters; the rest has no case.
  for (DWORD I = 0; I < Length; ++I) {
    const unsigned C = Text[I];
    unsigned Upper = C;
    if ((C >= 'a' && C <= 'z') || (C >= 0xE0 && C <= 0xFE && C != 0xF7)) Upper = C - 0x20;
    else if (C == 0xFF) Upper = 0x178;
    else if (((C >= 0x100 && C <= 0x137) || (C >= 0x14A && C <= 0x177)) && (C & 1) && C != 0x131) Upper = C - 1;
    else if (((C >= 0x139 && C <= 0x148) || (C >= 0x179 && C <= 0x17E)) && !(C & 1)) Upper = C - 1;
    else if (C == 0x131) Upper = 'I';
    else if (C >= 0x3B1 && C <= 0x3C9 && C != 0x3C2) Upper = C - 0x20;
    else if (C == 0x3C2) Upper = 0x3A3;
    else if (C >= 0x430 && C <= 0x44F) Upper = C - 0x20;
    else if (C >= 0x450 && C <= 0x45F) Upper = C - 0x50;
    else if (C >= 0xFF41 && C <= 0xFF5A) Upper = C - 0x20;
    Text[I] = static_cast<WCHAR>(Upper);
  }
  return Length;
}

int TSimWindows::MultiByteToWideChar(UINT, DWORD, const char* Multi, int MultiCount, WCHAR* Wide, int WideSize) {
  auto [Lock, G] = Enter("MultiByteToWideChar");
  if (Refuse(G)) return 0;
  // The single-byte code page of WideCharToMultiByte: Latin-1.
  if (MultiCount < 0) MultiCount = static_cast<int>(std::strlen(Multi)) + 1;
  if (WideSize == 0) return MultiCount;
  if (Refuse(G, MultiCount > WideSize, ERROR_INSUFFICIENT_BUFFER)) return 0;
  for (int I = 0; I < MultiCount; ++I) Wide[I] = static_cast<unsigned char>(Multi[I]);
  return MultiCount;
}

DWORD TSimWindows::GetFullPathNameW(const WCHAR* Name, DWORD Length, WCHAR* Buffer, WCHAR** FilePart) {
  auto [Lock, G] = Enter("GetFullPathNameW");
  std::u16string Path(reinterpret_cast<const char16_t*>(Name));
  if (Refuse(G, Path.empty(), ERROR_INVALID_PARAMETER)) return 0;
  for (char16_t& C : Path)
    if (C == u'/') C = u'\\';
  std::u16string Root;
  if (Path.size() >= 2 && Path[1] == u':') {
    Root = Path.substr(0, 2);
    Path = Path.substr(2);
  } else if (Path.compare(0, 2, u"\\\\") == 0) {
    const size_t Share = Path.find(u'\\', Path.find(u'\\', 2) + 1);
    Root = Path.substr(0, Share);
    Path = Share == std::u16string::npos ? u"" : Path.substr(Share);
  } else {
    Root = CurrentDirectory.substr(0, 2);
    if (Path[0] != u'\\') Path = CurrentDirectory.substr(2) + u"\\" + Path;
  }
  const bool Trailing = !Path.empty() && Path.back() == u'\\';
  std::vector<std::u16string> Parts;
  for (size_t At = 0; At <= Path.size();) {
    size_t End = Path.find(u'\\', At);
    if (End == std::u16string::npos) End = Path.size();
    const std::u16string Part = Path.substr(At, End - At);
    if (Part == u"..") {
      if (!Parts.empty()) Parts.pop_back();
    } else if (!Part.empty() && Part != u".") {
      Parts.push_back(Part);
    }
    At = End + 1;
  }
  std::u16string Full = Root;
  for (const auto& Part : Parts) Full += u"\\" + Part;
  if (Parts.empty() || (Trailing && Path != u"\\")) Full += u"\\";
  if (Full.size() + 1 > Length) return static_cast<DWORD>(Full.size() + 1);
  std::copy(Full.begin(), Full.end(), Buffer);
  Buffer[Full.size()] = 0;
  if (FilePart) *FilePart = nullptr;
  return static_cast<DWORD>(Full.size());
}

DWORD TSimWindows::GetLongPathNameW(const WCHAR* Short, WCHAR* Long, DWORD Length) {
  auto [Lock, G] = Enter("GetLongPathNameW");
  const std::u16string Path(reinterpret_cast<const char16_t*>(Short));
  auto Known = LongNames.find(Path);
  if (Refuse(G, Known == LongNames.end(), ERROR_FILE_NOT_FOUND)) return 0;
  const std::u16string& Full = Known->second;
  if (Full.size() + 1 > Length) return static_cast<DWORD>(Full.size() + 1);
  std::copy(Full.begin(), Full.end(), Long);
  Long[Full.size()] = 0;
  return static_cast<DWORD>(Full.size());
}

// ---- Processes ------------------------------------------------------------------------

HANDLE TSimWindows::CreateToolhelp32Snapshot(DWORD Flags, DWORD) {
  auto [Lock, G] = Enter("CreateToolhelp32Snapshot");
  if (Refuse(G, Flags != TH32CS_SNAPPROCESS, ERROR_INVALID_PARAMETER)) return INVALID_HANDLE_VALUE;
  auto Snapshot = std::make_unique<TSnapshot>();
  for (auto& P : Processes)
    if (P.Alive) Snapshot->Entries.emplace_back(P.Pid, P.Exe);
  Snapshots.push_back(std::move(Snapshot));
  auto Object = std::make_shared<TObject>();
  Object->Type = SnapshotType;
  HANDLE Handle = AddOwn(Object, "snapshot");
  Find(Handle)->Snapshot = Snapshots.size();
  return Handle;
}

void TSimWindows::RewindSnapshot(HANDLE Snapshot) {
  TLock Lock(M);
  THandle* H = Find(Snapshot);
  if (H && H->Kind == "snapshot") Snapshots[H->Snapshot - 1]->Next = 0;
}

BOOL TSimWindows::Process32First(HANDLE Snapshot, PROCESSENTRY32* Entry) {
  RewindSnapshot(Snapshot);
  return Process32Next(Snapshot, Entry);
}

namespace {
// An entry of either width, cleared but for its size, for one process.
template <typename TEntry>
void StartEntry(TEntry* Entry, DWORD Pid) {
  const DWORD Size = Entry->dwSize;
  std::memset(Entry, 0, sizeof(*Entry));
  Entry->dwSize = Size;
  Entry->th32ProcessID = Pid;
}
}  // namespace

const std::pair<DWORD, std::string>* TSimWindows::NextSnapshotEntry(TLock& Lock, const char* Op, HANDLE Snapshot,
                                                                    bool Valid) {
  TGate G = Gate(Lock, Op);
  THandle* H = Find(Snapshot);
  if (Refuse(G, !H || H->Kind != "snapshot" || !Valid, ERROR_INVALID_PARAMETER)) return nullptr;
  TSnapshot& S = *Snapshots[H->Snapshot - 1];
  if (S.Next >= S.Entries.size()) {
    SetError(18 /* ERROR_NO_MORE_FILES */);
    return nullptr;
  }
  return &S.Entries[S.Next++];
}

BOOL TSimWindows::Process32Next(HANDLE Snapshot, PROCESSENTRY32* Entry) {
  TLock Lock(M);
  auto* E = NextSnapshotEntry(Lock, "Process32Next", Snapshot, Entry->dwSize == sizeof(PROCESSENTRY32));
  if (!E) return FALSE;
  StartEntry(Entry, E->first);
  std::strncpy(Entry->szExeFile, E->second.c_str(), MAX_PATH - 1);
  return TRUE;
}

BOOL TSimWindows::Process32FirstW(HANDLE Snapshot, PROCESSENTRY32W* Entry) {
  RewindSnapshot(Snapshot);
  return Process32NextW(Snapshot, Entry);
}

BOOL TSimWindows::Process32NextW(HANDLE Snapshot, PROCESSENTRY32W* Entry) {
  TLock Lock(M);
  auto* E = NextSnapshotEntry(Lock, "Process32NextW", Snapshot, Entry->dwSize == sizeof(PROCESSENTRY32W));
  if (!E) return FALSE;
  StartEntry(Entry, E->first);
  const std::u16string Name = Wide(E->second);
  std::copy_n(Name.begin(), std::min<size_t>(Name.size(), MAX_PATH - 1), Entry->szExeFile);
  return TRUE;
}

HANDLE TSimWindows::OpenProcess(DWORD Access, BOOL Inherit, DWORD ProcessId) {
  auto [Lock, G] = Enter("OpenProcess");
  OpenProcessCalls.emplace_back(Access, Inherit, ProcessId);
  TProcess* P = FindProcess(ProcessId);
  const bool Denied = P && (!P->CanOpen || (!P->CanQuery && (Access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ))));
  if (Refuse(G, !P || ProcessId == 0 || Denied, (P && ProcessId != 0) ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER)) return nullptr;
  auto Object = std::make_shared<TObject>();
  Object->Type = ProcessType;
  HANDLE Handle = AddOwn(Object, "process");
  Find(Handle)->Target = ProcessId;
  Find(Handle)->Access = Access;
  return Handle;
}

TSimWindows::TProcess* TSimWindows::ProcessBehind(HANDLE Process) {
  THandle* H = Find(Process);
  return H && H->Kind == "process" ? FindProcess(H->Target) : nullptr;
}

DWORD TSimWindows::GetModuleFileNameExA(HANDLE Process, HMODULE, char* FileName, DWORD Size) {
  auto [Lock, G] = Enter("GetModuleFileNameExA");
  TProcess* P = ProcessBehind(Process);
  if (PsapiMissing) {
    SetError(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  if (Refuse(G, !P || Size == 0, ERROR_INVALID_HANDLE)) return 0;
  size_t N = std::min<size_t>(P->Path.size(), Size - 1);
  std::memcpy(FileName, P->Path.data(), N);
  FileName[N] = '\0';
  return static_cast<DWORD>(N);
}

DWORD TSimWindows::GetModuleFileNameW(HMODULE Module, WCHAR* Name, DWORD Size) {
  auto [Lock, G] = Enter("GetModuleFileNameW");
  TProcess* Self = FindProcess(SelfPid);
  if (Refuse(G, Module != nullptr || !Self || Size == 0, ERROR_INVALID_PARAMETER)) return 0;
  const std::u16string Path = Wide(Self->Path);
  // As Vista and later do: cut to fit with its NUL, the size returned.
  const size_t N = std::min<size_t>(Path.size(), Size - 1);
  std::copy(Path.begin(), Path.begin() + N, Name);
  Name[N] = 0;
  if (N < Path.size()) {
    SetError(ERROR_INSUFFICIENT_BUFFER);
    return Size;
  }
  return static_cast<DWORD>(N);
}

namespace {
constexpr uintptr_t RegionSize = 0x4000, AddressSpaceEnd = 0x7FFF0000;
}  // namespace

SIZE_T TSimWindows::VirtualQueryEx(HANDLE Process, const void* Address, MEMORY_BASIC_INFORMATION* Info,
                                   SIZE_T Length) {
  auto [Lock, G] = Enter("VirtualQueryEx");
  THandle* H = Find(Process);
  TProcess* P = ProcessBehind(Process);
  if (Refuse(G, !P, ERROR_INVALID_HANDLE) || Refuse(G, !(H->Access & PROCESS_QUERY_INFORMATION), ERROR_ACCESS_DENIED) ||
      Refuse(G, Length < sizeof *Info, 24 /* ERROR_BAD_LENGTH */))
    return 0;
  const uintptr_t At = reinterpret_cast<uintptr_t>(Address) & ~uintptr_t(0xFFF);
  if (Refuse(G, At >= AddressSpaceEnd, ERROR_INVALID_PARAMETER)) return 0;
  *Info = {};
  uintptr_t FreeEnd = AddressSpaceEnd;
  for (const TProcess::TView& V : P->Views) {
    const uintptr_t End = V.Base + RegionSize * V.Regions;
    if (At >= End) continue;
    if (At < V.Base) {
      FreeEnd = std::min(FreeEnd, V.Base);
      continue;
    }
    const uintptr_t Start = V.Base + (At - V.Base) / RegionSize * RegionSize;
    Info->BaseAddress = reinterpret_cast<void*>(Start);
    Info->AllocationBase = reinterpret_cast<void*>(V.Base);
    Info->RegionSize = Start + RegionSize - At;
    Info->State = MEM_COMMIT;
    Info->Type = V.Type;
    return sizeof *Info;
  }
  Info->BaseAddress = reinterpret_cast<void*>(At);
  Info->RegionSize = FreeEnd - At;
  Info->State = MEM_FREE;
  return sizeof *Info;
}

DWORD TSimWindows::GetMappedFileNameW(HANDLE Process, void* Address, WCHAR* Name, DWORD Size) {
  auto [Lock, G] = Enter("GetMappedFileNameW");
  if (PsapiMissing) {
    SetError(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  THandle* H = Find(Process);
  TProcess* P = ProcessBehind(Process);
  if (Refuse(G, !P, ERROR_INVALID_HANDLE) || Refuse(G, !(H->Access & PROCESS_QUERY_INFORMATION), ERROR_ACCESS_DENIED))
    return 0;
  const uintptr_t At = reinterpret_cast<uintptr_t>(Address);
  for (const TProcess::TView& V : P->Views) {
    if (At < V.Base || At >= V.Base + RegionSize * V.Regions) continue;
    const std::u16string Wide16 = Wide(V.Name);
    if (Refuse(G, Size == 0, ERROR_INSUFFICIENT_BUFFER)) return 0;
    const size_t N = std::min<size_t>(Wide16.size(), Size - 1);
    std::copy_n(Wide16.begin(), N, Name);
    Name[N] = 0;
    return static_cast<DWORD>(N);
  }
  SetError(ERROR_INVALID_PARAMETER);  // no file behind that address
  return 0;
}

BOOL TSimWindows::ReadProcessMemory(HANDLE Process, const void* Address, void* Buffer, SIZE_T Size, SIZE_T* Read) {
  auto [Lock, G] = Enter("ReadProcessMemory");
  if (Read) *Read = 0;
  THandle* H = Find(Process);
  TProcess* P = ProcessBehind(Process);
  if (Refuse(G, !P, ERROR_INVALID_HANDLE) || Refuse(G, !(H->Access & PROCESS_VM_READ), ERROR_ACCESS_DENIED)) return FALSE;
  // Only an image's headers are memory here: "MZ", the offset of "PE\0\0",
  // and the optional header's SizeOfImage (56 bytes into it, as in both widths).
  const uintptr_t At = reinterpret_cast<uintptr_t>(Address);
  for (const TProcess::TView& V : P->Views) {
    if (V.Type != MEM_IMAGE || At != V.Base) continue;
    std::vector<BYTE> Header(0x400);
    if (V.PeAt) Header[0] = 'M', Header[1] = 'Z';
    std::memcpy(&Header[0x3C], &V.PeAt, 4);
    const uint32_t SizeOfImage = V.Claims ? V.Claims : static_cast<uint32_t>(RegionSize * V.Regions);
    if (V.PeAt + 4 <= Header.size()) std::memcpy(&Header[V.PeAt], "PE\0\0", 4);
    if (V.PeAt + 84 <= Header.size()) std::memcpy(&Header[V.PeAt + 4 + 20 + 56], &SizeOfImage, 4);
    if (Refuse(G, Size > Header.size(), ERROR_PARTIAL_COPY)) return FALSE;
    std::memcpy(Buffer, Header.data(), Size);
    if (Read) *Read = Size;
    return TRUE;
  }
  SetError(ERROR_PARTIAL_COPY);
  return FALSE;
}

BOOL TSimWindows::IsWow64Process(HANDLE Process, BOOL* Wow64) {
  auto [Lock, G] = Enter("IsWow64Process");
  TProcess* P = ProcessBehind(Process);
  const bool Self = Process == GetCurrentProcess();
  if (Refuse(G, !Self && !P, ERROR_INVALID_HANDLE)) return FALSE;
  *Wow64 = Self ? SelfWow64 : P->Wow64;
  return TRUE;
}

BOOL TSimWindows::QueryFullProcessImageNameA(HANDLE Process, DWORD Flags, char* Name, DWORD* Size) {
  auto [Lock, G] = Enter("QueryFullProcessImageNameA");
  TProcess* P = ProcessBehind(Process);
  if (FullImageNameMissing || G.Fail || !P || Flags != 0 || !Size || *Size <= P->Path.size()) {
    SetError(FullImageNameMissing ? ERROR_PROC_NOT_FOUND : G.Fail ? G.Error : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memcpy(Name, P->Path.c_str(), P->Path.size() + 1);
  *Size = static_cast<DWORD>(P->Path.size());
  return TRUE;
}

BOOL TSimWindows::TerminateProcess(HANDLE Process, UINT ExitCode) {
  auto [Lock, G] = Enter("TerminateProcess");
  TProcess* P = ProcessBehind(Process);
  if (Refuse(G, !P, ERROR_INVALID_HANDLE)) return FALSE;
  P->ExitCode = ExitCode;
  P->Alive = false;
  P->Handles.clear();
  return TRUE;
}

// ---- Security -------------------------------------------------------------------------

BOOL TSimWindows::OpenThreadToken(HANDLE, DWORD Access, BOOL AsSelf, HANDLE* Token) {
  auto [Lock, G] = Enter("OpenThreadToken");
  ThreadTokenAsSelf.push_back(AsSelf);
  if (Refuse(G, !ThreadToken, ERROR_NO_TOKEN)) return FALSE;
  TokenAccess.push_back(Access);
  auto Object = std::make_shared<TObject>();
  Object->Type = TokenType;
  *Token = AddOwn(Object, "token");
  return TRUE;
}

BOOL TSimWindows::OpenProcessToken(HANDLE, DWORD Access, HANDLE* Token) {
  auto [Lock, G] = Enter("OpenProcessToken");
  if (Refuse(G)) return FALSE;
  TokenAccess.push_back(Access);
  auto Object = std::make_shared<TObject>();
  Object->Type = TokenType;
  *Token = AddOwn(Object, "token");
  return TRUE;
}

BOOL TSimWindows::GetTokenInformation(HANDLE Token, TOKEN_INFORMATION_CLASS Class, void* Info, DWORD Length,
                                      DWORD* ReturnLength) {
  auto [Lock, G] = Enter("GetTokenInformation");
  THandle* H = Find(Token);
  if (Refuse(G, !H || H->Kind != "token" || Class != WindowsTokenGroups, ERROR_INVALID_PARAMETER)) return FALSE;
  size_t Head = offsetof(TOKEN_GROUPS, Groups) + Groups.size() * sizeof(SID_AND_ATTRIBUTES);
  size_t Needed = Head;
  for (auto& Group : Groups) Needed += Group.Sid.size();
  if (ReturnLength) *ReturnLength = static_cast<DWORD>(Needed);
  if (Needed > Length) {
    SetError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* Out = static_cast<TOKEN_GROUPS*>(Info);
  Out->GroupCount = static_cast<DWORD>(Groups.size());
  BYTE* Next = static_cast<BYTE*>(Info) + Head;
  for (size_t I = 0; I < Groups.size(); ++I) {
    std::memcpy(Next, Groups[I].Sid.data(), Groups[I].Sid.size());
    Out->Groups[I].Sid = Next;
    Out->Groups[I].Attributes = Groups[I].Attributes;
    Next += Groups[I].Sid.size();
  }
  return TRUE;
}

BOOL TSimWindows::AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* Authority, BYTE Count, DWORD Sub0, DWORD Sub1,
                                           DWORD Sub2, DWORD Sub3, DWORD Sub4, DWORD Sub5, DWORD Sub6, DWORD Sub7,
                                           PSID* Sid) {
  auto [Lock, G] = Enter("AllocateAndInitializeSid");
  if (Refuse(G, Count == 0 || Count > 8, ERROR_INVALID_PARAMETER)) return FALSE;
  DWORD All[8] = {Sub0, Sub1, Sub2, Sub3, Sub4, Sub5, Sub6, Sub7};
  auto* Bytes = new std::vector<BYTE>(MakeSid(Authority->Value, std::vector<DWORD>(All, All + Count)));
  Sids[Bytes->data()] = Bytes;
  *Sid = Bytes->data();
  return TRUE;
}

BOOL TSimWindows::EqualSid(PSID Sid1, PSID Sid2) {
  auto [Lock, G] = Enter("EqualSid");
  auto* A = static_cast<const BYTE*>(Sid1);
  auto* B = static_cast<const BYTE*>(Sid2);
  if (G.Fail || !A || !B) return FALSE;
  size_t Size = 8 + 4 * A[1];
  return A[1] == B[1] && std::memcmp(A, B, Size) == 0;
}

void* TSimWindows::FreeSid(PSID Sid) {
  TLock Lock(M);
  auto It = Sids.find(Sid);
  if (It == Sids.end()) return Sid;
  delete It->second;
  Sids.erase(It);
  return nullptr;
}

BOOL TSimWindows::LookupPrivilegeValueA(const char*, const char* Name, LUID* Luid) {
  auto [Lock, G] = Enter("LookupPrivilegeValueA");
  if (Refuse(G, std::string(Name) != "SeDebugPrivilege", 1313 /* ERROR_NO_SUCH_PRIVILEGE */)) return FALSE;
  Luid->LowPart = 20;
  Luid->HighPart = 0;
  return TRUE;
}

BOOL TSimWindows::AdjustTokenPrivileges(HANDLE Token, BOOL DisableAll, TOKEN_PRIVILEGES* NewState, DWORD Length,
                                        TOKEN_PRIVILEGES*, DWORD*) {
  auto [Lock, G] = Enter("AdjustTokenPrivileges");
  AdjustDisableAll.push_back(DisableAll);
  THandle* H = Find(Token);
  auto* Bytes = reinterpret_cast<const BYTE*>(NewState);
  AdjustRecords.emplace_back(Bytes, Bytes + sizeof(TOKEN_PRIVILEGES));
  AdjustLengths.push_back(Length);
  if (Refuse(G, !H || H->Kind != "token", ERROR_INVALID_HANDLE)) return FALSE;
  return AdjustResult;
}

// ---- Registry -------------------------------------------------------------------------

std::string TSimWindows::KeyPath(HKEY Key, const char* SubKey) const {
  std::string Base;
  if (Key == HKEY_CURRENT_USER) {
    Base = "hkcu";
  } else if (Key == HKEY_LOCAL_MACHINE) {
    Base = "hklm";
  } else {
    auto It = Keys.find(Key);
    if (It == Keys.end()) return "";
    Base = It->second;
  }
  return SubKey && *SubKey ? Base + "\\" + Lower(SubKey) : Base;
}

void TSimWindows::AddKey(const std::string& Path) {
  for (size_t At = Path.find('\\'); At != std::string::npos; At = Path.find('\\', At + 1))
    Registry[Path.substr(0, At)];
  Registry[Path];
}

HKEY TSimWindows::NewKey(const std::string& Path) {
  HKEY Key = reinterpret_cast<HKEY>(NextKey);
  NextKey += 4;
  Keys[Key] = Path;
  return Key;
}

LONG TSimWindows::RegOpenKeyA(HKEY Key, const char* SubKey, HKEY* Result) {
  auto [Lock, G] = Enter("RegOpenKeyA");
  if (G.Fail) return static_cast<LONG>(G.Error);
  std::string Path = KeyPath(Key, SubKey);
  if (Path.empty()) return ERROR_INVALID_HANDLE;
  if (!Registry.count(Path)) return ERROR_FILE_NOT_FOUND;
  *Result = NewKey(Path);
  return ERROR_SUCCESS;
}

LONG TSimWindows::RegCreateKeyA(HKEY Key, const char* SubKey, HKEY* Result) {
  auto [Lock, G] = Enter("RegCreateKeyA");
  KeysCreated.push_back(SubKey ? SubKey : "");
  if (G.Fail) return static_cast<LONG>(G.Error);
  std::string Path = KeyPath(Key, SubKey);
  if (Path.empty()) return ERROR_INVALID_HANDLE;
  AddKey(Path);
  *Result = NewKey(Path);
  return ERROR_SUCCESS;
}

bool TSimWindows::KeyAllows(HKEY Key, REGSAM Needed) const {
  auto Access = KeyAccess.find(Key);
  return Access == KeyAccess.end() || (Access->second & Needed) == Needed;
}

LONG TSimWindows::RegQueryValueExA(HKEY Key, const char* Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                                   DWORD* Size) {
  return QueryValue("RegQueryValueExA", Key, Name ? Name : "", Reserved, Type, Data, Size);
}

LONG TSimWindows::RegQueryValueExW(HKEY Key, const WCHAR* Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                                   DWORD* Size) {
  return QueryValue("RegQueryValueExW", Key, NarrowName(Name), Reserved, Type, Data, Size);
}

LONG TSimWindows::QueryValue(const char* Op, HKEY Key, const std::string& Name, DWORD* Reserved, DWORD* Type,
                             BYTE* Data, DWORD* Size) {
  auto [Lock, G] = Enter(Op);
  if (G.Fail) return static_cast<LONG>(G.Error);
  if (Reserved) return ERROR_INVALID_PARAMETER;  // documented as must be null
  auto K = Keys.find(Key);
  if (K == Keys.end()) return ERROR_INVALID_HANDLE;
  if (!KeyAllows(Key, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  auto& Values = Registry[K->second];
  auto V = Values.find(Name);
  if (V == Values.end()) return ERROR_FILE_NOT_FOUND;
  if (Type) *Type = V->second.Type;
  DWORD Needed = static_cast<DWORD>(V->second.Data.size());
  if (!Data) {
    if (Size) *Size = Needed;
    return ERROR_SUCCESS;
  }
  if (!Size) return ERROR_INVALID_PARAMETER;
  if (*Size < Needed) {
    *Size = Needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(Data, V->second.Data.data(), Needed);
  *Size = Needed;
  return ERROR_SUCCESS;
}

LONG TSimWindows::RegSetValueExA(HKEY Key, const char* Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                                 DWORD Size) {
  return SetValue("RegSetValueExA", Key, Name ? Name : "", Reserved, Type, Data, Size);
}

LONG TSimWindows::RegSetValueExW(HKEY Key, const WCHAR* Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                                 DWORD Size) {
  return SetValue("RegSetValueExW", Key, NarrowName(Name), Reserved, Type, Data, Size);
}

LONG TSimWindows::SetValue(const char* Op, HKEY Key, const std::string& Name, DWORD Reserved, DWORD Type,
                           const BYTE* Data, DWORD Size) {
  auto [Lock, G] = Enter(Op);
  if (G.Fail) return static_cast<LONG>(G.Error);
  if (Reserved != 0) return ERROR_INVALID_PARAMETER;  // documented as must be zero
  auto K = Keys.find(Key);
  if (K == Keys.end()) return ERROR_INVALID_HANDLE;
  if (!KeyAllows(Key, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  Registry[K->second][Name] = {Type, std::string(reinterpret_cast<const char*>(Data), Size)};
  return ERROR_SUCCESS;
}

LONG TSimWindows::RegCloseKey(HKEY Key) {
  auto [Lock, G] = Enter("RegCloseKey");
  if (!Keys.erase(Key)) return ERROR_INVALID_HANDLE;
  KeyAccess.erase(Key);
  return G.Fail ? static_cast<LONG>(G.Error) : ERROR_SUCCESS;
}

LONG TSimWindows::RegCreateKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Reserved, WCHAR* Class, DWORD Options,
                                  REGSAM Access, void*, HKEY* Result, DWORD* Disposition) {
  auto [Lock, G] = Enter("RegCreateKeyExW");
  if (G.Fail) return static_cast<LONG>(G.Error);
  if (Reserved != 0 || Class || Options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
  const std::string Path = KeyPath(Key, NarrowName(SubKey).c_str());
  if (Path.empty()) return ERROR_INVALID_HANDLE;
  // A subkey is made only through a key opened to make one.
  if (!KeyAllows(Key, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  if (Disposition) *Disposition = Registry.count(Path) ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  AddKey(Path);
  *Result = NewKey(Path);
  KeyAccess[*Result] = Access;
  return ERROR_SUCCESS;
}

LONG TSimWindows::RegOpenKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Options, REGSAM Access, HKEY* Result) {
  auto [Lock, G] = Enter("RegOpenKeyExW");
  if (G.Fail) return static_cast<LONG>(G.Error);
  if (Options != 0) return ERROR_INVALID_PARAMETER;
  const std::string Path = KeyPath(Key, NarrowName(SubKey).c_str());
  if (Path.empty()) return ERROR_INVALID_HANDLE;
  if (!Registry.count(Path)) return ERROR_FILE_NOT_FOUND;
  *Result = NewKey(Path);
  KeyAccess[*Result] = Access;
  return ERROR_SUCCESS;
}

LONG TSimWindows::RegDeleteKeyW(HKEY Key, const WCHAR* SubKey) {
  auto [Lock, G] = Enter("RegDeleteKeyW");
  if (G.Fail) return static_cast<LONG>(G.Error);
  const std::string Path = KeyPath(Key, NarrowName(SubKey).c_str());
  if (Path.empty()) return ERROR_INVALID_HANDLE;
  if (!Registry.count(Path)) return ERROR_FILE_NOT_FOUND;
  // As Windows refuses it: a key's subkeys are never deleted with it.
  auto Below = Registry.lower_bound(Path + "\\");
  if (Below != Registry.end() && Below->first.rfind(Path + "\\", 0) == 0) return ERROR_ACCESS_DENIED;
  Registry.erase(Path);
  return ERROR_SUCCESS;
}

// ---- Shell and the rest ---------------------------------------------------------------------

HINSTANCE TSimWindows::ShellExecuteA(HWND Owner, const char* Verb, const char* File, const char* Parameters,
                                     const char* Directory, int Show) {
  auto [Lock, G] = Enter("ShellExecuteA");
  TShellCall Call;
  Call.Owner = Owner;
  Call.Verb = Verb ? Verb : "";
  Call.File = File ? File : "";
  Call.Parameters = Parameters ? Parameters : "<null>";
  Call.Directory = Directory ? Directory : "<null>";
  Call.Show = Show;
  ShellCalls.push_back(Call);
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(G.Fail ? 2 : 42));
}

BOOL TSimWindows::ShellExecuteExA(SHELLEXECUTEINFOA* Info) {
  auto [Lock, G] = Enter("ShellExecuteExA");
  TShellCall Call;
  Call.Ex = true;
  Call.Owner = Info->hwnd;
  Call.Verb = Info->lpVerb ? Info->lpVerb : "";
  Call.File = Info->lpFile ? Info->lpFile : "";
  Call.Parameters = Info->lpParameters ? Info->lpParameters : "<null>";
  Call.Directory = Info->lpDirectory ? Info->lpDirectory : "<null>";
  Call.Show = Info->nShow;
  Call.CbSize = Info->cbSize;
  Call.Mask = Info->fMask;
  ShellCalls.push_back(Call);
  return G.Fail ? FALSE : TRUE;
}

int TSimWindows::MessageBoxA(HWND Owner, const char* Text, const char* Caption, UINT Type) {
  RunHook("MessageBoxA");
  TLock Lock(M);
  Gate(Lock, "MessageBoxA");
  MessageBoxes.push_back({Owner, Text ? Text : "", Caption ? Caption : "", Type});
  return MessageBoxAnswer;
}

void TSimWindows::ExitProcess(UINT ExitCode) {
  {
    TLock Lock(M);
    Log.emplace_back("ExitProcess");
  }
  throw TSimExit{ExitCode};
}

void TSimWindows::Sleep(DWORD Milliseconds) {
  TLock Lock(M);
  Gate(Lock, "Sleep");
  // The program's own thread does not wait: its sleeps are only recorded.
  auto* T = static_cast<TThread*>(CurrentThread);
  if (!T) {
    Sleeps.push_back(Milliseconds);
    return;
  }
  // A worker sleeps inside the system, where an end may reach it.
  ++T->Waiting;
  auto Woken = [&] { return T->Terminated || ShuttingDown; };
  if (Milliseconds == INFINITE)
    Changed.wait(Lock, Woken);
  else
    Changed.wait_for(Lock, std::chrono::milliseconds(Milliseconds), Woken);
  --T->Waiting;
  CheckTerminated();
}

BOOL TSimWindows::GetSaveFileNameA(OPENFILENAMEA* Dialog) {
  auto [Lock, G] = Enter("GetSaveFileNameA");
  SaveDialogs.emplace_back(Dialog->Flags, Dialog->lStructSize);
  std::string Filter;
  for (const char* F = Dialog->lpstrFilter; F && *F; F += std::strlen(F) + 1) Filter += std::string(F) + "|";
  SaveDialogFilters.push_back(Filter);
  SaveDialogDefExt.push_back(Dialog->lpstrDefExt ? Dialog->lpstrDefExt : "");
  if (G.Fail || SaveFileAnswer.empty() || SaveFileAnswer.size() + 1 > Dialog->nMaxFile) return FALSE;
  std::memcpy(Dialog->lpstrFile, SaveFileAnswer.c_str(), SaveFileAnswer.size() + 1);
  return TRUE;
}

BOOL TSimWindows::GetOpenFileNameA(OPENFILENAMEA* Dialog) {
  auto [Lock, G] = Enter("GetOpenFileNameA");
  OpenDialogs.push_back(Dialog->Flags);
  if (G.Fail || OpenFileAnswer.empty() || OpenFileAnswer.size() + 1 > Dialog->nMaxFile) return FALSE;
  std::memcpy(Dialog->lpstrFile, OpenFileAnswer.c_str(), OpenFileAnswer.size() + 1);
  return TRUE;
}

BOOL TSimWindows::OpenClipboard(HWND Owner) {
  auto [Lock, G] = Enter("OpenClipboard");
  // Another program holding it open makes it fail, as a failure planned here.
  if (Refuse(G, ClipboardOpen_, ERROR_ACCESS_DENIED)) return FALSE;
  ClipboardOpen_ = true;
  ClipboardEmptied = false;
  ClipboardOwner = Owner;
  return TRUE;
}

BOOL TSimWindows::EmptyClipboard() {
  auto [Lock, G] = Enter("EmptyClipboard");
  if (Refuse(G, !ClipboardOpen_, ERROR_ACCESS_DENIED)) return FALSE;
  ClipboardEmptied = true;
  Clipboard.clear();
  return TRUE;
}

HANDLE TSimWindows::SetClipboardData(UINT Format, HANDLE Data) {
  auto [Lock, G] = Enter("SetClipboardData");
  auto It = Globals.find(Data);
  // Only a window that emptied it may put data there (opened with no window,
  // the emptied clipboard has no owner), and only in a movable block.
  if (Refuse(G, !ClipboardOpen_ || !ClipboardEmptied || !ClipboardOwner || It == Globals.end() ||
                    !(It->second->Flags & GMEM_MOVEABLE),
             ERROR_ACCESS_DENIED))
    return nullptr;
  Clipboard.emplace_back(Format, It->second->Data);
  Globals.erase(It);  // the system's from now on
  return Data;
}

BOOL TSimWindows::CloseClipboard() {
  TLock Lock(M);
  Gate(Lock, "CloseClipboard");
  if (!ClipboardOpen_) {
    SetError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  ClipboardOpen_ = false;
  return TRUE;
}

HGLOBAL TSimWindows::GlobalAlloc(UINT Flags, SIZE_T Bytes) {
  auto [Lock, G] = Enter("GlobalAlloc");
  if (G.Fail || Bytes > AllocationLimit) {
    SetError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto Block = std::make_unique<TGlobal>();
  Block->Data.assign(Bytes, '\xCD');  // not zeroed, as GlobalAlloc without GMEM_ZEROINIT
  Block->Flags = Flags;
  HGLOBAL Handle = Block.get();
  Globals[Handle] = std::move(Block);
  return Handle;
}

void* TSimWindows::GlobalLock(HGLOBAL Memory) {
  auto [Lock, G] = Enter("GlobalLock");
  auto It = Globals.find(Memory);
  if (Refuse(G, It == Globals.end(), ERROR_INVALID_HANDLE)) return nullptr;
  ++It->second->Locks;
  return It->second->Data.data();
}

BOOL TSimWindows::GlobalUnlock(HGLOBAL Memory) {
  TLock Lock(M);
  Gate(Lock, "GlobalUnlock");
  auto It = Globals.find(Memory);
  if (It == Globals.end() || It->second->Locks == 0) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // FALSE with no error once the last lock is gone, as on Windows.
  SetError(0);
  return --It->second->Locks > 0;
}

HGLOBAL TSimWindows::GlobalFree(HGLOBAL Memory) {
  TLock Lock(M);
  Gate(Lock, "GlobalFree");
  if (Globals.erase(Memory) == 0) {
    SetError(ERROR_INVALID_HANDLE);
    return Memory;
  }
  return nullptr;
}

UINT_PTR TSimWindows::SetTimer(HWND Window, UINT_PTR Id, UINT Elapse, TIMERPROC) {
  auto [Lock, G] = Enter("SetTimer");
  if (Refuse(G)) return 0;
  Timers[{Window, Id}] = Elapse;
  return Id;
}

BOOL TSimWindows::KillTimer(HWND Window, UINT_PTR Id) {
  TLock Lock(M);
  Gate(Lock, "KillTimer");
  return Timers.erase({Window, Id}) ? TRUE : FALSE;
}

void TSimWindows::ProcessMessages() {
  std::function<void()> Hook;
  {
    TLock Lock(M);
    ++ProcessMessagesCalls;
    Hook = OnProcessMessages;
  }
  if (Hook) Hook();
}

// ---- Console --------------------------------------------------------------------------

namespace {
// Standard handles are not in any handle table, as on Windows, where they
// may be console handles of no object.
HANDLE const StdOutHandle = reinterpret_cast<HANDLE>(uintptr_t(0x7FF0)), StdErrHandle = reinterpret_cast<HANDLE>(uintptr_t(0x7FF4)),
             StdInHandle = reinterpret_cast<HANDLE>(uintptr_t(0x7FEC));
}  // namespace

TSimWindows::TStdStream* TSimWindows::StdStream(HANDLE Handle) {
  if (Handle == StdOutHandle || Handle == StdErrHandle || Handle == StdInHandle)
    return Handle == StdOutHandle ? &StdOut : Handle == StdErrHandle ? &StdErr : &StdIn;
  const THandle* H = Find(Handle);
  return H && H->Kind == "screen" ? &Screen : nullptr;
}

HANDLE TSimWindows::GetStdHandle(DWORD Which) {
  auto [Lock, G] = Enter("GetStdHandle");
  if (Refuse(G)) return INVALID_HANDLE_VALUE;
  return Which == STD_OUTPUT_HANDLE  ? StdOutHandle
         : Which == STD_ERROR_HANDLE ? StdErrHandle
         : Which == STD_INPUT_HANDLE ? StdInHandle
                                     : nullptr;
}

BOOL TSimWindows::GetConsoleMode(HANDLE Console, DWORD* Mode) {
  auto [Lock, G] = Enter("GetConsoleMode");
  TStdStream* S = StdStream(Console);
  if (G.Fail || !S || !S->Console) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *Mode = 3;
  return TRUE;
}

BOOL TSimWindows::WriteConsoleW(HANDLE Console, const WCHAR* Text, DWORD Count, DWORD* Written, void*) {
  auto [Lock, G] = Enter("WriteConsoleW");
  if (Written) *Written = 0;
  TStdStream* S = StdStream(Console);
  // A file or pipe is no console: the call is refused; the screen takes
  // only what was opened to be written.
  const THandle* Opened = Find(Console);
  if (Refuse(G, !S || !S->Console || (Opened && !(Opened->Access & GENERIC_WRITE)), ERROR_INVALID_HANDLE))
    return FALSE;
  S->ConsoleText.append(reinterpret_cast<const char16_t*>(Text), Count);
  if (Count && Text[Count - 1] >= 0xD800 && Text[Count - 1] <= 0xDBFF) S->SplitPair = true;
  ++S->Writes;
  if (Written) *Written = Count;
  return TRUE;
}

BOOL TSimWindows::ReadConsoleW(HANDLE Console, WCHAR* Text, DWORD Count, DWORD* Read, void*) {
  RunHook("ReadConsoleW");
  TLock Lock(M);
  TGate G = Gate(Lock, "ReadConsoleW");
  if (Read) *Read = 0;
  // Only standard input is read, and only from a console.
  if (G.Fail || Console != StdInHandle || !StdIn.Console || !Text || !Read) {
    SetError(G.Fail ? G.Error : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  StdIn.ScreenAtRead.push_back(Screen.ConsoleText);
  std::u16string& From = StdIn.Ahead.empty() ? StdIn.Typed : StdIn.Ahead;
  const size_t LineEnd = From.find(u'\n');
  const size_t Take = std::min<size_t>(Count, LineEnd == std::u16string::npos ? From.size() : LineEnd + 1);
  std::copy_n(From.begin(), Take, Text);
  From.erase(0, Take);
  *Read = static_cast<DWORD>(Take);
  return TRUE;
}

HWND TSimWindows::GetConsoleWindow() {
  auto [Lock, G] = Enter("GetConsoleWindow");
  return HasConsole() && ConsoleHasWindow && !G.Fail ? reinterpret_cast<HWND>(uintptr_t(0x50000)) : nullptr;
}

namespace {
HWINSTA const Station = reinterpret_cast<HWINSTA>(uintptr_t(0x60000));
}  // namespace

HWINSTA TSimWindows::GetProcessWindowStation() {
  auto [Lock, G] = Enter("GetProcessWindowStation");
  if (Refuse(G)) return nullptr;
  return Station;
}

BOOL TSimWindows::GetUserObjectInformationW(HANDLE Object, int Index, void* Info, DWORD Length, DWORD* Needed) {
  auto [Lock, G] = Enter("GetUserObjectInformationW");
  if (Refuse(G, Object != static_cast<void*>(Station) || Index != WindowsObjectFlags, ERROR_INVALID_PARAMETER))
    return FALSE;
  if (Needed) *Needed = sizeof(USEROBJECTFLAGS);
  if (Refuse(G, !Info || Length < sizeof(USEROBJECTFLAGS), ERROR_INSUFFICIENT_BUFFER)) return FALSE;
  USEROBJECTFLAGS Flags = {FALSE, FALSE, StationVisible ? WindowsStationVisible : 0};
  std::memcpy(Info, &Flags, sizeof Flags);
  return TRUE;
}

BOOL TSimWindows::FlushConsoleInputBuffer(HANDLE Console) {
  auto [Lock, G] = Enter("FlushConsoleInputBuffer");
  if (Refuse(G, Console != StdInHandle || !StdIn.Console, ERROR_INVALID_HANDLE)) return FALSE;
  StdIn.Ahead.clear();
  return TRUE;
}
