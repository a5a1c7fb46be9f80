// The Find open file dialog's behaviour: the text sought, kept for the run,
// and a file chosen to fill it.
#pragma once

#include <functional>
#include <string>

#include "os/System.h"

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
