// One thing a process holds, as the walk over the system found it. The
// window's rows, the console's lines and the close each read this record and
// make their own texts from it; none reads a value back out of a text.
#pragma once

#include "os/System.h"

enum class THoldKind {
  Handle,  // an open handle to a file, pipe or device
  Module,  // a loaded image: the program's EXE or one of its DLLs
  Mapped,  // a file mapped into its memory as data
};

struct THold {
  DWORD Pid = 0;
  THoldKind Kind = THoldKind::Handle;
  ULONG_PTR Handle = 0;  // the handle value, for Kind Handle only
  ULONG_PTR Object = 0;  // the kernel object's address, where the table gives one
  TWideString Name;      // whole, with its drive letter where one maps to it
};

// "File", or "Pipe" for a handle outside any lettered volume; "Module" or
// "Mapped" for the other kinds.
inline const char* HoldType(const THold& Hold) {
  switch (Hold.Kind) {
    case THoldKind::Module: return "Module";
    case THoldKind::Mapped: return "Mapped";
    case THoldKind::Handle: break;
  }
  return !Hold.Name.empty() && Hold.Name[0] == '\\' ? "Pipe" : "File";
}
