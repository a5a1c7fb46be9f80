// The real system. Compiled for Windows targets only.
#pragma once

#include "os/System.h"

class TWin32System : public TSystem {
 public:
  TWin32System();

  // Lets the window layer translate accelerators and dialog keys for the
  // messages that ProcessMessages pumps; returns true when it handled one.
  using TMessageFilter = bool (*)(MSG* Message);
  void SetMessageFilter(TMessageFilter Filter) { Filter_ = Filter; }

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
  // The console's own screen.
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
  TMessageFilter Filter_ = nullptr;
  using TNtQuerySystemInformation = NTSTATUS(NTAPI*)(ULONG, void*, ULONG, ULONG*);
  using TNtQueryInformationFile = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
  using TNtQueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  TNtQuerySystemInformation QuerySystemInformation_ = nullptr;
  TNtQueryInformationFile QueryInformationFile_ = nullptr;
  TNtQueryObject QueryObject_ = nullptr;
  // Looked up with the others.
  using TNtQueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  TNtQueryInformationProcess QueryInformationProcess_ = nullptr;
  using TQueryFullProcessImageNameA = BOOL(WINAPI*)(HANDLE, DWORD, char*, DWORD*);
  TQueryFullProcessImageNameA QueryFullProcessImageName_ = nullptr;
  using TIsWow64Process = BOOL(WINAPI*)(HANDLE, BOOL*);
  TIsWow64Process IsWow64Process_ = nullptr;
};

TWin32System& Win32System();
