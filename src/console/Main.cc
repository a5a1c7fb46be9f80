// lumorexc.exe: the console program's entry. Everything it does is in
// RunConsole; this only hands it the wide arguments.
#include <vector>

#include "console/Console.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<TWideString> Arguments;
  for (int I = 1; I < argc; ++I) Arguments.emplace_back(argv[I]);
  return RunConsole(Arguments);
}
