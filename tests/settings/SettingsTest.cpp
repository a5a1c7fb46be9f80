// The three settings in the per-user registry.
#include "settings/Settings.h"

#include "support/Machine.h"

namespace {

class SettingsTest : public TMachineTest {
 protected:
  const std::string Key = "hkcu\\software\\brennary\\lumorex";
  void Store(const std::string& Name, DWORD Value) {
    Sim.Registry[Key][Name] = {REG_DWORD, std::string(reinterpret_cast<const char*>(&Value), 4)};
  }
  DWORD Stored(const std::string& Name) {
    DWORD Value = 0xFFFFFFFF;
    auto& Data = Sim.Registry[Key][Name];
    EXPECT_EQ(Data.Type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Data.Data.size(), 4u);
    std::memcpy(&Value, Data.Data.data(), 4);
    return Value;
  }
};

TEST_F(SettingsTest, FirstRunCreatesTheKeyWithTheDefaults) {
  TimerInterval = Mode = SortType = 99;
  StartupSettings();
  EXPECT_EQ(Stored("TimerInterval"), 10u);
  EXPECT_EQ(Stored("Mode"), 0u);
  EXPECT_EQ(Stored("SortType"), 0u);
  EXPECT_EQ(TimerInterval, 10u);
  EXPECT_EQ(Sim.Registry.count("hkcu\\software\\brennary"), 1u);
  // Loading creates the key itself; saving into a key that has gone creates
  // the maker's key first.
  EXPECT_EQ(Sim.KeysCreated, (std::vector<std::string>{SettingsKey}));
  Sim.Registry.clear();
  SaveSettings();
  EXPECT_EQ(Sim.KeysCreated, (std::vector<std::string>{SettingsKey, "SOFTWARE\\Brennary", SettingsKey}));
  EXPECT_EQ(Stored("Mode"), 0u);
  ExpectAllReleased();
}

TEST_F(SettingsTest, StoredDwordsAreReadWhole) {
  Store("TimerInterval", 300);
  Store("Mode", 0);
  Store("SortType", 7);
  StartupSettings();
  EXPECT_EQ(TimerInterval, 300u);
  EXPECT_EQ(Mode, 0u);
  EXPECT_EQ(SortType, 7u);
  EXPECT_EQ(TimerIntervalMs(), 300000u);
  TimerInterval = 4000000;  // past what a timer accepts
  EXPECT_EQ(TimerIntervalMs(), 0x7FFFFFFFu);
}

TEST_F(SettingsTest, ValuesOfAnotherTypeOrSizeLeaveTheirSetting) {
  Sim.Registry[Key]["TimerInterval"] = {REG_SZ, std::string("30\0", 3)};
  Sim.Registry[Key]["Mode"] = {REG_BINARY, std::string("\x01\0\0\0\0\0\0\0", 8)};
  Sim.Registry[Key]["SortType"] = {REG_DWORD, std::string("\x01\0", 2)};
  DefaultSettings();
  LoadSettings();
  EXPECT_EQ(TimerInterval, 10u);
  EXPECT_EQ(Mode, 0u);
  EXPECT_EQ(SortType, 0u);
  ExpectAllReleased();
}

TEST_F(SettingsTest, MissingOrUncreatableKeyKeepsTheDefaults) {
  Store("Mode", 1);
  Sim.FailCall("RegOpenKeyA", 0);
  Sim.FailCall("RegCreateKeyA", 0);
  StartupSettings();
  EXPECT_EQ(Mode, 0u);
  EXPECT_EQ(Stored("Mode"), 1u);  // nothing was written either
  ExpectAllReleased();
}

TEST_F(SettingsTest, FailedWriteLeavesTheOldValue) {
  Store("TimerInterval", 30);
  Store("Mode", 1);
  Store("SortType", 1);
  TimerInterval = 5;
  Mode = 0;
  SortType = 0;
  Sim.FailCall("RegSetValueExA", 2);
  SaveSettings();
  EXPECT_EQ(Stored("TimerInterval"), 5u);
  EXPECT_EQ(Stored("Mode"), 1u);
  EXPECT_EQ(Stored("SortType"), 0u);
  ExpectAllReleased();
}

TEST_F(SettingsTest, EveryFailureClosesTheKeys) {
  for (long K = 1; K <= 10; ++K) {
    Sim.Registry.clear();
    Sim.FailGlobalCall(Sim.TotalCalls() + K);
    StartupSettings();
    EXPECT_EQ(Sim.Outstanding(), "") << "failing call " << K;
  }
}

}  // namespace
