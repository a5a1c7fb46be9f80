#include "ui/Unit4.h"

void TFindForm::Button1Click() {
  Found = !Edit1.empty();  // an empty text finds nothing and runs nothing
  if (CloseDialog) CloseDialog();
}

void TFindForm::Button2Click() {
  Found = false;
  if (CloseDialog) CloseDialog();
}

void TFindForm::Button3Click() {
  char Name[MAX_PATH] = {};
  OPENFILENAMEA Dialog = {};
  Dialog.lStructSize = sizeof Dialog;
  Dialog.hwndOwner = Handle;
  Dialog.lpstrFilter = "All files\0*.*\0";
  Dialog.lpstrFile = Name;
  Dialog.nMaxFile = sizeof Name;
  // The chosen folder must not become the current one: libraries are never
  // looked for there.
  Dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (Os().GetOpenFileNameA(&Dialog)) Edit1 = Name;
}
