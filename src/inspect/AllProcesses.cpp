#include "inspect/AllProcesses.h"

#include <vector>

#include "inspect/ListOpenFiles.h"
#include "process/Process.h"
#include "process/ProcessList.h"

TFileRow ProcessHeaderRow(DWORD Pid) { return TFileRow(Pid, ProcessNameByPID(Pid)); }

bool ListAllProcesses(const THandleTableView& Table, uint16_t FileType, long& Count, const THoldFilter* Search,
                      TPassTally* Tally) {
  std::vector<DWORD> Pids;
  for (int32_t Slot = 0; Slot < ProcessCount; ++Slot) Pids.push_back(ProcessTable[Slot].PID);
  // Every object is listed here, pipes and devices too, in both modes.
  TViewSink Rows(Count, nullptr, Search ? TViewSink::HeaderOnFirst : TViewSink::EveryHeader);
  TWalkSources Sources;
  Sources.Images = Search != nullptr;
  THoldWalk Walk(Table, FileType, Sources, Search ? *Search : THoldFilter(), Rows, &Pass());
  // One walk groups the file entries by owner, in table order, so the view
  // costs handles plus processes rather than their product.
  bool Done = Walk.Group(Pids);
  for (size_t I = 0; Done && I < Pids.size(); ++I) Done = Walk.Walk(Pids[I]);
  if (Tally) *Tally = Walk.Tally();
  return Done;
}
