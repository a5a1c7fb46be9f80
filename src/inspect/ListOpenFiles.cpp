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

TFileRow FileRow(const THold& Hold, const std::string& Path) {
  TFileRow Row(Hold.Kind == THoldKind::Handle ? HandleText(Hold.Handle) : std::string(), {Path, HoldType(Hold)});
  Row.Hold = Hold;
  return Row;
}

bool TViewSink::Begin(DWORD Pid) {
  HeaderShown = Added = false;
  if (Headers != EveryHeader) return true;
  View().AddFile(ProcessHeaderRow(Pid));
  return Pass().KeepGoing(true);
}

bool TViewSink::Hold(const THold& Hold) {
  // The window's door: a name longer than its field is cut, not dropped.
  const std::string Path = AnsiName(Hold.Name);
  if (Path.empty()) return true;
  // Normal mode keeps drive-letter paths only; the mode is read afresh per row.
  if (Mode && *Mode != 1 && Path[0] == '\\') return true;
  TMainView& Out = View();
  if (Headers == HeaderOnFirst && !HeaderShown) Out.AddFile(ProcessHeaderRow(Hold.Pid));
  HeaderShown = true;
  Out.AddFile(FileRow(Hold, Path));
  if (Count++ == 0) Pass().DispatchSoon();
  Added = true;
  return true;
}

bool TViewSink::End(DWORD) { return !Added || Pass().KeepGoing(true); }

std::string TLister::ReadyText(size_t SkippedBefore) const {
  // Handles left unnamed for want of workers that end are not silently lost.
  return NameHandlesSkipped() != SkippedBefore ? "Ready (some handles skipped: queries stuck)" : "Ready";
}

namespace {

class TFastLister : public TLister {
 public:
  bool ListOne(const TSharedProcess& Process, DWORD Pid, const THandleTableView& Table, uint16_t FileType,
               const uint32_t& Mode, long& Count) override {
    TViewSink Rows(Count, &Mode, TViewSink::NoHeaders);
    THoldWalk Walk(Table, FileType, TWalkSources(), THoldFilter(), Rows, &Pass());
    return Walk.Group({Pid}) && Walk.Walk(Pid, Process);
  }
  bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) override {
    return ListAllProcesses(Table, FileType, Count);
  }
};

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
  Out.SetStatus(0, Lister.ReadyText(SkippedBefore));
  return TPassResult::Completed;
}

TPassResult ListOpenFiles(DWORD Pid, const uint32_t& Mode) {
  TFastLister Fast;
  return RunPass(Pid, Mode, Fast);
}

namespace {

class TSearchLister : public TLister {
 public:
  explicit TSearchLister(const THoldFilter& Filter) : Filter(Filter) {}
  bool ListOne(const TSharedProcess&, DWORD, const THandleTableView&, uint16_t, const uint32_t&, long&) override { return true; }
  bool ListAll(const THandleTableView& Table, uint16_t FileType, long& Count) override {
    return ListAllProcesses(Table, FileType, Count, &Filter, &Tally);
  }
  std::string ReadyText(size_t) const override {
    if (Tally.Complete()) return "Ready";
    return "Ready (not looked at: " + std::to_string(Tally.NotOpened.size()) + " processes, " +
           std::to_string(Tally.Unnamed) + " handles)";
  }

 private:
  const THoldFilter& Filter;
  TPassTally Tally;
};

}  // namespace

TPassResult FindHolders(const THoldFilter& Filter) {
  TSearchLister Search(Filter);
  static const uint32_t EveryObject = 1;  // pipes and devices are searched too
  return RunPass(0, EveryObject, Search, "Searching...");
}

THoldFilter HoldingText(const std::string& Text) {
  const int Units = Os().MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  TWideString Wide(Units > 0 ? static_cast<size_t>(Units) : 0, WCHAR());
  if (Units > 0) Os().MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), &Wide[0], Units);
  return THoldFilter::Holding(Wide);
}

TPassResult FindOpenFile(const std::string& Text) { return FindHolders(HoldingText(Text)); }
