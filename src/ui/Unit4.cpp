#include "ui/Unit4.h"

OPENFILENAMEA FileDialog(HWND Owner, const char* Filter, char (&Name)[MAX_PATH], DWORD Flags) {
  OPENFILENAMEA Dialog = {};
  Dialog.lStructSize = sizeof Dialog;
  Dialog.hwndOwner = Owner;
  Dialog.lpstrFilter = Filter;
  Dialog.lpstrFile = Name;
  Dialog.nMaxFile = MAX_PATH;
  // The chosen folder must not become the current one: libraries are never
  // looked for there.
  Dialog.Flags = Flags | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
  return Dialog;
}

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
  OPENFILENAMEA Dialog = FileDialog(Handle, "All files\0*.*\0", Name, OFN_FILEMUSTEXIST);
  if (Os().GetOpenFileNameA(&Dialog)) Edit1 = Name;
}
