// What the window's command line asks it to show once it is up: the holders
// of a path, or of the names that hold a text, as Find open file lists them.
#pragma once

#include <string>
#include <vector>

#include "os/System.h"

struct TStartRequest {
  enum { Nothing, File, Find } Show = Nothing;
  TWideString Sought;  // /file's PATH, not resolved yet, or /find's TEXT
  std::string Error;   // what was not understood, in one line; the window starts as without arguments
};

// Reads the arguments after the program's name, as CommandLineToArgvW splits
// them: "/file PATH" or "/find TEXT", the option in any letter case.
TStartRequest ReadStartArguments(const std::vector<TWideString>& Arguments);
