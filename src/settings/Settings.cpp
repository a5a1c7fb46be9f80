#include "settings/Settings.h"

#include "os/Owned.h"

namespace {

// The first run's values, which the globals also hold before the start.
constexpr uint32_t DefaultTimerInterval = 10, DefaultMode = 0, DefaultSortType = 0;

}  // namespace

uint32_t TimerInterval = DefaultTimerInterval;
uint32_t Mode = DefaultMode;
uint32_t SortType = DefaultSortType;

namespace {

const char* const Names[] = {"TimerInterval", "Mode", "SortType"};
uint32_t* const Values[] = {&TimerInterval, &Mode, &SortType};

// The longest period SetTimer accepts (USER_TIMER_MAXIMUM).
constexpr uint32_t TimerMaximumMs = 0x7FFFFFFF;

}  // namespace

void DefaultSettings() {
  TimerInterval = DefaultTimerInterval;
  SortType = DefaultSortType;
  Mode = DefaultMode;
}

void LoadSettings() {
  TOwnedKey Key;
  if (Os().RegOpenKeyA(HKEY_CURRENT_USER, SettingsKey, Key.Receive()) != ERROR_SUCCESS &&
      Os().RegCreateKeyA(HKEY_CURRENT_USER, SettingsKey, Key.Receive()) != ERROR_SUCCESS)
    return;
  for (int I = 0; I < 3; ++I) {
    // Each value is asked with its own size; only a whole DWORD is taken.
    DWORD Type = 0, Size = sizeof(DWORD), Data = 0;
    if (Os().RegQueryValueExA(Key.Get(), Names[I], nullptr, &Type, reinterpret_cast<BYTE*>(&Data), &Size) ==
            ERROR_SUCCESS &&
        Type == REG_DWORD && Size == sizeof(DWORD))
      *Values[I] = Data;
  }
}

void SaveSettings() {
  TOwnedKey Key;
  if (Os().RegOpenKeyA(HKEY_CURRENT_USER, SettingsKey, Key.Receive()) != ERROR_SUCCESS) {
    {
      TOwnedKey Maker;
      Os().RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brennary", Maker.Receive());
    }
    if (Os().RegCreateKeyA(HKEY_CURRENT_USER, SettingsKey, Key.Receive()) != ERROR_SUCCESS) return;
  }
  for (int I = 0; I < 3; ++I) {
    DWORD Data = *Values[I];
    Os().RegSetValueExA(Key.Get(), Names[I], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Data), sizeof Data);
  }
}

void StartupSettings() {
  DefaultSettings();
  LoadSettings();
  SaveSettings();
}

uint32_t TimerIntervalMs() {
  uint64_t Ms = uint64_t(TimerInterval) * 1000;
  return Ms > TimerMaximumMs ? TimerMaximumMs : static_cast<uint32_t>(Ms);
}
