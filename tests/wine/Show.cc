// Shows a newcomer what the program does: starts it, picks its own line with
// the mouse as a user would, says so, and keeps it open until it is ended.
#include <cstdio>

#include "wine/WineSupport.h"

int main() {
  TRunningProgram Program;
  if (!Program.Main()) return 1;
  if (!Program.PickWithMouse(Program.Pid(), LX_MAIN_EXE)) return 2;
  std::puts("shown");
  std::fflush(stdout);
  Sleep(INFINITE);
}
