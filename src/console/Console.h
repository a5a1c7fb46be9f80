// The console program: who holds which file, for scripts, in any script's
// characters.
#pragma once

#include <vector>

#include "os/System.h"

// Exit codes, as --help states them.
enum : int { ExitListed = 0, ExitNothing = 1, ExitUsage = 2, ExitCannot = 3, ExitNotClosed = 4 };

// Runs the program over the arguments after its name and returns its exit
// code. Writes only to standard output and error; never shows a window.
int RunConsole(const std::vector<TWideString>& Arguments);

// How long a run goes before it shows its progress on a console's standard
// error, and how often the line changes then.
constexpr DWORD ProgressAfterMs = 1000, ProgressEveryMs = 250;
