// The real listing pass over a real child process under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "inspect/ListOpenFiles.h"
#include "support/MemoryView.h"
#include "wine/WineSupport.h"

namespace {

// The view lists Path under Handle, as a file, whatever the drive letter's case.
bool Holds(const TMemoryView& Screen, ULONG_PTR Handle, const std::string& Path) {
  const TFileRow Expected = FileRow(Handle, Path);
  return std::any_of(Screen.Files.begin(), Screen.Files.end(), [&](const TFileRow& Row) {
    return Row.Caption == Expected.Caption && Row.SubItems.size() == 2 &&
           _stricmp(Row.SubItems[0].c_str(), Path.c_str()) == 0 && Row.SubItems[1] == "File" &&
           Row.SubItems[0].substr(1, 2) == ":\\";
  });
}

TEST(ListOpenFilesWine, ListsEveryFileOfAChildWithItsRealHandleAndNothingElse) {
  std::string Folder = TempFolder("pass");
  std::vector<std::string> Files = {Folder + "\\one.txt", Folder + "\\two words.log", Folder + "\\three.dat"};
  std::vector<std::string> Opens = Files;
  Opens.push_back("pipe:lumorex-pass-" + std::to_string(GetCurrentProcessId()));
  TChild Child(Opens);
  ASSERT_TRUE(Child.Started());
  ASSERT_EQ(Child.Handles().size(), 4u);

  TMemoryView Screen;
  TViewScope Use(Screen);
  for (uint32_t Mode : {0u, 1u}) {
    ASSERT_EQ(ListOpenFiles(Child.Pid(), Mode), TPassResult::Completed);
    bool SawPipe = false;
    for (size_t I = 0; I < Files.size(); ++I)
      EXPECT_TRUE(Holds(Screen, Child.Handles()[I], Files[I])) << Files[I] << " in mode " << Mode;
    for (auto& Row : Screen.Files) {
      // Nothing of another process: every handle is one the child holds or
      // one it was born with (its standard handles, its console).
      if (Row.Caption == HandleText(Child.Handles()[3])) {
        SawPipe = true;
        EXPECT_EQ(Row.SubItems[1], "Pipe");
        EXPECT_NE(Row.SubItems[0].find("lumorex-pass-"), std::string::npos);
      }
      EXPECT_TRUE(Row.SubItems[0].find("lumorex-dup-") == std::string::npos);
    }
    EXPECT_EQ(SawPipe, Mode == 1) << "mode " << Mode;
    EXPECT_EQ(Screen.OpenFilesLabel, "Open files: " + std::to_string(Screen.Files.size()));
    EXPECT_EQ(Screen.Status[0], "Ready");
  }
  EXPECT_EQ(ReapNameWorkersWithin(5000), 0u);
}

TEST(ListOpenFilesWine, ProcessThatCannotBeOpenedGivesTheAccessError) {
  TMemoryView Screen;
  TViewScope Use(Screen);
  uint32_t Mode = 0;
  EXPECT_EQ(ListOpenFiles(0x7FFFFFF0, Mode), TPassResult::Failed);
  EXPECT_EQ(Screen.Status[0], "Process access error.");
}

}  // namespace

#include "support/ReferencePass.h"

namespace {

TEST(ListOpenFilesWine, FastPassListsEveryFileTheFirstPassListed) {
  // What each pass must list: every file the child opened and, in Advanced
  // mode, its pipe, with their handles. The handles it was born with may
  // answer late on a loaded machine under emulation, and are not compared.
  std::string Folder = TempFolder("compare");
  TChild Child({"many:300:" + Folder, "pipe:lumorex-compare-" + std::to_string(GetCurrentProcessId())});
  ASSERT_TRUE(Child.Started());
  ASSERT_EQ(Child.Handles().size(), 301u);
  for (uint32_t Mode : {0u, 1u}) {
    TMemoryView Old, New;
    {
      TViewScope Use(Old);
      EXPECT_EQ(ReferenceListOpenFiles(Child.Pid(), Mode), TPassResult::Completed);
    }
    {
      TViewScope Use(New);
      EXPECT_EQ(ListOpenFiles(Child.Pid(), Mode), TPassResult::Completed);
    }
    for (const TMemoryView* Listing : {&Old, &New}) {
      const char* Which = Listing == &Old ? "first pass" : "fast pass";
      for (size_t I = 0; I < 300; ++I) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "\\f%05zu.dat", I);
        EXPECT_TRUE(Holds(*Listing, Child.Handles()[I], Folder + Name)) << Name << ", " << Which << ", mode " << Mode;
      }
      const std::string PipeRow = HandleText(Child.Handles()[300]);
      const bool Piped = std::any_of(Listing->Files.begin(), Listing->Files.end(), [&](const TFileRow& Row) {
        return Row.Caption == PipeRow && Row.SubItems[1] == "Pipe";
      });
      EXPECT_EQ(Piped, Mode == 1) << Which << ", mode " << Mode;
      EXPECT_EQ(Listing->OpenFilesLabel, "Open files: " + std::to_string(Listing->Files.size())) << Which;
      EXPECT_EQ(Listing->Status[0], "Ready") << Which;
    }
  }
}

}  // namespace
