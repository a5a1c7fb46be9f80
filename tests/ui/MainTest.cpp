// The main window's handlers over the simulated machine and the in-memory view.
#include "ui/Main.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>

#include "inspect/ListOpenFiles.h"
#include "process/Process.h"
#include "process/ProcessList.h"
#include "settings/Settings.h"
#include "support/Machine.h"

namespace {

class MainTest : public TMachineTest {
 protected:
  MainTest() {
    Sim.AddAdministratorsGroup(0xF);
    Sim.AddProcess(8, "smss.exe");
    Sim.AddProcess(2000, "notepad.exe");
    Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\b.txt", 0x20);
    Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\a.txt", 0x24);
    Sim.AddFile(2000, "\\Device\\NamedPipe\\x", 0x28);
    Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\C.txt", 0x2C);
    Form.CloseWindow = [this] { ++Closes; };
  }
  // Lines in PID order: 0, 4, 8, 1000, 2000.
  void Pick(int Line) {
    Screen.SetSelectorPosition(Line);
    Form.ComboBox1Select();
  }
  TForm1 Form;
  int Closes = 0;
};

TEST_F(MainTest, StartupLoadsSettingsBuildsTheListAndEnablesDebugging) {
  Sim.Registry["hkcu\\software\\brennary\\lumorex"]["TimerInterval"] = {REG_DWORD, std::string("\x03\0\0\0", 4)};
  Form.FormShow();
  EXPECT_EQ(Screen.SelectorLines.size(), 5u);
  EXPECT_EQ(Screen.Position, -1);
  EXPECT_EQ(Screen.TimerState.Interval(), 3000u);
  EXPECT_TRUE(Screen.TimerState.Ticking());
  EXPECT_TRUE(Sim.MessageBoxes.empty());
  ASSERT_EQ(Sim.AdjustRecords.size(), 1u);
  TOKEN_PRIVILEGES Sent;
  std::memcpy(&Sent, Sim.AdjustRecords[0].data(), sizeof Sent);
  EXPECT_EQ(Sent.Privileges[0].Attributes, static_cast<DWORD>(SE_PRIVILEGE_ENABLED));  // enabled, not dropped
  EXPECT_EQ(Sim.Registry["hkcu\\software\\brennary\\lumorex"].size(), 3u);
  ExpectAllReleased();
}

TEST_F(MainTest, NonAdministratorSeesTheWarningAndTheProgramEndsWithZero) {
  Sim.Groups.clear();
  try {
    Form.FormShow();
    FAIL() << "the program went on";
  } catch (const TSimExit& Exit) {
    EXPECT_EQ(Exit.Code, 0u);
  }
  EXPECT_EQ(Screen.SelectorLines.size(), 5u);  // the list was built first
  ASSERT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_EQ(Sim.MessageBoxes[0].Text, "You must run this program under administrative privileges.");
  EXPECT_EQ(Sim.MessageBoxes[0].Caption, "Warning");
  EXPECT_EQ(Sim.MessageBoxes[0].Type & 0xF0, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_TRUE(Sim.AdjustRecords.empty());
  EXPECT_EQ(Sim.Calls("RegSetValueExA"), 3);  // only the start-up write: no close handling
}

TEST_F(MainTest, SelectionEnablesCommandsByPidAndStartsTheTimer) {
  Form.FormShow();
  Form.ComboBox1Select();  // no text: nothing at all
  EXPECT_FALSE(Screen.SaveReportEnabled);
  Form.ComboBox1DropDown();
  EXPECT_FALSE(Screen.TimerState.Enabled());
  Pick(1);  // PID 4
  EXPECT_TRUE(Screen.TimerState.Enabled());
  EXPECT_TRUE(Screen.SaveReportEnabled);
  EXPECT_FALSE(Screen.EndProcessEnabled);
  Pick(4);  // PID 2000
  EXPECT_TRUE(Screen.EndProcessEnabled);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\b.txt", "C:\\a.txt", "C:\\C.txt"}));
  // The boundary: PID 19 is still the system's, PID 20 the first that may end.
  Sim.AddProcess(19, "last.exe");
  Sim.AddProcess(20, "first.exe");
  Form.RefreshAll();
  ASSERT_EQ(Screen.SelectorLines.size(), 7u);
  Pick(3);  // PID 19
  EXPECT_FALSE(Screen.EndProcessEnabled);
  Pick(4);  // PID 20
  EXPECT_TRUE(Screen.EndProcessEnabled);
}

TEST_F(MainTest, RefreshKeepsTheLineNumberNotTheProcess) {
  Form.FormShow();
  Pick(4);
  Sim.AddProcess(1500, "new.exe");  // now line 4 is 1500
  Form.Button1Click();
  EXPECT_EQ(Screen.Position, 4);
  EXPECT_EQ(Screen.SelectorText(), "1500   new.exe");
  EXPECT_TRUE(Screen.Files.empty());
  EXPECT_EQ(Screen.Status[0], "Ready");
  Sim.EndProcess(1500);
  Sim.EndProcess(2000);
  Form.Timer1Timer();  // line 4 no longer exists
  EXPECT_EQ(Screen.Position, -1);
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 0");
}

TEST_F(MainTest, TimerFollowsTheSettingAndItsRules) {
  Form.FormShow();
  long Starts = Screen.TimerState.PeriodStarts();
  const int Armed = Sim.Calls("SetTimer") + Sim.Calls("KillTimer");
  Screen.SetTimerInterval(10000);  // the same interval: no restart
  Screen.SetTimerEnabled(true);    // already on: no restart
  EXPECT_EQ(Screen.TimerState.PeriodStarts(), Starts);
  EXPECT_EQ(Sim.Calls("SetTimer") + Sim.Calls("KillTimer"), Armed);  // the system timer's period goes on
  Form.ComboBox1DropDown();
  Pick(4);
  EXPECT_EQ(Screen.TimerState.PeriodStarts(), Starts + 1);
  Screen.SetTimerInterval(5000);
  EXPECT_EQ(Screen.TimerState.PeriodStarts(), Starts + 2);
  EXPECT_EQ(Sim.Timers, (std::map<std::pair<HWND, UINT_PTR>, UINT>{{{nullptr, 1}, 5000}}));  // re-armed

  TimerInterval = 0;
  SaveSettings();
  Form.FormShow();
  EXPECT_EQ(Screen.TimerState.Interval(), 0u);
  EXPECT_FALSE(Screen.TimerState.Ticking());
  Screen.SetTimerInterval(1);  // only 0 means no ticks
  EXPECT_TRUE(Screen.TimerState.Ticking());
}

TEST(RowsShowDelay, RowsComingIntoViewAtOnceTheRestTwiceASecond) {
  struct {
    size_t Known, InView;
    uint32_t Since, Delay;
  } Cases[] = {
      {0, 17, 0, 0},      {16, 17, 0, 0},       // the page is not full yet
      {17, 17, 0, 500},   {17, 17, 499, 1},     // only the scroll bar would move
      {17, 17, 500, 0},   {9000, 40, 60000, 0}, // half a second has passed
      {100, 117, 3, 0},                         // scrolled to the end
  };
  for (auto& C : Cases)
    EXPECT_EQ(RowsShowDelay(C.Known, C.InView, C.Since), C.Delay) << C.Known << " " << C.InView << " " << C.Since;
}

TEST_F(MainTest, ColumnSortAlternatesOneDirectionForAllColumns) {
  Form.FormShow();
  Mode = 1;
  Pick(4);  // 0x20 b.txt, 0x24 a.txt, 0x28 the pipe, 0x2C C.txt
  // Each click turns the one direction, whichever column: odd clicks sort Z
  // to A, case folded ("\\" after the letters); equal keys keep their order.
  const struct {
    int Column;
    std::vector<std::string> Rows;  // by handle
  } Clicks[] = {
      {1, {"0x00000028", "0x0000002C", "0x00000020", "0x00000024"}},
      {1, {"0x00000024", "0x00000020", "0x0000002C", "0x00000028"}},
      {2, {"0x00000028", "0x00000024", "0x00000020", "0x0000002C"}},
      {0, {"0x00000020", "0x00000024", "0x00000028", "0x0000002C"}},  // goes on ascending: no fresh start
      {0, {"0x0000002C", "0x00000028", "0x00000024", "0x00000020"}},
      {2, {"0x0000002C", "0x00000024", "0x00000020", "0x00000028"}},
  };
  for (const auto& Click : Clicks) {
    Form.ListView1ColumnClick(Click.Column);
    std::vector<std::string> Rows;
    for (const TFileRow& Row : Screen.Files) Rows.push_back(Row.Caption);
    EXPECT_EQ(Rows, Click.Rows) << "column " << Click.Column;
  }
}

TEST_F(MainTest, NoSortWithoutASelectionOrInTheAllProcessesView) {
  Form.FormShow();
  Form.ListView1ColumnClick(1);
  EXPECT_EQ(SortDirection, 1);
  Pick(0);  // PID 0
  Form.ListView1ColumnClick(1);
  EXPECT_EQ(SortDirection, 1);
  EXPECT_EQ(std::count(Screen.Log.begin(), Screen.Log.end(), "sort"), 0);
}

TEST_F(MainTest, PropertiesOpenOnlyForDriveLetterPaths) {
  Form.FormShow();
  Form.ListView1DblClick();  // no row
  Mode = 1;
  Pick(4);
  Screen.Selected = 2;  // the pipe
  Form.ListView1DblClick();
  EXPECT_TRUE(Sim.ShellCalls.empty());
  Screen.Selected = 0;
  Form.ListView1DblClick();
  ASSERT_EQ(Sim.ShellCalls.size(), 1u);
  const auto& Call = Sim.ShellCalls[0];
  EXPECT_TRUE(Call.Ex);
  EXPECT_EQ(Call.CbSize, sizeof(SHELLEXECUTEINFOA));
  EXPECT_EQ(Call.Mask, 0xCu);
  EXPECT_EQ(Call.Verb, "properties");
  EXPECT_EQ(Call.File, "C:\\b.txt");
  EXPECT_EQ(Call.Owner, nullptr);
  EXPECT_EQ(Call.Parameters, "<null>");
  EXPECT_EQ(Call.Show, 0);
}

TEST_F(MainTest, EndProcessKillsPausesAndClearsTheSelection) {
  Form.FormShow();
  Pick(4);
  Form.Button3Click();
  EXPECT_EQ(Sim.Sleeps, (std::vector<DWORD>{100}));
  EXPECT_EQ(Screen.Position, -1);
  EXPECT_TRUE(Screen.Files.empty());
  EXPECT_FALSE(Screen.EndProcessEnabled);
  EXPECT_EQ(Screen.SelectorLines.size(), 4u);
  ExpectAllReleased();
}

TEST_F(MainTest, SearchFromTheMenuStandsUntilTheUserPicksAndItsHeaderPicksItsProcess) {
  TFindForm Find;
  Form.Form4 = &Find;
  Form.ShowFind = [&] { Find.Button1Click(); };
  Form.FormShow();
  Pick(4);  // PID 2000: End process on, the timer running
  const long Snapshots = Sim.Calls("CreateToolhelp32Snapshot");
  Form.N8Click();  // an empty text finds nothing and runs nothing
  EXPECT_EQ(Sim.Calls("CreateToolhelp32Snapshot"), Snapshots);
  EXPECT_EQ(Screen.Files.size(), 3u);

  Find.Edit1 = "A.TXT";
  Form.N8Click();
  const std::vector<TFileRow> Result = {{"", {"Process information: 2000 (notepad.exe)"}},
                                        {"0x00000024", {"C:\\a.txt", "File"}}};
  EXPECT_EQ(Screen.Files, Result);
  EXPECT_EQ(Screen.Position, -1);
  EXPECT_FALSE(Screen.EndProcessEnabled);
  EXPECT_TRUE(Screen.SaveReportEnabled);
  EXPECT_FALSE(Screen.TimerState.Enabled());
  Form.ListView1ColumnClick(1);  // never sorted, as the all-processes view
  EXPECT_EQ(Screen.Files, Result);

  // Saved as the all-processes view.
  Sim.SaveFileAnswer = "C:\\found.txt";
  Form.N2Click();
  const std::string Saved = Sim.Files["C:\\found.txt"].Data;
  EXPECT_EQ(Saved.substr(0, Saved.find("\r\n\r\nThis report")),
            "System information.\r\n\r\nProcess information: 2000 (notepad.exe)\r\n  Handle   | Type | Path\r\n"
            "0x00000024 | File | C:\\a.txt");

  // A double-click on the header picks 2000's line and lists all its files.
  Screen.Selected = 0;
  Form.ListView1DblClick();
  EXPECT_EQ(Screen.Position, 4);
  EXPECT_EQ(Screen.Files.size(), 3u);
  EXPECT_TRUE(Screen.EndProcessEnabled);
  EXPECT_TRUE(Screen.TimerState.Enabled());
  EXPECT_TRUE(Sim.ShellCalls.empty());

  // A search, then a line picked in the selector: Refresh lists the pick, its
  // commands are on and its list sorts, as if no search had been.
  Form.N8Click();
  Pick(4);
  Form.Button1Click();
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\b.txt", "C:\\a.txt", "C:\\C.txt"}));
  EXPECT_TRUE(Screen.EndProcessEnabled && Screen.SaveReportEnabled && Screen.TimerState.Enabled());
  Form.ListView1ColumnClick(1);
  EXPECT_EQ(Paths().front(), "C:\\C.txt");
  ExpectAllReleased();
}

TEST_F(MainTest, CommandLineSearchesAsTheMenuDoesAndRefreshSearchesAgain) {
  Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\Dir\\sub\\d.txt", 0x30);
  Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\Dirt.txt", 0x34);
  TFindForm Find;
  Form.Form4 = &Find;
  Form.ShowFind = [&] { Find.Button1Click(); };
  Find.Edit1 = "A.TXT";
  Form.FormShow();
  Screen.Log.clear();
  Form.N8Click();
  const auto Menu = std::make_pair(Screen.Log, Screen.Files);
  const std::string H = "Process information: 2000 (notepad.exe)";
  const struct {
    std::vector<const char*> Given;
    std::vector<std::string> Paths;  // none: no search ran
    std::string Box;
  } Cases[] = {
      {{"/find", "A.TXT"}, {H, "C:\\a.txt"}, ""},
      {{"/FILE", "c:\\DIR"}, {H, "C:\\Dir\\sub\\d.txt"}, ""},  // beneath the folder, not beside it
      {{"/file", "..\\a.txt"}, {H, "C:\\a.txt"}, ""},          // from the current folder, C:\work
      // A drive from Explorer: "%1" makes C:\ "C:\", which arrives as C:".
      {{"/file", "C:\""}, {H, "C:\\b.txt", "C:\\a.txt", "C:\\C.txt", "C:\\Dir\\sub\\d.txt", "C:\\Dirt.txt"}, ""},
      {{"-file", "C:\\a.txt"}, {}, "Unknown argument: -file."},
      {{"/find"}, {}, "/find needs a TEXT."},
      {{"/file", "C:\\a.txt", "/find", "a"}, {}, "Only one /file or /find is taken: /find."},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Given.back());
    std::vector<TWideString> Arguments;
    for (const char* A : C.Given) Arguments.push_back(Widen(A));
    Screen.Log.clear();
    Screen.Files.clear();
    Sim.MessageBoxes.clear();
    Form.Start(Arguments);
    EXPECT_EQ(Paths(), C.Paths);
    EXPECT_EQ(Screen.Log.empty(), C.Paths.empty());
    if (&C == &Cases[0]) EXPECT_EQ(std::make_pair(Screen.Log, Screen.Files), Menu);
    EXPECT_EQ(Sim.MessageBoxes.empty() ? "" : Sim.MessageBoxes[0].Text, C.Box);
  }
  Form.Start({Widen("/file"), Widen("C:\\Dir")});
  Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\Dir\\new.txt", 0x38);
  Form.Button1Click();
  EXPECT_EQ(Paths(), (std::vector<std::string>{H, "C:\\Dir\\sub\\d.txt", "C:\\Dir\\new.txt"}));
  ExpectAllReleased();
}

TEST_F(MainTest, ErrorBoxAddsAFullStopAfterLettersAndDigits) {
  EXPECT_EQ(ErrorBoxText("File access denied"), "File access denied.");
  EXPECT_EQ(ErrorBoxText("I/O error 112"), "I/O error 112.");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("What?"), "What?.");  // '?' comes after '.'
  EXPECT_EQ(ErrorBoxText("a-"), "a-");
  Form.HandleEvent([] { throw TAppError("Disk full"); });
  ASSERT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_EQ(Sim.MessageBoxes[0].Text, "Disk full.");
  EXPECT_EQ(Sim.MessageBoxes[0].Caption, "Lumorex");
  EXPECT_EQ(Sim.MessageBoxes[0].Type & 0xF0, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(MainTest, TickDuringAPassIsSkipped) {
  Form.FormShow();
  int Ticks = 0;
  Sim.OnProcessMessages = [&] {
    if (Ticks++ == 0) Form.Timer1Timer();
  };
  Pick(4);
  EXPECT_EQ(Sim.Calls("CreateToolhelp32Snapshot"), 1);  // no refresh ran inside or after
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\b.txt", "C:\\a.txt", "C:\\C.txt"}));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 3");
}

TEST_F(MainTest, CommandsDuringAPassStopItMergeAndRunEvenAfterOneFails) {
  Form.FormShow();
  auto Passes = [&] { return std::count(Screen.Log.begin(), Screen.Log.end(), "status0=Receiving handle table..."); };
  // Each pass below gets its commands at its first dispatch of events.
  auto PickWith = [&](std::function<void()> During) {
    Screen.Log.clear();
    bool Done = false;
    Sim.OnProcessMessages = [&] {
      if (Done) return;
      Done = true;
      During();
      EXPECT_TRUE(Pass().StopRequested());
    };
    Pick(4);
    Sim.OnProcessMessages = nullptr;
  };

  // Three refreshes: one more pass, and only its rows.
  PickWith([&] {
    for (int I = 0; I < 3; ++I) Form.Button1Click();
  });
  EXPECT_EQ(Passes(), 2);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\b.txt", "C:\\a.txt", "C:\\C.txt"}));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 3");
  EXPECT_EQ(Screen.Status[0], "Ready");

  // A pick whose timer cannot start shows its error once it runs...
  PickWith([&] {
    Form.ComboBox1DropDown();
    Sim.FailCall("SetTimer");
    Pick(3);
  });
  ASSERT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_EQ(Sim.MessageBoxes[0].Text, "Not enough timers available.");

  // ...and commands after it still run. An End process does not wait behind
  // a listing whose rows it would clear.
  PickWith([&] {
    Pick(2);  // PID 8
    Form.Button3Click();
  });
  EXPECT_EQ(Passes(), 1);
  EXPECT_EQ(Sim.Sleeps, (std::vector<DWORD>{100}));
  EXPECT_EQ(Screen.Position, -1);
  EXPECT_EQ(ProcessNameByPID(8), "");
  EXPECT_EQ(Pass().Waiting(), 0u);
  ExpectAllReleased();
}

TEST_F(MainTest, SaveReportAndSortDuringAPassWaitForTheWholeList) {
  // The rows come in two steps, a pipe between them hanging for 100 ms. The
  // report and a click on Filename arrive with the first rows, and do not
  // stop the pass; a refresh after them does, and both then read the whole
  // list it makes, in their order.
  Sim.ObjectOf(2000, 0x28).Hang = true;
  Form.FormShow();
  Sim.SaveFileAnswer = "C:\\during.txt";
  bool Asked = false;
  Sim.OnProcessMessages = [&] {
    if (Asked || Screen.Files.empty()) return;
    Asked = true;
    Form.N2Click();
    Form.ListView1ColumnClick(1);
    EXPECT_FALSE(Pass().StopRequested());
    EXPECT_TRUE(Sim.SaveDialogs.empty());
    Form.Button1Click();
  };
  Pick(4);
  ASSERT_TRUE(Asked);
  EXPECT_EQ(Screen.Status[0], "Ready");
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\C.txt", "C:\\b.txt", "C:\\a.txt"}));
  const std::string& Report = Sim.Files["C:\\during.txt"].Data;
  EXPECT_NE(Report.find("0x00000020 | File | C:\\b.txt\r\n0x00000024 | File | C:\\a.txt\r\n"
                        "0x0000002C | File | C:\\C.txt\r\n\r\n"),
            std::string::npos)
      << Report;
  EXPECT_EQ(Pass().Waiting(), 0u);

  // A window closed meanwhile saves nothing, whichever came first.
  Asked = false;
  Sim.OnProcessMessages = [&] {
    if (Asked) return;
    Asked = true;
    Form.N2Click();
    Form.Button2Click();
    Form.N2Click();
  };
  Pick(4);
  EXPECT_EQ(Closes, 1);
  EXPECT_EQ(Sim.SaveDialogs.size(), 1u);
}

TEST_F(MainTest, TimerArmedAtCreationShowsItsFailureInTheErrorBox) {
  Form.FormCreate();
  EXPECT_EQ(Sim.Timers, (std::map<std::pair<HWND, UINT_PTR>, UINT>{{{nullptr, 1}, 1000}}));
  Screen.SetTimerEnabled(false);
  EXPECT_TRUE(Sim.Timers.empty());
  Screen.SetTimerEnabled(true);
  Sim.FailCall("SetTimer");
  Form.FormCreate();
  ASSERT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_EQ(Sim.MessageBoxes[0].Text, "Not enough timers available.");
}

TEST(PickFilter, OnePickIsOnePassWhateverTheOrderOfTheNotes) {
  using N = TPickFilter;
  struct TNote {
    TPickFilter::TNote Note;
    bool Dropped;
    int Position;
  };
  struct TCase {
    const char* What;
    std::vector<TNote> Notes;
    int Picks;
  } Cases[] = {
      {"mouse, change after the close-up (Wine)",
       {{N::DropDown, true, -1}, {N::SelEndOk, true, 3}, {N::CloseUp, false, 3}, {N::SelChange, false, 3}}, 1},
      {"mouse, change in the open list",
       {{N::DropDown, true, 1}, {N::SelChange, true, 3}, {N::SelEndOk, true, 3}, {N::CloseUp, false, 3}}, 1},
      {"keyboard on the closed list", {{N::SelChange, false, 2}, {N::SelEndOk, false, 2}}, 1},
      {"open and closed without a choice", {{N::DropDown, true, 1}, {N::SelChange, true, 2}, {N::CloseUp, false, 2}}, 0},
      {"mouse pick, then the keyboard to the next line and back",
       {{N::DropDown, true, -1}, {N::SelEndOk, true, 3}, {N::CloseUp, false, 3}, {N::SelChange, false, 4},
        {N::SelChange, false, 3}},
       3},
      {"a close-up whose list opened before the filter looked", {{N::CloseUp, false, 2}}, 0},
      {"the same line picked twice with the mouse",
       {{N::DropDown, true, 3}, {N::SelEndOk, true, 3}, {N::CloseUp, false, 3}, {N::DropDown, true, 3},
        {N::SelEndOk, true, 3}, {N::CloseUp, false, 3}},
       2},
  };
  for (const TCase& C : Cases) {
    TPickFilter Filter;
    int Picks = 0;
    for (const TNote& Note : C.Notes) Picks += Filter.Picked(Note.Note, Note.Dropped, Note.Position);
    EXPECT_EQ(Picks, C.Picks) << C.What;
  }
}

TEST_F(MainTest, PickingAnotherLineDuringAPassListsOnlyTheNewOne) {
  Sim.AddProcess(3000, "zz.exe");
  Sim.AddFile(3000, "\\Device\\HarddiskVolume1\\zz.log");
  Form.FormShow();
  bool Picked = false;
  Sim.OnProcessMessages = [&] {
    if (!Picked && !Screen.Files.empty()) {
      Picked = true;
      Pick(5);
    }
  };
  Pick(4);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\zz.log"}));
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: 1");
}

TEST_F(MainTest, EndProcessAndCloseDuringAPassWaitForIt) {
  Form.FormShow();
  bool Clicked = false;
  Sim.OnProcessMessages = [&] {
    if (!Clicked) {
      Clicked = true;
      Form.Button3Click();
      Form.Button2Click();
      EXPECT_EQ(Closes, 0);
    }
  };
  Pick(4);
  // Both ran after the pass stopped, in their order.
  EXPECT_EQ(Sim.Sleeps.size(), 1u);
  EXPECT_EQ(ProcessNameByPID(2000), "");
  EXPECT_EQ(Closes, 1);
  EXPECT_EQ(Screen.Position, -1);
}

TEST_F(MainTest, FileListMenuAndCopyFollowTheSelectedRow) {
  Form.Handle = reinterpret_cast<HWND>(0x1234);
  Sim.AddFile(Sim.SelfPid, "\\Device\\HarddiskVolume1\\lumorex.log");
  Form.FormShow();
  Mode = 1;
  auto Items = [&](int Row) {
    Screen.Selected = Row;
    const TFileMenu M = Form.PopupMenu1Popup();
    return std::string(M.Properties ? "P" : "-") + (M.CloseHandle ? "C" : "-") + (M.Copy ? "O" : "-");
  };
  EXPECT_EQ(Items(-1), "---");
  Form.N11Click();  // no row: nothing copied
  Pick(0);          // every process under its header; 2000's are the last
  const int Header = static_cast<int>(Screen.Files.size()) - 5;
  ASSERT_EQ(Screen.Files[Header], (TFileRow{"", {"Process information: 2000 (notepad.exe)"}}));
  EXPECT_EQ(Items(0), "--O");
  EXPECT_EQ(Items(Header), "--O");
  Form.N9Click();  // Properties is never a header's
  EXPECT_EQ(Items(4), "P-O");  // never our own handles
  Form.N10Click();             // from the keyboard all the same
  EXPECT_EQ(Screen.Status[0], "Not closed: Lumorex's own process.");
  EXPECT_EQ(Items(Header + 1), "PCO");
  EXPECT_EQ(Items(Header + 3), "-CO");  // a pipe has no Properties sheet
  THold Image;  // a loaded image has no handle to close, whatever the keyboard does
  Image.Kind = THoldKind::Module;
  Screen.Files.push_back(FileRow(Image, "C:\\x.dll"));
  EXPECT_EQ(Items(static_cast<int>(Screen.Files.size()) - 1), "P-O");
  Form.N10Click();
  EXPECT_TRUE(Sim.MessageBoxes.empty());
  Pick(4);
  EXPECT_EQ(Items(1), "PCO");
  Form.N9Click();
  ASSERT_EQ(Sim.ShellCalls.size(), 1u);
  EXPECT_EQ(Sim.ShellCalls[0].File, "C:\\a.txt");
  Form.N11Click();
  using TClip = std::vector<std::pair<UINT, std::string>>;
  EXPECT_EQ(Sim.Clipboard, (TClip{{CF_TEXT, std::string("0x00000024\tC:\\a.txt\tFile\r\n", 27)}}));
  EXPECT_EQ(Sim.ClipboardOwner, Form.Handle);
  EXPECT_EQ(RowText({"", {"Process information: 4 (System)"}}), "\tProcess information: 4 (System)\r\n");
  // Held by another program for a moment: asked again; for good: said so,
  // and nothing is left behind.
  Sim.FailCall("OpenClipboard");
  Sim.Clipboard.clear();
  Form.N11Click();
  EXPECT_EQ(Sim.Clipboard.size(), 1u);
  Sim.FailCall("OpenClipboard", 0);
  Form.N11Click();
  EXPECT_EQ(Screen.Status[0], "The row could not be copied.");
  ExpectAllReleased();
}

TEST_F(MainTest, CloseHandleAsksAndClosesOnlyThatHandleOnYes) {
  TFindForm Find;
  Form.Form4 = &Find;
  Form.ShowFind = [&] { Find.Button1Click(); };
  Form.Handle = reinterpret_cast<HWND>(0x1234);
  Form.FormShow();
  Pick(4);
  Screen.Selected = 1;  // a.txt, 0x24
  const int Snapshots = Sim.Calls("CreateToolhelp32Snapshot");
  Sim.MessageBoxAnswer = IDNO;
  Form.N10Click();
  ASSERT_EQ(Sim.MessageBoxes.size(), 1u);
  const TSimWindows::TMessageBox& Box = Sim.MessageBoxes[0];
  EXPECT_EQ(Box.Text, "Close handle 0x00000024 of process 2000 (notepad.exe)?\n\nC:\\a.txt\n\n"
                      "The program may fail or lose unsaved work when a file it uses is closed under it.");
  EXPECT_EQ(Box.Caption, "Lumorex");
  EXPECT_EQ(Box.Type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
  EXPECT_EQ(Box.Owner, Form.Handle);
  EXPECT_TRUE(Sim.Holds(2000, 0x24));  // No: nothing closed, nothing listed again
  EXPECT_EQ(Sim.Calls("CreateToolhelp32Snapshot"), Snapshots);
  EXPECT_EQ(Screen.Status[0], "Ready");

  Sim.MessageBoxAnswer = IDYES;
  Form.N10Click();
  EXPECT_FALSE(Sim.Holds(2000, 0x24));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\b.txt", "C:\\C.txt"}));
  EXPECT_EQ(Screen.Position, 4);
  EXPECT_EQ(Screen.Status[0], "Handle 0x00000024 closed.");

  // In a search the process is the header above the row, and the search
  // runs again: what still holds the file is shown.
  Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\b.txt", 0x40);
  Find.Edit1 = "b.txt";
  Form.N8Click();
  ASSERT_EQ(Screen.Files.size(), 3u);
  Screen.Selected = 2;
  Form.N10Click();
  EXPECT_EQ(Sim.MessageBoxes.back().Text.substr(0, 54), "Close handle 0x00000040 of process 2000 (notepad.exe)?");
  const std::vector<TFileRow> Left = {{"", {"Process information: 2000 (notepad.exe)"}},
                                      {"0x00000020", {"C:\\b.txt", "File"}}};
  EXPECT_EQ(Screen.Files, Left);
  EXPECT_EQ(Screen.Status[0], "Handle 0x00000040 closed.");
  Screen.Selected = 1;  // the row just under its header
  Form.N10Click();
  EXPECT_EQ(Sim.MessageBoxes.back().Text.substr(0, 54), "Close handle 0x00000020 of process 2000 (notepad.exe)?");
  EXPECT_FALSE(Sim.Holds(2000, 0x20));
  ExpectAllReleased();
}

TEST_F(MainTest, CloseHandleSaysWhyNothingWasClosed) {
  struct TCase {
    const char* What;
    std::function<void(TSimWindows&)> Arrange;
    const char* Status;
  } Cases[] = {
      {"the value now names another file",
       [](TSimWindows& Sim) {
         Sim.RemoveHandle(2000, 0x24);
         Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\z.txt", 0x24);
       },
       "The handle now refers to another file; refresh and try again."},
      {"the file closed and opened again under the same value: the row shows it alike",
       [](TSimWindows& Sim) {
         Sim.RemoveHandle(2000, 0x24);
         Sim.AddFile(2000, "\\Device\\HarddiskVolume1\\a.txt", 0x24);
       },
       "The handle now refers to another file; refresh and try again."},
      {"the owner cannot be opened", [](TSimWindows& Sim) { Sim.Process(2000).CanOpen = false; },
       "The process could not be opened."},
      {"the close fails", [](TSimWindows& Sim) { Sim.FailCall("DuplicateHandle", 2); },
       "The handle could not be closed."},
      {"its owner is one the system cannot lose", [](TSimWindows& Sim) { Sim.Process(2000).Critical = true; },
       "Not closed: a system process."},
      {"the check's name query hangs", [](TSimWindows& Sim) { Sim.ObjectOf(2000, 0x24).Hang = true; },
       "Not closed: the handle's name could not be checked."},
  };
  Form.FormShow();
  Sim.MessageBoxAnswer = IDYES;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Sim.Process(2000).CanOpen = true;
    Sim.Process(2000).Critical = false;
    Pick(4);
    const auto Row = std::find_if(Screen.Files.begin(), Screen.Files.end(),
                                  [](const TFileRow& R) { return R.Caption == "0x00000024"; });
    ASSERT_NE(Row, Screen.Files.end());
    Screen.Selected = static_cast<int>(Row - Screen.Files.begin());
    C.Arrange(Sim);
    const auto Start = std::chrono::steady_clock::now();
    Form.N10Click();
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
    EXPECT_EQ(Screen.Status[0], C.Status);
    EXPECT_TRUE(Sim.Holds(2000, 0x24));
    EXPECT_TRUE(ReapAllWorkers(Sim));
    Sim.ObjectOf(2000, 0x24).Hang = false;
  }
  EXPECT_EQ(Sim.UnsafeTerminations(), 0);
}

TEST_F(MainTest, CloseHandleDuringAPassWaitsAndActsOnlyOnTheRowStillSelected) {
  Form.FormShow();
  Sim.MessageBoxAnswer = IDYES;
  auto During = [&](std::function<void()> Act) {
    bool Asked = false;
    Sim.OnProcessMessages = [&] {
      if (Asked || Screen.Files.size() < 2) return;
      Asked = true;
      Screen.Selected = 1;
      Act();
      EXPECT_TRUE(Pass().StopRequested());
    };
    Pick(4);
    Sim.OnProcessMessages = nullptr;
    EXPECT_TRUE(Asked);
  };
  Sim.OnNextCall("MessageBoxA", [] { EXPECT_FALSE(Pass().Running()); });
  During([&] { Form.N10Click(); });
  ASSERT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_FALSE(Sim.Holds(2000, 0x24));
  EXPECT_EQ(Screen.Status[0], "Handle 0x00000024 closed.");

  // Another row of the same process selected before its turn came: nothing is asked.
  During([&] {
    Form.N10Click();  // C.txt
    Screen.Selected = 0;
  });
  EXPECT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_EQ(Screen.Status[0], "The row is no longer listed; nothing was closed.");
  EXPECT_TRUE(Sim.Holds(2000, 0x2C));
  EXPECT_TRUE(Sim.Holds(2000, 0x20));

  // Its process ended before its turn came: the row is gone, nothing is asked.
  During([&] {
    Form.Button3Click();
    Form.N10Click();
  });
  EXPECT_EQ(Sim.MessageBoxes.size(), 1u);
  EXPECT_EQ(Screen.Status[0], "The row is no longer listed; nothing was closed.");
  EXPECT_EQ(Pass().Waiting(), 0u);
  ExpectAllReleased();
}

}  // namespace
