#include "support/MemoryView.h"

#include <algorithm>

void TMemoryView::SetStatus(int Panel, const std::string& Text) {
  Status[Panel] = Text;
  Log.push_back("status" + std::to_string(Panel) + "=" + Text);
}

void TMemoryView::SetOpenFilesLabel(const std::string& Text) {
  OpenFilesLabel = Text;
  Log.push_back("label=" + Text);
}

void TMemoryView::ClearFiles() {
  Files.clear();
  Selected = -1;
  Log.push_back("clear");
}

void TMemoryView::AddFile(const TFileRow& Row) {
  Files.push_back(Row);
  Log.push_back("row");
}

void TMemoryView::SortFiles(TRowCompare Compare, int Data) {
  // The list view's sort is a merge sort: stable, like this one.
  std::stable_sort(Files.begin(), Files.end(),
                   [&](const TFileRow& A, const TFileRow& B) { return Compare(A, B, Data) < 0; });
  Log.push_back("sort");
}

void TMemoryView::ClearSelector() {
  SelectorLines.clear();
  Position = -1;
  Log.push_back("selector-clear");
}

void TMemoryView::AddSelectorLine(const std::string& Line) { SelectorLines.push_back(Line); }

void TMemoryView::SetSelectorPosition(int Value) {
  Position = Value >= 0 && Value < static_cast<int>(SelectorLines.size()) ? Value : -1;
  Log.push_back("selector=" + std::to_string(Position));
}

std::string TMemoryView::SelectorText() const { return Position >= 0 ? SelectorLines[Position] : ""; }

void TMemoryView::SetEndProcessEnabled(bool Enabled) {
  EndProcessEnabled = Enabled;
  Log.push_back(std::string("endprocess=") + (Enabled ? "on" : "off"));
}

void TMemoryView::SetSaveReportEnabled(bool Enabled) {
  SaveReportEnabled = Enabled;
  Log.push_back(std::string("savereport=") + (Enabled ? "on" : "off"));
}
