// The listing pass: fills the file list with the open files of one process, or
// of every process for PID 0.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "inspect/File2Name.h"
#include "inspect/PassOwner.h"
#include "view/MainView.h"

enum class TPassResult { Completed, Failed, Stopped };

// Mode is read afresh before each row is added: 1 is Advanced, anything else
// Normal. A settings change made during the pass applies to the rows after it.
TPassResult ListOpenFiles(DWORD Pid, const uint32_t& Mode);

// The search for the holders of a file: every process's handles named as the
// all-processes view names them, keeping the rows whose path holds Text,
// compared upper-cased, each process that holds one under its header row.
// Status panel 0 shows "Searching..." until "Ready"; the label counts the
// rows found. Text must not be empty.
TPassResult FindOpenFile(const std::string& Text);

// How a pass lists: one opened process, or every process for PID 0. Each
// adds its rows to Count and returns false when the pass was asked to stop.
class TLister {
 public:
  virtual ~TLister() = default;
  virtual bool ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
                       const uint32_t& Mode, long& Count) = 0;
  virtual bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) = 0;
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

// What a search keeps of a process's rows: those whose path holds Sought
// (upper-cased), after the process's header row, made when the first is kept.
struct TRowFilter {
  const std::string& Sought;
  std::function<TFileRow()> Header;
  bool HeaderShown = false;
};

// Lists the file rows of one opened process from the table entries that are
// its file handles, in their order; Mode null lists every object; Filter,
// when given, keeps only the rows a search finds. False when the pass was
// asked to stop.
bool ListProcessFiles(const TSharedProcess& Process, const THandleTableView& Table, const std::vector<size_t>& Entries,
                      const uint32_t* Mode, long& Count, TRowFilter* Filter = nullptr);
