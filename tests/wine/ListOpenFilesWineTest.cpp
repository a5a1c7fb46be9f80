// The real listing pass over a real child process under Wine.
#include <gtest/gtest.h>

#include <algorithm>

#include "inspect/ListOpenFiles.h"
#include "support/MemoryView.h"
#include "wine/WineSupport.h"

namespace {

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
    for (size_t I = 0; I < Files.size(); ++I) {
      TFileRow Expected = FileRow(Child.Handles()[I], Files[I]);
      auto Found = std::find_if(Screen.Files.begin(), Screen.Files.end(), [&](const TFileRow& Row) {
        return Row.Caption == Expected.Caption && Row.SubItems.size() == 2 &&
               _stricmp(Row.SubItems[0].c_str(), Files[I].c_str()) == 0;
      });
      ASSERT_NE(Found, Screen.Files.end()) << Files[I] << " in mode " << Mode;
      EXPECT_EQ(Found->SubItems[1], "File");
      EXPECT_EQ(Found->SubItems[0].substr(1, 2), ":\\");
    }
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
  EXPECT_EQ(ReapNameWorkers(), 0u);
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

TEST(ListOpenFilesWine, FastPassListsWhatTheFirstPassListed) {
  std::string Folder = TempFolder("compare");
  TChild Child({"many:300:" + Folder, "pipe:lumorex-compare-" + std::to_string(GetCurrentProcessId())});
  ASSERT_TRUE(Child.Started());
  for (uint32_t Mode : {0u, 1u}) {
    TMemoryView Old, New;
    {
      TViewScope Use(Old);
      ReferenceListOpenFiles(Child.Pid(), Mode);
    }
    {
      TViewScope Use(New);
      ListOpenFiles(Child.Pid(), Mode);
    }
    EXPECT_GE(New.Files.size(), 300u);
    EXPECT_TRUE(New.Files == Old.Files) << "mode " << Mode;
    EXPECT_EQ(New.Log, Old.Log) << "mode " << Mode;
  }
}

}  // namespace
