// A child process for the Wine tests: opens the files named on its command
// line (a named pipe for "pipe:NAME", N files in DIR for "many:N:DIR", a file
// no one else may open for "locked:PATH"), prints each handle value in hex on
// one line, then waits until its standard input closes or the test that
// started it ("parent:PID") has ended. Each "write" line on its standard input
// writes a byte through the locked file's handle and answers "written" or
// "failed ERROR".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Under the 32-bit Wine the end of standard input was once never seen: the
// child then outlived its test, and held ctest's output pipe open.
DWORD WINAPI EndWithTheParent(LPVOID Parent) {
  WaitForSingleObject(static_cast<HANDLE>(Parent), INFINITE);
  ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  HANDLE Locked = INVALID_HANDLE_VALUE;
  for (int i = 1; i < argc; ++i) {
    HANDLE H;
    if (std::strncmp(argv[i], "parent:", 7) == 0) {
      HANDLE Parent = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(argv[i] + 7, nullptr, 10));
      if (Parent) CloseHandle(CreateThread(nullptr, 0, EndWithTheParent, Parent, 0, nullptr));
      continue;
    }
    if (std::strncmp(argv[i], "many:", 5) == 0) {
      char* Dir = nullptr;
      long N = std::strtol(argv[i] + 5, &Dir, 10);
      for (long K = 0; K < N; ++K) {
        char Name[300];
        std::snprintf(Name, sizeof Name, "%s\\f%05ld.dat", Dir + 1, K);
        H = CreateFileA(Name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(H)));
      }
      continue;
    }
    if (std::strncmp(argv[i], "locked:", 7) == 0) {
      H = Locked = CreateFileA(argv[i] + 7, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (std::strncmp(argv[i], "pipe:", 5) == 0) {
      char Name[300];
      std::snprintf(Name, sizeof Name, "\\\\.\\pipe\\%s", argv[i] + 5);
      H = CreateNamedPipeA(Name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512, 512, 0, nullptr);
    } else {
      H = CreateFileA(argv[i], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(H)));
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char Buffer[64];
  DWORD Read;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), Buffer, sizeof Buffer, &Read, nullptr) && Read > 0) {
    for (DWORD K = 0; K + 5 <= Read; ++K) {
      if (std::strncmp(Buffer + K, "write", 5) != 0) continue;
      DWORD Written = 0;
      if (WriteFile(Locked, "x", 1, &Written, nullptr))
        std::printf("written\n");
      else
        std::printf("failed %lu\n", GetLastError());
      std::fflush(stdout);
    }
  }
  return 0;
}
