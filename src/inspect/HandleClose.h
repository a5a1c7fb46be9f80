// Closing one file handle inside the process that holds it, once it is known
// to still name the file the user saw: a handle value can be closed by its
// owner and reused for another object between a listing and the click.
#pragma once


#include "os/System.h"
#include "view/Hold.h"

enum class TCloseResult {
  Closed,
  NotOpened,    // the owner cannot be opened for handle duplication
  OtherFile,    // the value names another object now: nothing closed
  NotVerified,  // its name could not be had (the query failed or hung): nothing closed
  NotClosed,    // the same file, but the owner still holds it
  // Refused with nothing touched: a handle of our own may be our very output,
  // and one of the system's belongs to the kernel or a driver, or to a
  // process whose loss stops the machine.
  OwnProcess,     // Lumorex's own process
  SystemProcess,  // PID 0, System (4), or a process the system marks critical
  // Already released by its holder: the file is no longer held through it.
  ProcessEnded,  // the owner has ended
  HandleClosed,  // the owner has closed the handle
};

// Whether no handle of process Pid may be closed, and why: OwnProcess or
// SystemProcess. A process the system does not say is critical is not.
bool CloseRefused(DWORD Pid, TCloseResult* Why = nullptr);

// Closes the handle Listed names in its owner, only while it is the very
// object that was listed: the fresh table entry at its value points at the
// same object, and its fresh name is, unit for unit, the whole name listed (a
// row shows names cut and in the ANSI code page, where two files may look
// alike). A handle with no name never passes, nor one of a process
// CloseRefused names. The name is asked on the listing's own worker, so a
// query that hangs costs at most its 100 ms and is ended only inside that
// query. Called for one handle at a time, with no pass running.
TCloseResult CloseHandleOf(const THold& Listed);
