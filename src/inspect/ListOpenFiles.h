// The listing pass: fills the file list with the open files of one process, or
// of every process for PID 0.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "inspect/File2Name.h"
#include "inspect/HoldWalk.h"
#include "inspect/PassOwner.h"
#include "view/MainView.h"

enum class TPassResult { Completed, Failed, Stopped };

// Mode is read afresh before each row is added: 1 is Advanced, anything else
// Normal. A settings change made during the pass applies to the rows after it.
TPassResult ListOpenFiles(DWORD Pid, const uint32_t& Mode);

// The search for the holders of a file: every process's handles, loaded
// images and mapped views, keeping the holds whose whole name Filter keeps,
// each process that holds one under its header row. Status panel 0 shows
// "Searching..." until "Ready", or "Ready (not looked at: N processes, M
// handles)" when the search could not look everywhere; the label counts the
// rows found.
TPassResult FindHolders(const THoldFilter& Filter);
// The names that hold Text (in the ANSI code page, as the dialog gives it),
// in any letter case.
THoldFilter HoldingText(const std::string& Text);
// FindHolders of HoldingText(Text). Text must not be empty.
TPassResult FindOpenFile(const std::string& Text);

// How a pass lists: one opened process, or every process for PID 0. Each
// adds its rows to Count and returns false when the pass was asked to stop.
class TLister {
 public:
  virtual ~TLister() = default;
  virtual bool ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
                       const uint32_t& Mode, long& Count) = 0;
  virtual bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) = 0;
  // Status panel 0 once the list is complete; SkippedBefore is what
  // NameHandlesSkipped said as the pass began.
  virtual std::string ReadyText(size_t SkippedBefore) const;
};

// The frame of a pass: it clears the list, takes the table and the file type,
// writes the status texts, the count and "Ready", and hands one opened
// process, or PID 0, to the lister.
// Status panel 0 shows Working while the table is taken.
TPassResult RunPass(DWORD Pid, const uint32_t& Mode, TLister& Lister,
                    const char* Working = "Receiving handle table...");

// "0x" and the handle value as eight upper-case hexadecimal digits.
std::string HandleText(ULONG_PTR Handle);
// "Pipe" for a path outside any lettered volume, else "File".
const char* PathType(const std::string& Path);
TFileRow FileRow(ULONG_PTR Handle, const std::string& Path);
// The row of a hold, its path as the window shows it (AnsiName); the hold
// is kept beside its texts. A handle's caption is its value; the other
// kinds have none.
TFileRow FileRow(const THold& Hold, const std::string& Path);

// The window's door to the walk: each hold it hands on becomes a row, in
// the order found; Count counts them.
class TViewSink : public THoldSink {
 public:
  enum THeaders {
    NoHeaders,      // one process's view
    EveryHeader,    // every process under its header, held files or not
    HeaderOnFirst,  // a search: a header over a process once it holds one
  };
  // Mode, when given, is read afresh per row: Normal (anything but 1) keeps
  // drive-letter paths only.
  TViewSink(long& Count, const uint32_t* Mode, THeaders Headers) : Count(Count), Mode(Mode), Headers(Headers) {}
  bool Begin(DWORD Pid) override;
  bool Hold(const THold& Hold) override;
  bool End(DWORD Pid) override;

 private:
  long& Count;
  const uint32_t* const Mode;
  const THeaders Headers;
  bool HeaderShown = false;
  bool Added = false;
};
