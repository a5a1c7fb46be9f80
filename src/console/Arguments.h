// What the console program was asked to do, read from its wide arguments.
#pragma once

#include <string>
#include <vector>

#include "os/System.h"

enum class TFormat { Table, Csv, Json };

struct TRequest {
  enum { List, Help, Version, Usage, ExplorerMenu } Action = List;
  std::string Error;  // for Usage: what was wrong, in one line
  TFormat Format = TFormat::Table;
  bool All = false;   // pipes, devices and paths without a drive letter too
  bool Close = false;  // close each handle listed, in its owner
  bool Yes = false;    // close without asking
  bool Modules = false;  // loaded images and mapped views of the processes listed too
  TWideString Find;   // empty: every file
  std::vector<TWideString> Files;  // --file: as given, not resolved yet
  std::vector<DWORD> Pids;  // 0: every process
  std::vector<TWideString> Names;  // as given
  bool MenuAdd = false;   // ExplorerMenu: add the verbs, or remove them
  bool AllUsers = false;  // ExplorerMenu: for every user, not this one
};

// Reads the arguments after the program's name. An argument that starts with
// a digit and holds no dot is a PID and must be a whole decimal number; any
// other is an image name ("7z.exe" names an image whose name starts with a
// digit). An option's value that starts with "-" is taken only in the form
// --find=-x: a script whose variable came out empty must not search for the
// option after it. --explorer-menu add|remove is a command of its own, taking
// only --all-users beside it.
TRequest ReadArguments(const std::vector<TWideString>& Arguments);

// The text of --help, exit codes included.
extern const char* const UsageText;
