// The process table behind the selector: slot i is selector line i.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/System.h"

struct TProcessEntry {
  std::string Name;  // the executable name, ASCII letters lower-cased
  DWORD PID = 0;
};

// Starts with 2049 slots and grows, so that every running process has a line.
extern std::vector<TProcessEntry> ProcessTable;
extern int32_t ProcessCount;

// Rebuilds the table and the selector, and returns the window to "no selection".
void FillProcessList(uint32_t SortOrder);
// 0: by PID, 1: by name, anything else: the snapshot's order.
void SortProcessList(uint32_t SortOrder);
// "0004   system": the PID zero-padded to four digits, three spaces, the name.
std::string SelectorLine(const TProcessEntry& Entry);
// The PID on a selector line; false for no line or one past the table.
bool PidOfLine(int Line, DWORD* Pid);
