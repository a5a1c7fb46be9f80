#include "inspect/PassOwner.h"

#include <algorithm>

namespace {
// Events are dispatched when this much pass time has gone by, and after rows
// were added: the window stays as live as with a dispatch per entry, at a
// fraction of the calls.
constexpr DWORD DispatchEveryMs = 10;
}  // namespace

TPassOwner& Pass() {
  static TPassOwner Owner;
  return Owner;
}

TPassOwner::TRun::TRun(TPassOwner& O) : Owner(O) {
  Owner.Running_ = true;
  Owner.StopRequested_ = false;
  Owner.Soon = false;
  Owner.LastDispatch = Os().GetTickCount();
}

TPassOwner::TRun::~TRun() {
  Owner.Running_ = false;
  Owner.StopRequested_ = false;
}

bool TPassOwner::KeepGoing(bool Force) {
  DWORD Now = Os().GetTickCount();
  if (Force || Soon || Now - LastDispatch >= DispatchEveryMs) {
    Soon = false;
    Os().ProcessMessages();
    LastDispatch = Os().GetTickCount();
  }
  return !StopRequested_;
}

void TPassOwner::Submit(TCommandKind Kind, std::function<void()> Command) {
  if (Running_ && Kind == TCommandKind::Read) {
    // A window that is closing reads nothing more.
    if (std::none_of(Pending.begin(), Pending.end(), [](const TCommand& C) { return C.Kind == TCommandKind::Close; }))
      Pending.push_back({Kind, std::move(Command)});
    return;
  }
  if (Running_) {
    // A waiting listing is out of date once anything else has to run: the
    // last one lists, an End process clears the list anyway. A closed window
    // reads nothing more.
    Pending.erase(std::remove_if(Pending.begin(), Pending.end(),
                                 [Kind](const TCommand& C) {
                                   return C.Kind == TCommandKind::List ||
                                          (Kind == TCommandKind::Close && C.Kind == TCommandKind::Read);
                                 }),
                  Pending.end());
    Pending.push_back({Kind, std::move(Command)});
    RequestStop();
    return;
  }
  Command();
  RunPending();
}

void TPassOwner::RunPending() {
  if (Draining) return;  // the outer drain runs what arrives
  struct TDraining {
    bool& Flag;
    ~TDraining() { Flag = false; }
  } Guard{Draining = true};
  while (!Pending.empty()) {
    // A command that reads the list waits for every one that changes it.
    auto At = std::find_if(Pending.begin(), Pending.end(),
                           [](const TCommand& C) { return C.Kind != TCommandKind::Read; });
    if (At == Pending.end()) At = Pending.begin();
    TCommand Next = std::move(*At);
    Pending.erase(At);
    Next.Run();
  }
}
