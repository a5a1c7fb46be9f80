// A host test that runs past its bound ends the whole run with a failure: a
// slip that makes a wait endless is reported as one, not waited for.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;
// About three times the longest test's time under the sanitizers on a loaded
// machine: a slip that only makes waits much longer fails too.
constexpr std::chrono::seconds Bound(20);

// Lives for the run, never destroyed: the watching thread may look at it up
// to the process's last moment.
struct TWatch {
  std::mutex M;
  std::condition_variable Changed;
  std::string Name;
  TClock::time_point Deadline;
  bool Running = false;

  TWatch() {
    std::thread([this] { Watch(); }).detach();
  }
  void Watch() {
    std::unique_lock<std::mutex> Lock(M);
    for (;;) {
      if (!Running) {
        Changed.wait(Lock);
        continue;
      }
      Changed.wait_until(Lock, Deadline);
      if (Running && TClock::now() >= Deadline) {
        std::fprintf(stderr, "%s ran past %lld s: the run is ended\n", Name.c_str(),
                     static_cast<long long>(Bound.count()));
        std::fflush(stderr);
        std::_Exit(3);
      }
    }
  }
};

TWatch& Watched() {
  static TWatch* Watch = new TWatch;
  return *Watch;
}

class TWatchdog : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo& Test) override {
    std::lock_guard<std::mutex> Lock(Watch.M);
    Watch.Name = std::string(Test.test_suite_name()) + "." + Test.name();
    Watch.Deadline = TClock::now() + Bound;
    Watch.Running = true;
    Watch.Changed.notify_all();
  }
  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> Lock(Watch.M);
    Watch.Running = false;
  }

 private:
  TWatch& Watch = Watched();
};

const bool Watching = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new TWatchdog);
  return true;
}();

}  // namespace
