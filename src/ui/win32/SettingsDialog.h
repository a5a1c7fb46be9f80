// The Settings dialog as a real window: the viewer mode, the sort order and
// the refresh period, shown modally over the main window.
#pragma once

#include "ui/Unit2.h"
#include "ui/win32/ModalDialog.h"

// Its controls, by their names in the layout.
enum : int {
  IdGroupBox1Settings = 301,  // GroupBox1: "Viewer mode"
  IdRadioButton1,             // RadioButton1: "Advanced"
  IdRadioButton2,             // RadioButton2: "Normal"
  IdGroupBox2Settings,        // GroupBox2: "Sorting mode"
  IdRadioButton3,             // RadioButton3: "process ID"
  IdRadioButton4,             // RadioButton4: "process name"
  IdLabel1Settings,           // Label1: "Refresh rate"
  IdSpinEdit1,                // SpinEdit1: the refresh period, its text
  IdSpinArrows,               // SpinEdit1's arrows
  IdLabel2Settings,           // Label2: "seconds"
};

class TSettingsWindow final : public TModalDialog {
 public:
  TForm2 Form;
  TSettingsWindow();

 private:
  void OnInit() override;
  void OnCommand(int Id, int Code, HWND From) override;
  void OnClose() override { Form.Button2Click(); }
  LRESULT OnMessage(UINT Message, WPARAM W, LPARAM L) override;
  static LRESULT CALLBACK SpinProcedure(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR Self);
  void Store();
  void ShowSpin();
  int FocusId = IdOk;  // where the focus was when it last closed
};
