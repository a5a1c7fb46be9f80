// Helpers for the tests that run on the real system under Wine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "os/Struct.h"

// A child process (lxchild.exe) that opens the given files and pipes and
// holds them until it is destroyed.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& Opens);
  ~TChild();
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  DWORD Pid() const { return Info.dwProcessId; }
  const std::vector<ULONG_PTR>& Handles() const { return Values; }
  bool Started() const { return Ready; }
  // Writes through the locked file's handle: "written", or "failed ERROR".
  std::string Write();

 private:
  PROCESS_INFORMATION Info = {};
  HANDLE StdinWrite = nullptr, OutRead = nullptr;
  std::vector<ULONG_PTR> Values;
  bool Ready = false;
};

// UTF-8 as UTF-16.
std::wstring WideFromUtf8(const std::string& Text);

// Files in Folder whose names are hard to carry (UTF-8): Japanese, an emoji
// (a surrogate pair in UTF-16), an "ä" with a comma, and one whose whole path
// is LongLength characters, in a folder this makes.
std::vector<std::string> HardNames(const std::string& Folder, size_t LongLength = 300);

// lumorexc.exe run to its end with Arguments (UTF-8), its standard output and
// error captured through pipes.
struct TConsoleRun {
  bool Started = false;
  DWORD Exit = 0;
  std::string Out, Err;
};
// Started, when given, is called with the program's process as soon as it
// runs. Output, when given (inheritable), is its standard output instead of
// a pipe, and is closed here before the program starts: it is then the one
// process that holds it.
TConsoleRun RunConsoleProgram(const std::string& Arguments,
                              const std::function<void(HANDLE Process)>& Started = nullptr,
                              HANDLE Output = nullptr);

// A folder of its own under the Wine prefix's C: drive, removed afterwards.
std::string TempFolder(const std::string& Name);
// The folder that holds the test programs.
std::string ExeFolder();

// Reaps the name workers the passes left, waiting up to Milliseconds for
// them to end (one that answered everything may still be ending); returns
// how many are still kept.
size_t ReapNameWorkersWithin(DWORD Milliseconds);

// Holds a named mutex shared by every test program of the Wine session, so
// tests that touch the program's own registry key never overlap.
class TRegistryLock {
 public:
  TRegistryLock();
  ~TRegistryLock();
  TRegistryLock(const TRegistryLock&) = delete;
  TRegistryLock& operator=(const TRegistryLock&) = delete;

 private:
  HANDLE Mutex;
};

// Saves what the screen shows of a window as build/NAME.bmp, or
// build/NAME-win32.bmp from the 32-bit build (the test runner turns it into
// a PNG).
void SaveWindowShot(HWND Window, const std::string& Name);
// The same for an area of the screen.
void SaveScreenShot(RECT Area, const std::string& Name);

// Pumps this thread's messages for a while; a message the filter takes (the
// message loop's accelerators and dialog keys) is not dispatched.
void PumpFor(DWORD Milliseconds, const std::function<bool(MSG*)>& Filter = nullptr);

// Real input, as the system queues it for whatever window is under the mouse
// or has the focus: a left click at a point of the screen, a key pressed.
void ClickAt(POINT At);
void RightClickAt(POINT At);
void MoveMouseTo(POINT At);
void PressKey(WORD Key, WORD Modifier = 0);  // Modifier: VK_SHIFT, VK_CONTROL, VK_MENU or 0
// The middle of a child window, or of a rectangle in a window's client area,
// on the screen.
POINT MiddleOf(HWND Window);
POINT MiddleOf(HWND Window, RECT Client);


// The real lumorex.exe started for a test or a benchmark, ended with it.
class TRunningProgram {
 public:
  // Starts it, or the whole command line Command (the program named in it),
  // and waits for its main window and process list.
  explicit TRunningProgram(const std::wstring& Command = L"");
  ~TRunningProgram();
  TRunningProgram(const TRunningProgram&) = delete;
  TRunningProgram& operator=(const TRunningProgram&) = delete;
  HWND Main() const { return Window; }
  HANDLE Process() const { return Info.hProcess; }
  DWORD Pid() const { return Info.dwProcessId; }
  // Picks the selector line of Pid as a user would; false when it has none.
  // Picking, when given, is called once the line is found, right before.
  bool Pick(DWORD Pid, const std::string& Exe, std::string* Seen = nullptr,
            const std::function<void()>& Picking = nullptr);
  // The same with the mouse: the drop-down opened, the line clicked.
  bool PickWithMouse(DWORD Pid, const std::string& Exe);
  // Closes the window and waits for the program to end.
  bool Close();

 private:
  PROCESS_INFORMATION Info = {};
  HWND Window = nullptr;
};
