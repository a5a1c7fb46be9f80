#include "os/Win32System.h"

#include <string>

namespace {

// ntdll is mapped into every process, so its entry points never change. They
// are looked up when the system object is made, on the UI thread: a name
// worker must never be the first to touch them, nor any lazily made static,
// since a worker ended there would leave its lock held for good.
template <typename T>
T EntryPoint(HMODULE Module, const char* Name) {
  return Module ? reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(Module, Name))) : nullptr;
}

// A missing entry point reports a failure rather than crashing.
constexpr NTSTATUS STATUS_PROCEDURE_NOT_FOUND_ = static_cast<NTSTATUS>(0xC000007AL);

}  // namespace

TWin32System::TWin32System() {
  HMODULE Ntdll = ::GetModuleHandleA("ntdll.dll");
  QuerySystemInformation_ = EntryPoint<TNtQuerySystemInformation>(Ntdll, "NtQuerySystemInformation");
  QueryInformationFile_ = EntryPoint<TNtQueryInformationFile>(Ntdll, "NtQueryInformationFile");
  QueryObject_ = EntryPoint<TNtQueryObject>(Ntdll, "NtQueryObject");
  QueryInformationProcess_ = EntryPoint<TNtQueryInformationProcess>(Ntdll, "NtQueryInformationProcess");
  QueryFullProcessImageName_ =
      EntryPoint<TQueryFullProcessImageNameA>(::GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA");
  IsWow64Process_ = EntryPoint<TIsWow64Process>(::GetModuleHandleA("kernel32.dll"), "IsWow64Process");
}

NTSTATUS TWin32System::NtQuerySystemInformation(ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) {
  return QuerySystemInformation_ ? QuerySystemInformation_(InfoClass, Info, Length, ReturnLength)
                                 : STATUS_PROCEDURE_NOT_FOUND_;
}

NTSTATUS TWin32System::NtQueryInformationFile(HANDLE File, IO_STATUS_BLOCK* IoStatus, void* Info, ULONG Length,
                                              ULONG InfoClass) {
  return QueryInformationFile_ ? QueryInformationFile_(File, IoStatus, Info, Length, InfoClass)
                               : STATUS_PROCEDURE_NOT_FOUND_;
}

NTSTATUS TWin32System::NtQueryObject(HANDLE Handle, ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) {
  return QueryObject_ ? QueryObject_(Handle, InfoClass, Info, Length, ReturnLength) : STATUS_PROCEDURE_NOT_FOUND_;
}

NTSTATUS TWin32System::NtQueryInformationProcess(HANDLE Process, ULONG InfoClass, void* Info, ULONG Length,
                                                 ULONG* ReturnLength) {
  return QueryInformationProcess_ ? QueryInformationProcess_(Process, InfoClass, Info, Length, ReturnLength)
                                  : STATUS_PROCEDURE_NOT_FOUND_;
}

void* TWin32System::VirtualAlloc(void* Address, SIZE_T Size, DWORD AllocationType, DWORD Protect) {
  return ::VirtualAlloc(Address, Size, AllocationType, Protect);
}
BOOL TWin32System::VirtualFree(void* Address, SIZE_T Size, DWORD FreeType) {
  return ::VirtualFree(Address, Size, FreeType);
}
HANDLE TWin32System::CreateFileA(const char* Name, DWORD Access, DWORD ShareMode, void* Security, DWORD Disposition,
                                 DWORD Attributes, HANDLE Template) {
  return ::CreateFileA(Name, Access, ShareMode, static_cast<LPSECURITY_ATTRIBUTES>(Security), Disposition, Attributes,
                       Template);
}
DWORD TWin32System::GetFileAttributesA(const char* Name) { return ::GetFileAttributesA(Name); }
BOOL TWin32System::WriteFile(HANDLE File, const void* Data, DWORD Size, DWORD* Written, void* Overlapped) {
  return ::WriteFile(File, Data, Size, Written, static_cast<LPOVERLAPPED>(Overlapped));
}
BOOL TWin32System::DuplicateHandle(HANDLE SourceProcess, HANDLE Source, HANDLE TargetProcess, HANDLE* Target,
                                   DWORD Access, BOOL Inherit, DWORD Options) {
  return ::DuplicateHandle(SourceProcess, Source, TargetProcess, Target, Access, Inherit, Options);
}
BOOL TWin32System::CloseHandle(HANDLE Handle) { return ::CloseHandle(Handle); }
HANDLE TWin32System::GetCurrentProcess() { return ::GetCurrentProcess(); }
DWORD TWin32System::GetCurrentProcessId() { return ::GetCurrentProcessId(); }
HANDLE TWin32System::GetCurrentThread() { return ::GetCurrentThread(); }
DWORD TWin32System::GetLastError() { return ::GetLastError(); }
DWORD TWin32System::GetTickCount() { return ::GetTickCount(); }
HANDLE TWin32System::CreateFileW(const WCHAR* Name, DWORD Access, DWORD ShareMode, void* Security, DWORD Disposition,
                                 DWORD Attributes, HANDLE Template) {
  return ::CreateFileW(Name, Access, ShareMode, static_cast<LPSECURITY_ATTRIBUTES>(Security), Disposition, Attributes,
                       Template);
}
DWORD TWin32System::GetFileAttributesW(const WCHAR* Name) { return ::GetFileAttributesW(Name); }
HANDLE TWin32System::CreateThread(void* Security, SIZE_T StackSize, LPTHREAD_START_ROUTINE Start, void* Parameter,
                                  DWORD Flags, DWORD* ThreadId) {
  return ::CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(Security), StackSize, Start, Parameter, Flags, ThreadId);
}
DWORD TWin32System::WaitForSingleObject(HANDLE Handle, DWORD Milliseconds) {
  return ::WaitForSingleObject(Handle, Milliseconds);
}
BOOL TWin32System::GetExitCodeThread(HANDLE Thread, DWORD* ExitCode) { return ::GetExitCodeThread(Thread, ExitCode); }
BOOL TWin32System::TerminateThread(HANDLE Thread, DWORD ExitCode) { return ::TerminateThread(Thread, ExitCode); }
DWORD TWin32System::GetLogicalDriveStringsA(DWORD Length, char* Buffer) {
  return ::GetLogicalDriveStringsA(Length, Buffer);
}
DWORD TWin32System::QueryDosDeviceA(const char* DeviceName, char* TargetPath, DWORD Max) {
  return ::QueryDosDeviceA(DeviceName, TargetPath, Max);
}
int TWin32System::WideCharToMultiByte(UINT CodePage, DWORD Flags, const WCHAR* Wide, int WideCount, char* Multi,
                                      int MultiSize, const char* DefaultChar, BOOL* UsedDefault) {
  return ::WideCharToMultiByte(CodePage, Flags, Wide, WideCount, Multi, MultiSize, DefaultChar, UsedDefault);
}
DWORD TWin32System::CharUpperBuffA(char* Text, DWORD Length) { return ::CharUpperBuffA(Text, Length); }
DWORD TWin32System::CharUpperBuffW(WCHAR* Text, DWORD Length) { return ::CharUpperBuffW(Text, Length); }
int TWin32System::MultiByteToWideChar(UINT CodePage, DWORD Flags, const char* Multi, int MultiCount, WCHAR* Wide,
                                      int WideSize) {
  return ::MultiByteToWideChar(CodePage, Flags, Multi, MultiCount, Wide, WideSize);
}
DWORD TWin32System::GetFullPathNameW(const WCHAR* Name, DWORD Length, WCHAR* Buffer, WCHAR** FilePart) {
  return ::GetFullPathNameW(Name, Length, Buffer, FilePart);
}
DWORD TWin32System::GetLongPathNameW(const WCHAR* Short, WCHAR* Long, DWORD Length) {
  return ::GetLongPathNameW(Short, Long, Length);
}
HANDLE TWin32System::CreateToolhelp32Snapshot(DWORD Flags, DWORD ProcessId) {
  return ::CreateToolhelp32Snapshot(Flags, ProcessId);
}
BOOL TWin32System::Process32First(HANDLE Snapshot, PROCESSENTRY32* Entry) { return ::Process32First(Snapshot, Entry); }
BOOL TWin32System::Process32Next(HANDLE Snapshot, PROCESSENTRY32* Entry) { return ::Process32Next(Snapshot, Entry); }
BOOL TWin32System::Process32FirstW(HANDLE Snapshot, PROCESSENTRY32W* Entry) {
  return ::Process32FirstW(Snapshot, Entry);
}
BOOL TWin32System::Process32NextW(HANDLE Snapshot, PROCESSENTRY32W* Entry) {
  return ::Process32NextW(Snapshot, Entry);
}
HANDLE TWin32System::OpenProcess(DWORD Access, BOOL Inherit, DWORD ProcessId) {
  return ::OpenProcess(Access, Inherit, ProcessId);
}

namespace {

// PSAPI is loaded the first time a path is asked for and kept for the run,
// from the system folder by its full name, never by search: the save dialog
// may have made any folder the current one, and a PSAPI.dll planted there, or
// beside a program started from a Downloads folder, would run inside an
// administrator's process.
HMODULE Psapi() {
  static const HMODULE Module = [] {
    char Folder[MAX_PATH];
    UINT Length = ::GetSystemDirectoryA(Folder, MAX_PATH);
    if (Length == 0 || Length + sizeof "\\PSAPI.dll" > MAX_PATH) return HMODULE(nullptr);
    return ::LoadLibraryA((std::string(Folder, Length) + "\\PSAPI.dll").c_str());
  }();
  return Module;
}

}  // namespace

DWORD TWin32System::GetModuleFileNameExA(HANDLE Process, HMODULE Module, char* FileName, DWORD Size) {
  using TGetModuleFileNameExA = DWORD(WINAPI*)(HANDLE, HMODULE, char*, DWORD);
  static const auto Call = EntryPoint<TGetModuleFileNameExA>(Psapi(), "GetModuleFileNameExA");
  if (!Call) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  return Call(Process, Module, FileName, Size);
}

DWORD TWin32System::GetMappedFileNameW(HANDLE Process, void* Address, WCHAR* Name, DWORD Size) {
  using TGetMappedFileNameW = DWORD(WINAPI*)(HANDLE, void*, WCHAR*, DWORD);
  static const auto Call = EntryPoint<TGetMappedFileNameW>(Psapi(), "GetMappedFileNameW");
  if (!Call) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  return Call(Process, Address, Name, Size);
}

SIZE_T TWin32System::VirtualQueryEx(HANDLE Process, const void* Address, MEMORY_BASIC_INFORMATION* Info,
                                    SIZE_T Length) {
  return ::VirtualQueryEx(Process, Address, Info, Length);
}

BOOL TWin32System::ReadProcessMemory(HANDLE Process, const void* Address, void* Buffer, SIZE_T Size, SIZE_T* Read) {
  return ::ReadProcessMemory(Process, Address, Buffer, Size, Read);
}

BOOL TWin32System::IsWow64Process(HANDLE Process, BOOL* Wow64) {
  *Wow64 = FALSE;
  return IsWow64Process_ ? IsWow64Process_(Process, Wow64) : TRUE;
}

DWORD TWin32System::GetModuleFileNameW(HMODULE Module, WCHAR* Name, DWORD Size) {
  return ::GetModuleFileNameW(Module, Name, Size);
}

BOOL TWin32System::QueryFullProcessImageNameA(HANDLE Process, DWORD Flags, char* Name, DWORD* Size) {
  if (!QueryFullProcessImageName_) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return QueryFullProcessImageName_(Process, Flags, Name, Size);
}

BOOL TWin32System::TerminateProcess(HANDLE Process, UINT ExitCode) { return ::TerminateProcess(Process, ExitCode); }
BOOL TWin32System::OpenThreadToken(HANDLE Thread, DWORD Access, BOOL OpenAsSelf, HANDLE* Token) {
  return ::OpenThreadToken(Thread, Access, OpenAsSelf, Token);
}
BOOL TWin32System::OpenProcessToken(HANDLE Process, DWORD Access, HANDLE* Token) {
  return ::OpenProcessToken(Process, Access, Token);
}
BOOL TWin32System::GetTokenInformation(HANDLE Token, TOKEN_INFORMATION_CLASS Class, void* Info, DWORD Length,
                                       DWORD* ReturnLength) {
  return ::GetTokenInformation(Token, Class, Info, Length, ReturnLength);
}
BOOL TWin32System::AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* Authority, BYTE Count, DWORD Sub0, DWORD Sub1,
                                            DWORD Sub2, DWORD Sub3, DWORD Sub4, DWORD Sub5, DWORD Sub6, DWORD Sub7,
                                            PSID* Sid) {
  return ::AllocateAndInitializeSid(Authority, Count, Sub0, Sub1, Sub2, Sub3, Sub4, Sub5, Sub6, Sub7, Sid);
}
BOOL TWin32System::EqualSid(PSID Sid1, PSID Sid2) { return ::EqualSid(Sid1, Sid2); }
void* TWin32System::FreeSid(PSID Sid) { return ::FreeSid(Sid); }
BOOL TWin32System::LookupPrivilegeValueA(const char* System, const char* Name, LUID* Luid) {
  return ::LookupPrivilegeValueA(System, Name, Luid);
}
BOOL TWin32System::AdjustTokenPrivileges(HANDLE Token, BOOL DisableAll, TOKEN_PRIVILEGES* NewState, DWORD Length,
                                         TOKEN_PRIVILEGES* Previous, DWORD* ReturnLength) {
  return ::AdjustTokenPrivileges(Token, DisableAll, NewState, Length, Previous, ReturnLength);
}
LONG TWin32System::RegOpenKeyA(HKEY Key, const char* SubKey, HKEY* Result) {
  return ::RegOpenKeyA(Key, SubKey, Result);
}
LONG TWin32System::RegCreateKeyA(HKEY Key, const char* SubKey, HKEY* Result) {
  return ::RegCreateKeyA(Key, SubKey, Result);
}
LONG TWin32System::RegQueryValueExA(HKEY Key, const char* Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                                    DWORD* Size) {
  return ::RegQueryValueExA(Key, Name, Reserved, Type, Data, Size);
}
LONG TWin32System::RegSetValueExA(HKEY Key, const char* Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                                  DWORD Size) {
  return ::RegSetValueExA(Key, Name, Reserved, Type, Data, Size);
}
LONG TWin32System::RegCloseKey(HKEY Key) { return ::RegCloseKey(Key); }
LONG TWin32System::RegCreateKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Reserved, WCHAR* Class, DWORD Options,
                                   REGSAM Access, void* Security, HKEY* Result, DWORD* Disposition) {
  return ::RegCreateKeyExW(Key, SubKey, Reserved, Class, Options, Access,
                           static_cast<LPSECURITY_ATTRIBUTES>(Security), Result, Disposition);
}
LONG TWin32System::RegOpenKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Options, REGSAM Access, HKEY* Result) {
  return ::RegOpenKeyExW(Key, SubKey, Options, Access, Result);
}
LONG TWin32System::RegQueryValueExW(HKEY Key, const WCHAR* Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                                    DWORD* Size) {
  return ::RegQueryValueExW(Key, Name, Reserved, Type, Data, Size);
}
LONG TWin32System::RegSetValueExW(HKEY Key, const WCHAR* Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                                  DWORD Size) {
  return ::RegSetValueExW(Key, Name, Reserved, Type, Data, Size);
}
LONG TWin32System::RegDeleteKeyW(HKEY Key, const WCHAR* SubKey) { return ::RegDeleteKeyW(Key, SubKey); }
HINSTANCE TWin32System::ShellExecuteA(HWND Owner, const char* Verb, const char* File, const char* Parameters,
                                      const char* Directory, int Show) {
  return ::ShellExecuteA(Owner, Verb, File, Parameters, Directory, Show);
}
BOOL TWin32System::ShellExecuteExA(SHELLEXECUTEINFOA* Info) { return ::ShellExecuteExA(Info); }
int TWin32System::MessageBoxA(HWND Owner, const char* Text, const char* Caption, UINT Type) {
  return ::MessageBoxA(Owner, Text, Caption, Type);
}
void TWin32System::ExitProcess(UINT ExitCode) { ::ExitProcess(ExitCode); }
void TWin32System::Sleep(DWORD Milliseconds) { ::Sleep(Milliseconds); }
BOOL TWin32System::GetSaveFileNameA(OPENFILENAMEA* Dialog) { return ::GetSaveFileNameA(Dialog); }
BOOL TWin32System::GetOpenFileNameA(OPENFILENAMEA* Dialog) { return ::GetOpenFileNameA(Dialog); }
BOOL TWin32System::OpenClipboard(HWND Owner) { return ::OpenClipboard(Owner); }
BOOL TWin32System::EmptyClipboard() { return ::EmptyClipboard(); }
HANDLE TWin32System::SetClipboardData(UINT Format, HANDLE Data) { return ::SetClipboardData(Format, Data); }
BOOL TWin32System::CloseClipboard() { return ::CloseClipboard(); }
HGLOBAL TWin32System::GlobalAlloc(UINT Flags, SIZE_T Bytes) { return ::GlobalAlloc(Flags, Bytes); }
void* TWin32System::GlobalLock(HGLOBAL Memory) { return ::GlobalLock(Memory); }
BOOL TWin32System::GlobalUnlock(HGLOBAL Memory) { return ::GlobalUnlock(Memory); }
HGLOBAL TWin32System::GlobalFree(HGLOBAL Memory) { return ::GlobalFree(Memory); }

void TWin32System::ProcessMessages() {
  // Asking whether anything waits is cheap; a PeekMessage that finds nothing
  // is not: under Wine, a hundred a second slowed the name worker by a quarter.
  if (HIWORD(::GetQueueStatus(QS_ALLINPUT)) == 0) return;
  MSG Message;
  while (::PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      // Leave the quit for the message loop that owns it.
      ::PostQuitMessage(static_cast<int>(Message.wParam));
      return;
    }
    if (Filter_ && Filter_(&Message)) continue;
    ::TranslateMessage(&Message);
    ::DispatchMessageA(&Message);
  }
}

UINT_PTR TWin32System::SetTimer(HWND Window, UINT_PTR Id, UINT Elapse, TIMERPROC Procedure) {
  return ::SetTimer(Window, Id, Elapse, Procedure);
}
BOOL TWin32System::KillTimer(HWND Window, UINT_PTR Id) { return ::KillTimer(Window, Id); }

TWin32System& Win32System() {
  static TWin32System System;
  return System;
}

TSystem* DefaultSystem() { return &Win32System(); }
HANDLE TWin32System::GetStdHandle(DWORD Which) { return ::GetStdHandle(Which); }
BOOL TWin32System::GetConsoleMode(HANDLE Console, DWORD* Mode) { return ::GetConsoleMode(Console, Mode); }
BOOL TWin32System::WriteConsoleW(HANDLE Console, const WCHAR* Text, DWORD Count, DWORD* Written, void* Reserved) {
  return ::WriteConsoleW(Console, Text, Count, Written, Reserved);
}
BOOL TWin32System::ReadConsoleW(HANDLE Console, WCHAR* Text, DWORD Count, DWORD* Read, void* Control) {
  return ::ReadConsoleW(Console, Text, Count, Read, static_cast<PCONSOLE_READCONSOLE_CONTROL>(Control));
}
HWND TWin32System::GetConsoleWindow() { return ::GetConsoleWindow(); }
HWINSTA TWin32System::GetProcessWindowStation() { return ::GetProcessWindowStation(); }
BOOL TWin32System::GetUserObjectInformationW(HANDLE Object, int Index, void* Info, DWORD Length, DWORD* Needed) {
  return ::GetUserObjectInformationW(Object, Index, Info, Length, Needed);
}
BOOL TWin32System::FlushConsoleInputBuffer(HANDLE Console) { return ::FlushConsoleInputBuffer(Console); }
