// The common Open and Save dialogs' settings, as every caller wants them.
#pragma once

#include "os/System.h"

// A common Open or Save dialog's settings for Owner: Name receives the file
// chosen; the read-only box is hidden, the dialog can be resized, and the
// current folder is left alone. Flags adds the caller's own.
OPENFILENAMEA FileDialog(HWND Owner, const char* Filter, char (&Name)[MAX_PATH], DWORD Flags);
