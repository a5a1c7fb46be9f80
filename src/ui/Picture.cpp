#include "ui/Picture.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace {

// libjpeg's own error handler ends the process; this one jumps back out of
// the decoder so the caller can clean up and report failure.
struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Escape;
};

void OnJpegError(j_common_ptr Info) { std::longjmp(reinterpret_cast<TJpegError*>(Info->err)->Escape, 1); }
void OnJpegMessage(j_common_ptr) {}

// Warnings (a truncated stream, for one) are failures here: a picture that
// would show grey rows is not shown at all.
void OnJpegWarning(j_common_ptr Info, int Level) {
  if (Level < 0) OnJpegError(Info);
}

std::vector<TPictureFormat>& Formats() {
  static std::vector<TPictureFormat> List = {{"jpeg", "JPEG Image File", DecodeJpeg},
                                             {"jpg", "JPEG Image File", DecodeJpeg}};
  return List;
}

std::string Lower(std::string Text) {
  for (char& C : Text)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return Text;
}

constexpr unsigned MaxSide = 16384;
constexpr uint64_t MaxPixels = 16u << 20;        // 48 MiB of RGB at most
constexpr long MaxDecoderMemory = 64L << 20;     // the decoder's own buffers

// The decoding itself, kept free of C++ objects with destructors so the jump
// out of it skips nothing that needs running.
bool Decode(jpeg_decompress_struct& Info, TJpegError& Error, const uint8_t* Data, size_t Size, TPixels& Out) {
  if (setjmp(Error.Escape)) return false;
  jpeg_create_decompress(&Info);
  jpeg_mem_src(&Info, const_cast<unsigned char*>(Data), static_cast<unsigned long>(Size));
  jpeg_read_header(&Info, TRUE);
  // A header may claim any size: refuse one no picture of ours needs before
  // the decoder reserves memory for it, and bound what it may reserve.
  if (Info.image_width == 0 || Info.image_height == 0 || Info.image_width > MaxSide || Info.image_height > MaxSide ||
      uint64_t(Info.image_width) * Info.image_height > MaxPixels)
    return false;
  Info.mem->max_memory_to_use = MaxDecoderMemory;
  Info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&Info);
  if (Info.output_components != 3) return false;
  Out.Width = static_cast<int>(Info.output_width);
  Out.Height = static_cast<int>(Info.output_height);
  Out.Rgb.resize(size_t(Out.Width) * Out.Height * 3);
  while (Info.output_scanline < Info.output_height) {
    JSAMPROW Row = Out.Rgb.data() + size_t(Info.output_scanline) * Out.Width * 3;
    jpeg_read_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_decompress(&Info);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* Data, size_t Size, TPixels& Out) {
  Out = TPixels();
  if (!Data || Size < 4) return false;
  jpeg_decompress_struct Info = {};
  TJpegError Error = {};
  Info.err = jpeg_std_error(&Error.Manager);
  Error.Manager.error_exit = OnJpegError;
  Error.Manager.output_message = OnJpegMessage;
  Error.Manager.emit_message = OnJpegWarning;
  bool Ok = Decode(Info, Error, Data, Size, Out);
  jpeg_destroy_decompress(&Info);
  if (!Ok) Out = TPixels();
  return Ok;
}

void RegisterPictureFormat(const std::string& Extension, const std::string& Description, TPictureDecoder Decode) {
  for (auto& F : Formats())
    if (F.Extension == Lower(Extension)) {
      F = {Lower(Extension), Description, Decode};
      return;
    }
  Formats().push_back({Lower(Extension), Description, Decode});
}

const TPictureFormat* PictureFormat(const std::string& Extension) {
  for (auto& F : Formats())
    if (F.Extension == Lower(Extension)) return &F;
  return nullptr;
}

bool LoadPicture(const std::string& Name, const uint8_t* Data, size_t Size, TPixels& Out) {
  size_t Dot = Name.find_last_of('.');
  const TPictureFormat* Format = Dot == std::string::npos ? nullptr : PictureFormat(Name.substr(Dot + 1));
  return Format && Format->Decode(Data, Size, Out);
}
