// A simulated machine with an in-memory main view, installed for one test.
#pragma once

#include <gtest/gtest.h>

#include "inspect/File2Name.h"
#include "support/SimWindows.h"
#include "process/ProcessList.h"
#include "settings/Settings.h"
#include "ui/Main.h"
#include "support/MemoryView.h"

// Each text as GoogleTest prints one, escaped: a failure's report stays
// plain ASCII whatever code page the row's bytes are in.
inline void PrintTo(const TFileRow& Row, std::ostream* Out) {
  *Out << "{" << ::testing::PrintToString(Row.Caption);
  for (auto& Sub : Row.SubItems) *Out << ", " << ::testing::PrintToString(Sub);
  *Out << "}";
}

// Lets every blocked call go, waits for the workers to end and reaps what
// they left, past the time a worker ended inside its query is kept. False
// when a worker did not end.
inline bool ReapAllWorkers(TSimWindows& Sim) {
  Sim.ReleaseBlocked();
  const bool Ended = Sim.WaitThreads();
  ReapNameWorkers();  // the ends are reported now
  Sim.AdvanceClock(NameWorkerGraceMs);
  ReapNameWorkers();
  return Ended;
}

class TMachineTest : public ::testing::Test {
 protected:
  // Every test starts from the program's start-up state, whatever the test
  // before it left in the globals.
  TMachineTest() : OsScope(Sim), ViewScope(Screen) {
    Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
    DefaultSettings();
    SortDirection = 1;
    ProcessCount = 0;
    ProcessTable = std::vector<TProcessEntry>(2049);  // the start's slots, none more
  }
  ~TMachineTest() override { ReapAllWorkers(Sim); }

  // Everything the simulation handed out has come back.
  void ExpectAllReleased() {
    EXPECT_TRUE(ReapAllWorkers(Sim));
    EXPECT_EQ(Sim.Outstanding(), "");
  }

  std::vector<std::string> Paths() const {
    std::vector<std::string> Out;
    for (auto& Row : Screen.Files) Out.push_back(Row.SubItems.empty() ? "" : Row.SubItems[0]);
    return Out;
  }

  TSimWindows Sim;
  TMemoryView Screen;
  TOsScope OsScope;
  TViewScope ViewScope;
};
