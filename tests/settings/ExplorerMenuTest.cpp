// Explorer's verbs in the simulated registry, written and removed exactly by
// the window's File menu and by lumorexc, and nothing else touched.
#include "settings/ExplorerMenu.h"

#include "console/Console.h"
#include "support/Machine.h"

namespace {

// Every key, and every value as "key|name=text" (its NUL kept), sorted.
std::vector<std::string> Dump(const TSimWindows& Sim) {
  std::vector<std::string> Lines;
  for (const auto& [Key, Values] : Sim.Registry) {
    Lines.push_back(Key);
    for (const auto& [Name, V] : Values)
      Lines.push_back(Key + "|" + Name + "=" +
                      TSimWindows::Narrow({reinterpret_cast<const char16_t*>(V.Data.data()), V.Data.size() / 2}));
  }
  std::sort(Lines.begin(), Lines.end());
  return Lines;
}

int Lumorexc(const std::vector<const char*>& Given) {
  std::vector<TWideString> Arguments;
  for (const char* A : Given) Arguments.push_back(Widen(A));
  return RunConsole(Arguments);
}

using ExplorerMenuTest = TMachineTest;

TEST_F(ExplorerMenuTest, VerbsWrittenOverAnotherCopysAndRemovedWithNothingElseTouched) {
  const std::string Program = "C:\\Tools\\L\xC3\xBCmorex\\lumorex.exe";  // any script: written wide
  Sim.Process(TSimWindows::DefaultSelfPid).Path = Program;
  Sim.Files[Program];
  for (const char* Hive : {"hkcu", "hklm"})  // other verbs, and the classes' own keys
    for (const char* Key : {"\\*\\shell\\open\\command", "\\directory\\shell", "\\drive\\shell"})
      Sim.AddKey(Hive + ("\\software\\classes" + std::string(Key)));
  const std::vector<std::string> Base = Dump(Sim);
  TForm1 Form;
  const struct {
    const char* Hive;
    HKEY Root;
    std::function<bool()> Add, Remove;
    bool Toggles;  // the window's item: chosen again, it removes
  } Cases[] = {
      {"hkcu", HKEY_CURRENT_USER, [&] { return Form.N12Click(), Screen.Status[0] == "Explorer menu entry added."; },
       [&] { return Form.N12Click(), Screen.Status[0] == "Explorer menu entry removed."; }, true},
      {"hkcu", HKEY_CURRENT_USER, [] { return Lumorexc({"--explorer-menu", "add"}) == 0; },
       [] { return Lumorexc({"--explorer-menu", "remove"}) == 0; }, false},
      {"hklm", HKEY_LOCAL_MACHINE, [] { return Lumorexc({"--all-users", "--explorer-menu", "add"}) == 0; },
       [] { return Lumorexc({"--explorer-menu", "remove", "--all-users"}) == 0; }, false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::string(C.Hive) + (C.Toggles ? " window" : " lumorexc"));
    std::vector<std::string> Added = Base;
    AddExplorerMenu(C.Root, Widen("D:\\Old\\lumorex.exe"));  // another copy's, which this one replaces
    for (const char* Kind : {"*", "directory", "drive"}) {
      const std::string Verb = std::string(C.Hive) + "\\software\\classes\\" + Kind + "\\shell\\lumorex.whatholds";
      Added.insert(Added.end(), {Verb, Verb + "|=What holds this? (Lumorex)" + '\0', Verb + "|Icon=" + Program + '\0',
                                 Verb + "\\command", Verb + "\\command|=\"" + Program + "\" /file \"%1\"" + '\0'});
    }
    std::sort(Added.begin(), Added.end());
    EXPECT_FALSE(Form.N12Checked());
    EXPECT_TRUE(C.Add());
    EXPECT_EQ(Dump(Sim), Added);
    EXPECT_EQ(Form.N12Checked(), C.Root == HKEY_CURRENT_USER);  // the window's is this user's
    if (!C.Toggles) EXPECT_TRUE(C.Add() && Dump(Sim) == Added);
    EXPECT_TRUE(C.Remove());
    EXPECT_EQ(Dump(Sim), Base);
  }
  // A key not written takes the verbs written before it along.
  Sim.FailCall("RegSetValueExW", 5);  // the second kind's icon
  EXPECT_EQ(Lumorexc({"--explorer-menu", "add"}), ExitCannot);
  Sim.FailCall("RegCreateKeyExW", 2);  // the first command key
  Form.N12Click();
  EXPECT_EQ(Screen.Status[0], "The Explorer menu entry could not be written.");
  Sim.Files.clear();  // lumorexc copied alone: no verb may start a window that is not there
  EXPECT_EQ(Lumorexc({"--explorer-menu", "add"}), ExitCannot);
  EXPECT_EQ(Dump(Sim), Base);
  Sim.FailCall("RegDeleteKeyW", 1);
  EXPECT_EQ(Lumorexc({"--explorer-menu", "remove"}), ExitCannot);
  ExpectAllReleased();
}

}  // namespace
