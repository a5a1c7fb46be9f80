// The listing pass: fills the file list with the open files of one process, or
// of every process for PID 0.
#pragma once

#include <string>
#include <vector>

#include "inspect/File2Name.h"
#include "ui/MainView.h"

enum class TPassResult { Completed, Failed, Stopped };

// Asks the running pass to stop at its next dispatch of pending events.
void RequestPassStop();
bool PassStopRequested();
// True while a pass is on the stack.
bool PassRunning();

// Mode is read afresh before each row is added: 1 is Advanced, anything else
// Normal. A settings change made during the pass applies to the rows after it.
TPassResult ListOpenFiles(DWORD Pid, const uint32_t& Mode);

// The frame of a pass: it clears the list, takes the table and the file type,
// writes the status texts, the count and "Ready", and hands one opened
// process, or PID 0, to the listing given.
using TListOneProcess = bool (*)(HANDLE Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
                                 const uint32_t& Mode, long& Count);
using TListEveryProcess = bool (*)(const THandleTableView& Table, uint16_t FileType, long& Count);
TPassResult RunPass(DWORD Pid, const uint32_t& Mode, TListOneProcess ListOne, TListEveryProcess ListAll);

// "0x" and the handle value as eight upper-case hexadecimal digits.
std::string HandleText(ULONG_PTR Handle);
// "Pipe" for a path outside any lettered volume, else "File".
const char* PathType(const std::string& Path);
TFileRow FileRow(ULONG_PTR Handle, const std::string& Path);

// Dispatches pending events when 10 ms of pass time have gone by since the
// last dispatch, or at once with Force; false when the pass has been asked to
// stop.
bool PassKeepsGoing(bool Force);

// Lists the file rows of one opened process from the table entries that are
// its file handles, in their order; Mode null lists every object. False when
// the pass was asked to stop.
bool ListProcessFiles(HANDLE Process, const THandleTableView& Table, const std::vector<size_t>& Entries,
                      const uint32_t* Mode, long& Count);
