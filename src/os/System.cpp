#include "os/System.h"

namespace {
TSystem* Current = nullptr;
}

#ifdef _WIN32
TSystem* DefaultSystem();  // the real system, from Win32System.cpp
#else
#include <cstdio>
#include <cstdlib>
static TSystem* DefaultSystem() {
  // The host has no Windows: only a test that installed a simulated one may call.
  std::fputs("no system installed: call SetOs or use TOsScope\n", stderr);
  std::abort();
}
#endif

TSystem& Os() {
  if (!Current) Current = DefaultSystem();
  return *Current;
}

void SetOs(TSystem* System) { Current = System; }

std::string UpperCase(std::string Text) {
  Os().CharUpperBuffA(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

TWideString UpperCase(TWideString Text) {
  if (!Text.empty()) Os().CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

TWideString Widen(const char* Ascii) {
  TWideString Out;
  for (; *Ascii; ++Ascii) Out += static_cast<WCHAR>(static_cast<unsigned char>(*Ascii));
  return Out;
}

TOsScope::TOsScope(TSystem& System) : Previous(Current) { Current = &System; }
TOsScope::~TOsScope() { Current = Previous; }
