// The Find open file dialog as a real window: the text sought and its Browse
// button, shown modally over the main window.
#pragma once

#include "ui/FindForm.h"
#include "ui/win32/ModalDialog.h"

// Its controls, by their names in the layout; Find is IdOk.
enum : int {
  IdLabel1Find = 501,  // Label1: "Name or path contains:"
  IdEdit1Find,         // Edit1: the text sought
  IdButton3Find,       // Button3: "Browse..."
};

class TFindWindow final : public TModalDialog {
 public:
  TFindForm Form;
  TFindWindow() : TModalDialog({"TFindForm", "Find open file", 323, 93}) { Form.CloseDialog = [this] { Close(); }; }

 private:
  void OnInit() override;
  void OnCommand(int Id, int Code, HWND From) override;
  void OnClose() override { Form.Button2Click(); }
  void OnEnd() override { Form.Handle = nullptr; }
};
