// The About dialog's behaviour: its texts, its two links and its picture.
#pragma once

#include <string>

#include "os/System.h"
#include "ui/Picture.h"

// The web link opens the bare address; the mail link "mailto: " (with its
// space) and the address.
std::string AboutWebTarget();
std::string AboutMailTarget();

class TForm3 {
 public:
  HWND Handle = nullptr;
  std::string Label1 = "";  // the version line
  bool Label5Hot = false;   // web link under the mouse: red and underlined
  bool Label2Hot = false;   // mail link likewise

  // The picture's data, carried in the program, and its name for the loader.
  const uint8_t* PictureData = nullptr;
  size_t PictureSize = 0;
  std::string PictureName = "about.jpg";

  void Label5MouseMove() { Label5Hot = true; }    // over the web link: red, underlined
  void Label5MouseLeave() { Label5Hot = false; }  // off the web link: blue, plain
  void Label2MouseMove() { Label2Hot = true; }    // over the mail link
  void Label2MouseLeave() { Label2Hot = false; }  // off the mail link
  void Label5Click();                             // web link clicked: the site opens
  void Image1Click();                             // picture clicked: the site opens
  void Label2Click();                             // mail link clicked: "mailto: " and the address

  // Decoded the first time it is asked for (the first paint); null when the
  // data cannot be decoded.
  const TPixels* Picture();

 private:
  bool Decoded = false;
  bool Valid = false;
  TPixels Pixels;
};
