#include "ui/Unit2.h"

#include "settings/Settings.h"

bool TSpinField::Parse(int64_t* Number) const {
  size_t I = 0, End = Text.size();
  while (I < End && Text[I] == ' ') ++I;
  while (End > I && Text[End - 1] == ' ') --End;
  bool Negative = false;
  if (I < End && (Text[I] == '+' || Text[I] == '-')) Negative = Text[I++] == '-';
  if (I == End) return false;
  int64_t Result = 0;
  for (; I < End; ++I) {
    if (Text[I] < '0' || Text[I] > '9') return false;
    if (Result < 10000000000LL) Result = Result * 10 + (Text[I] - '0');
  }
  *Number = Negative ? -Result : Result;
  return true;
}

int TSpinField::Value() const {
  int64_t Number = 0;
  if (!Parse(&Number)) return MinValue;
  // Read within the bounds even when the field still shows more: OK pressed
  // with Enter leaves the focus where it was.
  return static_cast<int>(Number < MinValue ? MinValue : Number > MaxValue ? MaxValue : Number);
}

void TSpinField::SetValue(int64_t Number) {
  if (Number < MinValue) Number = MinValue;
  if (Number > MaxValue) Number = MaxValue;
  Text = std::to_string(Number);
}

void TSpinField::LoseFocus() {
  int64_t Number = 0;
  if (Parse(&Number) && (Number < MinValue || Number > MaxValue)) SetValue(Number);
}

void TSpinField::Step(int Delta) { SetValue(int64_t(Value()) + Delta); }

bool TSpinField::AcceptsKey(char Key, char DecimalSeparator) {
  if (Key >= '0' && Key <= '9') return true;
  if (Key == '+' || Key == '-' || Key == DecimalSeparator) return true;
  return static_cast<unsigned char>(Key) < 32 && Key != '\r';
}

void TForm2::Fill() {
  // Values other than 0 and 1 leave the buttons as they were.
  if (Mode == 0 || Mode == 1) {
    RadioButton1 = Mode == 1;
    RadioButton2 = Mode == 0;
  }
  if (SortType == 0 || SortType == 1) {
    RadioButton3 = SortType == 0;
    RadioButton4 = SortType == 1;
  }
  SpinEdit1.SetValue(TimerInterval);
}

void TForm2::Button1Click() {
  Mode = RadioButton1 ? 1 : 0;
  SortType = RadioButton3 ? 0 : 1;
  TimerInterval = static_cast<uint32_t>(SpinEdit1.Value());
  SaveSettings();
  if (CloseDialog) CloseDialog();
}

void TForm2::Button2Click() {
  if (CloseDialog) CloseDialog();
}
