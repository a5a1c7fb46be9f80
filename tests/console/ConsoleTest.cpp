// The console program over the simulated machine: its arguments, its text
// rules, and whole runs read back from standard output and error.
#include "console/Arguments.h"
#include "console/Console.h"
#include "console/Text.h"

#include <nlohmann/json.hpp>

#include "support/Machine.h"

namespace {

TWideString W(const std::string& Utf8Text) {
  const std::u16string Wide = TSimWindows::Wide(Utf8Text);
  return TWideString(Wide.begin(), Wide.end());
}

std::vector<TWideString> Args(const std::vector<const char*>& List) {
  std::vector<TWideString> Out;
  for (const char* A : List) Out.push_back(W(A));
  return Out;
}

TEST(ConsoleArguments, EachFormOfEveryOptionAndEveryUsageError) {
  struct TCase {
    std::vector<const char*> Given;
    int Action;
    const char* Error;  // part of it, for a usage error
    TFormat Format;
    bool All;
    const char* Find;
    std::vector<DWORD> Pids;
    std::vector<const char*> Names;
    bool Close = false, Yes = false, Modules = false;
    std::vector<const char*> Files = {};
  } Cases[] = {
      {{}, TRequest::List, "", TFormat::Table, false, "", {}, {}},
      {{"1234", "lxchild", "WORD.EXE", "7z.exe"}, TRequest::List, "", TFormat::Table, false, "", {1234}, {"lxchild", "WORD.EXE", "7z.exe"}},
      {{"-a", "--csv", "-f", "Ä.txt", "4294967295"}, TRequest::List, "", TFormat::Csv, true, "Ä.txt", {4294967295u}, {}},
      {{"--all", "--json", "--find", "日本", "--json"}, TRequest::List, "", TFormat::Json, true, "日本", {}, {}},
      {{"--find=x y", "--", "-a"}, TRequest::List, "", TFormat::Table, false, "x y", {}, {"-a"}},
      {{"--bogus", "-h"}, TRequest::Usage, "unknown option: --bogus", TFormat::Table, false, "", {}, {}},
      {{"-x"}, TRequest::Usage, "unknown option: -x", TFormat::Table, false, "", {}, {}},
      {{"12ab"}, TRequest::Usage, "PID is not a number: 12ab", TFormat::Table, false, "", {}, {}},
      {{"0x1F"}, TRequest::Usage, "PID is not a number: 0x1F", TFormat::Table, false, "", {}, {}},
      {{"4294967296"}, TRequest::Usage, "PID is out of range", TFormat::Table, false, "", {}, {}},
      {{"-f"}, TRequest::Usage, "-f needs a TEXT", TFormat::Table, false, "", {}, {}},
      {{"1", "--find"}, TRequest::Usage, "--find needs a TEXT", TFormat::Table, false, "", {}, {}},
      {{"--find="}, TRequest::Usage, "--find needs a TEXT", TFormat::Table, false, "", {}, {}},
      {{"-f", "a", "-f", "b"}, TRequest::Usage, "once", TFormat::Table, false, "", {}, {}},
      {{"--csv", "--json"}, TRequest::Usage, "together", TFormat::Table, false, "", {}, {}},
      {{"-a", "--help", "--bogus"}, TRequest::Help, "", TFormat::Table, false, "", {}, {}},
      {{"--version"}, TRequest::Version, "", TFormat::Table, false, "", {}, {}},
      {{"--close", "-f", "x"}, TRequest::List, "", TFormat::Table, false, "x", {}, {}, true, false},
      {{"--yes", "--close", "12"}, TRequest::List, "", TFormat::Table, false, "", {12}, {}, true, true},
      {{"--close", "--yes", "-a"}, TRequest::Usage, "--close needs --find TEXT, --file PATH or a PID or NAME", TFormat::Table, false, "", {}, {}},
      {{"--json", "-f", "x", "--close"}, TRequest::Usage, "with --csv or --json", TFormat::Table, false, "", {}, {}},
      {{"--yes", "12"}, TRequest::Usage, "--yes is given only with --close", TFormat::Table, false, "", {}, {}},
      {{"-m", "--file", "a b", "--file=C:\\x", "0"}, TRequest::List, "", TFormat::Table, false, "", {0}, {}, false, false, true, {"a b", "C:\\x"}},
      {{"--modules", "--find=-x"}, TRequest::List, "", TFormat::Table, false, "-x", {}, {}, false, false, true},
      // An empty variable in a script: the option after it is no TEXT.
      {{"--find", "--json"}, TRequest::Usage, "--find needs a TEXT, not the option-like \"--json\" (write --find=--json", TFormat::Table, false, "", {}, {}},
      {{"-f", "-a"}, TRequest::Usage, "-f needs a TEXT, not the option-like \"-a\" (write --find=-a", TFormat::Table, false, "", {}, {}},
      {{"--file", "-x"}, TRequest::Usage, "--file needs a PATH, not", TFormat::Table, false, "", {}, {}},
      {{"--file="}, TRequest::Usage, "--file needs a PATH", TFormat::Table, false, "", {}, {}},
      {{"--find", "x", "--file", "y"}, TRequest::Usage, "--find and --file cannot be given together", TFormat::Table, false, "", {}, {}},
      {{"--close", "--yes", "0"}, TRequest::Usage, "--close needs --find TEXT, --file PATH or a PID or NAME", TFormat::Table, false, "", {}, {}},
      {{"--close", "--file", "C:\\x"}, TRequest::List, "", TFormat::Table, false, "", {}, {}, true, false, false, {"C:\\x"}},
      {{"--explorer-menu"}, TRequest::Usage, "--explorer-menu needs add or remove", TFormat::Table, false, "", {}, {}},
      {{"--explorer-menu", "add", "-a"}, TRequest::Usage, "takes only --all-users, not -a", TFormat::Table, false, "", {}, {}},
      {{"-a", "--all-users"}, TRequest::Usage, "--all-users is given only with --explorer-menu", TFormat::Table, false, "", {}, {}},
  };
  for (const TCase& C : Cases) {
    std::vector<TWideString> Given;
    for (const char* A : C.Given) Given.push_back(W(A));
    const TRequest R = ReadArguments(Given);
    SCOPED_TRACE(C.Given.empty() ? "(none)" : C.Given[0]);
    EXPECT_EQ(R.Action, C.Action);
    EXPECT_NE(R.Error.find(C.Error), std::string::npos) << ::testing::PrintToString(R.Error);
    EXPECT_EQ(R.Error.empty(), C.Action != TRequest::Usage);
    if (C.Action != TRequest::List) continue;
    EXPECT_EQ(R.Format, C.Format);
    EXPECT_EQ(R.All, C.All);
    EXPECT_TRUE(R.Find == W(C.Find));
    EXPECT_EQ(R.Pids, C.Pids);
    EXPECT_EQ(R.Close, C.Close);
    EXPECT_EQ(R.Yes, C.Yes);
    EXPECT_EQ(R.Modules, C.Modules);
    ASSERT_EQ(R.Files.size(), C.Files.size());
    for (size_t I = 0; I < C.Files.size(); ++I) EXPECT_TRUE(R.Files[I] == W(C.Files[I])) << I;
    ASSERT_EQ(R.Names.size(), C.Names.size());
    for (size_t I = 0; I < C.Names.size(); ++I) EXPECT_TRUE(R.Names[I] == W(C.Names[I])) << I;
  }
}

TEST(ConsoleText, Utf8BothWaysCsvFieldsAndImageNames) {
  const WCHAR Emoji[] = {0xD83D, 0xDE00}, LoneHigh[] = {'a', 0xD83D, 'b'}, LoneLow[] = {0xDE00},
              First[] = {0xD800, 0xDC00}, Last[] = {0xDBFF, 0xDFFF}, HighThenPrivate[] = {0xD83D, 0xE000, 'x'};
  struct {
    TWideString Wide;
    std::string Utf8Text;
  } Units[] = {{W("C:\\a.txt"), "C:\\a.txt"},
               {TWideString(1, 0xE4), "\xC3\xA4"},
               {TWideString(1, 0x65E5), "\xE6\x97\xA5"},
               {TWideString(Emoji, 2), "\xF0\x9F\x98\x80"},
               {TWideString(First, 2), "\xF0\x90\x80\x80"},  // U+10000 and U+10FFFF: the pairs' bounds
               {TWideString(Last, 2), "\xF4\x8F\xBF\xBF"},
               {TWideString(LoneHigh, 3), "a\xEF\xBF\xBD" "b"},
               {TWideString(1, 0x800), "\xE0\xA0\x80"},  // the first of three bytes
               {TWideString(HighThenPrivate, 3), "\xEF\xBF\xBD\xEE\x80\x80x"},  // U+E000 is no low half
               {TWideString(LoneLow, 1), "\xEF\xBF\xBD"}};
  for (auto& U : Units) {
    EXPECT_EQ(Utf8(U.Wide), U.Utf8Text);
    if (U.Utf8Text.find("\xEF\xBF\xBD") == std::string::npos) {
      EXPECT_TRUE(Utf16(U.Utf8Text) == U.Wide) << ::testing::PrintToString(U.Utf8Text);
    }
  }
  // Bytes that start no whole character, overlong forms and encoded
  // surrogates each become one U+FFFD.
  for (const char* Bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
    EXPECT_TRUE(Utf16(std::string(Bad) + "x").back() == 'x' && Utf16(Bad)[0] == 0xFFFD) << ::testing::PrintToString(std::string(Bad));

  struct {
    const char* Field;
    const char* Written;
  } Fields[] = {{"C:\\a.txt", "C:\\a.txt"}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
                {"two\r\nlines", "\"two\r\nlines\""}, {" lead", "\" lead\""}, {"", ""}, {"日本", "日本"}};
  for (auto& F : Fields) EXPECT_EQ(CsvField(F.Field), F.Written);

  TSimWindows Sim;
  TOsScope Scope(Sim);
  struct {
    const char* Image;
    const char* Sought;
    bool Matches;
  } Names[] = {{"lxchild.exe", "lxchild", true},     {"lxchild.exe", "LXCHILD.EXE", true},
               {"lxchild.exe", "lxchild.ex", false}, {"lxchild.exe", "lx", false},
               {"Änderung.exe", "änderung", true},   {"Привет.exe", "ПРИВЕТ", true},
               {"Ωmega.exe", "ωMEGA.exe", true},     {"日本語.exe", "日本語", true},
               {"日本語.exe", "日本", false},        {"a.exe.exe", "a.exe", true}};
  for (auto& N : Names) EXPECT_EQ(ImageNameMatches(W(N.Image), W(N.Sought)), N.Matches) << ::testing::PrintToString(std::string(N.Image)) << " " << ::testing::PrintToString(std::string(N.Sought));
}

class ConsoleRun : public TMachineTest {
 protected:
  ConsoleRun() {
    Sim.AddAdministratorsGroup(0xF);
    Sim.AddProcess(1234, "Ärger.exe");
    Sim.AddFile(1234, "\\Device\\HarddiskVolume1\\docs\\日本語.txt", 0x7A4);
    Sim.AddFile(1234, "\\Device\\HarddiskVolume1\\smile \xF0\x9F\x98\x80.log", 0x7A8);
    Sim.AddFile(1234, "\\Device\\NamedPipe\\wkssvc", 0x7AC);
    Sim.AddObject(1234, TSimWindows::EventType, "\\BaseNamedObjects\\ev", 0x7B0);
    Sim.AddProcess(1300, "other.exe");
    Sim.AddFile(1300, "\\Device\\HarddiskVolume1\\Straße\\Größe, \"ä\".csv", 0x10);
    Sim.AddFile(1300, "\\Device\\HarddiskVolume1\\" + std::string(1000, 'l'), 0x14);
    Sim.AddView(1234, MEM_IMAGE, "\\Device\\HarddiskVolume1\\plugins\\Ünï.dll");
    for (int Twice = 0; Twice < 2; ++Twice) Sim.AddView(1234, MEM_MAPPED, "\\??\\c:\\data\\map.bin");  // one hold
  }
  int Run(const std::vector<const char*>& Given) {
    Sim.StdOut.Bytes.clear();
    Sim.StdErr.Bytes.clear();
    return RunConsole(Args(Given));
  }
  std::string Out() const { return Sim.StdOut.Bytes; }
  std::string Err() const { return Sim.StdErr.Bytes; }
};

TEST_F(ConsoleRun, TableCsvAndJsonHoldTheSameRowsWholeInUtf8) {
  const std::string Long = "C:\\" + std::string(1000, 'l');
  ASSERT_EQ(Run({}), ExitListed);
  EXPECT_EQ(Out(),
            "Process information: 1234 (Ärger.exe)\r\n"
            "  0x000007A4  File  C:\\docs\\日本語.txt\r\n"
            "  0x000007A8  File  C:\\smile \xF0\x9F\x98\x80.log\r\n"
            "Process information: 1300 (other.exe)\r\n"
            "  0x00000010  File  C:\\Straße\\Größe, \"ä\".csv\r\n"
            "  0x00000014  File  " + Long + "\r\n");
  EXPECT_EQ(Err(), "");

  // The CSV byte for byte: CRLF line ends, the comma and quotes of a name
  // quoted (the Wine tests read it back with a parser).
  ASSERT_EQ(Run({"--csv", "-a"}), ExitListed);
  EXPECT_EQ(Out(),
            "PID,Process,Handle,Type,Path\r\n"
            "1234,Ärger.exe,0x000007A4,File,C:\\docs\\日本語.txt\r\n"
            "1234,Ärger.exe,0x000007A8,File,C:\\smile \xF0\x9F\x98\x80.log\r\n"
            "1234,Ärger.exe,0x000007AC,Pipe,\\Device\\NamedPipe\\wkssvc\r\n"
            "1300,other.exe,0x00000010,File,\"C:\\Straße\\Größe, \"\"ä\"\".csv\"\r\n"
            "1300,other.exe,0x00000014,File," + Long + "\r\n");
  const std::vector<std::vector<std::string>> Expected = {
      {"1234", "Ärger.exe", "0x000007A4", "File", "C:\\docs\\日本語.txt"},
      {"1234", "Ärger.exe", "0x000007A8", "File", "C:\\smile \xF0\x9F\x98\x80.log"},
      {"1234", "Ärger.exe", "0x000007AC", "Pipe", "\\Device\\NamedPipe\\wkssvc"},
      {"1300", "other.exe", "0x00000010", "File", "C:\\Straße\\Größe, \"ä\".csv"},
      {"1300", "other.exe", "0x00000014", "File", Long}};

  ASSERT_EQ(Run({"--json", "--all"}), ExitListed);
  const nlohmann::json Json = nlohmann::json::parse(Out());
  ASSERT_TRUE(Json.is_array());
  ASSERT_EQ(Json.size(), Expected.size());
  for (size_t I = 0; I < Expected.size(); ++I)
    EXPECT_EQ(Json[I], nlohmann::json({{"pid", std::stoul(Expected[I][0])}, {"process", Expected[I][1]},
                                       {"handle", Expected[I][2]}, {"type", Expected[I][3]}, {"path", Expected[I][4]}}))
        << I;
  Sim.AddProcess(1500, "tab\there.exe");  // a name may hold any character (a pipe's may): still one line
  Sim.AddFile(1500, "\\Device\\NamedPipe\\a\r\nb\x01\x7F\\c");
  ASSERT_EQ(Run({"-a", "1500"}), ExitListed);
  EXPECT_EQ(Out(), "Process information: 1500 (tab\\there.exe)\r\n"
                   "  0x00000004  Pipe  \\Device\\NamedPipe\\a\\r\\nb\\x01\\x7F\\c\r\n");
  ExpectAllReleased();
}

TEST_F(ConsoleRun, ExitCodesWithWhatStandardErrorSays) {
  const char* Guard = "lumorexc: not looked at: 1 processes: 1500 (guard.exe)\r\n";
  const std::string Deep = "C:\\" + std::string(300, 'd');  // longer than a first buffer
  struct TCase {
    std::vector<const char*> Given;
    int Code;
    const char* Said;  // part of standard error; "" for nothing
    size_t Rows;       // lines on standard output that name a file
  } Cases[] = {
      {{"1234"}, ExitListed, "", 2},
      {{"ärger"}, ExitListed, "", 2},
      {{"OTHER.EXE", "1234"}, ExitListed, "", 4},
      {{"--find", "GRÖSSE"}, ExitIncomplete, Guard, 0},  // no letter folds to two
      {{"--find", "größe, \"Ä"}, ExitListed, Guard, 1},
      {{"--find", "日本語", "1300"}, ExitNothing, "", 0},
      {{"99999"}, ExitNothing, "no running process has PID 99999\r\n", 0},
      {{"nosuch", "1234"}, ExitListed, "no running process is named \"nosuch\"\r\n", 2},
      {{"System"}, ExitNothing, "", 0},
      {{"--unknown"}, ExitUsage, "lumorexc: unknown option: --unknown\r\nUsage: lumorexc", 0},
      {{"12ab"}, ExitUsage, "PID is not a number: 12ab\r\nUsage:", 0},
      {{"--find"}, ExitUsage, "--find needs a TEXT\r\nUsage:", 0},
      {{"0"}, ExitListed, "", 7},  // every process, as in the window
      {{"1500"}, ExitListed, "", 3},
      {{"-m", "1500"}, ExitListed, Guard, 3},
      {{"--file", "C:\\work\\"}, ExitListed, Guard, 1},  // the folder itself: a current directory
      {{"-m", "1234"}, ExitListed, "", 4},
      {{"--file", "..\\plugins\\ÜNÏ.DLL"}, ExitListed, Guard, 1},
      {{"--file", "C:/PLUGIN~1"}, ExitListed, Guard, 1},
      {{"--file", "C:\\plug"}, ExitIncomplete, Guard, 0},  // a name's start is no folder
      {{"--file", Deep.c_str()}, ExitListed, Guard, 1},
      {{"--file", "C:\\DEEP~1"}, ExitListed, Guard, 1},
      {{"--find", "C:/DATA/map"}, ExitListed, Guard, 1},
  };
  Sim.AddProcess(1500, "guard.exe");
  Sim.AddFile(1500, "\\Device\\HarddiskVolume1\\guarded.txt", 0x20);
  Sim.AddFile(1500, "\\Device\\HarddiskVolume1\\work", 0x24);
  Sim.Process(1500).CanQuery = false;  // its handles can be copied, its memory not read
  Sim.LongNames[u"C:\\PLUGIN~1"] = u"C:\\plugins";
  Sim.AddFile(1500, "\\Device\\HarddiskVolume1" + Deep.substr(2) + "\\f.txt", 0x28);
  Sim.LongNames[u"C:\\DEEP~1"] = TSimWindows::Wide(Deep);

  for (const TCase& C : Cases) {
    std::vector<TWideString> Given;
    for (const char* A : C.Given) Given.push_back(W(A));
    SCOPED_TRACE(C.Given[0]);
    Sim.StdOut.Bytes.clear();
    Sim.StdErr.Bytes.clear();
    EXPECT_EQ(RunConsole(Given), C.Code);
    if (*C.Said) {
      EXPECT_NE(Err().find(C.Said), std::string::npos) << ::testing::PrintToString(Err());
    } else {
      EXPECT_EQ(Err(), "");
    }
    const std::string O = Out();
    size_t Rows = 0;
    for (size_t At = O.find("\n  "); At != std::string::npos; At = O.find("\n  ", At + 1)) ++Rows;
    EXPECT_EQ(Rows, C.Rows) << ::testing::PrintToString(O);
    if (C.Code == ExitUsage) {
      EXPECT_EQ(O, "");
    }
  }
  // A folder renamed longer between two asks for its long name is asked for
  // a third time.
  Sim.LongNames[u"C:\\DEEP~1"].resize(Deep.size() - 3);
  Sim.OnNextCall("GetLongPathNameW", [&] {
    Sim.OnNextCall("GetLongPathNameW", [&] { Sim.LongNames[u"C:\\DEEP~1"] += u"ddd"; });
  });
  EXPECT_EQ(Run({"--file", "C:\\DEEP~1"}), ExitListed);
  // One renamed longer before every ask has no long name that can be had:
  // the path stays as given.
  int Asks = 0;
  std::function<void()> Rename = [&] {
    Sim.LongNames[TSimWindows::Wide(Deep)] = TSimWindows::Wide(Deep + std::string(600 * ++Asks, 'd'));
    if (Asks < 3) Sim.OnNextCall("GetLongPathNameW", Rename);
  };
  Sim.OnNextCall("GetLongPathNameW", Rename);
  EXPECT_EQ(Run({"--file", Deep.c_str()}), ExitListed);
  Sim.AddProcess(1600, "stuck.exe");
  Sim.ObjectOf(1600, Sim.AddFile(1600, "\\Device\\HarddiskVolume1\\stuck.log")).Hang = true;
  EXPECT_EQ(Run({"1600"}), ExitIncomplete);
  EXPECT_EQ(Err(), "lumorexc: not looked at: 1 handles unnamed\r\n");
  Sim.StdErr.Console = true;  // a console with a window, standard input a file: no one answers either
  EXPECT_EQ(Run({"--close", "1234"}), ExitUsage);
  Sim.StdErr.Console = false;
  EXPECT_EQ(Run({"--close", "--yes", "--file", "C:\\plugins"}), ExitNotClosed);
  EXPECT_EQ(Out(), "Not closed Module C:\\plugins\\Ünï.dll in 1234 (Ärger.exe): loaded by the process; "
                   "ending the process releases it\r\n");
  // What scripts branch on: the numbers themselves.
  EXPECT_EQ((std::vector<int>{ExitListed, ExitNothing, ExitUsage, ExitCannot, ExitNotClosed, ExitIncomplete,
                              ExitWriteFailed}),
            (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(Run({"--help"}), ExitListed);
  EXPECT_EQ(Out(), UsageText);
  for (const char* Code : {"3  nothing could be looked at", "4  --close: some file found was not closed",
                           "5  nothing matched, but", "6  the output could not be written"})
    EXPECT_NE(Out().find(Code), std::string::npos) << Code;
  ExpectAllReleased();
}

TEST_F(ConsoleRun, WhatCannotBeDoneIsExitThreeAndNeverAWindow) {
  Sim.StatusCall("NtQuerySystemInformation", static_cast<NTSTATUS>(0xC0000022), 0);
  EXPECT_EQ(Run({}), ExitCannot);
  EXPECT_EQ(Err(), "lumorexc: the system handle table could not be read\r\n");
  Sim.ReleaseBlocked();
  TSimWindows Other;
  {
    TOsScope Scope(Other);  // no Administrators group
    EXPECT_EQ(RunConsole({}), ExitCannot);
    EXPECT_EQ(Other.StdErr.Bytes, "lumorexc: administrative rights are needed\r\n");
    EXPECT_EQ(Other.StdOut.Bytes, "");
    EXPECT_TRUE(Other.MessageBoxes.empty());
  }
  EXPECT_TRUE(Sim.MessageBoxes.empty());
}

TEST_F(ConsoleRun, OutputThatCannotBeWrittenIsNoSuccessAndAReaderThatWentIsNoFailure) {
  const struct {
    std::vector<const char*> Given;
    DWORD Error;
    int Code;
  } Cases[] = {
      {{}, ERROR_ACCESS_DENIED, ExitWriteFailed},  // a device error
      {{}, ERROR_NO_DATA, ExitListed},             // | more, closed after the first rows
      {{}, ERROR_BROKEN_PIPE, ExitListed},
      {{"--close", "--yes", "1234"}, ERROR_NO_DATA, ExitNotClosed},  // cut short after the first close
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Error);
    Sim.FailCall("WriteFile", 1, C.Error);
    const int Writes = Sim.Calls("WriteFile");
    Sim.OpenProcessCalls.clear();
    EXPECT_EQ(Run(C.Given), C.Code);
    const bool Failed = C.Code == ExitWriteFailed;
    EXPECT_EQ(Err(), Failed ? "lumorexc: the output could not be written\r\n" : "");
    // The one that failed and the error's line: no retry, and nothing after.
    EXPECT_EQ(Sim.Calls("WriteFile") - Writes, Failed ? 2 : 1);
    ASSERT_FALSE(Sim.OpenProcessCalls.empty());
    EXPECT_EQ(std::get<2>(Sim.OpenProcessCalls.back()), 1234u);  // 1300 is never looked at
  }
  EXPECT_TRUE(Sim.Holds(1234, 0x7A8));
  ExpectAllReleased();
}

TEST_F(ConsoleRun, AConsoleGetsUtf16AndAProgressLineOnlyWhenItsErrorIsOne) {
  const std::u16string Japanese = TSimWindows::Wide("C:\\docs\\日本語.txt");
  // Rows long enough to be written in parts, their pairs at odd places: no
  // part may end inside one, whether its high half is the first (U+10000)
  // or the last (U+10FFFD).
  std::string Rows[2];
  for (DWORD Pid : {1400, 1401}) {
    std::string& Row = Rows[Pid - 1400] = "\\Device\\HarddiskVolume1\\x";
    for (int I = 0; I < 5000; ++I) Row += Pid == 1400 ? "\xF0\x90\x80\x80" : "\xF4\x8F\xBF\xBD";
    Sim.AddProcess(Pid, "e.exe");
    Sim.AddFile(Pid, Row, 0x10);
  }
  for (bool ErrConsole : {false, true}) {
    SCOPED_TRACE(ErrConsole ? "standard error a console" : "standard error redirected");
    Sim.StdOut = {};
    Sim.StdErr = {};
    Sim.StdOut.Console = true;
    Sim.StdErr.Console = ErrConsole;
    // The run's clock starts at its first look; by the next a second and a
    // half have passed.
    Sim.FreezeClock();
    Sim.OnNextCall("GetTickCount", [&] { Sim.OnNextCall("GetTickCount", [&] { Sim.AdvanceClock(1500); }); });
    ASSERT_EQ(RunConsole(Args({"1234", "1400", "1401"})), ExitListed);
    EXPECT_FALSE(Sim.StdOut.SplitPair);
    for (const std::string& Row : Rows)
      EXPECT_NE(Sim.StdOut.ConsoleText.find(TSimWindows::Wide("C:" + Row.substr(23) + "\r\n")), std::u16string::npos);
    EXPECT_EQ(Sim.StdOut.Bytes, "");
    EXPECT_NE(Sim.StdOut.ConsoleText.find(Japanese), std::u16string::npos);
    EXPECT_NE(Sim.StdOut.ConsoleText.find(TSimWindows::Wide("smile \xF0\x9F\x98\x80.log")), std::u16string::npos);
    const std::u16string& Progress = Sim.StdErr.ConsoleText;
    EXPECT_EQ(Sim.StdErr.Bytes, "");
    if (!ErrConsole) {
      EXPECT_EQ(Progress, u"");
      continue;
    }
    // The clock stands still after its jump: the one line shown is the first
    // count after it, the first file of the first process.
    EXPECT_EQ(Progress.substr(0, Progress.find(u'\r', 1)), u"\r0 processes, 1 files done")
        << ::testing::PrintToString(std::string(Progress.begin(), Progress.end()));
    // Erased at the end: the last line written is blank.
    const size_t LastLine = Progress.rfind(u'\r', Progress.size() - 2);
    ASSERT_NE(LastLine, std::u16string::npos);
    EXPECT_EQ(Progress.back(), u'\r');
    EXPECT_EQ(Progress.substr(LastLine + 1, Progress.size() - LastLine - 2).find_first_not_of(u' '),
              std::u16string::npos);
  }
  // With the rows going to a file, the line reaches the console as the run
  // goes on: it is there as the second process is opened.
  Sim.StdOut = {};
  Sim.StdErr = {};
  Sim.StdErr.Console = true;
  Sim.OnNextCall("GetTickCount", [&] { Sim.OnNextCall("GetTickCount", [&] { Sim.AdvanceClock(1500); }); });
  std::u16string During;
  Sim.OnNextCall("OpenProcess", [&] {
    Sim.OnNextCall("OpenProcess", [&] {
      During = Sim.StdErr.ConsoleText;
      Sim.AdvanceClock(ProgressEveryMs);
    });
  });
  ASSERT_EQ(RunConsole(Args({"1234", "1400", "1401"})), ExitListed);
  EXPECT_EQ(During, u"\r0 processes, 1 files done");
  // A quarter of a second on, the next count replaces it, and the end erases
  // exactly what was shown.
  const std::u16string Blank = u"\r" + std::u16string(25, u' ') + u"\r";
  EXPECT_EQ(Sim.StdErr.ConsoleText, During + Blank + u"\r1 processes, 4 files done" + Blank);
  ExpectAllReleased();
}

TEST_F(ConsoleRun, CloseChecksAndAsksForEachListedHandleAndSaysWhatWasDone) {
  const std::string J = "0x000007A4 in 1234 (Ärger.exe)", S = "0x000007A8 in 1234 (Ärger.exe)";
  const std::string AskJ = "Close " + J + ": C:\\docs\\日本語.txt? [y/N] ",
                    AskS = "Close " + S + ": C:\\smile \xF0\x9F\x98\x80.log? [y/N] ";
  const std::string ClosedJ = "Closed " + J + ": C:\\docs\\日本語.txt\r\n",
                    ClosedS = "Closed " + S + ": C:\\smile \xF0\x9F\x98\x80.log\r\n";
  const std::string Refused = "lumorexc: --close asks before each handle and no one is there to answer (standard input is no console a person sees); "
                              "give --yes to close without asking\r\n";
  const std::string Refusals = "in 4 (System): a system process\r\nNot closed 0x00000004 in 1000 (lumorex.exe): "
                               "Lumorex's own process\r\nNot closed 0x00000004 in 1500 (csrss.exe): a system process\r\n";
  struct TCase {
    std::vector<const char*> Given;
    const char16_t* Typed;  // nullptr: standard input is no console
    std::function<void(TSimWindows&)> WhileAsked;  // between the listing and the closes
    int Code;
    std::string Out, Said;  // Said: on the console's screen, or on standard error where refused
    std::function<void(TSimWindows&)> Before = nullptr;  // before the run
  } Cases[] = {
      {{"--close", "1234"}, u"Y\r\nn\r\n", nullptr, ExitNotClosed, ClosedJ + "Not closed " + S + ": declined\r\n", AskJ + AskS},
      // Only a lone y is a yes; the end of input declines.
      {{"--close", "1234"}, u"yes\r\n", nullptr, ExitNotClosed,
       "Not closed " + J + ": declined\r\nNot closed " + S + ": declined\r\n", AskJ + AskS},
      // Keys typed before each question answer nothing.
      {{"--close", "1234"}, u"n\r\n", [](TSimWindows& Sim) { Sim.StdIn.Ahead += u"n\r\ny\r\n"; }, ExitNotClosed,
       "Not closed " + J + ": declined\r\nNot closed " + S + ": declined\r\n", AskJ + AskS,
       [](TSimWindows& Sim) { Sim.StdIn.Ahead = u"y\r\n"; }},
      // Shown in the window's code page both are "C:\docs\": only the
      // whole names tell them apart.
      {{"--close", "-f", "日本語"}, u"y\r\n",
       [](TSimWindows& Sim) {
         Sim.RemoveHandle(1234, 0x7A4);
         Sim.AddFile(1234, "\\Device\\HarddiskVolume1\\docs\\日本人.txt", 0x7A4);
       },
       ExitNotClosed, "Not closed " + J + ": the handle now refers to another file\r\n", AskJ},
      {{"--close", "-f", "日本語"}, u"y\r\n", [](TSimWindows& Sim) { Sim.Process(1234).CanOpen = false; },
       ExitNotClosed, "Not closed " + J + ": the process could not be opened\r\n", AskJ},
      {{"--close", "-f", "日本語"}, u"y\r\n", [](TSimWindows& Sim) { Sim.ObjectOf(1234, 0x7A4).Hang = true; },
       ExitNotClosed, "Not closed " + J + ": the handle's name could not be checked\r\n", AskJ},
      {{"--close", "-f", "日本語"}, u"y\r\n", [](TSimWindows& Sim) { Sim.EndProcess(1234); }, ExitListed,
       "Already released " + J + ": the process has ended\r\n", AskJ},
      {{"--close", "-f", "日本語"}, u"y\r\n", [](TSimWindows& Sim) { Sim.RemoveHandle(1234, 0x7A4); }, ExitListed,
       "Already released " + J + ": the handle was closed\r\n", AskJ},
      // The check's copy succeeds, the close itself fails.
      {{"--close", "-f", "日本語"}, u"y\r\n", [](TSimWindows& Sim) { Sim.FailCall("DuplicateHandle", 2); },
       ExitNotClosed, "Not closed " + J + ": the handle could not be closed\r\n", AskJ},
      {{"--close", "--yes", "1234"}, u"n\r\n", nullptr, ExitListed, ClosedJ + ClosedS, ""},
      {{"--close", "-f", "run.log"}, u"y\r\ny\r\ny\r\n", nullptr, ExitNotClosed, "Not closed 0x00000004 " + Refusals, ""},
      {{"--close", "--yes", "-f", "nosuch"}, nullptr, nullptr, ExitNothing, "", ""},
      {{"--close", "1234"}, nullptr, nullptr, ExitUsage, "", Refused},
      {{"--close", "1234"}, u"y\r\n", nullptr, ExitUsage, "", Refused, [](TSimWindows& Sim) { Sim.ConsoleHasWindow = false; }},
      {{"--close", "1234"}, u"y\r\n", nullptr, ExitUsage, "", Refused, [](TSimWindows& Sim) { Sim.StationVisible = false; }},
  };
  for (const TCase& C : Cases) {
    TSimWindows Fresh;
    TOsScope Use(Fresh);
    Fresh.AddDrive('C', "\\Device\\HarddiskVolume1");
    Fresh.AddAdministratorsGroup(0xF);
    Fresh.AddProcess(1234, "Ärger.exe");
    Fresh.AddFile(1234, "\\Device\\HarddiskVolume1\\docs\\日本語.txt", 0x7A4);
    Fresh.AddFile(1234, "\\Device\\HarddiskVolume1\\smile \xF0\x9F\x98\x80.log", 0x7A8);
    Fresh.AddProcess(1500, "csrss.exe").Critical = true;
    for (DWORD Holder : {DWORD(4), Fresh.SelfPid, DWORD(1500)})
      Fresh.AddFile(Holder, "\\Device\\HarddiskVolume1\\run.log", 4);
    Fresh.StdIn.Console = C.Typed != nullptr;
    if (C.Typed) Fresh.StdIn.Typed = C.Typed;
    if (C.Before) C.Before(Fresh);
    if (C.WhileAsked) Fresh.OnNextCall("ReadConsoleW", [&] { C.WhileAsked(Fresh); });
    std::vector<TWideString> Given;
    for (const char* A : C.Given) Given.push_back(W(A));
    SCOPED_TRACE(C.Out);
    EXPECT_EQ(RunConsole(Given), C.Code);
    EXPECT_EQ(Fresh.StdOut.Bytes, C.Out);
    EXPECT_TRUE(Fresh.Screen.ConsoleText == TSimWindows::Wide(C.Code == ExitUsage ? "" : C.Said)) << C.Said;
    EXPECT_EQ(Fresh.StdErr.Bytes, C.Code == ExitUsage ? C.Said : "");
    // Each question stands alone on the screen when its answer is read.
    if (C.Code != ExitUsage && !C.Said.empty()) {
      EXPECT_TRUE(Fresh.StdIn.ScreenAtRead.at(0) == TSimWindows::Wide(AskJ));
    }
    const auto Held = [&](const std::string& H) {
      return C.Out.find(H) == std::string::npos || C.Out.find("Not closed " + H) != std::string::npos;
    };
    EXPECT_EQ(Fresh.Holds(1234, 0x7A4), Fresh.Process(1234).Alive && Held(J));
    EXPECT_EQ(Fresh.Holds(1234, 0x7A8), Fresh.Process(1234).Alive && Held(S));
    if (C.Code == ExitUsage) {
      EXPECT_EQ(Fresh.Calls("NtQuerySystemInformation"), 0);  // nothing listed
    }
    EXPECT_TRUE(ReapAllWorkers(Fresh));
    EXPECT_EQ(Fresh.Outstanding(), "");
  }

  // The first close comes once the last process is named; a long name is
  // compared and written whole.
  ASSERT_EQ(Run({"--close", "--yes", "1234", "other"}), ExitListed);
  EXPECT_NE(Out().find("Closed 0x00000014 in 1300 (other.exe): C:\\" + std::string(1000, 'l') + "\r\n"), std::string::npos);
  const auto& Calls = Sim.DuplicateCalls;
  const auto First = std::find_if(Calls.begin(), Calls.end(), [](auto& D) { return D.Options & DUPLICATE_CLOSE_SOURCE; });
  EXPECT_TRUE(std::any_of(Calls.begin(), First, [](auto& D) { return D.From == 1300; }));
  ExpectAllReleased();
}

}  // namespace
