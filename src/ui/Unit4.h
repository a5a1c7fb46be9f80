// The Find open file dialog's behaviour: the text sought, kept for the run,
// and a file chosen to fill it.
#pragma once

#include <functional>
#include <string>

#include "os/System.h"

// A common Open or Save dialog's settings for Owner: Name receives the file
// chosen; the read-only box is hidden, the dialog can be resized, and the
// current folder is left alone. Flags adds the caller's own.
OPENFILENAMEA FileDialog(HWND Owner, const char* Filter, char (&Name)[MAX_PATH], DWORD Flags);

class TFindForm {
 public:
  HWND Handle = nullptr;
  std::string Edit1;   // the name or path sought; kept from one search to the next
  bool Found = false;  // closed with Find, with something to find
  std::function<void()> CloseDialog;

  void Button1Click();  // "Find": close, with the text to find
  void Button2Click();  // "Cancel": close, nothing found
  void Button3Click();  // "Browse...": the common Open dialog fills the field
};
