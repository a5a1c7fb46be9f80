// The Settings dialog's behaviour: the viewer mode, the process sort order and
// the refresh period in a spin field.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// A whole-number field with up and down arrows, kept within its bounds.
class TSpinField {
 public:
  int MinValue = 1;
  int MaxValue = 255;
  std::string Text = "5";

  // The text read as a whole number, within the bounds; text that is not a
  // number reads as the minimum (but stays as typed).
  int Value() const;
  // Brings the value into the bounds and shows it.
  void SetValue(int64_t Value);
  // Leaving the field brings a number outside the bounds to the nearer one.
  void LoseFocus();
  // The arrow buttons and the Up and Down keys.
  void Step(int Delta);
  // Digits, "+", "-", the locale's decimal separator and control keys other
  // than Enter; anything else is refused.
  static bool AcceptsKey(char Key, char DecimalSeparator);

 private:
  bool Parse(int64_t* Number) const;
};

class TForm2 {
 public:
  // The radio buttons, as designed: Advanced and "process ID" checked.
  bool RadioButton1 = true;   // Advanced
  bool RadioButton2 = false;  // Normal
  bool RadioButton3 = true;   // process ID
  bool RadioButton4 = false;  // process name
  TSpinField SpinEdit1;
  std::function<void()> CloseDialog;

  // Sets the controls from the settings before the dialog opens.
  void Fill();
  void Button1Click();  // OK: store, save, close
  void Button2Click();  // Cancel: close
};
