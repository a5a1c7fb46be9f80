// The all-processes branch of the listing pass (PID 0), and the search that
// walks every process the same way.
#pragma once

#include "inspect/File2Name.h"
#include "inspect/HoldWalk.h"
#include "view/MainView.h"

// A process's header row, its name as the system gives it, from a fresh
// snapshot: not lower-cased, and empty for a process that has ended.
TFileRow ProcessHeaderRow(DWORD Pid);

// Lists every process of the process table under its header row, adding the
// file rows to Count. With Search, its handles, loaded images and mapped
// views whose name the filter keeps, and a header only over a process that
// has one; Tally then says what could not be looked at. False when the pass
// was asked to stop.
bool ListAllProcesses(const THandleTableView& Table, uint16_t FileType, long& Count,
                      const THoldFilter* Search = nullptr, TPassTally* Tally = nullptr);
