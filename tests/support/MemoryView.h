// The main view in memory: what the tests read back, with a log of every write
// in its order.
#pragma once

#include "view/MainView.h"

class TMemoryView : public TMainView {
 public:
  std::vector<std::string> Log;  // "status0=Ready", "clear", "row", "selector=-1", ...
  std::string Status[2];
  std::string OpenFilesLabel = "Open files: ";
  std::vector<TFileRow> Files;
  std::vector<std::string> SelectorLines;
  int Position = -1;
  int Selected = -1;
  bool EndProcessEnabled = false;
  bool SaveReportEnabled = false;
  TRefreshTimer TimerState;

  void SetStatus(int Panel, const std::string& Text) override;
  void SetOpenFilesLabel(const std::string& Text) override;
  void ClearFiles() override;
  void AddFile(const TFileRow& Row) override;
  size_t FileCount() const override { return Files.size(); }
  TFileRow File(size_t Index) const override { return Files.at(Index); }
  void SortFiles(TRowCompare Compare, int Data) override;
  int SelectedFile() const override { return Selected; }
  void ClearSelector() override;
  void AddSelectorLine(const std::string& Line) override;
  int SelectorPosition() const override { return Position; }
  void SetSelectorPosition(int Value) override;
  std::string SelectorText() const override;
  void SetEndProcessEnabled(bool Enabled) override;
  void SetSaveReportEnabled(bool Enabled) override;
  TRefreshTimer& Timer() override { return TimerState; }
};
