#include "console/Console.h"

#include <algorithm>
#include <unordered_map>

#include "console/Arguments.h"
#include "console/Output.h"
#include "console/Text.h"
#include "inspect/HandleClose.h"
#include "inspect/HoldWalk.h"
#include "inspect/ListOpenFiles.h"
#include "process/Process.h"
#include "settings/ExplorerMenu.h"

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
  // PID 0 means every process, as the window's line of PID 0 does.
  if ((Request.Pids.empty() && Request.Names.empty()) ||
      std::find(Request.Pids.begin(), Request.Pids.end(), DWORD(0)) != Request.Pids.end())
    return Running;
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

// What a run found and how far it got: the one input of its exit code.
struct TOutcome {
  size_t Listed = 0;        // rows written, or holds found to close
  bool Complete = true;     // every process and handle asked for was looked at
  bool WriteFailed = false;  // the output could not be written; a reader that went is no failure
  bool Close = false;
  bool AllClosed = true;    // every hold found was closed
};

int ExitCodeOf(const TOutcome& Outcome) {
  if (Outcome.WriteFailed) return ExitWriteFailed;
  if (Outcome.Listed == 0) return Outcome.Complete ? ExitNothing : ExitIncomplete;
  return Outcome.Close && !Outcome.AllClosed ? ExitNotClosed : ExitListed;
}

// Says on standard error what could not be looked at, so that "nothing
// holds it" is never read where the run did not look.
void SayNotLookedAt(const TPassTally& Tally, const std::unordered_map<DWORD, std::string>& Names, TStream& Err) {
  if (Tally.Complete()) return;
  constexpr size_t Named = 10;
  std::string Line = "lumorexc: not looked at: ";
  if (!Tally.NotOpened.empty()) {
    Line += std::to_string(Tally.NotOpened.size()) + " processes: ";
    for (size_t I = 0; I < Tally.NotOpened.size() && I < Named; ++I) {
      const DWORD Pid = Tally.NotOpened[I];
      auto Name = Names.find(Pid);
      Line += (I ? ", " : "") + std::to_string(Pid) + " (" + (Name == Names.end() ? "" : Name->second) + ")";
    }
    if (Tally.NotOpened.size() > Named) Line += " and " + std::to_string(Tally.NotOpened.size() - Named) + " more";
    if (Tally.Unnamed) Line += "; ";
  }
  if (Tally.Unnamed) Line += std::to_string(Tally.Unnamed) + " handles unnamed";
  Err.Write(Line + "\r\n");
  Err.Flush();
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

// Takes the holds one at a time, once the listing is done: the name worker
// checks one handle only when it names nothing else.
void CloseFound(const std::vector<THold>& Found, const std::unordered_map<DWORD, std::string>& Names, bool Ask,
                TStream& Out, TOutcome& Outcome) {
  const TOwnedHandle Console(Ask ? Os().CreateFileW(Widen("CONOUT$").c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                    nullptr)
                                 : nullptr);
  TStream Screen(Console.Get());
  size_t Released = 0;
  for (const THold& F : Found) {
    // Names are written as the table writes them: one line each.
    const std::string Path = OneLine(Utf8(F.Name));
    const bool IsHandle = F.Kind == THoldKind::Handle;
    const std::string Which = (IsHandle ? HandleText(F.Handle) : HoldType(F) + (" " + Path)) + " in " +
                              std::to_string(F.Pid) + " (" + OneLine(Names.at(F.Pid)) + ")";
    std::string Line = "Not closed " + Which + ": loaded by the process; ending the process releases it";
    if (IsHandle) {
      TCloseResult Result = TCloseResult::NotClosed;
      bool Declined = false;
      // A refusal is not asked about: no answer makes such a close safe.
      if (!CloseRefused(F.Pid, &Result)) {
        Declined = Ask && !AskedYes(Screen, "Close " + Which + ": " + Path + "? [y/N] ");
        if (!Declined) Result = CloseHandleOf(F);
      }
      Released += !Declined && (Result == TCloseResult::Closed || AlreadyReleased(Result));
      Line = Declined                          ? "Not closed " + Which + ": declined"
             : Result == TCloseResult::Closed ? "Closed " + Which + ": " + Path
             : (AlreadyReleased(Result) ? "Already released " : "Not closed ") + Which + ": " + WhyNotClosed(Result);
    }
    Out.Write(Line + "\r\n");
    // Each line is seen before the next question, or before a stop.
    if (!Out.Flush()) break;
  }
  Outcome.AllClosed = Released == Found.size();
}

// The console's door to the walk: rows written as they are found, or kept
// for their close; a reader that has gone stops the walk at once.
class TConsoleSink : public THoldSink {
 public:
  TConsoleSink(const TRequest& Request, const std::unordered_map<DWORD, std::string>& Names, TRowWriter& Rows,
               TStream& Out, TProgress& Bar, std::vector<THold>& Found)
      : Request(Request), Names(Names), Rows(Rows), Out(Out), Bar(Bar), Found(Found) {}
  bool Hold(const THold& Hold) override {
    if (Out.Failed()) return false;
    // Without --all, what the window's Normal mode lists: drive-letter paths.
    if (!Request.All && Hold.Name[0] == '\\') return true;
    if (Request.Close) {
      Found.push_back(Hold);
      return true;
    }
    Rows.File({Hold, Names.at(Hold.Pid), Utf8(Hold.Name)});
    return !Out.Failed();
  }
  // What each process found is written before the next is looked at.
  bool End(DWORD) override { return Out.Flush(); }
  void Progress(const TPassTally& Tally) override { Bar.Count(Tally.Processes, Tally.Named); }

 private:
  const TRequest& Request;
  const std::unordered_map<DWORD, std::string>& Names;
  TRowWriter& Rows;
  TStream& Out;
  TProgress& Bar;
  std::vector<THold>& Found;
};

// Explorer's verbs for the window beside this program, for a deployment
// script: exit 0 when done, ExitCannot when the keys could not be written.
int RunExplorerMenu(const TRequest& Request, TStream& Out, TStream& Err) {
  const HKEY Root = Request.AllUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  const std::string Whose = Request.AllUsers ? "every user" : "this user";
  const TWideString Program = Beside(RunningProgram(), "lumorex.exe");
  std::string Failure;
  // This program is often copied alone: no verb may start a window that is not there.
  if (Request.MenuAdd && Os().GetFileAttributesW(Program.c_str()) == INVALID_FILE_ATTRIBUTES)
    Failure = Utf8(Program) + " is not there";
  else if (!(Request.MenuAdd ? AddExplorerMenu(Root, Program) : RemoveExplorerMenu(Root)))
    Failure = "the keys could not be written" + std::string(Request.AllUsers ? " (administrators only)" : "");
  if (!Failure.empty()) {
    Err.Write("lumorexc: Explorer menu entry for " + Whose + " not " + (Request.MenuAdd ? "added: " : "removed: ") +
              Failure + "\r\n");
    Err.Flush();
    return ExitCannot;
  }
  Out.Write(Request.MenuAdd ? "Explorer menu entry added for " + Whose + ": " + Utf8(ExplorerCommand(Program)) + "\r\n"
                            : "Explorer menu entry removed for " + Whose + "\r\n");
  Out.Flush();  // the keys are written: a reader that is gone changes nothing
  return 0;
}

}  // namespace

int RunConsole(const std::vector<TWideString>& Arguments) {
  TStream Out(STD_OUTPUT_HANDLE), Err(STD_ERROR_HANDLE);
  const TRequest Request = ReadArguments(Arguments);
  switch (Request.Action) {
    case TRequest::Help:
      Out.Write(UsageText);
      return Out.Flush() || Out.ReaderGone() ? ExitListed : ExitWriteFailed;
    case TRequest::Version:
      Out.Write("lumorexc " LUMOREX_VERSION "\r\n");
      return Out.Flush() || Out.ReaderGone() ? ExitListed : ExitWriteFailed;
    case TRequest::Usage:
      Err.Write("lumorexc: " + Request.Error + "\r\n" + UsageText);
      Err.Flush();
      return ExitUsage;
    case TRequest::ExplorerMenu:
      return RunExplorerMenu(Request, Out, Err);
    case TRequest::List:
      break;
  }
  const bool Ask = Request.Close && !Request.Yes;
  if (Ask && !Interactive()) {
    Err.Write("lumorexc: --close asks before each handle and no one is there to answer (standard input is no "
              "console a person sees); give --yes to close without asking\r\n");
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
  std::vector<DWORD> Pids;
  std::unordered_map<DWORD, std::string> Names;
  for (const TProcessImage& P : Processes) {
    Pids.push_back(P.Pid);
    Names[P.Pid] = Utf8(P.Name);
  }
  THoldFilter Filter;
  if (!Request.Find.empty()) Filter = THoldFilter::Holding(Request.Find);
  if (!Request.Files.empty()) {
    std::vector<TWideString> Paths;
    for (const TWideString& Given : Request.Files) Paths.push_back(ResolvePath(Given));
    Filter = THoldFilter::Under(Paths);
  }
  TWalkSources Sources;
  // Whoever asks what holds a file means every kind of hold.
  Sources.Images = Request.Modules || !Request.Find.empty() || !Request.Files.empty();

  TProgress Bar(Err);
  Out.SetBeforeConsoleWrite(&TProgress::EraseBefore, &Bar);
  TRowWriter Rows(Request.Format, Out);
  std::vector<THold> Found;
  if (!Request.Close) Rows.Begin();
  TConsoleSink Sink(Request, Names, Rows, Out, Bar, Found);
  THoldWalk Walk(Table, FileType, Sources, Filter, Sink, nullptr);
  Walk.Group(Pids);
  for (DWORD Pid : Pids)
    if (!Walk.Walk(Pid)) break;
  if (!Request.Close) Rows.End();
  Bar.Erase();
  TOutcome Outcome;
  Outcome.Complete = Walk.Tally().Complete();
  Outcome.Listed = Request.Close ? Found.size() : Rows.Rows();
  Outcome.Close = Request.Close;
  SayNotLookedAt(Walk.Tally(), Names, Err);
  // What was named is let go before the first close: the table and the
  // owners' handles are taken again, fresh, for each one.
  Table = TInfoTable();
  // Nothing is written before the closes: the output stands as it was.
  if (Request.Close) CloseFound(Found, Names, Ask, Out, Outcome);
  Outcome.WriteFailed = Out.Failed() && !Out.ReaderGone();
  if (Outcome.WriteFailed) {
    Err.Write("lumorexc: the output could not be written\r\n");
    Err.Flush();
  }
  return ExitCodeOf(Outcome);
}
