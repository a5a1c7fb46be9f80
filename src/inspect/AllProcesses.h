// The all-processes branch of the listing pass (PID 0).
#pragma once

#include "inspect/File2Name.h"

// Lists every process of the process table under its header row, adding the
// file rows to Count. False when the pass was asked to stop.
bool ListAllProcesses(const THandleTableView& Table, uint16_t FileType, long& Count);
