// The elements of the main window that the logic writes. The window binds them
// to real controls; tests use the in-memory view.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "os/System.h"
#include "view/Hold.h"

// An error that reaches the message loop and is shown in the error box.
class TAppError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "Process information: PID (name)": a process's header wherever one is written.
std::string ProcessHeaderText(DWORD Pid, const std::string& Process);

// A row of the file list: a file row has the handle text as its caption and
// two sub-items (path, type); a process header row has an empty caption and
// one sub-item, and carries its process as data, so that no one reads the PID
// back out of its text. Rows are equal when they read alike.
struct TFileRow {
  TFileRow() = default;
  TFileRow(std::string Caption, std::vector<std::string> SubItems)
      : Caption(std::move(Caption)), SubItems(std::move(SubItems)) {}
  // A process's header row.
  TFileRow(DWORD Pid, const std::string& Process)
      : SubItems{ProcessHeaderText(Pid, Process)}, Pid(Pid), Process(Process) {}
  std::string Caption;
  std::vector<std::string> SubItems;
  DWORD Pid = 0;          // a header's process
  std::string Process;
  THold Hold;             // what a file row shows, as it was found
  bool IsHeader() const { return SubItems.size() != 2; }
  bool operator==(const TFileRow& Other) const { return Caption == Other.Caption && SubItems == Other.SubItems; }
};

// The refresh timer's rules: a different interval, or switching a stopped
// timer on, restarts the period; the same interval again, or switching on a
// running timer, changes nothing; an interval of 0 never ticks.
class TRefreshTimer {
 public:
  bool Enabled() const { return Enabled_; }
  uint32_t Interval() const { return Interval_; }
  bool Ticking() const { return Enabled_ && Interval_ > 0; }
  long PeriodStarts() const { return PeriodStarts_; }
  // Each returns true when the period (re)starts or stops, so the window
  // knows to re-arm or kill its system timer.
  bool SetEnabled(bool Value) {
    if (Value == Enabled_) return false;
    Enabled_ = Value;
    if (Ticking()) ++PeriodStarts_;
    return true;
  }
  bool SetInterval(uint32_t Value) {
    if (Value == Interval_) return false;
    Interval_ = Value;
    if (Ticking()) ++PeriodStarts_;
    return true;
  }

 private:
  bool Enabled_ = true;
  uint32_t Interval_ = 1000;
  long PeriodStarts_ = 0;
};

// How long rows added to the list wait before it learns its new count: not at
// all while rows it does not know yet would be in view (Known below InView),
// else until ShowRowsEveryMs have passed since it last learned. Beyond the
// rows in view only the scroll bar moves, and moving it repaints.
constexpr uint32_t ShowRowsEveryMs = 500;
uint32_t RowsShowDelay(size_t Known, size_t InView, uint32_t SinceShown);

// The id of the refresh timer on the main window.
constexpr UINT_PTR RefreshTimerId = 1;

using TRowCompare = int (*)(const TFileRow& A, const TFileRow& B, int Data);

class TMainView {
 public:
  virtual ~TMainView() = default;

  // Status panel 0 (progress and errors) and 1 (process count).
  virtual void SetStatus(int Panel, const std::string& Text) = 0;
  virtual void SetOpenFilesLabel(const std::string& Text) = 0;

  virtual void ClearFiles() = 0;
  virtual void AddFile(const TFileRow& Row) = 0;
  virtual size_t FileCount() const = 0;
  virtual TFileRow File(size_t Index) const = 0;
  virtual void SortFiles(TRowCompare Compare, int Data) = 0;
  virtual int SelectedFile() const = 0;  // -1: none

  virtual void ClearSelector() = 0;
  virtual void AddSelectorLine(const std::string& Line) = 0;
  virtual int SelectorPosition() const = 0;  // -1: none
  virtual void SetSelectorPosition(int Position) = 0;
  virtual std::string SelectorText() const = 0;

  virtual void SetEndProcessEnabled(bool Enabled) = 0;
  virtual void SetSaveReportEnabled(bool Enabled) = 0;

  virtual TRefreshTimer& Timer() = 0;
  void SetTimerEnabled(bool Enabled) {
    if (Timer().SetEnabled(Enabled)) ApplyTimer();
  }
  void SetTimerInterval(uint32_t Milliseconds) {
    if (Timer().SetInterval(Milliseconds)) ApplyTimer();
  }
  // Arms the system timer (id 1) as the timer state says, or kills it; throws
  // "Not enough timers available" when the system has none left.
  void ApplyTimer();

 protected:
  // The window whose timer it is; none for a view in memory.
  virtual HWND TimerWindow() const { return nullptr; }
};

TMainView& View();
void SetView(TMainView* View);

class TViewScope {
 public:
  explicit TViewScope(TMainView& View);
  ~TViewScope();
  TViewScope(const TViewScope&) = delete;
  TViewScope& operator=(const TViewScope&) = delete;

 private:
  TMainView* Previous;
};
