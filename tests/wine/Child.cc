// A child process for the Wine tests: opens the files named on its command
// line (a named pipe for "pipe:NAME", N files in DIR for "many:N:DIR", a file
// no one else may open for "locked:PATH"), loads the DLL of "load:PATH" and
// maps the file of "map:PATH" into its memory with no handle left open to it,
// prints each handle value (or the image's or view's address) in hex on one
// line, then waits until its standard input closes or the test that
// started it ("parent:PID") has ended. Each "write" line on its standard input
// writes a byte through the locked file's handle and answers "written" or
// "failed ERROR". Names are read from the wide command line, in any script;
// one longer than MAX_PATH is opened through the \\?\ form, which has no
// such bound.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// Under the 32-bit Wine the end of standard input was once never seen: the
// child then outlived its test, and held ctest's output pipe open.
DWORD WINAPI EndWithTheParent(LPVOID Parent) {
  WaitForSingleObject(static_cast<HANDLE>(Parent), INFINITE);
  ExitProcess(0);
}

HANDLE OpenFile(const std::wstring& Name) {
  const std::wstring Path = Name.size() >= MAX_PATH && Name.compare(0, 4, L"\\\\?\\") != 0 ? L"\\\\?\\" + Name : Name;
  return CreateFileW(Path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HANDLE Locked = INVALID_HANDLE_VALUE;
  for (int i = 1; i < argc; ++i) {
    HANDLE H;
    if (std::wcsncmp(argv[i], L"parent:", 7) == 0) {
      HANDLE Parent = OpenProcess(SYNCHRONIZE, FALSE, std::wcstoul(argv[i] + 7, nullptr, 10));
      if (Parent) CloseHandle(CreateThread(nullptr, 0, EndWithTheParent, Parent, 0, nullptr));
      continue;
    }
    if (std::wcsncmp(argv[i], L"many:", 5) == 0) {
      wchar_t* Dir = nullptr;
      long N = std::wcstol(argv[i] + 5, &Dir, 10);
      for (long K = 0; K < N; ++K) {
        wchar_t Name[300];
        std::swprintf(Name, 300, L"%ls\\f%05ld.dat", Dir + 1, K);
        H = OpenFile(Name);
        std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(H)));
      }
      continue;
    }
    if (std::wcsncmp(argv[i], L"locked:", 7) == 0) {
      H = Locked = CreateFileW(argv[i] + 7, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (std::wcsncmp(argv[i], L"load:", 5) == 0) {
      H = reinterpret_cast<HANDLE>(LoadLibraryW(argv[i] + 5));
    } else if (std::wcsncmp(argv[i], L"map:", 4) == 0) {
      HANDLE File = OpenFile(argv[i] + 4);
      HANDLE Mapping = CreateFileMappingW(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
      H = MapViewOfFile(Mapping, FILE_MAP_READ, 0, 0, 0);
      CloseHandle(Mapping);
      CloseHandle(File);
    } else if (std::wcsncmp(argv[i], L"pipe:", 5) == 0) {
      const std::wstring Name = std::wstring(L"\\\\.\\pipe\\") + (argv[i] + 5);
      H = CreateNamedPipeW(Name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512, 512, 0, nullptr);
    } else {
      H = OpenFile(argv[i]);
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
