// Where the console program writes: a standard handle, and the rows in the
// format asked for.
#pragma once

#include <string>

#include "console/Arguments.h"
#include "view/Hold.h"

// A standard handle. A console is written through its wide-character output,
// so that any script shows right; a file or a pipe gets UTF-8. Text is
// gathered up to a bound, then written: memory does not grow with the output.
class TStream {
 public:
  explicit TStream(DWORD Which);
  // Another handle, not owned: the console's own screen, for a question.
  explicit TStream(HANDLE Handle);
  ~TStream() { Flush(); }
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  bool IsConsole() const { return Console; }
  // Text is UTF-8.
  void Write(const std::string& Text);
  // False once any write has failed: a closed pipe, a full disk.
  bool Flush();
  bool Failed() const { return Broken; }
  // The failure was the reader's going (a closed pipe): what it read is all
  // it wanted, which is no error of the run.
  bool ReaderGone() const { return Gone; }
  // Called before anything is written to a console, so a progress line on
  // the same console can be erased first.
  void SetBeforeConsoleWrite(void (*Hook)(void*), void* Context) {
    Before = Hook;
    BeforeContext = Context;
  }

 private:
  HANDLE Handle;
  bool Console = false;
  bool Broken = false;
  bool Gone = false;
  std::string Pending;
  void (*Before)(void*) = nullptr;
  void* BeforeContext = nullptr;
};

// One listed hold, its texts in UTF-8.
struct TListedFile {
  const THold& Hold;
  const std::string& Process;
  const std::string& Path;
};

// Writes the rows as they come: a table for people (a line per process over a
// line per file, as the window's all-processes layout), CSV with its header
// line and CRLF line ends, or one JSON array.
class TRowWriter {
 public:
  TRowWriter(TFormat Format, TStream& Out);
  void Begin();
  void File(const TListedFile& File);
  void End();
  size_t Rows() const { return Count; }

 private:
  TFormat Format;
  TStream& Out;
  size_t Count = 0;
  DWORD LastPid = ~DWORD(0);
};
