// The one walk over what processes hold, for the window and the console
// alike: one handle-table snapshot, each process opened once, each source of
// holds in turn (its file handles on the name worker; the files mapped into
// its memory), one filter on the whole name, and a sink that may stop it. It
// keeps the tally of what it could not look at, so that "nothing holds it"
// is never said where it did not look.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "inspect/File2Name.h"
#include "view/Hold.h"

class TPassOwner;

// What a walk has done, and what it could not look at.
struct TPassTally {
  std::vector<DWORD> NotOpened;  // processes, or their mapped files, not looked at, in the walk's order
  size_t Unnamed = 0;            // handles left unnamed: a query ended, or the cap of stuck workers
  size_t Named = 0;              // handles named so far, whatever their name
  size_t Processes = 0;          // processes done
  bool Complete() const { return NotOpened.empty() && Unnamed == 0; }
};

// Receives what the walk finds, process by process. Each method but
// Progress returns false to stop the walk.
class THoldSink {
 public:
  virtual ~THoldSink() = default;
  // The holds of Pid follow, if it has any that pass the filter.
  virtual bool Begin(DWORD) { return true; }
  virtual bool Hold(const THold& Hold) = 0;
  virtual bool End(DWORD) { return true; }
  // After each handle named and each process done.
  virtual void Progress(const TPassTally&) {}
};

// Which names a walk hands on.
class THoldFilter {
 public:
  // Every name.
  THoldFilter() = default;
  // The names that hold Text, in any letter case, "/" and "\" alike.
  static THoldFilter Holding(const TWideString& Text);
  // The names that are one of Paths or lie beneath one of them, on a
  // component boundary ("C:\Docu" is no folder of "C:\Documents\a.txt"), in
  // any letter case. Paths as ResolvePath gives them.
  static THoldFilter Under(const std::vector<TWideString>& Paths);
  bool Keeps(const TWideString& Name) const;

 private:
  enum { Everything, Substring, Path } How = Everything;
  std::vector<TWideString> Sought;  // folded as names are
};

// A path as Windows resolves it: from the current directory, "/" as "\",
// "." and ".." taken away, and short 8.3 names expanded where it exists.
// Empty when it cannot be resolved.
TWideString ResolvePath(const TWideString& Path);

// Which sources a walk runs.
struct TWalkSources {
  bool Handles = true;
  bool Images = false;  // loaded images and mapped data views
};

class THoldWalk {
 public:
  // Pass, when given, dispatches window events about every 10 ms, and its
  // stop request stops the walk.
  THoldWalk(const THandleTableView& Table, uint16_t FileType, TWalkSources Sources, THoldFilter Filter,
            THoldSink& Sink, TPassOwner* Pass);
  // Keeps the file entries of the processes Pids, in table order: one walk
  // over the table, however many processes. False when the pass was stopped.
  bool Group(const std::vector<DWORD>& Pids);
  // Looks at one process of those grouped: opens it (or takes Opened, open
  // for handle duplication), runs the sources and hands the holds that pass
  // the filter to the sink. False when the sink or the pass stopped it.
  bool Walk(DWORD Pid, const TSharedProcess& Opened = nullptr);
  const TPassTally& Tally() const { return Tally_; }

 private:
  enum class TLook { Looked, NotLooked, Stopped };
  bool WalkHandles(const TSharedProcess& Process, DWORD Pid);
  TLook WalkImages(HANDLE Process, DWORD Pid);
  // Where the image of File loaded at Base ends, so that its sections are
  // passed over in one step rather than asked about one by one: under Wine
  // each question about another process's memory is a round trip through
  // that process. A file maps as an image of the same size wherever it is
  // loaded, so its headers are read once a walk. 0 when they cannot be read.
  uintptr_t ImageEnd(HANDLE Process, const void* Base, const TWideString& File);
  bool Hand(const THold& Hold);

  const THandleTableView& Table;
  const uint16_t FileType;
  const TWalkSources Sources;
  const THoldFilter Filter;
  THoldSink& Sink;
  TPassOwner* const Pass;
  TPassTally Tally_;
  std::unordered_map<DWORD, std::vector<THandleTableView::TEntry>> ByOwner;
  std::optional<TDriveMap> Drives;  // asked once per walk
  std::unique_ptr<WCHAR[]> NameBuffer;
  std::optional<bool> SelfWow64;
  std::map<TWideString, uintptr_t> ImageSizes;  // by the file's name in device form
};
