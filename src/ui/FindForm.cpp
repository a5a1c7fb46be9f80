#include "ui/FindForm.h"

#include "ui/FileDialog.h"

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
