#include "console/Output.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "console/Text.h"
#include "inspect/ListOpenFiles.h"

namespace {
// What is gathered before a write: a few hundred rows.
constexpr size_t WriteAtBytes = 32 * 1024;
}  // namespace

TStream::TStream(DWORD Which) : TStream(Os().GetStdHandle(Which)) {}

TStream::TStream(HANDLE Handle) : Handle(Handle) {
  DWORD Mode = 0;
  Console = Handle && Handle != INVALID_HANDLE_VALUE && Os().GetConsoleMode(Handle, &Mode);
}

void TStream::Write(const std::string& Text) {
  Pending += Text;
  if (Pending.size() >= WriteAtBytes) Flush();
}

bool TStream::Flush() {
  if (Pending.empty() || Broken) {
    Pending.clear();
    return !Broken;
  }
  if (!Handle || Handle == INVALID_HANDLE_VALUE) {
    Broken = true;
  } else if (Console) {
    if (Before) Before(BeforeContext);
    const TWideString Wide = Utf16(Pending);
    for (size_t Done = 0; Done < Wide.size() && !Broken;) {
      DWORD Written = 0;
      DWORD Part = static_cast<DWORD>(std::min<size_t>(Wide.size() - Done, 8192));
      // A surrogate pair is written whole, never split between two calls.
      if (Part > 1 && Done + Part < Wide.size() && Wide[Done + Part - 1] >= 0xD800 && Wide[Done + Part - 1] <= 0xDBFF)
        --Part;
      if (!Os().WriteConsoleW(Handle, Wide.data() + Done, Part, &Written, nullptr) || Written == 0) Broken = true;
      Done += Written;
    }
  } else {
    for (size_t Done = 0; Done < Pending.size() && !Broken;) {
      DWORD Written = 0;
      const DWORD Part = static_cast<DWORD>(Pending.size() - Done);
      if (!Os().WriteFile(Handle, Pending.data() + Done, Part, &Written, nullptr)) {
        const DWORD Error = Os().GetLastError();
        Gone = Error == ERROR_NO_DATA || Error == ERROR_BROKEN_PIPE;
        Broken = true;
      } else if (Written == 0) {
        Broken = true;  // a disk that takes nothing more
      }
      Done += Written;
    }
  }
  Pending.clear();
  return !Broken;
}

TRowWriter::TRowWriter(TFormat Format, TStream& Out) : Format(Format), Out(Out) {}

void TRowWriter::Begin() {
  if (Format == TFormat::Csv) Out.Write("PID,Process,Handle,Type,Path\r\n");
  if (Format == TFormat::Json) Out.Write("[");
}

void TRowWriter::File(const TListedFile& File) {
  const THold& Hold = File.Hold;
  const bool HasHandle = Hold.Kind == THoldKind::Handle;
  // Only a handle has a value: the other kinds leave the column blank.
  const std::string Handle = HasHandle ? HandleText(Hold.Handle) : std::string();
  const char* Type = HoldType(Hold);
  switch (Format) {
    case TFormat::Table:
      // One row, one line: a name may hold any character (a pipe's may).
      if (Hold.Pid != LastPid) Out.Write(ProcessHeaderText(Hold.Pid, OneLine(File.Process)) + "\r\n");
      Out.Write("  " + (HasHandle ? Handle : std::string(10, ' ')) + "  " + Type + "  " + OneLine(File.Path) + "\r\n");
      break;
    case TFormat::Csv:
      Out.Write(std::to_string(Hold.Pid) + "," + CsvField(File.Process) + "," + Handle + "," + Type + "," +
                CsvField(File.Path) + "\r\n");
      break;
    case TFormat::Json: {
      // The keys in the order the format names them.
      nlohmann::ordered_json Row = {{"pid", Hold.Pid},
                                    {"process", File.Process},
                                    {"handle", HasHandle ? nlohmann::ordered_json(Handle) : nullptr},
                                    {"type", Type},
                                    {"path", File.Path}};
      Out.Write((Count ? ",\r\n" : "\r\n") + Row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
      break;
    }
  }
  LastPid = Hold.Pid;
  ++Count;
}

void TRowWriter::End() {
  if (Format == TFormat::Json) Out.Write(Count ? "\r\n]\r\n" : "]\r\n");
  Out.Flush();
}
