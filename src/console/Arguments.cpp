#include "console/Arguments.h"

#include "console/Text.h"

const char* const UsageText =
    "Usage: lumorexc [options] [PID | NAME]...\r\n"
    "Lists the files that running processes hold open: every process, or those\r\n"
    "given by PID (decimal) or image NAME (any letter case, \".exe\" optional;\r\n"
    "write the \".exe\" of a name that starts with a digit).\r\n"
    "\r\n"
    "  -f, --find TEXT  only files whose path holds TEXT, in any letter case\r\n"
    "  -a, --all        pipes, devices and paths without a drive letter too\r\n"
    "      --csv        CSV (RFC 4180): PID,Process,Handle,Type,Path\r\n"
    "      --json       a JSON array of objects: pid, process, handle, type, path\r\n"
    "      --close      close each handle listed, in the process that holds it, once\r\n"
    "                   it is seen to name the same file; needs --find or a PID or\r\n"
    "                   NAME, and asks before each unless --yes is given. The program\r\n"
    "                   may fail or lose unsaved work when a file is closed under it\r\n"
    "      --yes        close without asking (needed when standard input is no console)\r\n"
    "  -h, --help       this text\r\n"
    "      --version    the program's version\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "  0  at least one file was listed\r\n"
    "  1  nothing matched (a PID or NAME that names no running process is said\r\n"
    "     on standard error)\r\n"
    "  2  a usage error (said on standard error, with this text)\r\n"
    "  3  the handle table could not be read, the user is not an administrator,\r\n"
    "     or the output could not be written\r\n"
    "  4  --close: some handle found was not closed (declined, or it could not be)\r\n";

namespace {

bool Is(const TWideString& Argument, const char* Ascii) { return Argument == Widen(Ascii); }

bool IsDigit(WCHAR C) { return C >= '0' && C <= '9'; }

TRequest Wrong(const std::string& Error) {
  TRequest Request;
  Request.Action = TRequest::Usage;
  Request.Error = Error;
  return Request;
}

}  // namespace

TRequest ReadArguments(const std::vector<TWideString>& Arguments) {
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
      } else if (Is(A, "-f") || Is(A, "--find") || A.compare(0, 7, Widen("--find=")) == 0) {
        TWideString Text;
        if (A[1] == '-' && A.size() > 6 && A[6] == '=') {
          Text = A.substr(7);
        } else if (I + 1 < Arguments.size()) {
          Text = Arguments[++I];
        }
        if (Text.empty()) return Wrong(Utf8(A.substr(0, A.find('='))) + " needs a TEXT");
        if (Found) return Wrong("--find may be given once");
        Request.Find = Text;
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
  // Closing every file of every process is never what anyone means.
  if (Request.Close && Request.Find.empty() && Request.Pids.empty() && Request.Names.empty())
    return Wrong("--close needs --find TEXT or a PID or NAME");
  // Its lines say what was done, which no row of those formats holds.
  if (Request.Close && Formatted) return Wrong("--close cannot be given with --csv or --json");
  // A --yes alone would list where the script meant to close.
  if (Request.Yes && !Request.Close) return Wrong("--yes is given only with --close");
  return Request;
}
