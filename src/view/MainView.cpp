#include "view/MainView.h"

#include <cstdio>
#include <cstdlib>

namespace {
TMainView* Current = nullptr;
}

TMainView& View() {
  if (!Current) {
    std::fputs("no main view installed\n", stderr);
    std::abort();
  }
  return *Current;
}

void SetView(TMainView* View) { Current = View; }

std::string ProcessHeaderText(DWORD Pid, const std::string& Process) {
  return "Process information: " + std::to_string(Pid) + " (" + Process + ")";
}

void TMainView::ApplyTimer() {
  if (!Timer().Ticking()) {
    Os().KillTimer(TimerWindow(), RefreshTimerId);
    return;
  }
  if (!Os().SetTimer(TimerWindow(), RefreshTimerId, Timer().Interval(), nullptr)) throw TAppError("Not enough timers available");
}

uint32_t RowsShowDelay(size_t Known, size_t InView, uint32_t SinceShown) {
  if (Known < InView || SinceShown >= ShowRowsEveryMs) return 0;
  return ShowRowsEveryMs - SinceShown;
}

TViewScope::TViewScope(TMainView& View) : Previous(Current) { Current = &View; }
TViewScope::~TViewScope() { Current = Previous; }
