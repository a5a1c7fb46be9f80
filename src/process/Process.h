// Queries and actions on one process, and on the program's own token.
#pragma once

#include <string>
#include <vector>

#include "os/System.h"

// The executable name in the letter case the system gives; empty when not found.
std::string ProcessNameByPID(DWORD Pid);

// How Windows names the idle pseudo-process, PID 0, in its snapshot. Some
// systems (Wine) leave it out; the program puts it back under this name.
constexpr const char* SystemProcessName = "[System Process]";
// The full path of the main image; empty when it cannot be had.
std::string ProcessPathByPID(DWORD Pid);
// Ends the process; failures are not reported.
bool KillProcess(DWORD Pid);
// Whether the caller's token holds the local Administrators group, enabled or not.
bool IsAdmin();
// Enables or disables SeDebugPrivilege; true when the adjustment call succeeded.
bool SetDebugPrivilege(bool Enable);

// A running process with its executable name as the system keeps it.
struct TProcessImage {
  DWORD Pid = 0;
  TWideString Name;
};
// The running processes in the snapshot's order; empty when none can be had.
std::vector<TProcessImage> RunningProcesses();
