#include "framework/Pixels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {
// The source pixels one new pixel draws on, with their weights.
struct TTaps {
  int First = 0;
  std::vector<double> Weights;
};

// One axis: `to` new pixels over `from` old ones. The new pixel i covers the
// old span [i, i + 1) * from / to; the tent is centred there and reaches one
// old pixel, or the span's width when that is wider.
std::vector<TTaps> Taps(int from, int to) {
  const double scale = static_cast<double>(from) / to;
  const double reach = std::max(1.0, scale);
  std::vector<TTaps> taps(static_cast<std::size_t>(to));
  for (int i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * scale;
    const int first = static_cast<int>(std::floor(centre - reach));
    const int last = static_cast<int>(std::ceil(centre + reach));
    TTaps& t = taps[static_cast<std::size_t>(i)];
    t.First = first;
    double total = 0;
    for (int j = first; j <= last; ++j) {
      const double w = std::max(0.0, 1.0 - std::fabs((j + 0.5 - centre) / reach));
      t.Weights.push_back(w);
      total += w;
    }
    for (double& w : t.Weights) w /= total;
  }
  return taps;
}

// Old pixels beyond an edge repeat the edge.
std::size_t Clamp(int j, int size) {
  return static_cast<std::size_t>(std::clamp(j, 0, size - 1));
}
}  // namespace

TPixels ScalePixels(const TPixels& picture, int width, int height) {
  const int w = picture.Width, h = picture.Height;
  const auto channels = static_cast<std::size_t>(picture.Channels);
  if (w <= 0 || h <= 0 || width <= 0 || height <= 0 || channels == 0) return {0, 0, picture.Channels, {}};
  if (w == width && h == height) return picture;

  // Across first, into doubles; then down, rounded.
  const std::vector<TTaps> across = Taps(w, width);
  const std::vector<TTaps> down = Taps(h, height);
  const auto newWidth = static_cast<std::size_t>(width);
  std::vector<double> rows(newWidth * static_cast<std::size_t>(h) * channels);
  for (std::size_t y = 0; y < static_cast<std::size_t>(h); ++y) {
    for (std::size_t x = 0; x < newWidth; ++x) {
      const TTaps& t = across[x];
      for (std::size_t k = 0; k < t.Weights.size(); ++k) {
        const std::size_t from =
            (y * static_cast<std::size_t>(w) + Clamp(t.First + static_cast<int>(k), w)) * channels;
        for (std::size_t c = 0; c < channels; ++c) {
          rows[(y * newWidth + x) * channels + c] += t.Weights[k] * picture.Bytes[from + c];
        }
      }
    }
  }
  TPixels scaled{width, height, picture.Channels, {}};
  scaled.Bytes.resize(newWidth * static_cast<std::size_t>(height) * channels);
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const TTaps& t = down[y];
    for (std::size_t x = 0; x < newWidth; ++x) {
      for (std::size_t c = 0; c < channels; ++c) {
        double value = 0;
        for (std::size_t k = 0; k < t.Weights.size(); ++k) {
          value +=
              t.Weights[k] * rows[(Clamp(t.First + static_cast<int>(k), h) * newWidth + x) * channels + c];
        }
        scaled.Bytes[(y * newWidth + x) * channels + c] =
            static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      }
    }
  }
  return scaled;
}
