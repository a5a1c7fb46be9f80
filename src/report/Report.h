// The plain-text report of what the file list shows.
#pragma once

#include <string>

#include "os/System.h"
#include "view/MainView.h"

// A failure of the report's file: its text is the run-time's text for Code.
class TInOutError : public TAppError {
 public:
  explicit TInOutError(DWORD Code);
  DWORD Code;
};

std::string InOutErrorText(DWORD Code);

// Writes the rows of List as they stand, for PID (0: the all-processes view),
// into FileName, replacing it. Throws TInOutError at the first failure, with
// the file closed.
void SaveReport(const TMainView& List, DWORD Pid, const std::string& FileName);
