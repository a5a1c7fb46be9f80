// How the all-processes view grows with the number of processes (P) and of
// handles in the system table (H), over the simulated machine. Prints figures;
// asserts nothing.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "inspect/HandleClose.h"
#include "inspect/ListOpenFiles.h"
#include "support/SimWindows.h"
#include "process/ProcessList.h"
#include "support/MemoryView.h"

namespace {

// A machine with P processes sharing H handles; one handle in fifty is a file
// (the rest events, keys, threads...), so naming does not drown the walk.
void Build(TSimWindows& Sim, int P, int H) {
  Sim.AddDrive('C', "\\Device\\HarddiskVolume1");
  for (int I = 0; I < P; ++I) Sim.AddProcess(static_cast<DWORD>(5000 + 4 * I), "p" + std::to_string(I) + ".exe");
  for (int K = 0; K < H; ++K) {
    DWORD Pid = static_cast<DWORD>(5000 + 4 * (K % P));
    if (K % 50 == 0)
      Sim.AddFile(Pid, "\\Device\\HarddiskVolume1\\data\\f" + std::to_string(K) + ".dat");
    else
      Sim.AddObject(Pid, TSimWindows::EventType, "\\BaseNamedObjects\\e");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The walk of the old view costs P x H; beyond this product a run takes minutes.
  double Budget = argc > 1 ? std::atof(argv[1]) : 6e7;
  std::printf("All-processes view over the simulated machine (dispatch counted as a call)\n");
  std::printf("%6s %8s %10s %12s %14s %12s %10s %10s\n", "P", "H", "files", "ms", "ns/(P*H)", "us/(P+H)",
              "dispatch", "snapshots");
  for (int P : {50, 200, 1000}) {
    for (int H : {10000, 100000, 500000}) {
      if (double(P) * H > Budget) {
        std::printf("%6d %8d %10s %12s\n", P, H, "-", "skipped");
        continue;
      }
      TSimWindows Sim;
      Build(Sim, P, H);
      TMemoryView Screen;
      TOsScope UseOs(Sim);
      TViewScope UseView(Screen);
      FillProcessList(0);
      long Snapshots = Sim.Calls("CreateToolhelp32Snapshot");
      uint32_t Mode = 0;
      auto Start = std::chrono::steady_clock::now();
      ListOpenFiles(0, Mode);
      double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
      Sim.WaitThreads();
      ReapNameWorkers();
      std::printf("%6d %8d %10zu %12.1f %14.3f %12.3f %10ld %10d\n", P, H, Screen.Files.size() - ProcessCount, Ms,
                  Ms * 1e6 / (double(P) * H), Ms * 1e3 / (P + H), Sim.ProcessMessagesCalls,
                  Sim.Calls("CreateToolhelp32Snapshot") - static_cast<int>(Snapshots));
      std::fflush(stdout);
    }
  }
  // Closing one handle takes a fresh table to find it: its cost grows with H.
  std::printf("\nClose handle: one file handle checked and closed (best of 5)\n");
  std::printf("%8s %12s\n", "H", "ms");
  for (int H : {10000, 100000, 500000}) {
    TSimWindows Sim;
    Build(Sim, 50, H);
    TOsScope UseOs(Sim);
    double Best = 1e9;
    for (int Try = 0; Try < 5; ++Try) {
      const uintptr_t Value = Sim.AddFile(5000, "\\Device\\HarddiskVolume1\\locked.dat");
      auto Start = std::chrono::steady_clock::now();
      THold Listed;
      Listed.Pid = 5000;
      Listed.Handle = Value;
      Listed.Object = Sim.ObjectOf(5000, Value).Address;
      Listed.Name = {'C', ':', '\\', 'l', 'o', 'c', 'k', 'e', 'd', '.', 'd', 'a', 't'};
      const TCloseResult Result = CloseHandleOf(Listed);
      const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
      if (Result == TCloseResult::Closed && Ms < Best) Best = Ms;
    }
    Sim.WaitThreads();
    ReapNameWorkers();
    std::printf("%8d %12.2f\n", H, Best);
    std::fflush(stdout);
  }
  return 0;
}
