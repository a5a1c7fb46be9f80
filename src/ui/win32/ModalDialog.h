// What every dialog of the program shares: its class, its frame centred on
// its owner, its modal loop and its window procedure. A dialog fills in
// OnInit and OnCommand, and the rest only where it differs.
#pragma once

#include "os/Struct.h"

// The buttons every dialog may have, under the ids the dialog manager sends
// for Enter and Escape.
enum : int {
  IdOk = IDOK,          // Button1: OK, or the dialog's default
  IdCancel = IDCANCEL,  // Cancel
};

// A fixed dialog's window class, caption and client size.
struct TDialogFrame {
  const char *Class, *Title;
  int Width, Height;
};

class TModalDialog {
 public:
  HWND Handle = nullptr;  // while it is open (from WM_NCCREATE on)
  // Shows the dialog modally over Owner; returns when it is closed.
  void ShowModal(HWND Owner);

 protected:
  explicit TModalDialog(const TDialogFrame& Frame) : Frame(Frame) {}
  ~TModalDialog() = default;
  TModalDialog(const TModalDialog&) = delete;
  TModalDialog& operator=(const TModalDialog&) = delete;

  // The frame is made: make the controls, set them and place the focus.
  virtual void OnInit() = 0;
  // A control's WM_COMMAND; the message's answer is 0.
  virtual void OnCommand(int Id, int Code, HWND From) = 0;
  // The close box, Alt+F4 or the system menu's Close.
  virtual void OnClose() { Close(); }
  // The window is gone; its controls too.
  virtual void OnEnd() {}
  // Every other message.
  virtual LRESULT OnMessage(UINT Message, WPARAM W, LPARAM L);
  // Ends the modal loop: the window is destroyed once the message that asked
  // for it has been answered.
  void Close() { Closing = true; }

 private:
  static LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L);
  void Create(HWND Owner);
  void RunModal(HWND Owner);
  const TDialogFrame Frame;
  bool Closing = false;
};
