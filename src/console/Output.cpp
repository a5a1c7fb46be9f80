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
      if (!Os().WriteFile(Handle, Pending.data() + Done, Part, &Written, nullptr) || Written == 0) Broken = true;
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
  const std::string Handle = HandleText(File.Handle);
  switch (Format) {
    case TFormat::Table:
      // One row, one line: a name may hold any character (a pipe's may).
      if (File.Pid != LastPid)
        Out.Write(ProcessHeaderText(File.Pid, OneLine(File.Process)) + "\r\n");
      Out.Write("  " + Handle + "  " + File.Type + "  " + OneLine(File.Path) + "\r\n");
      break;
    case TFormat::Csv:
      Out.Write(std::to_string(File.Pid) + "," + CsvField(File.Process) + "," + Handle + "," + File.Type + "," +
                CsvField(File.Path) + "\r\n");
      break;
    case TFormat::Json: {
      // The keys in the order the format names them.
      nlohmann::ordered_json Row = {
          {"pid", File.Pid}, {"process", File.Process}, {"handle", Handle}, {"type", File.Type}, {"path", File.Path}};
      Out.Write((Count ? ",\r\n" : "\r\n") + Row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
      break;
    }
  }
  LastPid = File.Pid;
  ++Count;
}

void TRowWriter::End() {
  if (Format == TFormat::Json) Out.Write(Count ? "\r\n]\r\n" : "]\r\n");
  Out.Flush();
}
