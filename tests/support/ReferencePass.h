// The listing as it was first built, in the pass's own frame: a worker thread
// per handle, events dispatched on every table entry, the whole table walked
// once per process in the all-processes view. Kept for the tests to prove the
// fast listing gives exactly the same rows, counts and statuses.
#pragma once

#include "inspect/ListOpenFiles.h"

TPassResult ReferenceListOpenFiles(DWORD Pid, const uint32_t& Mode);
