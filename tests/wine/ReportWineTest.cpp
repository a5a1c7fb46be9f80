// The report on the real file system under Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "inspect/ListOpenFiles.h"
#include "os/Win32System.h"
#include "report/Report.h"
#include "ui/Main.h"
#include "support/MemoryView.h"
#include "wine/WineSupport.h"

namespace {

// The real system, but the boxes are only written down.
class TBoxRecorder : public TWin32System {
 public:
  std::vector<std::string> Boxes;
  int MessageBoxA(HWND, const char* Text, const char* Caption, UINT) override {
    Boxes.push_back(std::string(Caption) + ": " + Text);
    return IDOK;
  }
};

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

TEST(ReportWine, RealListingIsWrittenAndAReadOnlyFileIsNotReplaced) {
  TBoxRecorder System;
  TOsScope UseOs(System);
  std::string Folder = TempFolder("report");
  TChild Child({Folder + "\\held.txt"});
  ASSERT_TRUE(Child.Started());
  TMemoryView Screen;
  TViewScope Use(Screen);
  uint32_t Mode = 0;
  ASSERT_EQ(ListOpenFiles(Child.Pid(), Mode), TPassResult::Completed);

  std::string Path = Folder + "\\report.txt";
  SaveReport(Screen, Child.Pid(), Path);
  std::string Text = ReadAll(Path);
  EXPECT_EQ(Text.rfind("Process information: " + std::to_string(Child.Pid()) + " (lxchild.exe)\r\nApplication path: ", 0),
            0u);
  EXPECT_NE(Text.find("lxchild.exe\r\nFiles used by process:\r\n\r\n  Handle   | Type | Path\r\n"), std::string::npos);
  EXPECT_NE(Text.find(HandleText(Child.Handles()[0]) + " | File | "), std::string::npos);
  EXPECT_NE(Text.find("held.txt\r\n"), std::string::npos);
  EXPECT_NE(Text.find("support@brennary.example\r\n"), std::string::npos);

  std::string Locked = Folder + "\\locked.txt";
  {
    std::ofstream Out(Locked);
    Out << "keep me";
  }
  SetFileAttributesA(Locked.c_str(), FILE_ATTRIBUTE_READONLY);
  TForm1 Form;
  Form.HandleEvent([&] { SaveReport(Screen, Child.Pid(), Locked); });
  ASSERT_EQ(System.Boxes.size(), 1u);
  EXPECT_EQ(System.Boxes[0], "Lumorex: File access denied.");
  EXPECT_EQ(ReadAll(Locked), "keep me");
  SetFileAttributesA(Locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
