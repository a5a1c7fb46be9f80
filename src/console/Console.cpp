#include "console/Console.h"

#include <algorithm>
#include <unordered_map>

#include "console/Arguments.h"
#include "console/Output.h"
#include "console/Text.h"
#include "inspect/HandleClose.h"
#include "inspect/ListOpenFiles.h"
#include "process/Process.h"

#ifndef LUMOREX_VERSION
#define LUMOREX_VERSION "0"
#endif

namespace {

// One line on a console's standard error that counts what is done, once the
// run has taken a second; erased before any other output reaches the console,
// and at the end. Never on a redirected standard error.
class TProgress {
 public:
  explicit TProgress(TStream& Err) : Err(Err), Start(Os().GetTickCount()) {}
  void Count(size_t Processes, size_t Files) {
    if (!Err.IsConsole()) return;
    const DWORD Now = Os().GetTickCount();
    if (Now - Start < ProgressAfterMs || (Width && Now - ShownAt < ProgressEveryMs)) return;
    const std::string Line =
        "\r" + std::to_string(Processes) + " processes, " + std::to_string(Files) + " files done";
    Erase();
    Err.Write(Line);
    Err.Flush();
    Width = Line.size() - 1;
    ShownAt = Now;
  }
  void Erase() {
    if (!Width) return;
    Err.Write("\r" + std::string(Width, ' ') + "\r");
    Width = 0;
    Err.Flush();
  }
  static void EraseBefore(void* Progress) { static_cast<TProgress*>(Progress)->Erase(); }

 private:
  TStream& Err;
  const DWORD Start;
  DWORD ShownAt = 0;
  size_t Width = 0;  // of the line shown; 0 when none is
};

// The processes asked for, in the snapshot's order, each once; a PID or NAME
// that names none is said on standard error.
std::vector<TProcessImage> Selected(const TRequest& Request, TStream& Err) {
  std::vector<TProcessImage> Running = RunningProcesses();
  if (Request.Pids.empty() && Request.Names.empty()) return Running;
  std::vector<TProcessImage> Chosen;
  for (const TProcessImage& P : Running) {
    const bool ByPid = std::find(Request.Pids.begin(), Request.Pids.end(), P.Pid) != Request.Pids.end();
    const bool ByName = std::any_of(Request.Names.begin(), Request.Names.end(),
                                    [&](const TWideString& N) { return ImageNameMatches(P.Name, N); });
    if (ByPid || ByName) Chosen.push_back(P);
  }
  for (DWORD Pid : Request.Pids)
    if (std::none_of(Running.begin(), Running.end(), [&](const TProcessImage& P) { return P.Pid == Pid; }))
      Err.Write("lumorexc: no running process has PID " + std::to_string(Pid) + "\r\n");
  for (const TWideString& Name : Request.Names)
    if (std::none_of(Running.begin(), Running.end(), [&](const TProcessImage& P) { return ImageNameMatches(P.Name, Name); }))
      Err.Write("lumorexc: no running process is named \"" + Utf8(Name) + "\"\r\n");
  Err.Flush();
  return Chosen;
}

// One handle the listing would print, kept whole for its close.
struct TFound {
  DWORD Pid;
  std::string Process;  // UTF-8
  ULONG_PTR Handle;
  TWideString Path;
};

// Whether a person is there to see a question and answer it: standard input
// is a console, that console has a window, and the window station is one a
// person sees. A child started without a console window, a task run while no
// one is logged on and a service have consoles no one answers. The window
// itself need not be visible: under Wine a console started from a terminal
// has one that is never shown.
bool Interactive() {
  const HANDLE In = Os().GetStdHandle(STD_INPUT_HANDLE);
  DWORD Mode = 0;
  if (!In || In == INVALID_HANDLE_VALUE || !Os().GetConsoleMode(In, &Mode) || !Os().GetConsoleWindow()) return false;
  const HWINSTA Station = Os().GetProcessWindowStation();
  USEROBJECTFLAGS Flags = {};
  DWORD Needed = 0;
  return Station && Os().GetUserObjectInformationW(Station, UOI_FLAGS, &Flags, sizeof Flags, &Needed) &&
         (Flags.dwFlags & WSF_VISIBLE) != 0;
}

// Reads one line from the console; only "y" or "Y" is a yes. The whole line
// is read, so what was typed after it is no answer to the next question, and
// the end of input declines.
bool AnsweredYes() {
  const HANDLE In = Os().GetStdHandle(STD_INPUT_HANDLE);
  TWideString Line;
  WCHAR Part[64];
  DWORD Read = 0;
  while (Line.find('\n') == TWideString::npos && Os().ReadConsoleW(In, Part, 64, &Read, nullptr) && Read > 0)
    Line.append(Part, std::min<DWORD>(Read, 64));
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r' || Line.back() == ' ')) Line.pop_back();
  return Line.size() == 1 && (Line[0] == 'y' || Line[0] == 'Y');
}

const char* WhyNotClosed(TCloseResult Result) {
  switch (Result) {
    case TCloseResult::NotOpened: return "the process could not be opened";
    case TCloseResult::OtherFile: return "the handle now refers to another file";
    case TCloseResult::NotVerified: return "the handle's name could not be checked";
    case TCloseResult::OwnProcess: return "Lumorex's own process";
    case TCloseResult::SystemProcess: return "a system process";
    case TCloseResult::ProcessEnded: return "the process has ended";
    case TCloseResult::HandleClosed: return "the handle was closed";
    case TCloseResult::Closed:
    case TCloseResult::NotClosed: break;
  }
  return "the handle could not be closed";
}

// Its holder let the file go before the close came: what the close was for.
bool AlreadyReleased(TCloseResult Result) {
  return Result == TCloseResult::ProcessEnded || Result == TCloseResult::HandleClosed;
}

// Asks on the console's own screen, never into a redirected standard error,
// once the keys typed before it are discarded: type-ahead answers nothing. A
// question that could not be shown is declined.
bool AskedYes(TStream& Screen, const std::string& Question) {
  Os().FlushConsoleInputBuffer(Os().GetStdHandle(STD_INPUT_HANDLE));
  Screen.Write(Question);
  return Screen.Flush() && AnsweredYes();
}

// Takes the handles one at a time, once the listing is done: the name worker
// checks one handle only when it names nothing else.
int CloseFound(const std::vector<TFound>& Found, bool Ask, TStream& Out, TStream& Err) {
  const TOwnedHandle Console(Ask ? Os().CreateFileW(Widen("CONOUT$").c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                    nullptr)
                                 : nullptr);
  TStream Screen(Console.Get());
  bool AllClosed = true;
  for (const TFound& F : Found) {
    // Names are written as the table writes them: one line each.
    const std::string Which =
        HandleText(F.Handle) + " in " + std::to_string(F.Pid) + " (" + OneLine(F.Process) + ")";
    const std::string Path = OneLine(Utf8(F.Path));
    TCloseResult Result = TCloseResult::NotClosed;
    bool Declined = false;
    // A refusal is not asked about: no answer makes such a close safe.
    if (!CloseRefused(F.Pid, &Result)) {
      Declined = Ask && !AskedYes(Screen, "Close " + Which + ": " + Path + "? [y/N] ");
      if (!Declined) Result = CloseHandleOf(F.Pid, F.Handle, NamedExactly(F.Path));
    }
    AllClosed = AllClosed && !Declined && (Result == TCloseResult::Closed || AlreadyReleased(Result));
    const std::string Line =
        Declined                          ? "Not closed " + Which + ": declined"
        : Result == TCloseResult::Closed ? "Closed " + Which + ": " + Path
        : (AlreadyReleased(Result) ? "Already released " : "Not closed ") + Which + ": " + WhyNotClosed(Result);
    Out.Write(Line + "\r\n");
    // Each line is seen before the next question, or before a stop.
    if (!Out.Flush()) break;
  }
  if (Out.Failed()) {
    Err.Write("lumorexc: the output could not be written\r\n");
    Err.Flush();
    return ExitCannot;
  }
  if (Found.empty()) return ExitNothing;
  return AllClosed ? ExitListed : ExitNotClosed;
}

}  // namespace

int RunConsole(const std::vector<TWideString>& Arguments) {
  TStream Out(STD_OUTPUT_HANDLE), Err(STD_ERROR_HANDLE);
  const TRequest Request = ReadArguments(Arguments);
  switch (Request.Action) {
    case TRequest::Help:
      Out.Write(UsageText);
      return Out.Flush() ? ExitListed : ExitCannot;
    case TRequest::Version:
      Out.Write("lumorexc " LUMOREX_VERSION "\r\n");
      return Out.Flush() ? ExitListed : ExitCannot;
    case TRequest::Usage:
      Err.Write("lumorexc: " + Request.Error + "\r\n" + UsageText);
      Err.Flush();
      return ExitUsage;
    case TRequest::List:
      break;
  }
  const bool Ask = Request.Close && !Request.Yes;
  if (Ask && !Interactive()) {
    Err.Write("lumorexc: --close asks before each handle and standard input is not a console; "
              "give --yes to close without asking\r\n");
    Err.Flush();
    return ExitUsage;
  }
  if (!IsAdmin()) {
    Err.Write("lumorexc: administrative rights are needed\r\n");
    Err.Flush();
    return ExitCannot;
  }
  SetDebugPrivilege(true);

  const std::vector<TProcessImage> Processes = Selected(Request, Err);
  uint16_t FileType = 0;
  TInfoTable Table = GetInfoTable(&FileType);
  if (!Table) {
    Err.Write("lumorexc: the system handle table could not be read\r\n");
    Err.Flush();
    return ExitCannot;
  }
  // One walk keeps the file entries of the processes asked for, in table order.
  std::unordered_map<DWORD, std::vector<THandleTableView::TEntry>> ByOwner;
  for (const TProcessImage& P : Processes) ByOwner[Table.OwnerKey(P.Pid)];
  for (size_t I = 0; FileType != 0 && I < Table.NumberOfHandles(); ++I) {
    const THandleTableView::TEntry Entry = Table.Entry(I);
    if (Entry.ObjectTypeNumber != FileType) continue;
    auto Found = ByOwner.find(Entry.ProcessId);
    if (Found != ByOwner.end()) Found->second.push_back(Entry);
  }

  TProgress Progress(Err);
  Out.SetBeforeConsoleWrite(&TProgress::EraseBefore, &Progress);
  TRowWriter Rows(Request.Format, Out);
  std::vector<TFound> Found;
  if (!Request.Close) Rows.Begin();
  const TWideString Sought = UpperCase(Request.Find);
  const size_t SkippedBefore = NameHandlesSkipped();
  size_t ProcessesDone = 0, FilesDone = 0;
  for (const TProcessImage& P : Processes) {
    std::vector<THandleTableView::TEntry>& Entries = ByOwner[Table.OwnerKey(P.Pid)];
    TSharedProcess Process;
    if (!Entries.empty()) Process = std::make_shared<const TOwnedHandle>(Os().OpenProcess(PROCESS_DUP_HANDLE, FALSE, P.Pid));
    if (Process && *Process) {
      const std::string Name = Utf8(P.Name);
      const TNameSink Show = [&](size_t I, const TWideString& Path) {
        Progress.Count(ProcessesDone, ++FilesDone);
        if (Path.empty() || Out.Failed()) return;
        // Without --all, what the window's Normal mode lists: drive-letter paths.
        if (!Request.All && Path[0] == '\\') return;
        if (!Sought.empty() && UpperCase(Path).find(Sought) == TWideString::npos) return;
        if (Request.Close) {
          Found.push_back({P.Pid, Name, Entries[I].Handle, Path});
          return;
        }
        const std::string Text = Utf8(Path);
        Rows.File({P.Pid, Name, Entries[I].Handle, PathType(Text), Text});
      };
      NameProcessHandles(Process, Entries.data(), Entries.size(), Show, nullptr);
    }
    // What has been named is let go: memory follows what is being named.
    std::vector<THandleTableView::TEntry>().swap(Entries);
    Progress.Count(++ProcessesDone, FilesDone);
    if (!Out.Flush()) break;
  }
  if (!Request.Close) Rows.End();
  Progress.Erase();
  if (Out.Failed()) {
    Err.Write("lumorexc: the output could not be written\r\n");
    Err.Flush();
    return ExitCannot;
  }
  if (NameHandlesSkipped() != SkippedBefore) {
    Err.Write("lumorexc: some handles skipped: queries stuck\r\n");
    Err.Flush();
  }
  // What was named is let go before the first close: the table and the
  // owners' handles are taken again, fresh, for each one.
  Table = TInfoTable();
  if (Request.Close) return CloseFound(Found, Ask, Out, Err);
  return Rows.Rows() > 0 ? ExitListed : ExitNothing;
}
