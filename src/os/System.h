// The one door to the operating system. Every other folder reaches Windows
// through TSystem, so the same logic runs against the real system or against
// the simulated machine of the tests.
#pragma once

#include <string>

#include "os/Struct.h"

// Text as the system gives it: UTF-16 code units, of any length.
using TWideString = std::basic_string<WCHAR>;

class TSystem {
 public:
  virtual ~TSystem() = default;

  // Native
  virtual NTSTATUS NtQuerySystemInformation(ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) = 0;
  virtual NTSTATUS NtQueryInformationFile(HANDLE File, IO_STATUS_BLOCK* IoStatus, void* Info, ULONG Length,
                                          ULONG InfoClass) = 0;
  virtual NTSTATUS NtQueryObject(HANDLE Handle, ULONG InfoClass, void* Info, ULONG Length, ULONG* ReturnLength) = 0;
  // Whether a process is one the system cannot lose (ProcessBreakOnTermination):
  // a handle of it is never closed.
  virtual NTSTATUS NtQueryInformationProcess(HANDLE Process, ULONG InfoClass, void* Info, ULONG Length,
                                             ULONG* ReturnLength) = 0;

  // Memory
  virtual void* VirtualAlloc(void* Address, SIZE_T Size, DWORD AllocationType, DWORD Protect) = 0;
  virtual BOOL VirtualFree(void* Address, SIZE_T Size, DWORD FreeType) = 0;

  // Handles and files
  virtual HANDLE CreateFileA(const char* Name, DWORD Access, DWORD ShareMode, void* Security, DWORD Disposition,
                             DWORD Attributes, HANDLE Template) = 0;
  virtual DWORD GetFileAttributesA(const char* Name) = 0;
  virtual BOOL WriteFile(HANDLE File, const void* Data, DWORD Size, DWORD* Written, void* Overlapped) = 0;
  virtual BOOL DuplicateHandle(HANDLE SourceProcess, HANDLE Source, HANDLE TargetProcess, HANDLE* Target,
                               DWORD Access, BOOL Inherit, DWORD Options) = 0;
  virtual BOOL CloseHandle(HANDLE Handle) = 0;
  virtual HANDLE GetCurrentProcess() = 0;
  virtual DWORD GetCurrentProcessId() = 0;
  virtual HANDLE GetCurrentThread() = 0;
  virtual DWORD GetLastError() = 0;
  virtual DWORD GetTickCount() = 0;
  // The console's own screen (CONOUT$), whatever standard output and error
  // were redirected to.
  virtual HANDLE CreateFileW(const WCHAR* Name, DWORD Access, DWORD ShareMode, void* Security, DWORD Disposition,
                             DWORD Attributes, HANDLE Template) = 0;
  // Wide, for a path in any script: whether the window program lies beside
  // the console program before a verb is made to start it.
  virtual DWORD GetFileAttributesW(const WCHAR* Name) = 0;

  // Threads
  virtual HANDLE CreateThread(void* Security, SIZE_T StackSize, LPTHREAD_START_ROUTINE Start, void* Parameter,
                              DWORD Flags, DWORD* ThreadId) = 0;
  virtual DWORD WaitForSingleObject(HANDLE Handle, DWORD Milliseconds) = 0;
  virtual BOOL GetExitCodeThread(HANDLE Thread, DWORD* ExitCode) = 0;
  virtual BOOL TerminateThread(HANDLE Thread, DWORD ExitCode) = 0;

  // Names
  virtual DWORD GetLogicalDriveStringsA(DWORD Length, char* Buffer) = 0;
  virtual DWORD QueryDosDeviceA(const char* DeviceName, char* TargetPath, DWORD Max) = 0;
  virtual int WideCharToMultiByte(UINT CodePage, DWORD Flags, const WCHAR* Wide, int WideCount, char* Multi,
                                  int MultiSize, const char* DefaultChar, BOOL* UsedDefault) = 0;
  // Upper-cases in place with the user's locale rules.
  virtual DWORD CharUpperBuffA(char* Text, DWORD Length) = 0;
  // The same by the Unicode tables, whatever the user's code page: one unit
  // for one unit, so a position in the upper-cased text is one in the text.
  virtual DWORD CharUpperBuffW(WCHAR* Text, DWORD Length) = 0;
  virtual int MultiByteToWideChar(UINT CodePage, DWORD Flags, const char* Multi, int MultiCount, WCHAR* Wide,
                                  int WideSize) = 0;
  // A path as Windows resolves it: from the current directory, "/" as "\",
  // "." and ".." taken away; and the long form of a path that exists.
  virtual DWORD GetFullPathNameW(const WCHAR* Name, DWORD Length, WCHAR* Buffer, WCHAR** FilePart) = 0;
  virtual DWORD GetLongPathNameW(const WCHAR* Short, WCHAR* Long, DWORD Length) = 0;

  // Processes
  virtual HANDLE CreateToolhelp32Snapshot(DWORD Flags, DWORD ProcessId) = 0;
  virtual BOOL Process32First(HANDLE Snapshot, PROCESSENTRY32* Entry) = 0;
  virtual BOOL Process32Next(HANDLE Snapshot, PROCESSENTRY32* Entry) = 0;
  // The same with the names as the system keeps them, in any script.
  virtual BOOL Process32FirstW(HANDLE Snapshot, PROCESSENTRY32W* Entry) = 0;
  virtual BOOL Process32NextW(HANDLE Snapshot, PROCESSENTRY32W* Entry) = 0;
  virtual HANDLE OpenProcess(DWORD Access, BOOL Inherit, DWORD ProcessId) = 0;
  // From PSAPI, loaded on first use; 0 with ERROR_PROC_NOT_FOUND when missing.
  virtual DWORD GetModuleFileNameExA(HANDLE Process, HMODULE Module, char* FileName, DWORD Size) = 0;
  // Looked up at run time (systems before Vista lack it); 0 with
  // ERROR_PROC_NOT_FOUND when missing.
  virtual BOOL QueryFullProcessImageNameA(HANDLE Process, DWORD Flags, char* Name, DWORD* Size) = 0;
  virtual BOOL TerminateProcess(HANDLE Process, UINT ExitCode) = 0;
  // Another process's address space, one region at a time; 0 past its end.
  virtual SIZE_T VirtualQueryEx(HANDLE Process, const void* Address, MEMORY_BASIC_INFORMATION* Info,
                                SIZE_T Length) = 0;
  // From PSAPI, loaded as GetModuleFileNameExA is: the file behind the view
  // that holds Address, in device form; 0 when there is none.
  virtual DWORD GetMappedFileNameW(HANDLE Process, void* Address, WCHAR* Name, DWORD Size) = 0;
  virtual BOOL ReadProcessMemory(HANDLE Process, const void* Address, void* Buffer, SIZE_T Size, SIZE_T* Read) = 0;
  // Looked up at run time (XP before SP2 lacks it); missing, no process is
  // under WOW64.
  virtual BOOL IsWow64Process(HANDLE Process, BOOL* Wow64) = 0;
  // The running program's own path (Module null), whole, in any script: what
  // Explorer's verb starts. Size, when the name was cut to fit.
  virtual DWORD GetModuleFileNameW(HMODULE Module, WCHAR* Name, DWORD Size) = 0;

  // Security
  virtual BOOL OpenThreadToken(HANDLE Thread, DWORD Access, BOOL OpenAsSelf, HANDLE* Token) = 0;
  virtual BOOL OpenProcessToken(HANDLE Process, DWORD Access, HANDLE* Token) = 0;
  virtual BOOL GetTokenInformation(HANDLE Token, TOKEN_INFORMATION_CLASS Class, void* Info, DWORD Length,
                                   DWORD* ReturnLength) = 0;
  virtual BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* Authority, BYTE Count, DWORD Sub0, DWORD Sub1,
                                        DWORD Sub2, DWORD Sub3, DWORD Sub4, DWORD Sub5, DWORD Sub6, DWORD Sub7,
                                        PSID* Sid) = 0;
  virtual BOOL EqualSid(PSID Sid1, PSID Sid2) = 0;
  virtual void* FreeSid(PSID Sid) = 0;
  virtual BOOL LookupPrivilegeValueA(const char* System, const char* Name, LUID* Luid) = 0;
  virtual BOOL AdjustTokenPrivileges(HANDLE Token, BOOL DisableAll, TOKEN_PRIVILEGES* NewState, DWORD Length,
                                     TOKEN_PRIVILEGES* Previous, DWORD* ReturnLength) = 0;

  // Registry
  virtual LONG RegOpenKeyA(HKEY Key, const char* SubKey, HKEY* Result) = 0;
  virtual LONG RegCreateKeyA(HKEY Key, const char* SubKey, HKEY* Result) = 0;
  virtual LONG RegQueryValueExA(HKEY Key, const char* Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                                DWORD* Size) = 0;
  virtual LONG RegSetValueExA(HKEY Key, const char* Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                              DWORD Size) = 0;
  virtual LONG RegCloseKey(HKEY Key) = 0;
  // Wide names and values, for Explorer's verbs: the program's path may hold
  // any character. A key is opened or created with the access asked for, and
  // refuses what it was not opened for; RegDeleteKeyW refuses a key that has
  // subkeys (ERROR_ACCESS_DENIED) rather than deleting them with it.
  virtual LONG RegCreateKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Reserved, WCHAR* Class, DWORD Options,
                               REGSAM Access, void* Security, HKEY* Result, DWORD* Disposition) = 0;
  virtual LONG RegOpenKeyExW(HKEY Key, const WCHAR* SubKey, DWORD Options, REGSAM Access, HKEY* Result) = 0;
  virtual LONG RegQueryValueExW(HKEY Key, const WCHAR* Name, DWORD* Reserved, DWORD* Type, BYTE* Data,
                                DWORD* Size) = 0;
  virtual LONG RegSetValueExW(HKEY Key, const WCHAR* Name, DWORD Reserved, DWORD Type, const BYTE* Data,
                              DWORD Size) = 0;
  virtual LONG RegDeleteKeyW(HKEY Key, const WCHAR* SubKey) = 0;

  // Shell
  virtual HINSTANCE ShellExecuteA(HWND Owner, const char* Verb, const char* File, const char* Parameters,
                                  const char* Directory, int Show) = 0;
  virtual BOOL ShellExecuteExA(SHELLEXECUTEINFOA* Info) = 0;

  // Process end and user interaction
  virtual int MessageBoxA(HWND Owner, const char* Text, const char* Caption, UINT Type) = 0;
  [[noreturn]] virtual void ExitProcess(UINT ExitCode) = 0;
  virtual void Sleep(DWORD Milliseconds) = 0;
  virtual BOOL GetSaveFileNameA(OPENFILENAMEA* Dialog) = 0;
  virtual BOOL GetOpenFileNameA(OPENFILENAMEA* Dialog) = 0;
  // The clipboard takes a movable block: once SetClipboardData succeeds the
  // block is the system's, and must not be freed.
  virtual BOOL OpenClipboard(HWND Owner) = 0;
  virtual BOOL EmptyClipboard() = 0;
  virtual HANDLE SetClipboardData(UINT Format, HANDLE Data) = 0;
  virtual BOOL CloseClipboard() = 0;
  virtual HGLOBAL GlobalAlloc(UINT Flags, SIZE_T Bytes) = 0;
  virtual void* GlobalLock(HGLOBAL Memory) = 0;
  virtual BOOL GlobalUnlock(HGLOBAL Memory) = 0;
  virtual HGLOBAL GlobalFree(HGLOBAL Memory) = 0;
  // Dispatches the window events that are pending, then returns.
  virtual void ProcessMessages() = 0;
  virtual UINT_PTR SetTimer(HWND Window, UINT_PTR Id, UINT Elapse, TIMERPROC Procedure) = 0;
  virtual BOOL KillTimer(HWND Window, UINT_PTR Id) = 0;

  // Console
  virtual HANDLE GetStdHandle(DWORD Which) = 0;
  // Succeeds only on a console: how a program tells a console from a file or pipe.
  virtual BOOL GetConsoleMode(HANDLE Console, DWORD* Mode) = 0;
  virtual BOOL WriteConsoleW(HANDLE Console, const WCHAR* Text, DWORD Count, DWORD* Written, void* Reserved) = 0;
  // What the user typed, in line mode: up to a line end, CR LF included.
  virtual BOOL ReadConsoleW(HANDLE Console, WCHAR* Text, DWORD Count, DWORD* Read, void* Control) = 0;
  // Whether a person can see and answer a question: a console may have no
  // window (a child started with CREATE_NO_WINDOW), and a window station may
  // be one no one sees (a service, a task run while no one is logged on).
  virtual HWND GetConsoleWindow() = 0;
  virtual HWINSTA GetProcessWindowStation() = 0;
  virtual BOOL GetUserObjectInformationW(HANDLE Object, int Index, void* Info, DWORD Length, DWORD* Needed) = 0;
  // Discards what was typed before a question, so type-ahead never answers it.
  virtual BOOL FlushConsoleInputBuffer(HANDLE Console) = 0;
};

// The system the program runs on. Tests put a simulated one in its place.
TSystem& Os();
// Text upper-cased with the user's locale rules: how the column sort and the
// search compare names.
std::string UpperCase(std::string Text);
// The same for UTF-16 text, by the Unicode tables.
TWideString UpperCase(TWideString Text);
// ASCII text as UTF-16.
TWideString Widen(const char* Ascii);
void SetOs(TSystem* System);

// Installs a system for the lifetime of a scope.
class TOsScope {
 public:
  explicit TOsScope(TSystem& System);
  ~TOsScope();
  TOsScope(const TOsScope&) = delete;
  TOsScope& operator=(const TOsScope&) = delete;

 private:
  TSystem* Previous;
};
