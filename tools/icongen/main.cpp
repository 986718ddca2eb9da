// icongen: writes the program's main icon, a 32 x 32 picture in the 16
// standard colours (4 bits per pixel with a transparency mask), as a .ico file.
//   icongen <file.ico>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {
constexpr int kSize = 32;
constexpr int kTransparent = -1;

// The 16 colours of the standard palette, as R, G, B.
constexpr std::array<std::array<std::uint8_t, 3>, 16> kPalette{{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};
enum Colour { Black = 0, Olive = 3, Navy = 4, Silver = 7, Gray = 8, Yellow = 11, Blue = 12, White = 15 };

// Colour indexes, row 0 at the top.
class Picture {
 public:
  Picture() { cells_.fill(kTransparent); }
  int& operator()(int x, int y) { return cells_[Index(x, y)]; }
  int operator()(int x, int y) const { return cells_[Index(x, y)]; }

 private:
  static std::size_t Index(int x, int y) { return static_cast<std::size_t>(y * kSize + x); }
  std::array<int, kSize * kSize> cells_{};
};

int Abs(int v) {
  return v < 0 ? -v : v;
}

// A parcel with an arrow coming down into it: the download that installs.
Picture Draw() {
  Picture p;
  // The parcel, with a darker lid and a black outline.
  for (int y = 17; y <= 29; ++y) {
    for (int x = 3; x <= 28; ++x) {
      const bool edge = y == 17 || y == 29 || x == 3 || x == 28;
      p(x, y) = edge ? Black : (y <= 19 ? Olive : Yellow);
    }
  }
  for (int y = 20; y <= 28; ++y) p(27, y) = Olive;  // shadowed side
  // The arrow: a shaft and a head, blue with a navy outline, white highlight.
  const auto inArrow = [](int x, int y) {
    const int cx2 = 31;  // centre line between columns 15 and 16, doubled
    if (y >= 1 && y <= 12) return Abs(2 * x - cx2) <= 5;
    if (y >= 13 && y <= 23) return Abs(2 * x - cx2) <= 2 * (23 - y) + 1;
    return false;
  };
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (!inArrow(x, y)) continue;
      const bool edge = !inArrow(x - 1, y) || !inArrow(x + 1, y) || !inArrow(x, y - 1) || !inArrow(x, y + 1);
      p(x, y) = edge ? Navy : Blue;
    }
  }
  for (int y = 2; y <= 12; ++y) p(14, y) = White;
  // A grey shadow line under the parcel.
  for (int x = 5; x <= 29; ++x) p(x, 30) = p(x, 30) == kTransparent ? Gray : p(x, 30);
  for (int y = 19; y <= 30; ++y) p(29, y) = p(29, y) == kTransparent ? Silver : p(29, y);
  return p;
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFFu));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFFu));
}
void Put32(std::vector<std::uint8_t>& out, unsigned v) {
  Put16(out, v & 0xFFFFu);
  Put16(out, v >> 16);
}

std::vector<std::uint8_t> Icon(const Picture& p) {
  constexpr unsigned kXorRow = kSize / 2;  // 4 bits a pixel: 16 bytes, a multiple of 4
  constexpr unsigned kAndRow = 4;          // 1 bit a pixel: 4 bytes
  constexpr unsigned kImage = 40 + 16 * 4 + kSize * (kXorRow + kAndRow);
  std::vector<std::uint8_t> out;
  // ICONDIR and its one entry.
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  out.push_back(kSize);
  out.push_back(kSize);
  out.push_back(16);  // colours
  out.push_back(0);
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, kImage);
  Put32(out, 6 + 16);
  // BITMAPINFOHEADER: the height counts the colour picture and the mask.
  Put32(out, 40);
  Put32(out, kSize);
  Put32(out, 2 * kSize);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);
  Put32(out, kSize * (kXorRow + kAndRow));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 16);
  Put32(out, 0);
  for (const auto& c : kPalette) {
    out.push_back(c[2]);
    out.push_back(c[1]);
    out.push_back(c[0]);
    out.push_back(0);
  }
  // Rows bottom-up; transparent pixels are black in the picture, set in the mask.
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; x += 2) {
      const int a = p(x, y) == kTransparent ? 0 : p(x, y);
      const int b = p(x + 1, y) == kTransparent ? 0 : p(x + 1, y);
      out.push_back(static_cast<std::uint8_t>((a << 4) | b));
    }
  }
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; x += 8) {
      unsigned bits = 0;
      for (int i = 0; i < 8; ++i) {
        if (p(x + i, y) == kTransparent) bits |= 0x80u >> i;
      }
      out.push_back(static_cast<std::uint8_t>(bits));
    }
  }
  return out;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: icongen <file.ico>\n");
    return 2;
  }
  const std::vector<std::uint8_t> icon = Icon(Draw());
  std::ofstream file(argv[1], std::ios::binary);
  file.write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
  return file ? 0 : 1;
}
