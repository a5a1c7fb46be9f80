// Explorer's verbs in the simulated registry, written and removed exactly by
// the window's File menu and by lumorexc, and nothing else touched.
#include "settings/ExplorerMenu.h"

#include "console/Console.h"
#include "support/Machine.h"

namespace {

class ExplorerMenuTest : public TMachineTest {
 protected:
  ExplorerMenuTest() {
    Sim.Process(TSimWindows::DefaultSelfPid).Path = Program;
    Sim.Files[Program];
    // Other verbs, and the classes' own keys, which stay as they are.
    for (const char* Hive : {"hkcu", "hklm"}) {
      Sim.AddKey(std::string(Hive) + "\\software\\classes\\*\\shell\\open\\command");
      Sim.AddKey(std::string(Hive) + "\\software\\classes\\directory\\shell");
      Sim.AddKey(std::string(Hive) + "\\software\\classes\\drive\\shell");
    }
    Sim.Registry["hkcu\\software\\brennary\\lumorex"]["Mode"] = {REG_DWORD, std::string(4, '\1')};
    Base = Dump();
  }
  // Every key, and every value as "key|name=text" with its NUL taken off, sorted.
  std::vector<std::string> Dump() const {
    std::vector<std::string> Lines;
    for (const auto& [Key, Values] : Sim.Registry) {
      Lines.push_back(Key);
      for (const auto& [Name, Value] : Values) {
        std::u16string Text(Value.Data.size() / 2, u'\0');
        std::memcpy(&Text[0], Value.Data.data(), Text.size() * 2);
        const bool Ended = Value.Type == REG_SZ && !Text.empty() && Text.back() == 0;
        Lines.push_back(Key + "|" + Name + "=" + (Ended ? TSimWindows::Narrow(Text.substr(0, Text.size() - 1)) : "?"));
      }
    }
    std::sort(Lines.begin(), Lines.end());
    return Lines;
  }
  static int Lumorexc(const std::vector<const char*>& Given) {
    std::vector<TWideString> Arguments;
    for (const char* A : Given) Arguments.push_back(Widen(A));
    return RunConsole(Arguments);
  }
  const std::string Program = "C:\\Tools\\L\xC3\xBCmorex\\lumorex.exe";  // any script: written wide
  const std::u16string Wide = TSimWindows::Wide(Program);
  std::vector<std::string> Base;
  TForm1 Form;
};

TEST_F(ExplorerMenuTest, VerbsWrittenOverAnotherCopysAndRemovedLeavingAllElse) {
  const struct {
    const char* Who;
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
  const std::u16string Old = u"\"D:\\Old\\lumorex.exe\" /file \"%1\"";
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::string(C.Who) + (C.Toggles ? " window" : " lumorexc"));
    std::vector<std::string> Added = Base;
    for (const char* Kind : {"*", "directory", "drive"}) {
      const std::string Verb = std::string(C.Who) + "\\software\\classes\\" + Kind + "\\shell\\lumorex.whatholds";
      Added.insert(Added.end(), {Verb, Verb + "|=What holds this? (Lumorex)", Verb + "|Icon=" + Program,
                                 Verb + "\\command", Verb + "\\command|=\"" + Program + "\" /file \"%1\""});
      // Another copy's verb, which this one replaces.
      Sim.AddKey(Verb + "\\command");
      Sim.Registry[Verb + "\\command"][""] = {REG_SZ, std::string(reinterpret_cast<const char*>(Old.c_str()), 2 * Old.size() + 2)};
    }
    std::sort(Added.begin(), Added.end());
    EXPECT_FALSE(HasExplorerMenu(C.Root, TWideString(Wide.begin(), Wide.end())));
    EXPECT_TRUE(C.Add());
    EXPECT_EQ(Dump(), Added);
    EXPECT_TRUE(HasExplorerMenu(C.Root, TWideString(Wide.begin(), Wide.end())));
    EXPECT_EQ(Form.N12Checked(), C.Root == HKEY_CURRENT_USER);  // the window's is this user's
    if (!C.Toggles) {
      EXPECT_TRUE(C.Add());
      EXPECT_EQ(Dump(), Added);
    }
    EXPECT_TRUE(C.Remove());
    EXPECT_EQ(Dump(), Base);
    EXPECT_EQ(Sim.Outstanding(), "");
  }
}

TEST_F(ExplorerMenuTest, AKeyNotWrittenLeavesNoVerbAndExitsWithThree) {
  Sim.FailCall("RegSetValueExW", 5);  // the second kind's icon
  EXPECT_EQ(Lumorexc({"--explorer-menu", "add"}), ExitCannot);
  EXPECT_EQ(Dump(), Base);
  EXPECT_NE(Sim.StdErr.Bytes.find("not added: the keys could not be written"), std::string::npos);
  Sim.FailCall("RegCreateKeyExW", 2);  // the first command key
  Form.N12Click();
  EXPECT_EQ(Screen.Status[0], "The Explorer menu entry could not be written.");
  EXPECT_EQ(Dump(), Base);
  Sim.Files.clear();  // lumorexc copied alone: no verb may start a window that is not there
  EXPECT_EQ(Lumorexc({"--explorer-menu", "add"}), ExitCannot);
  EXPECT_EQ(Dump(), Base);
  Sim.Files[Program];
  EXPECT_EQ(Lumorexc({"--explorer-menu", "add"}), 0);
  Sim.FailCall("RegDeleteKeyW", 1);
  EXPECT_EQ(Lumorexc({"--explorer-menu", "remove"}), ExitCannot);
  ExpectAllReleased();
}

}  // namespace
