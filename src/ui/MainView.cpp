#include "ui/MainView.h"

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

void TMainView::ApplyTimer() {
  if (!Timer().Ticking()) {
    Os().KillTimer(TimerWindow(), 1);
    return;
  }
  if (!Os().SetTimer(TimerWindow(), 1, Timer().Interval(), nullptr)) throw TAppError("Not enough timers available");
}

TViewScope::TViewScope(TMainView& View) : Previous(Current) { Current = &View; }
TViewScope::~TViewScope() { Current = Previous; }
