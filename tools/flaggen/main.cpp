// flaggen CZECH.jpg UNITED_KINGDOM.jpg: draws the two flags of the language
// page at 40 x 27 pixels. Each pixel averages a grid of samples of the
// flag's geometry, so the diagonals stay smooth at this small size.
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <vector>

// jpeglib.h wants FILE declared first.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 27;
constexpr int kSamples = 8;  // per pixel along each axis

struct Colour {
  double r, g, b;
};

constexpr Colour kWhite{255, 255, 255};
constexpr Colour kCzechRed{215, 20, 26};
constexpr Colour kCzechBlue{17, 69, 126};
constexpr Colour kUnionRed{200, 16, 46};
constexpr Colour kUnionBlue{1, 33, 105};

using Flag = std::function<Colour(double x, double y)>;

// White over red, a blue triangle from the hoist with its tip at the middle.
Colour Czech(double x, double y) {
  const double halfH = kHeight / 2.0;
  const double reach = (kWidth / 2.0) * (1.0 - std::fabs(y - halfH) / halfH);
  if (x <= reach) return kCzechBlue;
  return y < halfH ? kWhite : kCzechRed;
}

// The Union Flag on a height of 30 units: the white saltire 6 wide with its
// red 2 wide counterchanged (broad white uppermost at the hoist), the white
// cross 10 wide and the red cross 6 wide on top.
Colour Union(double x, double y) {
  const double unit = kHeight / 30.0;
  const double cx = kWidth / 2.0, cy = kHeight / 2.0;
  const double dx = x - cx, dy = y - cy;
  if (std::fabs(dx) <= 3 * unit || std::fabs(dy) <= 3 * unit) return kUnionRed;
  if (std::fabs(dx) <= 5 * unit || std::fabs(dy) <= 5 * unit) return kWhite;
  // Along the diagonal of this quarter towards its corner; the side the red
  // lies on turns with the quarters like the arms of a pinwheel.
  const double length = std::hypot(cx, cy);
  const double ux = (dx < 0 ? -cx : cx) / length, uy = (dy < 0 ? -cy : cy) / length;
  const double side = dx * uy - dy * ux;
  if (side >= 0 && side <= 2 * unit) return kUnionRed;
  if (std::fabs(side) <= 3 * unit) return kWhite;
  return kUnionBlue;
}

std::vector<std::uint8_t> Render(const Flag& flag) {
  std::vector<std::uint8_t> rgb;
  rgb.reserve(kWidth * kHeight * 3);
  for (int py = 0; py < kHeight; ++py) {
    for (int px = 0; px < kWidth; ++px) {
      Colour sum{0, 0, 0};
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Colour c = flag(px + (sx + 0.5) / kSamples, py + (sy + 0.5) / kSamples);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
        }
      }
      constexpr double n = kSamples * kSamples;
      for (double channel : {sum.r, sum.g, sum.b})
        rgb.push_back(static_cast<std::uint8_t>(std::lround(channel / n)));
    }
  }
  return rgb;
}

bool WriteJpeg(const char* path, std::vector<std::uint8_t>& rgb) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  // Full colour resolution: at this size halving it would smear the thin stripes.
  for (int i = 0; i < info.num_components; ++i) {
    info.comp_info[i].h_samp_factor = 1;
    info.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.next_scanline) * kWidth * 3;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: flaggen CZECH.jpg UNITED_KINGDOM.jpg\n";
    return 2;
  }
  std::vector<std::uint8_t> czech = Render(Czech);
  std::vector<std::uint8_t> unionFlag = Render(Union);
  if (!WriteJpeg(argv[1], czech) || !WriteJpeg(argv[2], unionFlag)) {
    std::cerr << "flaggen: cannot write the pictures\n";
    return 1;
  }
  return 0;
}
