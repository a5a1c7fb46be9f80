// The console program: who holds which file, for scripts, in any script's
// characters.
#pragma once

#include <vector>

#include "os/System.h"

// Exit codes, as --help states them: each means one thing.
enum : int {
  ExitListed = 0,
  ExitNothing = 1,     // nothing matched, and everything was looked at
  ExitUsage = 2,
  ExitCannot = 3,      // nothing could be looked at
  ExitNotClosed = 4,
  ExitIncomplete = 5,  // nothing matched where it looked, and it could not look everywhere
  ExitWriteFailed = 6,
};

// Runs the program over the arguments after its name and returns its exit
// code. Writes only to standard output and error; never shows a window.
int RunConsole(const std::vector<TWideString>& Arguments);

// How long a run goes before it shows its progress on a console's standard
// error, and how often the line changes then.
constexpr DWORD ProgressAfterMs = 1000, ProgressEveryMs = 250;
