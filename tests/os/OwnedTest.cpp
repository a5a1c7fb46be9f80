// The owners every resource of the program is held by: a slip here leaks, or
// closes what was never opened, on every path that uses them.
#include <functional>

#include "os/Owned.h"
#include "support/Machine.h"

namespace {

class OwnedTest : public TMachineTest {
 protected:
  HANDLE OpenNul() { return Sim.CreateFileA("NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); }
};

TEST_F(OwnedTest, AHandleOwnerClosesWhatItHoldsOnceWhicheverWayItLetsGo) {
  struct TWay {
    const char* Name;
    std::function<void(TOwnedHandle&)> LetGo;
    int Closes;  // the handle held, and the one it may have taken on
  };
  const TWay Ways[] = {
      {"destroyed", [](TOwnedHandle&) {}, 1},
      {"reset", [](TOwnedHandle& Owner) { Owner.Reset(); }, 1},
      {"reset to another", [this](TOwnedHandle& Owner) { Owner.Reset(OpenNul()); }, 2},
      {"moved over", [this](TOwnedHandle& Owner) { Owner = TOwnedHandle(OpenNul()); }, 2},
      {"moved out", [](TOwnedHandle& Owner) { TOwnedHandle Taker(std::move(Owner)); }, 1},
      {"receiving", [](TOwnedHandle& Owner) { *Owner.Receive() = nullptr; }, 1},
  };
  for (const TWay& Way : Ways) {
    const int Before = Sim.Calls("CloseHandle");
    {
      TOwnedHandle Owner(OpenNul());
      ASSERT_TRUE(Owner) << Way.Name;
      Way.LetGo(Owner);
    }
    EXPECT_EQ(Sim.OpenHandles("file"), 0) << Way.Name;
    EXPECT_EQ(Sim.Calls("CloseHandle") - Before, Way.Closes) << Way.Name;
  }
}

TEST_F(OwnedTest, AHandleOwnerTakesNullAndTheInvalidValueForNothingOpened) {
  for (HANDLE Nothing : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    {
      TOwnedHandle Owner(Nothing);
      EXPECT_FALSE(Owner);
      EXPECT_EQ(Owner.Get(), Nothing);  // a caller may still tell which failure it was
      Owner.Reset(Nothing);
      TOwnedHandle Moved(std::move(Owner));
      EXPECT_FALSE(Moved);
    }
    EXPECT_EQ(Sim.Calls("CloseHandle"), 0) << Nothing;
  }
  // Released, the handle is the caller's: the owner closes nothing.
  HANDLE Kept;
  {
    TOwnedHandle Owner(OpenNul());
    Kept = Owner.Release();
    EXPECT_FALSE(Owner);
  }
  EXPECT_EQ(Sim.Calls("CloseHandle"), 0);
  EXPECT_EQ(Sim.OpenHandles("file"), 1);
  EXPECT_TRUE(Sim.CloseHandle(Kept));
}

}  // namespace
