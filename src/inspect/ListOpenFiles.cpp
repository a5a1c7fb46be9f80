#include "inspect/ListOpenFiles.h"

#include <cstdio>

#include "inspect/AllProcesses.h"

std::string HandleText(ULONG_PTR Handle) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08X", static_cast<unsigned>(Handle & 0xFFFFFFFFu));
  return Text;
}

const char* PathType(const std::string& Path) { return !Path.empty() && Path[0] == '\\' ? "Pipe" : "File"; }

TFileRow FileRow(ULONG_PTR Handle, const std::string& Path) { return {HandleText(Handle), {Path, PathType(Path)}}; }

bool ListProcessFiles(const TSharedProcess& Process, const THandleTableView& Table, const std::vector<size_t>& Entries,
                      const uint32_t* Mode, long& Count, TRowFilter* Filter) {
  TMainView& Out = View();
  std::vector<THandleTableView::TEntry> Handles(Entries.size());
  for (size_t I = 0; I < Entries.size(); ++I) Handles[I] = Table.Entry(Entries[I]);
  bool Added = false;
  const TNameSink Show = [&](size_t I, const TWideString& Name) {
    if (Name.empty()) return;
    // The window's door: a name longer than its field is cut, not dropped.
    const std::string Path = AnsiName(Name);
    if (Path.empty()) return;
    // Normal mode keeps drive-letter paths only; the mode is read afresh per row.
    if (Mode && *Mode != 1 && Path[0] == '\\') return;
    if (Filter) {
      if (UpperCase(Path).find(Filter->Sought) == std::string::npos) return;
      if (!Filter->HeaderShown) Out.AddFile(Filter->Header());
      Filter->HeaderShown = true;
    }
    Out.AddFile(FileRow(Handles[I].Handle, Path));
    if (Count++ == 0) Pass().DispatchSoon();
    Added = true;
  };
  if (!NameProcessHandles(Process, Handles.data(), Handles.size(), Show, &Pass())) return false;
  return !Added || Pass().KeepGoing(true);
}

namespace {

class TFastLister : public TLister {
 public:
  bool ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
               const uint32_t& Mode, long& Count) override;
  bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) override {
    return ListAllProcesses(Table, FileType, Count);
  }
};

bool TFastLister::ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
                          const uint32_t& Mode, long& Count) {
  std::vector<size_t> Entries;
  for (size_t I = 0; I < Table.NumberOfHandles(); ++I) {
    if (!Pass().KeepGoing(false)) return false;
    const THandleTableView::TEntry Entry = Table.Entry(I);
    // Type 0 means the file type was not found: no entry is a file then.
    if (Table.OwnedBy(Entry, Pid) && FileType != 0 && Entry.ObjectTypeNumber == FileType) Entries.push_back(I);
  }
  return ListProcessFiles(Process, Table, Entries, &Mode, Count);
}

}  // namespace

TPassResult RunPass(DWORD Pid, const uint32_t& Mode, TLister& Lister, const char* Working) {
  TPassOwner::TRun Running(Pass());
  TMainView& Out = View();
  Out.ClearFiles();
  Out.SetStatus(0, Working);
  long Count = 0;
  const size_t SkippedBefore = NameHandlesSkipped();

  uint16_t FileType = 0;
  TInfoTable Table = GetInfoTable(&FileType);
  if (!Table) {
    Out.SetStatus(0, "Error with receiving handle table.");
    return TPassResult::Failed;
  }

  if (Pid != 0) {
    TSharedProcess Process = std::make_shared<const TOwnedHandle>(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, Pid));
    if (!*Process) {
      Out.SetStatus(0, "Process access error.");
      return TPassResult::Failed;
    }
    Out.SetStatus(0, "Enumerating handles for process: " + std::to_string(Pid));
    if (!Lister.ListOne(Process, Pid, Table, FileType, Mode, Count)) return TPassResult::Stopped;
  } else if (!Lister.ListAll(Table, FileType, Count)) {
    return TPassResult::Stopped;
  }

  Out.SetOpenFilesLabel("Open files: " + std::to_string(Count));
  // Handles left unnamed for want of workers that end are not silently lost.
  Out.SetStatus(0, NameHandlesSkipped() != SkippedBefore ? "Ready (some handles skipped: queries stuck)" : "Ready");
  return TPassResult::Completed;
}

TPassResult ListOpenFiles(DWORD Pid, const uint32_t& Mode) {
  TFastLister Fast;
  return RunPass(Pid, Mode, Fast);
}

namespace {

class TSearchLister : public TLister {
 public:
  explicit TSearchLister(std::string Sought) : Sought(std::move(Sought)) {}
  bool ListOne(const TSharedProcess&, DWORD, const THandleTableView&, uint16_t, const uint32_t&, long&) override { return true; }
  bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) override {
    return ListAllProcesses(Table, FileType, Count, &Sought);
  }

 private:
  std::string Sought;
};

}  // namespace

TPassResult FindOpenFile(const std::string& Text) {
  TSearchLister Search(UpperCase(Text));
  static const uint32_t EveryObject = 1;  // pipes and devices are searched too
  return RunPass(0, EveryObject, Search, "Searching...");
}
