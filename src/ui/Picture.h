// Pictures carried in the program, decoded to pixels for the window layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TPixels {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;  // Width * Height * 3, rows top to bottom
};

// Decodes JPEG data. False, with Out left empty, for data that is corrupt or
// cut short: never a crash, a hang or a leak.
bool DecodeJpeg(const uint8_t* Data, size_t Size, TPixels& Out);

using TPictureDecoder = bool (*)(const uint8_t* Data, size_t Size, TPixels& Out);

// The picture loader's formats, by file extension.
struct TPictureFormat {
  std::string Extension;
  std::string Description;
  TPictureDecoder Decode;
};
void RegisterPictureFormat(const std::string& Extension, const std::string& Description, TPictureDecoder Decode);
const TPictureFormat* PictureFormat(const std::string& Extension);
// Decodes data named Name (by its extension); false when no format fits.
bool LoadPicture(const std::string& Name, const uint8_t* Data, size_t Size, TPixels& Out);
