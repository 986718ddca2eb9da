#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

#include "textconv/Utility.h"
#include "tests/support/CaseName.h"

namespace {

using Byte = unsigned char;

AnsiText AllBytes() {
  AnsiText text;
  for (int b = 0; b < 256; ++b) text.push_back(static_cast<char>(b));
  return text;
}

// Czech lower-case letters with diacritics that are raised, with their capitals.
const std::map<int, int> kRaised = {
    {0xEC, 0xCC}, {0x9A, 0x8A}, {0xE8, 0xC8}, {0xF8, 0xD8}, {0x9E, 0x8E}, {0xFD, 0xDD},  // ě š č ř ž ý
    {0xE1, 0xC1}, {0xED, 0xCD}, {0xE9, 0xC9}, {0x9D, 0x8D}, {0xEF, 0xCF}, {0xF2, 0xD2},  // á í é ť ď ň
};

TEST(CzechUpper, EveryByteFollowsTheRule) {
  const AnsiText all = AllBytes();
  const AnsiText upper = CzechUpper(all);
  ASSERT_EQ(upper.size(), all.size());
  int changed = 0;
  for (int b = 0; b < 256; ++b) {
    int expected = b;
    if (b >= 'a' && b <= 'z') {
      expected = b - 0x20;
    } else if (const auto it = kRaised.find(b); it != kRaised.end()) {
      expected = it->second;
    }
    EXPECT_EQ(static_cast<Byte>(upper[static_cast<std::size_t>(b)]), expected) << "byte " << b;
    if (upper[static_cast<std::size_t>(b)] != all[static_cast<std::size_t>(b)]) ++changed;
  }
  EXPECT_EQ(changed, 26 + 12);
}

TEST(CzechUpper, LeavesLettersOutsideTheListLowerCase) {
  // ó ú ů, then every other lower-case letter above 0x7F, then ß and µ.
  const AnsiText lower =
      "\xf3\xfa\xf9"
      "\x9c\x9f\xb3\xb9\xba\xbe\xbf\xe0\xe2\xe3\xe4\xe5\xe6\xe7\xea\xeb\xee\xf0\xf1\xf4\xf5\xf6\xfb\xfc\xfe"
      "\xdf\xb5";
  EXPECT_EQ(CzechUpper(lower), lower);
}

struct WordCase {
  AnsiText input;
  AnsiText upper;
};

void PrintTo(const WordCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.input);
}

class CzechUpperWords : public ::testing::TestWithParam<WordCase> {};

TEST_P(CzechUpperWords, RaisesAsCzechReaderExpects) {
  const AnsiText input = GetParam().input;
  const AnsiText copy = input;
  EXPECT_EQ(CzechUpper(input), GetParam().upper);
  EXPECT_EQ(input, copy);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CzechUpperWords,
    ::testing::Values(WordCase{"", ""}, WordCase{"setup", "SETUP"}, WordCase{"Terbo_2.exe", "TERBO_2.EXE"},
                      WordCase{"0123456789 _-.,!/\\", "0123456789 _-.,!/\\"},
                      // žluťoučký kůň -> ŽLUŤOUČKÝ KůŇ
                      WordCase{"\x9elu\x9dou\xe8k\xfd k\xf9\xf2", "\x8eLU\x8dOU\xc8K\xdd K\xf9\xd2"},
                      WordCase{"\xfavod", "\xfaVOD"},                                      // úvod -> úVOD
                      WordCase{AnsiText("m\xf3") + "da", AnsiText("M\xf3") + "DA"},        // móda -> móDA
                      WordCase{"\xc1\xc8\xd8\x8a\x8e\xd9", "\xc1\xc8\xd8\x8a\x8e\xd9"}),
    [](const auto& p) { return CaseName(p.index, p.param.input); });  // ÁČŘŠŽŮ

TEST(CzechUpper, IsIdempotent) {
  const AnsiText once = CzechUpper(AllBytes());
  EXPECT_EQ(CzechUpper(once), once);
}

}  // namespace
