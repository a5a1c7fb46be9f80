#include "ui/CommandLine.h"

#include "inspect/File2Name.h"

namespace {

// Options are ASCII: folded here, without the locale's tables.
bool IsOption(const TWideString& Argument, const char* Option) {
  const TWideString Wanted = Widen(Option);
  if (Argument.size() != Wanted.size()) return false;
  for (size_t I = 0; I < Wanted.size(); ++I) {
    const WCHAR C = Argument[I] >= 'A' && Argument[I] <= 'Z' ? WCHAR(Argument[I] - 'A' + 'a') : Argument[I];
    if (C != Wanted[I]) return false;
  }
  return true;
}

TStartRequest Refused(const std::string& Error) {
  TStartRequest Request;
  Request.Error = Error;
  return Request;
}

}  // namespace

TStartRequest ReadStartArguments(const std::vector<TWideString>& Arguments) {
  TStartRequest Request;
  for (size_t I = 0; I < Arguments.size(); ++I) {
    const std::string Given = AnsiName(Arguments[I]);
    const bool File = IsOption(Arguments[I], "/file");
    if (!File && !IsOption(Arguments[I], "/find")) return Refused("Unknown argument: " + Given);
    if (Request.Show != TStartRequest::Nothing) return Refused("Only one /file or /find is taken: " + Given);
    if (I + 1 == Arguments.size() || Arguments[I + 1].empty())
      return Refused(Given + (File ? " needs a PATH" : " needs a TEXT"));
    Request.Show = File ? TStartRequest::File : TStartRequest::Find;
    Request.Sought = Arguments[++I];
    // Explorer gives a drive as C:\, and its "%1" makes that "C:\": the
    // backslash then escapes the quote, and the argument arrives as C:".
    // No path holds a quote.
    if (File && Request.Sought.back() == '"') Request.Sought.back() = '\\';
  }
  return Request;
}
