// The real lumorexc.exe, started as a child with its output captured, over a
// child that holds files with names hard to carry and a pipe.
#include <gtest/gtest.h>

#include <limits>  // the CSV parser uses it without including it
#define CSV_IO_NO_THREAD
// The parser is not ours to keep warning-free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-truncation"
#include <libfccp/csv.h>
#pragma GCC diagnostic pop
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "inspect/ListOpenFiles.h"
#include "wine/WineSupport.h"

namespace {

struct TRow {
  std::string Pid, Process, Handle, Type, Path;
  bool operator==(const TRow& O) const {
    return Pid == O.Pid && Process == O.Process && Handle == O.Handle && Type == O.Type && Path == O.Path;
  }
};

void PrintTo(const TRow& R, std::ostream* Out) {
  *Out << R.Pid << "|" << R.Process << "|" << R.Handle << "|" << R.Type << "|" << R.Path;
}

// The table's file lines, each with the process line above it.
std::vector<TRow> TableRows(const std::string& Out) {
  std::vector<TRow> Rows;
  std::string Pid, Process;
  for (size_t At = 0, End; (End = Out.find("\r\n", At)) != std::string::npos; At = End + 2) {
    const std::string Line = Out.substr(At, End - At);
    const std::string Header = "Process information: ";
    if (Line.rfind(Header, 0) == 0) {
      const size_t Open = Line.find(" (", Header.size());
      Pid = Line.substr(Header.size(), Open - Header.size());
      Process = Line.substr(Open + 2, Line.size() - Open - 3);
    } else if (Line.size() > 20 && Line.rfind("  0x", 0) == 0) {
      Rows.push_back({Pid, Process, Line.substr(2, 10), Line.substr(14, 4), Line.substr(20)});
    } else {
      ADD_FAILURE() << "not a line of the table: " << Line;
    }
  }
  return Rows;
}

std::vector<TRow> CsvRows(const std::string& Out) {
  io::CSVReader<5, io::trim_chars<>, io::double_quote_escape<',', '"'>> Reader("out.csv", Out.data(),
                                                                              Out.data() + Out.size());
  Reader.read_header(io::ignore_no_column, "PID", "Process", "Handle", "Type", "Path");
  std::vector<TRow> Rows;
  TRow R;
  while (Reader.read_row(R.Pid, R.Process, R.Handle, R.Type, R.Path)) Rows.push_back(R);
  return Rows;
}

std::vector<TRow> JsonRows(const std::string& Out) {
  std::vector<TRow> Rows;
  for (const auto& Object : nlohmann::json::parse(Out)) {
    EXPECT_EQ(Object.size(), 5u);
    const auto& Handle = Object.at("handle");  // null where there is no handle
    Rows.push_back({std::to_string(Object.at("pid").get<unsigned long>()), Object.at("process"),
                    Handle.is_null() ? "null" : Handle.get<std::string>(), Object.at("type"), Object.at("path")});
  }
  return Rows;
}

std::vector<TRow> Of(const std::vector<TRow>& Rows, DWORD Pid) {
  std::vector<TRow> Out;
  for (const TRow& R : Rows)
    if (R.Pid == std::to_string(Pid)) Out.push_back(R);
  return Out;
}

class ConsoleWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Folder = TempFolder("console");
    Files = HardNames(Folder);
    Pipe = "lumorexc-pipe-" + std::to_string(GetCurrentProcessId());
    std::vector<std::string> Opens = Files;
    Opens.push_back("pipe:" + Pipe);
    Child = new TChild(Opens);
  }
  static void TearDownTestSuite() {
    delete Child;
    Child = nullptr;
  }
  // The child's rows as the table must show them: its files, and with
  // pipes its pipe, under its own handle values, the paths byte for byte.
  static std::vector<TRow> Expected(bool WithPipe) {
    std::vector<TRow> Rows;
    for (size_t I = 0; I < Files.size(); ++I)
      Rows.push_back({std::to_string(Child->Pid()), "lxchild.exe", HandleText(Child->Handles()[I]), "File", Files[I]});
    if (WithPipe)
      Rows.push_back({std::to_string(Child->Pid()), "lxchild.exe", HandleText(Child->Handles()[Files.size()]), "Pipe",
                      "\\Device\\NamedPipe\\" + Pipe});
    return Rows;
  }
  // Only the child's rows that name what it opened, the drive letter in the
  // case of the names given (Wine may write either): it also holds its
  // standard handles.
  static std::vector<TRow> Opened(std::vector<TRow> Rows) {
    std::vector<TRow> Out;
    for (TRow& R : Of(Rows, Child->Pid())) {
      if (R.Path.size() > 1 && R.Path[1] == ':') R.Path[0] = Files[0][0];
      for (const TRow& E : Expected(true))
        if (R.Handle == E.Handle) Out.push_back(R);
    }
    return Out;
  }
  static std::string Folder, Pipe;
  static std::vector<std::string> Files;
  static TChild* Child;
};
std::string ConsoleWine::Folder, ConsoleWine::Pipe;
std::vector<std::string> ConsoleWine::Files;
TChild* ConsoleWine::Child = nullptr;

TEST_F(ConsoleWine, HardNamesComeOutByteExactByPidAndByImageName) {
  ASSERT_TRUE(Child->Started());
  ASSERT_EQ(Child->Handles().size(), Files.size() + 1);
  ASSERT_EQ(Files.back().size(), 300u);
  for (const std::string& Asked : {std::to_string(Child->Pid()), std::string("lxchild"), std::string("LXChild.EXE")}) {
    SCOPED_TRACE(Asked);
    const TConsoleRun Run = RunConsoleProgram(Asked);
    ASSERT_TRUE(Run.Started);
    EXPECT_EQ(Run.Exit, 0u) << Run.Err;
    EXPECT_EQ(Run.Err, "");
    EXPECT_EQ(Opened(TableRows(Run.Out)), Expected(false));
  }
}

TEST_F(ConsoleWine, FindAllAndTheThreeFormatsHoldTheSameRows) {
  const std::string Pid = std::to_string(Child->Pid());
  // Other letter case finds the "ä" file, and only it.
  TConsoleRun Run = RunConsoleProgram("--find \"B\xC3\x84R, \xC3\x84\" " + Pid);
  EXPECT_EQ(Run.Exit, 0u) << Run.Err;
  const std::vector<TRow> All = Expected(true);
  EXPECT_EQ(Opened(TableRows(Run.Out)), std::vector<TRow>{All[2]});
  // Japanese matches as written.
  Run = RunConsoleProgram("-f \xE6\x97\xA5\xE6\x9C\xAC " + Pid);
  EXPECT_EQ(Opened(TableRows(Run.Out)), std::vector<TRow>{All[0]});

  const TConsoleRun Table = RunConsoleProgram("-a " + Pid), Csv = RunConsoleProgram("--csv -a " + Pid),
                    Json = RunConsoleProgram("--all --json " + Pid);
  for (const TConsoleRun* R : {&Table, &Csv, &Json}) EXPECT_EQ(R->Exit, 0u) << R->Err;
  EXPECT_EQ(Opened(TableRows(Table.Out)), All);
  EXPECT_EQ(Csv.Out.rfind("PID,Process,Handle,Type,Path\r\n", 0), 0u);
  // The "ä" file's comma is quoted, not a column of its own.
  EXPECT_NE(Csv.Out.find(",\"" + Files[2].substr(0, 1)), std::string::npos);
  EXPECT_EQ(CsvRows(Csv.Out), TableRows(Table.Out));
  EXPECT_EQ(JsonRows(Json.Out), TableRows(Table.Out));
}

TEST_F(ConsoleWine, ExitCodesSayWhatHappened) {
  const std::string Pid = std::to_string(Child->Pid());
  struct {
    std::string Arguments;
    DWORD Exit;
    std::string ErrStart;  // "" for nothing on standard error
  } Cases[] = {
      {Pid, 0, ""},
      {"--find nosuch-file-anywhere " + Pid, 1, ""},
      {"2147483632", 1, "lumorexc: no running process has PID 2147483632\r\n"},
      {"no-such-image", 1, "lumorexc: no running process is named \"no-such-image\"\r\n"},
      {"--bogus " + Pid, 2, "lumorexc: unknown option: --bogus\r\nUsage: lumorexc"},
      {"12ab", 2, "lumorexc: PID is not a number: 12ab\r\nUsage: lumorexc"},
      {Pid + " --find", 2, "lumorexc: --find needs a TEXT\r\nUsage: lumorexc"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Arguments);
    const TConsoleRun Run = RunConsoleProgram(C.Arguments);
    ASSERT_TRUE(Run.Started);
    EXPECT_EQ(Run.Exit, C.Exit);
    EXPECT_EQ(Run.Err.substr(0, C.ErrStart.size()), C.ErrStart);
    if (C.ErrStart.empty()) {
      EXPECT_EQ(Run.Err, "");
    }
    if (C.Exit != 0) {
      EXPECT_TRUE(TableRows(Run.Out).empty()) << Run.Out;
    }
  }
}

TEST_F(ConsoleWine, CloseWithYesFreesTheLockedFileAndFromAPipeWithoutYesRefuses) {
  const std::string Folder = TempFolder("console-close"), Locked = Folder + "\\held by lxchild.dat";
  TChild Holder({"locked:" + Locked});
  ASSERT_TRUE(Holder.Started());
  ASSERT_EQ(Holder.Write(), "written");
  EXPECT_FALSE(DeleteFileA(Locked.c_str()));
  EXPECT_EQ(GetLastError(), 32u);  // in use, shared with no one

  // Its standard input is no console: refused before anything is closed.
  TConsoleRun Run = RunConsoleProgram("--find \"held by lxchild\" --close");
  EXPECT_EQ(Run.Exit, 2u);
  EXPECT_EQ(Run.Err.rfind("lumorexc: --close asks before each handle", 0), 0u) << Run.Err;
  EXPECT_EQ(Run.Out, "");
  EXPECT_EQ(Holder.Write(), "written");
  EXPECT_FALSE(DeleteFileA(Locked.c_str()));

  Run = RunConsoleProgram("--find \"HELD BY LXCHILD\" --close --yes");
  EXPECT_EQ(Run.Exit, 0u) << Run.Err;
  EXPECT_EQ(Run.Err, "");
  const std::string Head =
      "Closed " + HandleText(Holder.Handles()[0]) + " in " + std::to_string(Holder.Pid()) + " (lxchild.exe): ";
  ASSERT_EQ(Run.Out.substr(0, Head.size()), Head) << Run.Out;
  ASSERT_EQ(Run.Out.find("\r\n"), Run.Out.size() - 2) << Run.Out;  // one line
  // Wine may write the drive letter in either case.
  EXPECT_EQ(_stricmp(Run.Out.substr(Head.size(), Run.Out.size() - Head.size() - 2).c_str(), Locked.c_str()), 0)
      << Run.Out;
  EXPECT_TRUE(DeleteFileA(Locked.c_str())) << GetLastError();
  EXPECT_EQ(Holder.Write().rfind("failed", 0), 0u);

  // Nothing holds it now: nothing is found.
  Run = RunConsoleProgram("--find \"held by lxchild\" --close --yes");
  EXPECT_EQ(Run.Exit, 1u) << Run.Out << Run.Err;
  EXPECT_EQ(Run.Out, "");
}

TEST_F(ConsoleWine, ALoadedDllAndAMappedFileAreHoldsFoundByTheirPathOrFolder) {
  const std::string Folder = TempFolder("console-holds") + "\\Pl\xC3\xBCgins \xC3\xA4 Daten",
                    Dll = Folder + "\\lxplugin.dll", Data = Folder + "\\mapped.dat";
  CreateDirectoryW(WideFromUtf8(Folder).c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(WideFromUtf8(ExeFolder() + "lxplugin.dll").c_str(), WideFromUtf8(Dll).c_str(), FALSE));
  {
    std::unique_ptr<FILE, int (*)(FILE*)> Out(_wfopen(WideFromUtf8(Data).c_str(), L"wb"), fclose);
    ASSERT_TRUE(Out && fputs("mapped", Out.get()) >= 0);
  }
  TChild Holder({"load:" + Dll, "map:" + Data});
  ASSERT_TRUE(Holder.Started());
  ASSERT_NE(Holder.Handles().at(0), 0u);
  ASSERT_NE(Holder.Handles().at(1), 0u);
  const std::string Pid = std::to_string(Holder.Pid());
  auto Found = [&](const std::string& Path, DWORD* Exit) {
    const TConsoleRun Run = RunConsoleProgram("--json --file \"" + Path + "\"");
    *Exit = Run.Exit;
    EXPECT_TRUE(Run.Err.empty() || Run.Err.rfind("lumorexc: not looked at:", 0) == 0) << Run.Err;
    std::vector<TRow> Rows = JsonRows(Run.Out);
    for (TRow& R : Rows) R.Path[0] = Folder[0];  // Wine may write the drive letter in either case
    // In the order of their addresses, which the system chooses.
    std::sort(Rows.begin(), Rows.end(), [](const TRow& A, const TRow& B) { return A.Type < B.Type; });
    return Rows;
  };
  const TRow Module = {Pid, "lxchild.exe", "null", "Module", Dll}, Mapped = {Pid, "lxchild.exe", "null", "Mapped", Data};
  DWORD Exit = 0;
  EXPECT_EQ(Found(Dll, &Exit), std::vector<TRow>{Module});
  EXPECT_EQ(Exit, 0u);
  EXPECT_EQ(Found(Data, &Exit), std::vector<TRow>{Mapped});
  EXPECT_EQ(Found(Folder, &Exit), (std::vector<TRow>{Mapped, Module}));
  // A folder whose name starts the same holds nothing of them.
  EXPECT_EQ(Found(Folder.substr(0, Folder.size() - 2), &Exit), std::vector<TRow>{});
  EXPECT_TRUE(Exit == 1 || Exit == 5) << Exit;
}

TEST_F(ConsoleWine, CloseWithYesOverTheFolderOfItsOwnOutputLeavesThatOutputWhole) {
  // Its output is a file in the folder searched: its own handle to it is found
  // and never closed (Wine's conhost.exe holds a copy too, which is closed).
  const std::string Name = "own-output", Report = TempFolder(Name) + "\\run.txt";
  SECURITY_ATTRIBUTES Inherit = {sizeof Inherit, nullptr, TRUE};
  const HANDLE Output =
      CreateFileA(Report.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &Inherit, CREATE_ALWAYS, 0, nullptr);
  DWORD Pid = 0;
  const std::string Find = "--find lumorex-" + Name + "-" + std::to_string(GetCurrentProcessId());
  const TConsoleRun Run =
      RunConsoleProgram("--close --yes " + Find, [&](HANDLE Process) { Pid = GetProcessId(Process); }, Output);
  EXPECT_EQ(Run.Exit, 4u);
  EXPECT_EQ(Run.Err, "");
  std::ifstream In(Report, std::ios::binary);
  const std::string Text{std::istreambuf_iterator<char>(In), {}}, Own = HandleText(reinterpret_cast<ULONG_PTR>(Output));
  EXPECT_NE(Text.find("Not closed " + Own + " in " + std::to_string(Pid) + " (lumorexc.exe): Lumorex's own process\r\n"),
            std::string::npos) << Text;
  EXPECT_EQ(Text.rfind("\r\n") + 2, Text.size()) << Text;
}

}  // namespace

