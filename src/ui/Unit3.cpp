#include "ui/Unit3.h"

#include "view/Maker.h"

std::string AboutWebTarget() { return MakerWebAddress; }
std::string AboutMailTarget() { return std::string("mailto: ") + MakerMailAddress; }

namespace {
void Open(HWND Owner, const std::string& Target) {
  // Nothing to report when no handler is registered: the call's result is ignored.
  Os().ShellExecuteA(Owner, "open", Target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
}  // namespace

void TForm3::Label5Click() { Open(Handle, AboutWebTarget()); }
void TForm3::Image1Click() { Open(Handle, AboutWebTarget()); }
void TForm3::Label2Click() { Open(Handle, AboutMailTarget()); }

const TPixels* TForm3::Picture() {
  if (!Decoded) {
    Decoded = true;
    Valid = LoadPicture(PictureName, PictureData, PictureSize, Pixels);
  }
  return Valid ? &Pixels : nullptr;
}
