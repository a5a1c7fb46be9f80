// A simulated Windows for the tests: an in-memory machine with processes and
// their handle tables, file objects named in device form, drives, the user's
// and the machine's registry, a token, files and threads. It counts every handle, block, thread,
// snapshot, key and SID it hands out, and any call can be made to fail, return
// a chosen status, or block until the test lets it go.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <thread>
#include <vector>

#include "os/System.h"

// Thrown by ExitProcess so a test can see that the program ended.
struct TSimExit {
  UINT Code;
};

class TSimWindows : public TSystem {
 public:
  static constexpr uint16_t DefaultFileType = 37;
  static constexpr uint16_t ProcessType = 7, ThreadType = 8, TokenType = 5, SnapshotType = 42, EventType = 12;
  static constexpr DWORD DefaultSelfPid = 1000;

  struct TObject {
    // The kernel address the table gives: never the same twice in a run, so
    // no machine inherits what the program remembered of another's objects.
    uintptr_t Address = NewAddress();
    uint16_t Type = DefaultFileType;
    std::u16string Name;      // full object name, with its device part
    std::u16string FileName;  // the name without its device part
    bool Hang = false;        // the name queries never return until released
    NTSTATUS ObjectNameStatus = STATUS_SUCCESS;
    NTSTATUS FileNameStatus = STATUS_SUCCESS;
    bool NoDuplicate = false;
  };

  struct THandle {
    uintptr_t Value;
    std::shared_ptr<TObject> Object;
    std::string Kind;  // what the accounting calls it: file, process, thread, snapshot, token, object
    DWORD Target = 0;  // the process a process handle refers to
    size_t Thread = 0; // index+1 of the thread a thread handle refers to
    size_t Snapshot = 0;
    DWORD Access = 0;  // what a process handle was opened for
  };

  struct TProcess {
    DWORD Pid = 0;
    std::string Exe;
    std::string Path;
    bool Alive = true;
    bool CanOpen = true;
    std::vector<THandle> Handles;
    uintptr_t NextHandle = 4;
    UINT ExitCode = 0;
    // What its address space maps from files: loaded images and data views,
    // each one allocation of Regions regions.
    struct TView {
      uintptr_t Base;
      DWORD Type;  // MEM_IMAGE or MEM_MAPPED
      std::string Name;  // in device form, as GetMappedFileNameW answers
      int Regions;
      uint32_t Claims = 0;  // the size an image's headers claim; 0: its own
      uint32_t PeAt = 0x80;  // where its headers say "PE\0\0" stands; 0: no "MZ" either
    };
    std::vector<TView> Views;
    bool CanQuery = true;  // opens for its memory and queries, as a protected process does not
    bool Wow64 = false;    // a 32-bit process on 64-bit Windows
    bool Critical = false;  // the system cannot lose it (ProcessBreakOnTermination)
  };

  struct TRegValue {
    DWORD Type = REG_DWORD;
    std::string Data;
  };

  struct TSimFile {
    std::string Data;
    bool ReadOnly = false;
    bool Open = false;
  };

  struct TShellCall {
    std::string Verb, File, Parameters, Directory;
    HWND Owner = nullptr;
    int Show = 0;
    DWORD CbSize = 0;
    ULONG Mask = 0;
    bool Ex = false;
  };

  struct TMessageBox {
    HWND Owner;
    std::string Text, Caption;
    UINT Type;
  };

  struct TDuplicateCall {
    DWORD From;  // the process the source handle lives in
    uintptr_t Source;
    bool IntoSelf;  // the target process is this one
    DWORD Access;
    BOOL Inherit;
    DWORD Options;
    bool operator==(const TDuplicateCall& O) const {
      return std::tie(From, Source, IntoSelf, Access, Inherit, Options) ==
             std::tie(O.From, O.Source, O.IntoSelf, O.Access, O.Inherit, O.Options);
    }
  };

  TSimWindows();
  ~TSimWindows() override;

  // ---- Building the machine -------------------------------------------------
  TProcess& AddProcess(DWORD Pid, const std::string& Exe, const std::string& Path = "");
  TProcess& Process(DWORD Pid);
  // Adds a file handle to a process; Name is the full object name
  // (\Device\HarddiskVolume1\x.log, \??\C:\x.log, \Device\NamedPipe\p).
  uintptr_t AddFile(DWORD Pid, const std::string& Name, uintptr_t Value = 0);
  uintptr_t AddObject(DWORD Pid, uint16_t Type, const std::string& Name, uintptr_t Value = 0);
  TObject& ObjectOf(DWORD Pid, uintptr_t Value);
  // Maps a file into a process: MEM_IMAGE for a loaded image, MEM_MAPPED for
  // a data view; returns the view's base.
  uintptr_t AddView(DWORD Pid, DWORD Type, const std::string& Name, int Regions = 3);
  void EndProcess(DWORD Pid);
  // The process closes one of its handles.
  void RemoveHandle(DWORD Pid, uintptr_t Value);
  bool Holds(DWORD Pid, uintptr_t Value) const;
  void AddDrive(char Letter, const std::string& Target);
  // A registry key, with every key above it (Path as Registry keeps it).
  void AddKey(const std::string& Path);
  static std::u16string Wide(const std::string& Text);
  // The other way, each unit on its own (a pair's halves alike): how the
  // machine keeps a key path or value name given wide.
  static std::string Narrow(const std::u16string& Text);
  static uintptr_t NewAddress();

  DWORD SelfPid = DefaultSelfPid;
  uint16_t FileTypeNumber = DefaultFileType;
  bool ExtendedTableSupported = true;
  size_t AllocationLimit = SIZE_MAX;  // VirtualAlloc fails above this size
  bool DoubleByteCodePage = false;    // non-ASCII characters take two bytes
  // What the object-name query says when the name does not fit a buffer
  // that holds its record's header: Windows versions differ.
  NTSTATUS ObjectNameTooSmall = STATUS_INFO_LENGTH_MISMATCH;
  bool PsapiMissing = false;
  bool SelfWow64 = false;  // this program is a 32-bit one on 64-bit Windows
  // What GetFullPathNameW resolves from, and the long forms GetLongPathNameW
  // knows (its short path, exactly, to its long one); any other path does not exist.
  std::u16string CurrentDirectory = u"C:\\work";
  std::map<std::u16string, std::u16string> LongNames;
  bool FullImageNameMissing = false;  // QueryFullProcessImageNameA, as before Vista
  bool ThreadToken = false;           // OpenThreadToken finds a token
  // As Wine does: a terminated thread is reported ended at once, while it
  // runs on until its next call of the system (the call it is in returns).
  bool EndReportedEarly = false;
  // As Windows documents it: a failed DUPLICATE_CLOSE_SOURCE has closed the
  // source all the same.
  bool CloseSourceOnFailure = false;
  // How long each name query takes: the clock moves on so far as it begins,
  // and it answers half as many real milliseconds later, so that the
  // waiting side looks while it runs.
  DWORD NameQueryMs = 0;
  // Moves the clock GetTickCount reads: time passes without a wait.
  void AdvanceClock(DWORD Milliseconds) { ClockOffset += Milliseconds; }
  // Stops the clock's own running: from now on only AdvanceClock moves it.
  void FreezeClock();
  struct TGroup {
    std::vector<BYTE> Sid;
    DWORD Attributes;
  };
  std::vector<TGroup> Groups;
  static std::vector<BYTE> MakeSid(const BYTE (&Authority)[6], std::vector<DWORD> Subs);
  void AddAdministratorsGroup(DWORD Attributes);
  // Lower-case key path ("hkcu\\software", "hklm\\software") -> values;
  // names and paths given wide are kept as UTF-8, string values as given.
  std::map<std::string, std::map<std::string, TRegValue>> Registry;
  std::map<std::string, TSimFile> Files;
  size_t DiskFree = SIZE_MAX;  // bytes a write may still store

  // ---- Faults -----------------------------------------------------------------
  // The Nth call of Op from now on fails with Error (0 = every call).
  void FailCall(const std::string& Op, int Nth = 1, DWORD Error = ERROR_ACCESS_DENIED);
  // The Nth call of an NT call returns Status (0 = every call).
  void StatusCall(const std::string& Op, NTSTATUS Status, int Nth = 1);
  // The Nth call of Op waits until ReleaseBlocked.
  void BlockCall(const std::string& Op, int Nth = 1);
  // The Kth call counted by the simulation, whatever its operation, fails.
  void FailGlobalCall(long K, DWORD Error = ERROR_ACCESS_DENIED) {
    FailGlobalAt = K;
    GlobalError = Error;
  }
  // "ThreadStart" and "ThreadEnd" stand for a thread's start and end inside
  // the system, so tests can stall them too.
  void ReleaseBlocked();
  // Runs Hook once, on the calling thread, as the next call of Op begins (any
  // call that is counted, and GetTickCount, MessageBoxA and ReadConsoleW): a
  // test acts between two of the program's steps.
  void OnNextCall(const std::string& Op, std::function<void()> Hook) {
    TLock Lock(M);
    Hooks[Op] = std::move(Hook);
  }
  long TotalCalls() const;
  int Calls(const std::string& Op) const;
  std::vector<std::string> CallLog() const;  // operation names in order

  // ---- Accounting ---------------------------------------------------------------
  // What is still held: "handle:file 2, block 1, ..." ; empty when nothing.
  std::string Outstanding() const;
  int OpenHandles(const std::string& Kind) const;
  int LiveThreads() const;
  int ThreadsCreated() const;
  // Threads ended by TerminateThread while not blocked inside a call of the
  // system: while starting, ending or running their own code.
  int UnsafeTerminations() const {
    TLock Lock(M);
    return UnsafeTerminations_;
  }
  // Waits (a few seconds at most) for every simulated thread to end.
  bool WaitThreads();

  // ---- What the program did -------------------------------------------------------
  std::vector<TMessageBox> MessageBoxes;
  int MessageBoxAnswer = IDOK;
  // Every DuplicateHandle, from the program's thread and its workers alike.
  std::vector<TDuplicateCall> DuplicateCalls;
  // What SetClipboardData was given: the format and the block's bytes whole.
  std::vector<std::pair<UINT, std::string>> Clipboard;
  HWND ClipboardOwner = nullptr;
  bool ClipboardOpen() const {
    TLock Lock(M);
    return ClipboardOpen_;
  }
  std::vector<TShellCall> ShellCalls;
  std::vector<DWORD> Sleeps;
  // The arguments Windows is given where a wrong one would go unnoticed: each
  // call appends what it was asked.
  struct TCreateFileCall {
    std::string Name;
    DWORD Access, Share, Disposition, Attributes;
    bool operator==(const TCreateFileCall& O) const {
      return std::tie(Name, Access, Share, Disposition, Attributes) ==
             std::tie(O.Name, O.Access, O.Share, O.Disposition, O.Attributes);
    }
  };
  std::vector<TCreateFileCall> CreateFileCalls;
  std::vector<std::tuple<DWORD, BOOL, DWORD>> OpenProcessCalls;  // access, inherit, pid
  std::vector<BOOL> ThreadTokenAsSelf;                            // OpenAsSelf of each OpenThreadToken
  std::vector<BOOL> AdjustDisableAll;                             // DisableAllPrivileges of each adjust
  std::vector<std::vector<BYTE>> AdjustRecords;  // bytes of each TOKEN_PRIVILEGES passed
  std::vector<DWORD> AdjustLengths;
  std::vector<DWORD> TokenAccess;        // access asked of each token opened
  std::vector<std::string> KeysCreated;  // the path given to each RegCreateKeyA
  std::vector<std::pair<DWORD, ULONG>> SaveDialogs;          // flags, struct size
  std::vector<std::string> SaveDialogFilters, SaveDialogDefExt;
  std::string SaveFileAnswer;  // empty: the user cancels
  std::vector<DWORD> OpenDialogs;  // flags of each Open dialog shown
  std::vector<std::pair<SIZE_T, DWORD>> ThreadArguments;  // stack size and flags of each CreateThread
  std::string OpenFileAnswer;      // empty: the user cancels
  BOOL AdjustResult = TRUE;
  long ProcessMessagesCalls = 0;
  std::function<void()> OnProcessMessages;
  std::vector<ULONG> SystemQueryLengths;
  std::map<std::pair<HWND, UINT_PTR>, UINT> Timers;  // the timers set: window and id, period
  // Standard output and error: a file or pipe takes bytes, a console takes
  // UTF-16 through WriteConsoleW (and bytes through WriteFile, as Windows does).
  struct TStdStream {
    bool Console = false;
    std::string Bytes;
    std::u16string ConsoleText;
    size_t Writes = 0;  // calls that wrote to it
    bool SplitPair = false;  // a WriteConsoleW call ended inside a surrogate pair
    // Standard input only: what the user will type, handed out a line at a
    // time; once it is used up a read returns nothing, as at the end of input.
    std::u16string Typed;
    // Standard input only: keys already waiting in the console's buffer,
    // read before Typed; FlushConsoleInputBuffer discards them.
    std::u16string Ahead;
    std::vector<std::u16string> ScreenAtRead;  // the console's screen at each ReadConsoleW
  };
  TStdStream StdOut, StdErr, StdIn;
  // The console's own screen (CONOUT$), which the process has when any of
  // its standard handles is a console; its window, which a console may lack;
  // and whether its window station is one a person sees.
  TStdStream Screen;
  bool ConsoleHasWindow = true;
  bool StationVisible = true;

  // ---- TSystem ------------------------------------------------------------------------
  NTSTATUS NtQuerySystemInformation(ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) override;
  NTSTATUS NtQueryInformationFile(HANDLE File, IO_STATUS_BLOCK* IoStatus, void* Info, ULONG Length,
                                  ULONG InfoClass) override;
  NTSTATUS NtQueryObject(HANDLE Handle, ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) override;
  // Closing only where it cannot hurt the system.
  NTSTATUS NtQueryInformationProcess(HANDLE Process, ULONG InfoClass, void* Info, ULONG Length,
                                     ULONG* ReturnLength) override;
  void* VirtualAlloc(void* Address, SIZE_T Size, DWORD AllocationType, DWORD Protect) override;
  BOOL VirtualFree(void* Address, SIZE_T Size, DWORD FreeType) override;
  HANDLE CreateFileA(const char* Name, DWORD Access, DWORD ShareMode, void* Security, DWORD Disposition,
                     DWORD Attributes, HANDLE Template) override;
  DWORD GetFileAttributesA(const char* Name) override;
  BOOL WriteFile(HANDLE File, const void* Data, DWORD Size, DWORD* Written, void* Overlapped) override;
  BOOL DuplicateHandle(HANDLE SourceProcess, HANDLE Source, HANDLE TargetProcess, HANDLE* Target, DWORD Access,
                       BOOL Inherit, DWORD Options) override;
  BOOL CloseHandle(HANDLE Handle) override;
  HANDLE GetCurrentProcess() override;
  DWORD GetCurrentProcessId() override;
  HANDLE GetCurrentThread() override;
  DWORD GetLastError() override;
  DWORD GetTickCount() override;
  // Opens only the console's own screen, CONOUT$.
  HANDLE CreateFileW(const WCHAR* Name, DWORD Access, DWORD ShareMode, void* Security, DWORD Disposition,
                     DWORD Attributes, HANDLE Template) override;
  DWORD GetFileAttributesW(const WCHAR* Name) override;
  HANDLE CreateThread(void* Security, SIZE_T StackSize, LPTHREAD_START_ROUTINE Start, void* Parameter, DWORD Flags,
                      DWORD* ThreadId) override;
  DWORD WaitForSingleObject(HANDLE Handle, DWORD Milliseconds) override;
  BOOL GetExitCodeThread(HANDLE Thread, DWORD* ExitCode) override;
  BOOL TerminateThread(HANDLE Thread, DWORD ExitCode) override;
  DWORD GetLogicalDriveStringsA(DWORD Length, char* Buffer) override;
  DWORD QueryDosDeviceA(const char* DeviceName, char* TargetPath, DWORD Max) override;
  int WideCharToMultiByte(UINT CodePage, DWORD Flags, const WCHAR* Wide, int WideCount, char* Multi, int MultiSize,
                          const char* DefaultChar, BOOL* UsedDefault) override;
  DWORD CharUpperBuffA(char* Text, DWORD Length) override;
  DWORD CharUpperBuffW(WCHAR* Text, DWORD Length) override;
  int MultiByteToWideChar(UINT CodePage, DWORD Flags, const char* Multi, int MultiCount, WCHAR* Wide,
                          int WideSize) override;
  DWORD GetFullPathNameW(const WCHAR* Name, DWORD Length, WCHAR* Buffer, WCHAR** FilePart) override;
  DWORD GetLongPathNameW(const WCHAR* Short, WCHAR* Long, DWORD Length) override;
  HANDLE CreateToolhelp32Snapshot(DWORD Flags, DWORD ProcessId) override;
  BOOL Process32First(HANDLE Snapshot, PROCESSENTRY32* Entry) override;
  BOOL Process32Next(HANDLE Snapshot, PROCESSENTRY32* Entry) override;
  BOOL Process32FirstW(HANDLE Snapshot, PROCESSENTRY32W* Entry) override;
  BOOL Process32NextW(HANDLE Snapshot, PROCESSENTRY32W* Entry) override;
  HANDLE OpenProcess(DWORD Access, BOOL Inherit, DWORD ProcessId) override;
  DWORD GetModuleFileNameExA(HANDLE Process, HMODULE Module, char* FileName, DWORD Size) override;
  BOOL QueryFullProcessImageNameA(HANDLE Process, DWORD Flags, char* Name, DWORD* Size) override;
  BOOL TerminateProcess(HANDLE Process, UINT ExitCode) override;
  SIZE_T VirtualQueryEx(HANDLE Process, const void* Address, MEMORY_BASIC_INFORMATION* Info, SIZE_T Length) override;
  DWORD GetMappedFileNameW(HANDLE Process, void* Address, WCHAR* Name, DWORD Size) override;
  BOOL ReadProcessMemory(HANDLE Process, const void* Address, void* Buffer, SIZE_T Size, SIZE_T* Read) override;
  BOOL IsWow64Process(HANDLE Process, BOOL* Wow64) override;
  DWORD GetModuleFileNameW(HMODULE Module, WCHAR* Name, DWORD Size) override;
  BOOL OpenThreadToken(HANDLE Thread, DWORD Access, BOOL OpenAsSelf, HANDLE* Token) override;
  BOOL OpenProcessToken(HANDLE Process, DWORD Access, HANDLE* Token) override;
  BOOL GetTokenInformation(HANDLE Token, TOKEN_INFORMATION_CLASS Class, void* Info, DWORD Length,
                           DWORD* ReturnLength) override;
  BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* Authority, BYTE Count, DWORD Sub0, DWORD Sub1, DWORD Sub2,
                                DWORD Sub3, DWORD Sub4, DWORD Sub5, DWORD Sub6, DWORD Sub7, PSID* Sid) override;
  BOOL EqualSid(PSID Sid1, PSID Sid2) override;
  void* FreeSid(PSID Sid) override;
  BOOL LookupPrivilegeValueA(const char* System, const char* Name, LUID* Luid) override;
  BOOL AdjustTokenPrivileges(HANDLE Token, BOOL DisableAll, TOKEN_PRIVILEGES* NewState, DWORD Length,
                             TOKEN_PRIVILEGES* Previous, DWORD* ReturnLength) override;
  LONG RegOpenKeyA(HKEY Key, const char* SubKey, HKEY* Result) override;
  LONG RegCreateKeyA(HKEY Key, const char* SubKey, HKEY* Result) override;
  LONG RegQueryValueExA(HKEY Key, const char* Name, DWORD* Reserved, DWORD* Type, BYTE* Data, DWORD* Size) override;
  LONG RegSetValueExA(HKEY Key, const char* Name, DWORD Reserved, DWORD Type, const BYTE* Data, DWORD Size) override;
  LONG RegCloseKey(HKEY Key) override;
  LONG RegCreateKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Reserved, WCHAR* Class, DWORD Options, REGSAM Access,
                       void* Security, HKEY* Result, DWORD* Disposition) override;
  LONG RegOpenKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Options, REGSAM Access, HKEY* Result) override;
  LONG RegQueryValueExW(HKEY Key, const WCHAR* Name, DWORD* Reserved, DWORD* Type, BYTE* Data, DWORD* Size) override;
  LONG RegSetValueExW(HKEY Key, const WCHAR* Name, DWORD Reserved, DWORD Type, const BYTE* Data, DWORD Size) override;
  LONG RegDeleteKeyW(HKEY Key, const WCHAR* SubKey) override;
  HINSTANCE ShellExecuteA(HWND Owner, const char* Verb, const char* File, const char* Parameters,
                          const char* Directory, int Show) override;
  BOOL ShellExecuteExA(SHELLEXECUTEINFOA* Info) override;
  int MessageBoxA(HWND Owner, const char* Text, const char* Caption, UINT Type) override;
  [[noreturn]] void ExitProcess(UINT ExitCode) override;
  void Sleep(DWORD Milliseconds) override;
  BOOL GetSaveFileNameA(OPENFILENAMEA* Dialog) override;
  BOOL GetOpenFileNameA(OPENFILENAMEA* Dialog) override;
  BOOL OpenClipboard(HWND Owner) override;
  BOOL EmptyClipboard() override;
  HANDLE SetClipboardData(UINT Format, HANDLE Data) override;
  BOOL CloseClipboard() override;
  HGLOBAL GlobalAlloc(UINT Flags, SIZE_T Bytes) override;
  void* GlobalLock(HGLOBAL Memory) override;
  BOOL GlobalUnlock(HGLOBAL Memory) override;
  HGLOBAL GlobalFree(HGLOBAL Memory) override;
  void ProcessMessages() override;
  UINT_PTR SetTimer(HWND Window, UINT_PTR Id, UINT Elapse, TIMERPROC Procedure) override;
  BOOL KillTimer(HWND Window, UINT_PTR Id) override;
  HANDLE GetStdHandle(DWORD Which) override;
  BOOL GetConsoleMode(HANDLE Console, DWORD* Mode) override;
  BOOL WriteConsoleW(HANDLE Console, const WCHAR* Text, DWORD Count, DWORD* Written, void* Reserved) override;
  BOOL ReadConsoleW(HANDLE Console, WCHAR* Text, DWORD Count, DWORD* Read, void* Control) override;
  // Whether a person sees the question, and what was typed before it.
  HWND GetConsoleWindow() override;
  HWINSTA GetProcessWindowStation() override;
  BOOL GetUserObjectInformationW(HANDLE Object, int Index, void* Info, DWORD Length, DWORD* Needed) override;
  BOOL FlushConsoleInputBuffer(HANDLE Console) override;

 private:

  struct TThread;
  struct TSnapshot {
    std::vector<std::pair<DWORD, std::string>> Entries;
    size_t Next = 0;
  };
  struct TFault {
    std::string Op;
    int Nth;
    int Seen = 0;
    enum { Fail, Status, Block } Kind;
    DWORD Error = 0;
    NTSTATUS Code = 0;
  };
  struct TGate {
    bool Fail = false;
    DWORD Error = 0;
    bool HasStatus = false;
    NTSTATUS Status = 0;
  };
  using TLock = std::unique_lock<std::mutex>;

  // How most calls open: the lock held to the end of the call, and the gate
  // passed (counted, logged, failed or blocked at its planned use).
  struct TCall {
    TLock Lock;
    TGate Gate;
  };
  TCall Enter(const char* Op);
  TGate Gate(TLock& Lock, const char* Op);
  // True, with the last error set, when the gate failed the call (its error)
  // or Windows would refuse it (Error).
  bool Refuse(const TGate& G, bool Refused = false, DWORD Error = 0);
  void WaitReleased(TLock& Lock);
  void RunHook(const char* Op);
  void CheckTerminated();
  void SetError(DWORD Error);
  THandle* Find(HANDLE Handle);
  // The object a name query asks about, once any hang is released; null with
  // Status set when the query ends first (a planned fault, no such handle).
  std::shared_ptr<TObject> QueriedObject(TLock& Lock, const char* Op, HANDLE Handle, NTSTATUS* Status);
  // Waits inside the system, where an end may reach the thread.
  void WaitInside(TLock& Lock, DWORD Milliseconds);
  bool HasConsole() const { return StdIn.Console || StdOut.Console || StdErr.Console; }
  HANDLE AddOwn(std::shared_ptr<TObject> Object, const std::string& Kind);
  TStdStream* StdStream(HANDLE Handle);
  void RewindSnapshot(HANDLE Snapshot);
  // The snapshot entry a Process32 call moves to; null with the error set.
  const std::pair<DWORD, std::string>* NextSnapshotEntry(TLock& Lock, const char* Op, HANDLE Snapshot, bool Valid);
  TProcess* FindProcess(DWORD Pid);
  TProcess* ProcessBehind(HANDLE Process);  // the process a process handle refers to
  std::string KeyPath(HKEY Key, const char* SubKey) const;
  HKEY NewKey(const std::string& Path);
  // Whether Key, if it was opened with a chosen access, was opened for Needed.
  bool KeyAllows(HKEY Key, REGSAM Needed) const;
  LONG QueryValue(const char* Op, HKEY Key, const std::string& Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                  DWORD* Size);
  LONG SetValue(const char* Op, HKEY Key, const std::string& Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                DWORD Size);
  DWORD FileAttributes(const char* Op, const std::string& Name);

  mutable std::mutex M;
  std::condition_variable Changed;
  long ReleaseGeneration = 0;
  bool ShuttingDown = false;
  std::vector<TProcess> Processes;
  std::vector<std::pair<char, std::string>> Drives;
  std::vector<TFault> Faults;
  long GlobalCalls = 0;
  long FailGlobalAt = 0;
  DWORD GlobalError = 0;
  std::map<std::string, int> OpCalls;
  std::vector<std::string> Log;
  std::map<void*, size_t> Blocks;
  struct TGlobal {
    std::string Data;
    UINT Flags;
    int Locks = 0;
  };
  std::map<HGLOBAL, std::unique_ptr<TGlobal>> Globals;
  bool ClipboardOpen_ = false, ClipboardEmptied = false;
  std::map<void*, std::vector<BYTE>*> Sids;
  std::map<HKEY, std::string> Keys;
  std::map<HKEY, REGSAM> KeyAccess;  // the keys opened or created with a chosen access
  uintptr_t NextKey = 0x1000;
  std::vector<std::unique_ptr<TThread>> Threads;
  std::vector<std::unique_ptr<TSnapshot>> Snapshots;
  std::map<std::string, std::function<void()>> Hooks;
  int UnsafeTerminations_ = 0;
  std::atomic<DWORD> ClockOffset{0};
  std::atomic<bool> ClockFrozen{false};
  std::atomic<DWORD> FrozenAt{0};
};
