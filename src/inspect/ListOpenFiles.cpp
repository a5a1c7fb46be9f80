#include "inspect/ListOpenFiles.h"

#include <cstdio>

#include "inspect/AllProcesses.h"

namespace {
// Handles duplicated and named together; the list grows by this many at most
// between dispatches. The first chunk is small, so the first rows show soon.
constexpr size_t Chunk = 256, FirstChunk = 32;
size_t ChunkAt(size_t From) { return From == 0 ? FirstChunk : Chunk; }
}  // namespace

std::string HandleText(ULONG_PTR Handle) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08X", static_cast<unsigned>(Handle & 0xFFFFFFFFu));
  return Text;
}

const char* PathType(const std::string& Path) { return !Path.empty() && Path[0] == '\\' ? "Pipe" : "File"; }

TFileRow FileRow(ULONG_PTR Handle, const std::string& Path) { return {HandleText(Handle), {Path, PathType(Path)}}; }

namespace {

// The duplicates of one chunk of a process's file entries.
struct TChunk {
  std::vector<TOwnedHandle> Copies;
  std::vector<HANDLE> Handles;
  std::vector<size_t> Owners;  // the entry behind each copy
};

bool Duplicate(HANDLE Process, const THandleTableView& Table, const std::vector<size_t>& Entries, size_t From,
               TChunk& Out) {
  Out.Copies.clear();
  Out.Handles.clear();
  Out.Owners.clear();
  for (size_t I = From; I < std::min(Entries.size(), From + ChunkAt(From)); ++I) {
    if (!Pass().KeepGoing(false)) return false;
    TOwnedHandle Copy;
    if (!Os().DuplicateHandle(Process, reinterpret_cast<HANDLE>(Table.Entry(Entries[I]).Handle),
                              Os().GetCurrentProcess(), Copy.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS))
      continue;
    Out.Handles.push_back(Copy.Get());
    Out.Copies.push_back(std::move(Copy));
    Out.Owners.push_back(Entries[I]);
  }
  return true;
}

}  // namespace

bool ListProcessFiles(HANDLE Process, const THandleTableView& Table, const std::vector<size_t>& Entries,
                      const uint32_t* Mode, long& Count, TRowFilter* Filter) {
  TMainView& Out = View();
  TChunk Current, Following;
  std::vector<std::string> Names;
  if (!Duplicate(Process, Table, Entries, 0, Current)) return false;
  for (size_t From = 0; From < Entries.size(); From += ChunkAt(From)) {
    // The worker names this chunk while the next one is duplicated. A stop
    // during that still ends the worker through Finish, which knows where it is.
    TNamer Namer;
    Namer.Start(Current.Handles.data(), Current.Handles.size());
    const size_t After = From + ChunkAt(From);
    bool Going = After >= Entries.size() || Duplicate(Process, Table, Entries, After, Following);
    Names.assign(Current.Handles.size(), std::string());
    if (!Namer.Finish(Names.data(), &Pass()) || !Going) return false;
    bool Added = false;
    for (size_t I = 0; I < Names.size(); ++I) {
      const std::string& Path = Names[I];
      if (Path.empty()) continue;
      // Normal mode keeps drive-letter paths only; the mode is read afresh per row.
      if (Mode && *Mode != 1 && Path[0] == '\\') continue;
      if (Filter) {
        if (UpperCase(Path).find(Filter->Sought) == std::string::npos) continue;
        if (!Filter->HeaderShown) Out.AddFile(Filter->Header());
        Filter->HeaderShown = true;
      }
      Out.AddFile(FileRow(Table.Entry(Current.Owners[I]).Handle, Path));
      ++Count;
      Added = true;
    }
    std::swap(Current, Following);  // this chunk's duplicates close with Following's next use
    Following.Copies.clear();
    if (Added && !Pass().KeepGoing(true)) return false;
  }
  return true;
}

namespace {

class TFastLister : public TLister {
 public:
  bool ListOne(HANDLE Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType, const uint32_t& Mode,
               long& Count) override;
  bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) override {
    return ListAllProcesses(Table, FileType, Count);
  }
};

bool TFastLister::ListOne(HANDLE Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
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
    if (!Lister.ListOne(Process.Get(), Pid, Table, FileType, Mode, Count)) return TPassResult::Stopped;
  } else if (!Lister.ListAll(Table, FileType, Count)) {
    return TPassResult::Stopped;
  }

  Out.SetOpenFilesLabel("Open files: " + std::to_string(Count));
  Out.SetStatus(0, "Ready");
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
  bool ListOne(HANDLE, DWORD, const THandleTableView&, uint16_t, const uint32_t&, long&) override { return true; }
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
