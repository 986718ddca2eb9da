#include "platform/posix/fltk/Jpeg.h"

#include <csetjmp>

// jpeglib.h wants FILE declared first.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

std::uint32_t TRgbImage::At(int x, int y) const {
  const std::size_t i =
      (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)) * 3;
  return (std::uint32_t{Pixels[i]} << 16) | (std::uint32_t{Pixels[i + 1]} << 8) | Pixels[i + 2];
}

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

// libjpeg's default handler ends the process; a damaged picture must not.
[[noreturn]] void ErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(manager->jump, 1);
}

void SilentMessage(j_common_ptr) {}

// Only C objects live in this frame, so the long jump skips no destructor.
bool Decode(const std::uint8_t* data, std::size_t size, TRgbImage* out) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = ErrorExit;
  errors.base.output_message = SilentMessage;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out->Width = static_cast<int>(info.output_width);
  out->Height = static_cast<int>(info.output_height);
  const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
  out->Pixels.resize(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->Pixels.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

TRgbImage DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
  TRgbImage image;
  if (bytes.empty() || !Decode(bytes.data(), bytes.size(), &image)) return {};
  return image;
}
