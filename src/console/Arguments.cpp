#include "console/Arguments.h"

#include <algorithm>

#include "console/Text.h"

const char* const UsageText =
    "Usage: lumorexc [options] [PID | NAME]...\r\n"
    "Lists the files that running processes hold open: every process (or PID 0),\r\n"
    "or those given by PID (decimal) or image NAME (any letter case, \".exe\"\r\n"
    "optional; write the \".exe\" of a name that starts with a digit).\r\n"
    "\r\n"
    "  -f, --find TEXT  only files whose path holds TEXT, in any letter case, with\r\n"
    "                   \"/\" and \"\\\" alike; write --find=-x for a TEXT that starts\r\n"
    "                   with \"-\"\r\n"
    "      --file PATH  only PATH itself, or what lies beneath the folder PATH;\r\n"
    "                   PATH is resolved as Windows resolves it (relative to the\r\n"
    "                   current folder, short names expanded); may be repeated\r\n"
    "  -m, --modules    loaded images (Module) and mapped files (Mapped) too; with\r\n"
    "                   --find or --file every kind of hold is searched anyway\r\n"
    "  -a, --all        pipes, devices and paths without a drive letter too\r\n"
    "      --csv        CSV (RFC 4180): PID,Process,Handle,Type,Path\r\n"
    "      --json       a JSON array of objects: pid, process, handle, type, path\r\n"
    "      --close      close each handle listed, in the process that holds it, once\r\n"
    "                   it is seen to name the same file; needs --find, --file or a\r\n"
    "                   PID or NAME, and asks before each unless --yes is given. The\r\n"
    "                   program may fail or lose unsaved work when a file is closed\r\n"
    "                   under it. A Module or Mapped file has no handle to close:\r\n"
    "                   only ending its process releases it\r\n"
    "      --yes        close without asking (needed when standard input is no console)\r\n"
    "  -h, --help       this text\r\n"
    "      --version    the program's version\r\n"
    "\r\n"
    "Or:    lumorexc --explorer-menu add|remove [--all-users]\r\n"
    "Adds to Explorer's right-click menu of files, folders and drives, or removes,\r\n"
    "\"What holds this? (Lumorex)\", which opens lumorex.exe (from this program's\r\n"
    "folder) on the item; for this user, or with --all-users for every user\r\n"
    "(administrators only). Adding again, or over an entry for another copy,\r\n"
    "leaves one entry for this copy.\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "  0  at least one file was listed; --explorer-menu: done\r\n"
    "  1  nothing matched, and every process was looked at (a PID or NAME that\r\n"
    "     names no running process is said on standard error)\r\n"
    "  2  a usage error (said on standard error, with this text)\r\n"
    "  3  nothing could be looked at: the user is not an administrator, or the\r\n"
    "     handle table could not be read; --explorer-menu: the keys could not be\r\n"
    "     written, or lumorex.exe is not beside this program\r\n"
    "  4  --close: some file found was not closed (declined, or it could not be)\r\n"
    "  5  nothing matched, but some processes or handles could not be looked at\r\n"
    "     (they are named on standard error)\r\n"
    "  6  the output could not be written (a full disk, a device error); a reader\r\n"
    "     that stops reading (| more, Select-Object -First 1) is no error\r\n";

namespace {

bool Is(const TWideString& Argument, const char* Ascii) { return Argument == Widen(Ascii); }

bool IsDigit(WCHAR C) { return C >= '0' && C <= '9'; }

TRequest Wrong(const std::string& Error) {
  TRequest Request;
  Request.Action = TRequest::Usage;
  Request.Error = Error;
  return Request;
}

TRequest ReadMenuArguments(const std::vector<TWideString>& Arguments) {
  TRequest Request;
  Request.Action = TRequest::ExplorerMenu;
  bool Given = false;
  for (size_t I = 0; I < Arguments.size(); ++I) {
    if (Is(Arguments[I], "--all-users")) {
      Request.AllUsers = true;
    } else if (Is(Arguments[I], "--explorer-menu") && !Given && I + 1 < Arguments.size() &&
               (Is(Arguments[I + 1], "add") || Is(Arguments[I + 1], "remove"))) {
      Request.MenuAdd = Is(Arguments[++I], "add");
      Given = true;
    } else {
      return Wrong(Is(Arguments[I], "--explorer-menu") ? "--explorer-menu needs add or remove, once"
                                                       : "--explorer-menu takes only --all-users, not " +
                                                             Utf8(Arguments[I]));
    }
  }
  return Request;
}

}  // namespace

TRequest ReadArguments(const std::vector<TWideString>& Arguments) {
  if (std::any_of(Arguments.begin(), Arguments.end(), [](const TWideString& A) { return Is(A, "--explorer-menu"); }))
    return ReadMenuArguments(Arguments);
  TRequest Request;
  bool Formatted = false, Found = false, OptionsEnd = false;
  for (size_t I = 0; I < Arguments.size(); ++I) {
    const TWideString& A = Arguments[I];
    if (!OptionsEnd && A.size() > 1 && A[0] == '-') {
      if (Is(A, "--")) {
        OptionsEnd = true;
      } else if (Is(A, "-h") || Is(A, "--help") || Is(A, "/?")) {
        Request.Action = TRequest::Help;
        return Request;
      } else if (Is(A, "--version")) {
        Request.Action = TRequest::Version;
        return Request;
      } else if (Is(A, "--all-users")) {
        return Wrong("--all-users is given only with --explorer-menu");
      } else if (Is(A, "--close")) {
        Request.Close = true;
      } else if (Is(A, "--yes")) {
        Request.Yes = true;
      } else if (Is(A, "-a") || Is(A, "--all")) {
        Request.All = true;
      } else if (Is(A, "--csv") || Is(A, "--json")) {
        const TFormat Format = Is(A, "--csv") ? TFormat::Csv : TFormat::Json;
        if (Formatted && Format != Request.Format) return Wrong("--csv and --json cannot be given together");
        Request.Format = Format;
        Formatted = true;
      } else if (Is(A, "-m") || Is(A, "--modules")) {
        Request.Modules = true;
      } else if (Is(A, "-f") || Is(A, "--find") || Is(A, "--file") || A.compare(0, 7, Widen("--find=")) == 0 ||
                 A.compare(0, 7, Widen("--file=")) == 0) {
        const std::string Option = Utf8(A.substr(0, A.find('=')));
        const bool Path = Option == "--file";
        TWideString Value;
        if (A.find('=') != TWideString::npos) {
          Value = A.substr(A.find('=') + 1);
        } else if (I + 1 < Arguments.size()) {
          Value = Arguments[++I];
          if (!Value.empty() && Value[0] == '-')
            return Wrong(Option + " needs a " + (Path ? "PATH" : "TEXT") + ", not the option-like \"" + Utf8(Value) +
                         "\" (write " + (Option == "-f" ? "--find" : Option) + "=" + Utf8(Value) + " to mean it)");
        }
        if (Value.empty()) return Wrong(Option + " needs a " + (Path ? "PATH" : "TEXT"));
        if (Path) {
          Request.Files.push_back(Value);
          continue;
        }
        if (Found) return Wrong("--find may be given once");
        Request.Find = Value;
        Found = true;
      } else {
        return Wrong("unknown option: " + Utf8(A));
      }
      continue;
    }
    if (A.empty()) return Wrong("an empty PID or NAME");
    if (IsDigit(A[0]) && A.find('.') == TWideString::npos) {
      unsigned long long Pid = 0;
      for (WCHAR C : A) {
        if (!IsDigit(C)) return Wrong("PID is not a number: " + Utf8(A));
        Pid = Pid * 10 + (C - '0');
        if (Pid > 0xFFFFFFFFull) return Wrong("PID is out of range: " + Utf8(A));
      }
      Request.Pids.push_back(static_cast<DWORD>(Pid));
    } else {
      Request.Names.push_back(A);
    }
  }
  if (Found && !Request.Files.empty()) return Wrong("--find and --file cannot be given together");
  // Closing every file of every process is never what anyone means.
  const bool EveryProcess =
      (Request.Pids.empty() && Request.Names.empty()) ||
      std::find(Request.Pids.begin(), Request.Pids.end(), DWORD(0)) != Request.Pids.end();
  if (Request.Close && Request.Find.empty() && Request.Files.empty() && EveryProcess)
    return Wrong("--close needs --find TEXT, --file PATH or a PID or NAME");
  // Its lines say what was done, which no row of those formats holds.
  if (Request.Close && Formatted) return Wrong("--close cannot be given with --csv or --json");
  // A --yes alone would list where the script meant to close.
  if (Request.Yes && !Request.Close) return Wrong("--yes is given only with --close");
  return Request;
}
