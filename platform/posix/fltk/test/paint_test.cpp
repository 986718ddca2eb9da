// What the FLTK peers paint, checked without a display: the embedded flag
// pictures as they decode, the gauge's colours and the colours behind it.
#include "platform/posix/fltk/Paint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bootstrap/Flags.h"
#include "platform/posix/fltk/Jpeg.h"
#include "tests/support/CaseName.h"

namespace {

struct Rgb {
  int r, g, b;
};

Rgb PixelAt(const TRgbImage& image, int x, int y) {
  const std::uint32_t p = image.At(x, y);
  return {static_cast<int>(p >> 16), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
}

// JPEG is lossy: a colour is recognised within a margin.
::testing::AssertionResult Near(const TRgbImage& image, int x, int y, Rgb want, const char* name) {
  const Rgb got = PixelAt(image, x, y);
  if (std::abs(got.r - want.r) <= 40 && std::abs(got.g - want.g) <= 40 && std::abs(got.b - want.b) <= 40) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is (" << got.r << "," << got.g << ","
                                       << got.b << "), not " << name;
}

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kCzechRed{215, 20, 26};
constexpr Rgb kCzechBlue{17, 69, 126};
constexpr Rgb kUnionRed{200, 16, 46};
constexpr Rgb kUnionBlue{1, 33, 105};

TEST(FlagPictures, BothDecodeToFortyByTwentySeven) {
  for (const auto* bytes : {&CzechFlagJpeg(), &UnitedKingdomFlagJpeg()}) {
    const TRgbImage image = DecodeJpeg(*bytes);
    EXPECT_EQ(image.Width, 40);
    EXPECT_EQ(image.Height, 27);
    EXPECT_EQ(image.Pixels.size(), 40u * 27u * 3u);
  }
}

// A colour a flag shows, or does not show, at a pixel.
struct TProbe {
  int x, y;
  Rgb colour;
  const char* name;
  bool there = true;
};

void ExpectColours(const std::vector<std::uint8_t>& jpeg, const std::vector<TProbe>& probes) {
  const TRgbImage flag = DecodeJpeg(jpeg);
  ASSERT_FALSE(flag.Empty());
  for (const TProbe& p : probes) {
    if (p.there) {
      EXPECT_TRUE(Near(flag, p.x, p.y, p.colour, p.name));
    } else {
      EXPECT_FALSE(Near(flag, p.x, p.y, p.colour, p.name));
    }
  }
}

TEST(FlagPictures, CzechFlagIsWhiteOverRedWithTheTriangleToTheMiddle) {
  ExpectColours(CzechFlagJpeg(), {{35, 3, kWhite, "white"},
                                  {22, 6, kWhite, "white"},
                                  {35, 23, kCzechRed, "red"},
                                  {22, 20, kCzechRed, "red"},
                                  {3, 13, kCzechBlue, "blue"},
                                  // The triangle's tip reaches the middle of the flag, not beyond.
                                  {17, 13, kCzechBlue, "blue"},
                                  {24, 13, kCzechBlue, "blue", false},
                                  // At the hoist the triangle fills the whole height.
                                  {0, 1, kCzechBlue, "blue"},
                                  {0, 25, kCzechBlue, "blue"}});
}

TEST(FlagPictures, UnionFlagHasItsCrossFieldAndCounterchangedSaltire) {
  ExpectColours(UnitedKingdomFlagJpeg(), {// St George's cross through the middle.
                                          {20, 13, kUnionRed, "red"},
                                          {20, 1, kUnionRed, "red"},
                                          {1, 13, kUnionRed, "red"},
                                          {38, 13, kUnionRed, "red"},
                                          // The blue field between the arms, in all four quarters.
                                          {11, 2, kUnionBlue, "blue"},
                                          {28, 2, kUnionBlue, "blue"},
                                          {11, 24, kUnionBlue, "blue"},
                                          {28, 24, kUnionBlue, "blue"}});
  const TRgbImage flag = DecodeJpeg(UnitedKingdomFlagJpeg());
  ASSERT_FALSE(flag.Empty());
  // The saltire is counterchanged: near the upper hoist corner its red lies
  // below the diagonal, near the upper fly corner above it.
  const auto reddish = [&](int x, int y) {
    const Rgb p = PixelAt(flag, x, y);
    return p.r - p.b > 60;
  };
  EXPECT_TRUE(reddish(5, 4));
  EXPECT_FALSE(reddish(6, 3));
  EXPECT_TRUE(reddish(34, 3));
  EXPECT_FALSE(reddish(34, 5));
}

TEST(JpegDecoding, BytesThatAreNoJpegGiveNoPicture) {
  EXPECT_TRUE(DecodeJpeg({}).Empty());
  EXPECT_TRUE(DecodeJpeg({0x89, 'P', 'N', 'G', 0, 1, 2, 3}).Empty());
  std::vector<std::uint8_t> headOnly(CzechFlagJpeg().begin(), CzechFlagJpeg().begin() + 20);
  EXPECT_TRUE(DecodeJpeg(headOnly).Empty());
}

TEST(Colours, RgbWordsAreReadAsBlueGreenRed) {
  EXPECT_EQ(ResolveColor(0xFFD8B0), (TRgb{176, 216, 255}));
  EXPECT_EQ(ResolveColor(ColorRGB(41, 86, 141)), (TRgb{41, 86, 141}));
  EXPECT_EQ(ResolveColor(clBtnFace), (TRgb{240, 240, 240}));
  EXPECT_EQ(ResolveColor(clWindowText), (TRgb{0, 0, 0}));
  // The edges of a bevel, as Windows 10 draws them around its button face.
  EXPECT_EQ(ResolveColor(clBtnHighlight), (TRgb{255, 255, 255}));
  EXPECT_EQ(ResolveColor(clBtnShadow), (TRgb{160, 160, 160}));
}

TEST(Colours, InverseTurnsEachChannelOver) {
  EXPECT_EQ(Inverse({0, 0, 0}), (TRgb{255, 255, 255}));
  EXPECT_EQ(Inverse({41, 86, 141}), (TRgb{214, 169, 114}));
  EXPECT_EQ(Inverse(Inverse({1, 2, 3})), (TRgb{1, 2, 3}));
}

// The percentage reads over both parts of the gauge: black on the white,
// light on the dark bar.
TEST(GaugeInks, BackgroundAndBarAsShownAndTheTextInTheirInverse) {
  TGaugePlan plan;
  plan.Back = clWhite;
  plan.Bar = ColorRGB(41, 86, 141);
  const TGaugeInks inks = GaugeInks(plan);
  EXPECT_EQ(inks.Back, (TRgb{255, 255, 255}));
  EXPECT_EQ(inks.Bar, (TRgb{41, 86, 141}));
  EXPECT_EQ(inks.TextOverBack, (TRgb{0, 0, 0}));
  EXPECT_EQ(inks.TextOverBar, (TRgb{214, 169, 114}));
}

// Ten pixels a character, however many bytes it takes.
int TenPerCharacter(const std::string& text) {
  int n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return 10 * n;
}

struct WrapCase {
  const char* text;
  int maxWidth;
  std::vector<std::string> lines;
};
class MessageText : public ::testing::TestWithParam<WrapCase> {};

TEST_P(MessageText, WrapsBetweenWordsAtTheWidthLimit) {
  EXPECT_EQ(WrapText(GetParam().text, GetParam().maxWidth, TenPerCharacter), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageText,
    ::testing::Values(
        WrapCase{"File not found.", 640, {"File not found."}}, WrapCase{"", 640, {""}},
        // Exactly the limit still fits; one character more moves the word down.
        WrapCase{"abcd efgh", 90, {"abcd efgh"}}, WrapCase{"abcd efghi", 90, {"abcd", "efghi"}},
        WrapCase{"one two three four five six", 100, {"one two", "three four", "five six"}},
        // The spaces at a break go; those inside a line and an indent stay.
        WrapCase{"  ab   cd    efgh", 90, {"  ab   cd", "efgh"}},
        // Line breaks of the text stay, with or without a carriage return.
        WrapCase{"first\r\nsecond line here\n\nlast", 110, {"first", "second line", "here", "", "last"}},
        // A word wider than the limit breaks between characters, never inside one.
        WrapCase{"x abcdefghijkl y", 50, {"x", "abcde", "fghij", "kl y"}},
        WrapCase{
            "\xc5\xbdlu\xc5\xa5ou\xc4\x8dk\xc3\xbd", 40, {"\xc5\xbdlu\xc5\xa5", "ou\xc4\x8dk", "\xc3\xbd"}},
        // Narrower than one character: one character a line, nothing lost.
        WrapCase{"abc", 5, {"a", "b", "c"}}),
    [](const auto& p) { return CaseName(p.index, p.param.text); });

TEST(ErrorSign, RedDiscWithWhiteCrossOnTransparency) {
  constexpr int kSize = 32;
  const std::vector<std::uint8_t> icon = ErrorIcon(kSize);
  ASSERT_EQ(icon.size(), 32u * 32u * 4u);
  const auto at = [&](int x, int y) {
    return &icon[(static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)) * 4];
  };
  EXPECT_EQ(at(0, 0)[3], 0);  // corner outside the disc
  const std::uint8_t* ring = at(16, 3);
  EXPECT_EQ(ring[3], 255);
  EXPECT_GT(ring[0], 150);
  EXPECT_LT(ring[1], 80);
  const std::uint8_t* centre = at(16, 16);
  EXPECT_GT(centre[0], 230);
  EXPECT_GT(centre[1], 230);
  EXPECT_GT(centre[2], 230);
  const std::uint8_t* betweenArms = at(16, 10);  // above the centre, between the strokes
  EXPECT_LT(betweenArms[1], 80);
}

}  // namespace
