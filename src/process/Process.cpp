#include "process/Process.h"

#include <vector>

#include "os/Owned.h"

std::string ProcessNameByPID(DWORD Pid) {
  TOwnedHandle Snapshot(Os().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!Snapshot) return "";
  PROCESSENTRY32 Entry = {};
  Entry.dwSize = sizeof Entry;
  BOOL More = Os().Process32First(Snapshot.Get(), &Entry);
  if (!More) return "";
  for (; More; More = Os().Process32Next(Snapshot.Get(), &Entry))
    if (Entry.th32ProcessID == Pid) return std::string(Entry.szExeFile, strnlen(Entry.szExeFile, MAX_PATH));
  return Pid == 0 ? SystemProcessName : "";
}

std::string ProcessPathByPID(DWORD Pid) {
  TOwnedHandle Process(Os().OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, Pid));
  if (!Process) return "";
  char Path[MAX_PATH] = {};
  DWORD Length = Os().GetModuleFileNameExA(Process.Get(), nullptr, Path, MAX_PATH);
  if (Length == 0) {
    // A 32-bit program cannot read a 64-bit process's modules; the image
    // name comes from the system instead, where it knows the call.
    Length = MAX_PATH;
    if (!Os().QueryFullProcessImageNameA(Process.Get(), 0, Path, &Length)) return "";
  }
  return std::string(Path, strnlen(Path, MAX_PATH));
}

bool KillProcess(DWORD Pid) {
  TOwnedHandle Process(Os().OpenProcess(LX_PROCESS_ALL_ACCESS, TRUE, Pid));
  if (Process) Os().TerminateProcess(Process.Get(), 0);
  return true;
}

bool IsAdmin() {
  TOwnedHandle Token;
  if (!Os().OpenThreadToken(Os().GetCurrentThread(), TOKEN_QUERY, TRUE, Token.Receive())) {
    if (Os().GetLastError() != static_cast<DWORD>(ERROR_NO_TOKEN)) return false;
    if (!Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_QUERY, Token.Receive())) return false;
  }
  // 1024 bytes hold the groups of most tokens; a member of many groups (large
  // domains) is read again with the size the system asks for.
  std::vector<uint64_t> Buffer(1024 / sizeof(uint64_t));
  DWORD Length = 0;
  BOOL Read = Os().GetTokenInformation(Token.Get(), TokenGroups, Buffer.data(), 1024, &Length);
  if (!Read && Os().GetLastError() == static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER) && Length > 1024) {
    Buffer.assign((Length + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    Read = Os().GetTokenInformation(Token.Get(), TokenGroups, Buffer.data(), Length, &Length);
  }
  Token.Reset();
  if (!Read) return false;

  SID_IDENTIFIER_AUTHORITY NtAuthority = SECURITY_NT_AUTHORITY;
  TOwnedSid Administrators;
  if (!Os().AllocateAndInitializeSid(&NtAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                     0, 0, Administrators.Receive()))
    return false;
  const auto* Groups = reinterpret_cast<const TOKEN_GROUPS*>(Buffer.data());
  // Present is enough: a group kept only for deny still counts.
  for (DWORD I = 0; I < Groups->GroupCount; ++I)
    if (Os().EqualSid(Groups->Groups[I].Sid, Administrators.Get())) return true;
  return false;
}

bool SetDebugPrivilege(bool Enable) {
  TOwnedHandle Token;
  if (!Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, Token.Receive())) return false;
  TOKEN_PRIVILEGES Privileges = {};
  Privileges.PrivilegeCount = 1;
  Os().LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &Privileges.Privileges[0].Luid);
  Privileges.Privileges[0].Attributes = Enable ? SE_PRIVILEGE_ENABLED : 0;
  DWORD Returned = 0;
  return Os().AdjustTokenPrivileges(Token.Get(), FALSE, &Privileges, sizeof Privileges, nullptr, &Returned) != FALSE;
}

std::vector<TProcessImage> RunningProcesses() {
  std::vector<TProcessImage> Out;
  TOwnedHandle Snapshot(Os().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!Snapshot) return Out;
  PROCESSENTRY32W Entry = {};
  Entry.dwSize = sizeof Entry;
  for (BOOL More = Os().Process32FirstW(Snapshot.Get(), &Entry); More; More = Os().Process32NextW(Snapshot.Get(), &Entry)) {
    const WCHAR* Name = Entry.szExeFile;
    size_t Length = 0;
    while (Length < MAX_PATH && Name[Length]) ++Length;
    Out.push_back({Entry.th32ProcessID, TWideString(Name, Length)});
  }
  return Out;
}
