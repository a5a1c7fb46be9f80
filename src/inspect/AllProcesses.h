// The all-processes branch of the listing pass (PID 0).
#pragma once

#include "inspect/File2Name.h"

#include <string>

// Lists every process of the process table under its header row, adding the
// file rows to Count. With Sought (upper-cased), only the rows whose path
// holds it, and a header only over a process that has one. False when the
// pass was asked to stop.
bool ListAllProcesses(const THandleTableView& Table, uint16_t FileType, long& Count,
                      const std::string* Sought = nullptr);
