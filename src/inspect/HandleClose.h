// Closing one file handle inside the process that holds it, once it is known
// to still name the file the user saw: a handle value can be closed by its
// owner and reused for another object between a listing and the click.
#pragma once

#include <functional>
#include <string>

#include "os/System.h"

enum class TCloseResult {
  Closed,
  NotOpened,    // the owner cannot be opened for handle duplication
  OtherFile,    // the value is gone or names another object: nothing closed
  NotVerified,  // its name could not be had (the query failed or hung): nothing closed
  NotClosed,    // the same file, but the owner still holds it
};

// Whether the handle's fresh name, whole and drive letter mapped, is the
// file the user chose. Each caller compares as it showed the name.
using TSameFile = std::function<bool(const TWideString& Fresh)>;

// The window's rule: the name as a row shows it (AnsiName, cut at its field)
// is Path; an empty Path never matches.
TSameFile ShownAs(const std::string& Path);
// The whole name is Path, unit for unit: two files whose shown names agree
// differ here.
TSameFile NamedExactly(const TWideString& Path);

// Closes the handle Value of process Pid when its fresh name passes Same; a
// handle with no name never does. The name is asked on the listing's own
// worker, so a query that hangs costs at most its 100 ms and is ended only
// inside that query. Called for one handle at a time, with no pass running.
TCloseResult CloseHandleOf(DWORD Pid, ULONG_PTR Value, const TSameFile& Same);
