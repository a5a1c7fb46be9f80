// The system handle table, the type number of file objects, and the path
// behind one file handle.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "os/Owned.h"

// A process handle shared by every worker that may still duplicate from it:
// it is closed when the last of them has ended, never under one.
using TSharedProcess = std::shared_ptr<const TOwnedHandle>;

// Reads a handle-table block of any class and width as the same entries.
class THandleTableView {
 public:
  struct TEntry {
    DWORD ProcessId;
    uint16_t ObjectTypeNumber;
    ULONG_PTR Handle;
    ULONG_PTR Object;  // the kernel object's address
  };

  THandleTableView() = default;
  THandleTableView(const void* Block, size_t Size, const THandleTableLayout& Layout);
  size_t NumberOfHandles() const { return Count; }
  TEntry Entry(size_t Index) const;
  // Class 16 carries 16-bit process ids and handle values; class 64 whole ones.
  bool OwnedBy(const TEntry& Entry, DWORD Pid) const { return Entry.ProcessId == OwnerKey(Pid); }
  // The process id as this class records it.
  DWORD OwnerKey(DWORD Pid) const { return Pid & PidMask; }
  bool IsHandle(const TEntry& Entry, ULONG_PTR Handle) const { return Entry.Handle == (Handle & HandleMask); }
  const THandleTableLayout* Layout() const { return Layout_; }

 private:
  const BYTE* Data = nullptr;
  const THandleTableLayout* Layout_ = nullptr;
  size_t Count = 0;
  DWORD PidMask = 0xFFFFFFFF;
  ULONG_PTR HandleMask = ~ULONG_PTR(0);
};

// A snapshot of the system handle table, owned: the block is released with it.
class TInfoTable : public THandleTableView {
 public:
  TInfoTable() = default;
  TInfoTable(TOwnedBlock Block, size_t Size, const THandleTableLayout& Layout)
      : THandleTableView(Block.Get(), Size, Layout), Block_(std::move(Block)) {}
  explicit operator bool() const { return static_cast<bool>(Block_); }
  // Makes entry Index an object of no type, so no lister takes it for a file.
  void Forget(size_t Index);

 private:
  TOwnedBlock Block_;
};

// One query of InfoClass into a block that doubles from 16 KiB until it fits.
// Null on allocation failure or any status but success and length mismatch.
TOwnedBlock QuerySystemTable(ULONG InfoClass, NTSTATUS* Status, size_t* Size);

// The handle table: the extended class, which carries whole process ids and
// handle values, or the old class 16 where the system does not know it.
// With FileType, the type number that file objects carry is read from the
// same snapshot: a handle of ours to the NUL device is open while it is taken,
// and its entry is then forgotten, so the table holds no file of ours that the
// caller did not have. The type is 0 when that handle is not in the table.
TInfoTable GetInfoTable(uint16_t* FileType = nullptr);

// The type number that file objects carry on this system; 0 when not found.
uint16_t GetFileObjectType();

// The path behind a handle of this process, with a drive letter where one
// maps to it, as the window shows it (AnsiName); empty when it cannot be
// named within 100 ms.
std::string HandleToFileName(HANDLE Handle);

// A name as the window, the report and the search hold it: in the ANSI code
// page, cut before the first character that does not fit whole in MAX_PATH
// bytes with the NUL.
std::string AnsiName(const TWideString& Name);

class TPassOwner;

// Names Count handles of this process into Names, as HandleToFileName would
// each, on one worker that lives while it answers in time: each query still
// has its own 100 ms. Pass, when given, dispatches events about every 10 ms of
// waiting; when it has been asked to stop, the rest are left unnamed and false
// returns.
bool NameHandles(const HANDLE* Handles, size_t Count, std::string* Names, TPassOwner* Pass);

// Receives the names in their order as they arrive: the handle's index and its
// name, whole, empty for a handle that has none.
using TNameSink = std::function<void(size_t Index, const TWideString& Name)>;

// NameHandles for the handles of another process, as its table entries give
// them: the worker copies, names and closes each in turn, so that one thread
// makes the calls the listing needs and the caller is free to show the names
// as they come. A handle whose query had to be ended once is not asked again
// while its owner holds it: it gets no name at once. Halt, when given, stops
// it as a pass's stop does once the sink has set it.
bool NameProcessHandles(const TSharedProcess& Process, const THandleTableView::TEntry* Handles, size_t Count,
                        const TNameSink& Named, TPassOwner* Pass, const bool* Halt = nullptr);

// The drive letters and the devices they stand for, read once for many names.
class TDriveMap {
 public:
  TDriveMap();
  // Turns a device path into a drive-letter path where a drive maps to it;
  // the first drive in the system's order wins.
  TWideString Map(const TWideString& Name) const;

 private:
  std::vector<std::pair<TWideString, TWideString>> Letters;  // "C:", its device
};

// The same with the drives read for this one name, of ASCII or Latin-1.
std::string MapDevicePath(const std::string& Name);

// Releases what workers left behind that have ended since hold; returns how
// many are still kept. A worker that was ended inside its query is kept for
// NameWorkerGraceMs after its end is first reported: some systems report it
// before the thread has stopped.
size_t ReapNameWorkers();
constexpr DWORD NameWorkerGraceMs = 2000;

// How many workers were ended inside a late query, this run.
size_t NameWorkersTerminated();

// At most this many workers ended inside a query may be kept at once: past
// it, a process's handles are left unnamed rather than risk one more worker
// that never ends.
constexpr size_t MaxStuckNameWorkers = 8;
// How many handles were left unnamed for that reason, this run.
size_t NameHandlesSkipped();
// How many handles were left unnamed for want of an answer in time, this
// run: a query ended, a worker stalled, a handle known to hang, or the cap of
// stuck workers.
size_t NameHandlesUnnamed();
