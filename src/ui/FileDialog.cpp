#include "ui/FileDialog.h"

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
