// The real all-processes view under Wine.
#include <gtest/gtest.h>

#include <algorithm>

#include "inspect/ListOpenFiles.h"
#include "process/ProcessList.h"
#include "support/MemoryView.h"
#include "wine/WineSupport.h"

namespace {

TEST(AllProcessesWine, EveryProcessHasAHeaderAndTheChildsFilesStandUnderIts) {
  std::string Folder = TempFolder("all");
  std::vector<std::string> Files = {Folder + "\\first.txt", Folder + "\\second.txt"};
  TChild Child(Files);
  ASSERT_TRUE(Child.Started());
  TMemoryView Screen;
  TViewScope Use(Screen);
  FillProcessList(0);
  uint32_t Mode = 0;
  ASSERT_EQ(ListOpenFiles(0, Mode), TPassResult::Completed);

  std::vector<std::string> Headers;
  size_t ChildHeader = Screen.Files.size();
  long FileRows = 0;
  for (size_t I = 0; I < Screen.Files.size(); ++I) {
    const TFileRow& Row = Screen.Files[I];
    if (!Row.IsHeader()) {
      ++FileRows;
      continue;
    }
    Headers.push_back(Row.SubItems[0]);
    if (Row.SubItems[0] == "Process information: " + std::to_string(Child.Pid()) + " (lxchild.exe)") ChildHeader = I;
  }
  ASSERT_EQ(Headers.size(), static_cast<size_t>(ProcessCount));
  for (int I = 0; I < ProcessCount; ++I)
    EXPECT_EQ(Headers[I].rfind("Process information: " + std::to_string(ProcessTable[I].PID) + " (", 0), 0u);
  auto Has = [&](const char* Name) {
    return std::any_of(Headers.begin(), Headers.end(),
                       [&](const std::string& H) { return H.find(std::string("(") + Name + ")") != std::string::npos; });
  };
  EXPECT_TRUE(Has("services.exe"));
  EXPECT_TRUE(Has("explorer.exe"));
  ASSERT_LT(ChildHeader, Screen.Files.size());
  for (size_t F = 0; F < Files.size(); ++F) {
    bool Found = false;
    for (size_t I = ChildHeader + 1; I < Screen.Files.size() && !Screen.Files[I].IsHeader(); ++I)
      Found |= Screen.Files[I].Caption == HandleText(Child.Handles()[F]) &&
               _stricmp(Screen.Files[I].SubItems[0].c_str(), Files[F].c_str()) == 0;
    EXPECT_TRUE(Found) << Files[F];
  }
  EXPECT_EQ(Screen.OpenFilesLabel, "Open files: " + std::to_string(FileRows));
  EXPECT_EQ(Screen.Status[0], "Ready");
}

}  // namespace
