#include "ui/Main.h"

#include <cstring>
#include <utility>

#include "inspect/HandleClose.h"
#include "inspect/ListOpenFiles.h"
#include "process/Process.h"
#include "process/ProcessList.h"
#include "report/Report.h"
#include "settings/ExplorerMenu.h"
#include "settings/Settings.h"
#include "ui/CommandLine.h"
#include "ui/FileDialog.h"

int SortDirection = 1;

namespace {

int Compare(const std::string& A, const std::string& B, int Direction) {
  int Order = UpperCase(A).compare(UpperCase(B));  // byte by byte, as unsigned characters
  return Order > 0 ? Direction : Order < 0 ? -Direction : 0;
}

const std::string& SubItem(const TFileRow& Row, size_t Index) {
  static const std::string Empty;
  return Index < Row.SubItems.size() ? Row.SubItems[Index] : Empty;
}

// Device paths and header rows have no Properties sheet.
bool HasPropertiesSheet(const std::string& Path) { return Path.size() >= 2 && Path[0] != '\\' && Path[1] == ':'; }

void ShowProperties(const std::string& Path) {
  SHELLEXECUTEINFOA Info = {};
  Info.cbSize = sizeof Info;
  Info.fMask = SEE_MASK_INVOKEIDLIST;
  Info.lpVerb = "properties";
  Info.lpFile = Path.c_str();
  Os().ShellExecuteExA(&Info);
}

bool PutOnClipboard(HWND Owner, const std::string& Text) {
  TOwnedGlobal Block(Os().GlobalAlloc(GMEM_MOVEABLE, Text.size() + 1));
  if (!Block) return false;
  void* At = Os().GlobalLock(Block.Get());
  if (!At) return false;
  std::memcpy(At, Text.c_str(), Text.size() + 1);
  Os().GlobalUnlock(Block.Get());
  // Another program (a clipboard manager, one reading what was copied) may
  // hold the clipboard for a moment: a copy is not lost to that.
  bool Opened = false;
  for (int Try = 0; Try < 10 && !(Opened = Os().OpenClipboard(Owner)); ++Try) Os().Sleep(20);
  if (!Opened) return false;
  const bool Put = Os().EmptyClipboard() && Os().SetClipboardData(CF_TEXT, Block.Get());
  Os().CloseClipboard();
  if (Put) Block.Release();  // the clipboard's now
  return Put;
}

std::string CloseResultText(TCloseResult Result, const std::string& Handle) {
  switch (Result) {
    case TCloseResult::Closed: return "Handle " + Handle + " closed.";
    case TCloseResult::NotOpened: return "The process could not be opened.";
    case TCloseResult::OtherFile: return "The handle now refers to another file; refresh and try again.";
    case TCloseResult::NotVerified: return "Not closed: the handle's name could not be checked.";
    case TCloseResult::OwnProcess: return "Not closed: Lumorex's own process.";
    case TCloseResult::SystemProcess: return "Not closed: a system process.";
    case TCloseResult::ProcessEnded: return "Already released: the process has ended.";
    case TCloseResult::HandleClosed: return "Already released: the handle was closed.";
    case TCloseResult::NotClosed: break;
  }
  return "The handle could not be closed.";
}

}  // namespace

std::string RowText(const TFileRow& Row) {
  std::string Text = Row.Caption;
  for (const std::string& Cell : Row.SubItems) Text += "\t" + Cell;
  return Text + "\r\n";
}

int CompareByHandle(const TFileRow& A, const TFileRow& B, int Direction) {
  return Compare(A.Caption, B.Caption, Direction);
}
int CompareByName(const TFileRow& A, const TFileRow& B, int Direction) {
  return Compare(SubItem(A, 0), SubItem(B, 0), Direction);
}
int CompareByType(const TFileRow& A, const TFileRow& B, int Direction) {
  return Compare(SubItem(A, 1), SubItem(B, 1), Direction);
}

std::string ErrorBoxText(const std::string& Message) {
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') return Message + ".";
  return Message;
}

void TForm1::ShowError(const std::string& Message) {
  Os().MessageBoxA(Handle, ErrorBoxText(Message).c_str(), "Lumorex", MB_OK | MB_ICONERROR);
}

void TForm1::HandleEvent(const std::function<void()>& Handler) {
  try {
    Handler();
  } catch (const TAppError& Error) {
    ShowError(Error.what());
  }
}

void TForm1::Submit(TCommandKind Kind, std::function<void()> Work) {
  Pass().Submit(Kind, [this, Work = std::move(Work)] { HandleEvent(Work); });
}

bool TPickFilter::Picked(TNote Note, bool Dropped, int Position) {
  switch (Note) {
    case DropDown:
      Chosen = false;
      ClosedOn = -1;
      return false;
    case SelEndOk:
      // Closed, a keyboard pick is its selection change.
      if (Dropped) Chosen = true;
      return false;
    case CloseUp:
      if (!Chosen) return false;
      Chosen = false;
      ClosedOn = Position;
      return true;
    case SelChange:
      if (Dropped) return false;  // moving through the open list picks nothing yet
      {
        const bool CloseUpsOwn = ClosedOn >= 0 && ClosedOn == Position;  // already picked
        ClosedOn = -1;
        return !CloseUpsOwn;
      }
  }
  return false;
}

void TForm1::FormCreate() {
  HandleEvent([] { View().ApplyTimer(); });
}

bool TForm1::FormCloseQuery() {
  if (!Pass().Running()) return true;
  Button2Click();
  return false;
}

void TForm1::FormShow() {
  StartupSettings();
  FillProcessList(SortType);
  View().SetTimerInterval(TimerIntervalMs());
  if (!IsAdmin()) {
    Os().MessageBoxA(Handle, "You must run this program under administrative privileges.", "Warning",
                     MB_OK | MB_ICONWARNING);
    Os().ExitProcess(0);
  }
  SetDebugPrivilege(true);
}

void TForm1::FormClose() { SaveSettings(); }

void TForm1::ComboBox1DropDown() { View().SetTimerEnabled(false); }

void TForm1::SelectionHandler() {
  TMainView& Out = View();
  if (Out.SelectorText().empty()) return;
  ShowsSearch = false;
  Out.SetTimerEnabled(true);
  Out.SetEndProcessEnabled(true);
  Out.SetSaveReportEnabled(true);
  DWORD Pid = 0;
  if (!PidOfLine(Out.SelectorPosition(), &Pid)) return;
  // The system's own processes (low PIDs) are never offered for ending.
  if (Pid < 20) Out.SetEndProcessEnabled(false);
  ListOpenFiles(Pid, Mode);
}

void TForm1::ComboBox1Select() {
  Submit(TCommandKind::List, [this] { SelectionHandler(); });
}

void TForm1::Refresh() {
  // A search's result is searched again: what holds the file now.
  if (ShowsSearch) return Search(Sought);
  int Line = View().SelectorPosition();
  FillProcessList(SortType);
  View().SetSelectorPosition(Line);
  SelectionHandler();
}

void TForm1::RefreshAll() {
  Submit(TCommandKind::List, [this] { Refresh(); });
}

void TForm1::EndProcess(DWORD Pid) {
  ShowsSearch = false;
  KillProcess(Pid);
  Os().Sleep(100);
  FillProcessList(SortType);
}

void TForm1::Button3Click() {
  DWORD Pid = 0;
  if (!PidOfLine(View().SelectorPosition(), &Pid)) return;
  Submit(TCommandKind::EndProcess, [this, Pid] { EndProcess(Pid); });
}

void TForm1::Button1Click() { RefreshAll(); }

void TForm1::Timer1Timer() {
  // A tick during a pass is skipped: the pass under way is as fresh.
  if (Pass().Running()) return;
  RefreshAll();
}

void TForm1::Button2Click() {
  Submit(TCommandKind::Close, [this] {
    if (CloseWindow) CloseWindow();
  });
}

void TForm1::N7Click() { Button2Click(); }

void TForm1::N2Click() {
  // During a pass the report waits for the whole list.
  Submit(TCommandKind::Read, [this] { SaveReportCommand(); });
}

void TForm1::SaveReportCommand() {
  DWORD Pid = 0;  // a search's result is saved as the all-processes view
  if (!ShowsSearch && !PidOfLine(View().SelectorPosition(), &Pid)) return;
  // The list stays as saved: no refresh until the user asks for one.
  View().SetTimerEnabled(false);
  char Name[MAX_PATH] = {};
  // Replacing a file is confirmed: a report must not destroy one unasked.
  OPENFILENAMEA Dialog = FileDialog(Handle, "Text files\0*.txt\0", Name, OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT);
  Dialog.lpstrDefExt = "txt";
  if (!Os().GetSaveFileNameA(&Dialog)) return;
  SaveReport(View(), Pid, Name);
}

void TForm1::N4Click() {
  if (Form2) Form2->Fill();
  if (ShowSettings) ShowSettings();
  // Whatever closed it, OK, Cancel or the close box.
  View().SetTimerInterval(TimerIntervalMs());
  RefreshAll();
}

void TForm1::N5Click() {
  if (ShowAbout) ShowAbout();
}

void TForm1::ListView1ColumnClick(int Column) {
  // During a pass the sort waits for the whole list.
  Submit(TCommandKind::Read, [this, Column] { SortColumn(Column); });
}

void TForm1::SortColumn(int Column) {
  DWORD Pid = 0;
  // The all-processes view keeps its blocks: it is never sorted.
  if (!PidOfLine(View().SelectorPosition(), &Pid) || Pid == 0) return;
  static const TRowCompare Compares[] = {CompareByHandle, CompareByName, CompareByType};
  if (Column < 0 || Column > 2) return;
  SortDirection = -SortDirection;
  View().SortFiles(Compares[Column], SortDirection);
}

void TForm1::N8Click() {
  if (!Form4) return;
  Form4->Found = false;
  if (ShowFind) ShowFind();
  if (!Form4->Found) return;
  Submit(TCommandKind::List, [this, Text = Form4->Edit1] { Search(HoldingText(Text)); });
}

void TForm1::Start(const std::vector<TWideString>& Arguments) {
  const TStartRequest Request = ReadStartArguments(Arguments);
  if (!Request.Error.empty()) ShowError(Request.Error);
  if (Request.Show == TStartRequest::Nothing) return;
  // Resolved now, from the folder the program was started in, and kept for
  // every refresh.
  const THoldFilter Filter = Request.Show == TStartRequest::File ? THoldFilter::Under({ResolvePath(Request.Sought)})
                                                                 : THoldFilter::Holding(Request.Sought);
  Submit(TCommandKind::List, [this, Filter] { Search(Filter); });
}

void TForm1::Search(const THoldFilter& Filter) {
  // A fresh process list: the holder may have started since the last one.
  FillProcessList(SortType);
  TMainView& Out = View();
  ShowsSearch = true;
  Sought = Filter;
  // The result stays until the user picks or searches again; a refresh
  // searches again.
  Out.SetTimerEnabled(false);
  Out.SetSaveReportEnabled(true);
  FindHolders(Sought);
}

void TForm1::N12Click() {
  // During a pass it waits, so that the pass's texts do not hide what it says.
  Submit(TCommandKind::Read, [this] {
    const TWideString Program = RunningProgram();
    const bool Present = HasExplorerMenu(HKEY_CURRENT_USER, Program);
    const bool Done = Present ? RemoveExplorerMenu(HKEY_CURRENT_USER) : AddExplorerMenu(HKEY_CURRENT_USER, Program);
    View().SetStatus(0, !Done      ? "The Explorer menu entry could not be written."
                        : Present ? "Explorer menu entry removed."
                                  : "Explorer menu entry added.");
  });
}

bool TForm1::N12Checked() const { return HasExplorerMenu(HKEY_CURRENT_USER, RunningProgram()); }

void TForm1::ListView1DblClick() {
  int Row = View().SelectedFile();
  if (Row < 0) return;
  const TFileRow Clicked = View().File(static_cast<size_t>(Row));
  if (ShowsSearch && Clicked.IsHeader()) {
    // That process's line is picked.
    for (int32_t Line = 0; Line < ProcessCount; ++Line) {
      if (ProcessTable[Line].PID != Clicked.Pid) continue;
      View().SetSelectorPosition(Line);
      ComboBox1Select();
      return;
    }
    return;
  }
  if (HasPropertiesSheet(SubItem(Clicked, 0))) ShowProperties(SubItem(Clicked, 0));
}

bool TForm1::TargetOf(int Row, TTarget* Target) const {
  const TMainView& Out = View();
  if (Row < 0 || static_cast<size_t>(Row) >= Out.FileCount()) return false;
  Target->Row = Out.File(static_cast<size_t>(Row));
  if (Target->Row.IsHeader()) return false;
  // Where the list has headers, the row's process is the header above it.
  for (int Above = Row - 1; Above >= 0; --Above) {
    const TFileRow Header = Out.File(static_cast<size_t>(Above));
    if (!Header.IsHeader()) continue;
    Target->Pid = Header.Pid;
    Target->Process = Header.Process;
    return true;
  }
  const int Line = Out.SelectorPosition();
  if (ShowsSearch || !PidOfLine(Line, &Target->Pid) || Target->Pid == 0) return false;
  Target->Process = ProcessTable[Line].Name;
  return true;
}

TFileMenu TForm1::PopupMenu1Popup() const {
  TFileMenu Items;
  const int Row = View().SelectedFile();
  if (Row < 0) return Items;
  Items.Copy = true;
  TTarget Target;
  const bool Targeted = TargetOf(Row, &Target);
  // A loaded image or a mapped view has no handle to close: only ending the
  // process releases it.
  Items.CloseHandle = Targeted && Target.Row.Hold.Kind == THoldKind::Handle && !CloseRefused(Target.Pid);
  Items.Properties = Targeted && HasPropertiesSheet(SubItem(Target.Row, 0));
  return Items;
}

void TForm1::N9Click() {
  if (!PopupMenu1Popup().Properties) return;
  ShowProperties(SubItem(View().File(static_cast<size_t>(View().SelectedFile())), 0));
}

void TForm1::N11Click() {
  const int Row = View().SelectedFile();
  if (Row < 0) return;
  if (!PutOnClipboard(Handle, RowText(View().File(static_cast<size_t>(Row)))))
    View().SetStatus(0, "The row could not be copied.");
}

void TForm1::N10Click() {
  TTarget Target;
  if (!TargetOf(View().SelectedFile(), &Target) || Target.Row.Hold.Kind != THoldKind::Handle) return;
  // Disabled on such a row; should the command come all the same, from the
  // keyboard, it says why.
  TCloseResult Refusal = TCloseResult::NotClosed;
  if (CloseRefused(Target.Pid, &Refusal)) {
    View().SetStatus(0, CloseResultText(Refusal, Target.Row.Caption));
    return;
  }
  // During a pass it waits, and then acts only on the row still selected.
  Submit(TCommandKind::CloseHandle, [this, Target] { CloseHandleCommand(Target); });
}

void TForm1::CloseHandleCommand(const TTarget& Asked) {
  TMainView& Out = View();
  TTarget Now;
  if (!TargetOf(Out.SelectedFile(), &Now) || !(Now == Asked)) {
    Out.SetStatus(0, "The row is no longer listed; nothing was closed.");
    return;
  }
  const std::string& Path = SubItem(Asked.Row, 0);
  const std::string Question = "Close handle " + Asked.Row.Caption + " of process " + std::to_string(Asked.Pid) +
                               " (" + Asked.Process + ")?\n\n" + Path +
                               "\n\nThe program may fail or lose unsaved work when a file it uses is closed under it.";
  if (Os().MessageBoxA(Handle, Question.c_str(), "Lumorex", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
  // The row's own record: its texts are cut and converted, and say less.
  const TCloseResult Result = CloseHandleOf(Asked.Row.Hold);
  // A search's result is searched again: the user sees what still holds the file.
  Refresh();
  Out.SetStatus(0, CloseResultText(Result, Asked.Row.Caption));
}
