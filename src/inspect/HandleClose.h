// Closing one file handle inside the process that holds it, once it is known
// to still name the file the user saw: a handle value can be closed by its
// owner and reused for another object between a listing and the click.
#pragma once

#include <string>

#include "os/System.h"

enum class TCloseResult {
  Closed,
  NotOpened,    // the owner cannot be opened for handle duplication
  OtherFile,    // the value is gone or names another object: nothing closed
  NotVerified,  // its name could not be had (the query failed or hung): nothing closed
  NotClosed,    // the same file, but the owner still holds it
};

// Closes the handle Value of process Pid when it still names Path, as the
// listing shows it (drive letter mapped); an empty Path never matches. The
// name is asked on the listing's own worker, so a query that hangs costs at
// most its 100 ms and is ended only inside that query. Called for one handle
// at a time, with no pass running.
TCloseResult CloseHandleOf(DWORD Pid, ULONG_PTR Value, const std::string& Path);
