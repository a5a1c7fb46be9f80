// The three persistent settings and their registry store.
#pragma once

#include <cstdint>

extern uint32_t TimerInterval;  // refresh period in seconds
extern uint32_t Mode;           // 0 Normal, 1 Advanced
extern uint32_t SortType;       // 0 by PID, 1 by name

constexpr const char* SettingsKey = "SOFTWARE\\Brennary\\Lumorex";

void DefaultSettings();
void LoadSettings();
void SaveSettings();
// What the window runs at start: defaults, then what is stored, written back.
void StartupSettings();
// The refresh period in milliseconds, capped at the most a timer accepts.
uint32_t TimerIntervalMs();
