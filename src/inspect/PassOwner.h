// The one owner of the listing pass's run: whether a pass runs, the stop
// request, the clock of its event dispatches, and the commands that arrive
// while it runs.
#pragma once

#include <deque>
#include <functional>

#include "os/System.h"

// What a command does to the file list, which decides how it merges with the
// commands already waiting for the pass to end.
enum class TCommandKind {
  List,        // a refresh or a pick: lists again; only the last one counts
  EndProcess,  // ends a process and clears the list: never dropped
  CloseHandle, // closes a handle in its owner and lists again: never dropped
  Close,       // closes the window once the pass has stopped
  Read,        // reads the whole list (a report, a sort): lets the pass end
               // and runs after every listing that waits, on its result
};

class TPassOwner {
 public:
  bool Running() const { return Running_; }
  bool StopRequested() const { return StopRequested_; }
  // Asks the running pass to stop at its next dispatch of pending events.
  void RequestStop() {
    if (Running_) StopRequested_ = true;
  }

  // Dispatches pending events when 10 ms of pass time have gone by since the
  // last dispatch, or at once with Force; false once the pass has been asked
  // to stop.
  bool KeepGoing(bool Force);
  // The next KeepGoing dispatches whatever the clock says: the first rows of
  // a pass are not held back until 10 ms have passed.
  void DispatchSoon() { Soon = true; }

  // Runs Command at once when no pass runs, then every command that arrived
  // meanwhile, in order, those that read the list last. During a pass it
  // waits, merged with the others, and the pass is asked to stop unless the
  // command only reads the list. A command that fails must report its own
  // error: the ones behind it run all the same.
  void Submit(TCommandKind Kind, std::function<void()> Command);

  // Marks a pass running for its lifetime, with a fresh stop request and clock.
  class TRun {
   public:
    explicit TRun(TPassOwner& Owner);
    ~TRun();
    TRun(const TRun&) = delete;
    TRun& operator=(const TRun&) = delete;

   private:
    TPassOwner& Owner;
  };

  size_t Waiting() const { return Pending.size(); }

 private:
  struct TCommand {
    TCommandKind Kind;
    std::function<void()> Run;
  };
  void RunPending();

  std::deque<TCommand> Pending;
  bool Running_ = false;
  bool StopRequested_ = false;
  bool Draining = false;
  bool Soon = false;
  DWORD LastDispatch = 0;
};

// The program's pass owner.
TPassOwner& Pass();
