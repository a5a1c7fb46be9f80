#include "inspect/ListOpenFiles.h"

#include <cstdio>

#include "inspect/AllProcesses.h"

namespace {
bool StopRequested = false;
int Depth = 0;

struct TPassDepth {
  TPassDepth() {
    ++Depth;
    StopRequested = false;
  }
  ~TPassDepth() {
    // A stop asked of this pass ends with it; an outer pass runs on.
    --Depth;
    StopRequested = false;
  }
};
}  // namespace

void RequestPassStop() {
  if (Depth > 0) StopRequested = true;
}
bool PassStopRequested() { return StopRequested; }
bool PassRunning() { return Depth > 0; }

bool PassKeepsGoing() {
  Os().ProcessMessages();
  return !StopRequested;
}

std::string HandleText(ULONG_PTR Handle) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08X", static_cast<unsigned>(Handle & 0xFFFFFFFFu));
  return Text;
}

const char* PathType(const std::string& Path) { return !Path.empty() && Path[0] == '\\' ? "Pipe" : "File"; }

TFileRow FileRow(ULONG_PTR Handle, const std::string& Path) { return {HandleText(Handle), {Path, PathType(Path)}}; }

std::string NameEntry(HANDLE Process, const THandleTableView::TEntry& Entry) {
  TOwnedHandle Copy;
  if (!Os().DuplicateHandle(Process, reinterpret_cast<HANDLE>(Entry.Handle), Os().GetCurrentProcess(), Copy.Receive(),
                            0, FALSE, DUPLICATE_SAME_ACCESS))
    return "";
  return HandleToFileName(Copy.Get());
}

TPassResult ListOpenFiles(DWORD Pid, const uint32_t& Mode) {
  TPassDepth Running;
  TMainView& Out = View();
  Out.ClearFiles();
  Out.SetStatus(0, "Receiving handle table...");
  long Count = 0;

  TInfoTable Table = GetInfoTable();
  if (!Table) {
    Out.SetStatus(0, "Error with receiving handle table.");
    return TPassResult::Failed;
  }
  const uint16_t FileType = GetFileObjectType();

  if (Pid != 0) {
    TOwnedHandle Process(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
    if (!Process) {
      Out.SetStatus(0, "Process access error.");
      return TPassResult::Failed;
    }
    Out.SetStatus(0, "Enumerating handles for process: " + std::to_string(Pid));
    for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
      if (!PassKeepsGoing()) return TPassResult::Stopped;
      const THandleTableView::TEntry Entry = Table.Entry(I);
      // Type 0 means the file type was not found: no entry is a file then.
      if (!Table.OwnedBy(Entry, Pid) || FileType == 0 || Entry.ObjectTypeNumber != FileType) continue;
      const std::string Path = NameEntry(Process.Get(), Entry);
      if (Path.empty()) continue;
      // Normal mode keeps drive-letter paths only.
      if (Mode != 1 && Path[0] == '\\') continue;
      Out.AddFile(FileRow(Entry.Handle, Path));
      ++Count;
    }
  } else if (!ListAllProcesses(Table, FileType, Count)) {
    return TPassResult::Stopped;
  }

  Out.SetOpenFilesLabel("Open files: " + std::to_string(Count));
  Out.SetStatus(0, "Ready");
  return TPassResult::Completed;
}
