#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "textconv/Utility.h"
#include "tests/support/CaseName.h"

namespace {

using Byte = unsigned char;

AnsiText Range(int first, int last) {
  AnsiText text;
  for (int b = first; b <= last; ++b) text.push_back(static_cast<char>(b));
  return text;
}

const AnsiText kUpperHalf = Range(0x81, 0xFF);

// Converts every byte from 0x81 to 0xFF and returns input byte -> output byte.
std::map<int, int> Convert(const char* source, const char* target) {
  const AnsiText out = ConvertCodePage(kUpperHalf, source, target);
  std::map<int, int> result;
  for (std::size_t i = 0; i < out.size(); ++i) result[0x81 + static_cast<int>(i)] = static_cast<Byte>(out[i]);
  return result;
}

int Count(const std::map<int, int>& converted, int output) {
  int n = 0;
  for (const auto& entry : converted) n += entry.second == output;
  return n;
}

std::set<int> Bytes(std::initializer_list<std::pair<int, int>> ranges) {
  std::set<int> result;
  for (const auto& [first, last] : ranges) {
    for (int b = first; b <= last; ++b) result.insert(b);
  }
  return result;
}

// --- Windows-1250 to ASCII ---------------------------------------------------

struct AsciiRow {
  char output;
  std::vector<int> inputs;
};

// clang-format off
const std::vector<AsciiRow> kAsciiRows = {
    {'A', {0xA5, 0xC1, 0xC2, 0xC3, 0xC4}}, {'a', {0xB9, 0xE1, 0xE2, 0xE3, 0xE4}},
    {'C', {0xC6, 0xC7, 0xC8}},             {'c', {0xE6, 0xE7, 0xE8}},
    {'D', {0xCF, 0xD0}},                   {'d', {0xEF, 0xF0}},
    {'E', {0xC9, 0xCA, 0xCB, 0xCC}},       {'e', {0xE9, 0xEA, 0xEB, 0xEC}},
    {'I', {0xCD, 0xCE}},                   {'i', {0xED, 0xEE}},
    {'L', {0xBC, 0xC5}},                   {'l', {0xBE, 0xE5}},
    {'N', {0xD1, 0xD2}},                   {'n', {0xF1, 0xF2}},
    {'O', {0xD3, 0xD4, 0xD5, 0xD6}},       {'o', {0xF3, 0xF4, 0xF5, 0xF6}},
    {'R', {0xC0, 0xD8}},                   {'r', {0xE0, 0xF8}},
    {'S', {0x8A, 0x8C, 0xAA}},             {'s', {0x9A, 0x9C, 0xBA}},
    {'T', {0x8D, 0xDE}},                   {'t', {0x9D, 0xFE}},
    {'U', {0xD9, 0xDA, 0xDB, 0xDC}},       {'u', {0xF9, 0xFA, 0xFB, 0xFC}},
    {'Y', {0xDD}},                         {'y', {0xFD}},
    {'Z', {0x8E, 0x8F, 0xAF}},             {'z', {0x9E, 0x9F, 0xBF}},
    {'x', {0xD7}},                         {',', {0x82}},
    {'"', {0x84, 0x93, 0x94, 0xA8, 0xBD}}, {'\'', {0x91, 0x92}},
    {'-', {0x96, 0x97, 0xAD}},             {'~', {0x98}},
    {'<', {0x8B}},                         {'>', {0x9B}},
    {'`', {0xB4}},
    {' ', {0x81, 0x83, 0x85, 0x86, 0x87, 0x88, 0x89, 0x90, 0x95, 0x99, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6, 0xA7,
           0xA9, 0xAB, 0xAC, 0xAE, 0xB0, 0xB1, 0xB2, 0xB3, 0xB5, 0xB6, 0xB7, 0xB8, 0xBB, 0xDF, 0xF7, 0xFF}},
};
// clang-format on

TEST(WindowsToAscii, EveryByteGivesItsRowsCharacter) {
  std::map<int, int> expected;
  for (const AsciiRow& row : kAsciiRows) {
    for (int b : row.inputs) EXPECT_TRUE(expected.emplace(b, static_cast<Byte>(row.output)).second) << b;
  }
  ASSERT_EQ(expected.size(), 127u);
  EXPECT_EQ(Convert("W", "A"), expected);
  EXPECT_EQ(Count(Convert("W", "A"), ' '), 33);
}

TEST(WindowsToAscii, CzechSentence) {
  const AnsiText text = "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2";  // Příliš žluťoučký kůň
  const AnsiText copy = text;
  EXPECT_EQ(ConvertCodePage(text, "W", "A"), "Prilis zlutoucky kun");
  EXPECT_EQ(text, copy);
}

TEST(WindowsToAscii, EuroStaysEllipsisAndLettersWithoutBaseBecomeSpaces) {
  // € … Ł ł ß Đ
  EXPECT_EQ(ConvertCodePage("\x80\x85\xa3\xb3\xdf\xd0", "W", "A"), "\x80    D");
}

// --- Windows-1250 and code page 852 -------------------------------------------

// Windows-1250 characters that code page 852 lacks.
// clang-format off
const std::set<int> kLackedBy852 = Bytes({{0x81, 0x89}, {0x8B, 0x8B}, {0x90, 0x99}, {0x9B, 0x9B},
                                          {0xA6, 0xA6}, {0xA9, 0xA9}, {0xAE, 0xAE}, {0xB1, 0xB1}, {0xB5, 0xB6}});
// clang-format on
// Currency sign, not sign, dot above.
const std::set<int> kSpacedOutTo852 = {0xA4, 0xAC, 0xFF};

TEST(WindowsToLatin2, LackedCharactersAndDepartures) {
  const std::map<int, int> converted = Convert("W", "L");
  for (int b : kLackedBy852) EXPECT_EQ(converted.at(b), ' ') << b;
  for (int b : kSpacedOutTo852) EXPECT_EQ(converted.at(b), ' ') << b;
  EXPECT_EQ(Count(converted, ' '), static_cast<int>(kLackedBy852.size() + kSpacedOutTo852.size()));
  EXPECT_EQ(converted.at(0xA0), 0xAA);  // no-break space
  EXPECT_EQ(converted.at(0xB7), 0xFA);  // middle dot
  EXPECT_EQ(converted.at(0xC8), 0xAC);  // Č, not its ISO 8859-2 byte
}

// The letters of Czech and Slovak with their bytes in both code pages:
// ÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ áčďéěíňóřšťúůýž ÄäÔôĹĺĽľŔŕ.
// clang-format off
const std::map<int, int> kLettersIn852 = {
    {0xC1, 0xB5}, {0xC8, 0xAC}, {0xCF, 0xD2}, {0xC9, 0x90}, {0xCC, 0xB7}, {0xCD, 0xD6}, {0xD2, 0xD5}, {0xD3, 0xE0},
    {0xD8, 0xFC}, {0x8A, 0xE6}, {0x8D, 0x9B}, {0xDA, 0xE9}, {0xD9, 0xDE}, {0xDD, 0xED}, {0x8E, 0xA6}, {0xE1, 0xA0},
    {0xE8, 0x9F}, {0xEF, 0xD4}, {0xE9, 0x82}, {0xEC, 0xD8}, {0xED, 0xA1}, {0xF2, 0xE5}, {0xF3, 0xA2}, {0xF8, 0xFD},
    {0x9A, 0xE7}, {0x9D, 0x9C}, {0xFA, 0xA3}, {0xF9, 0x85}, {0xFD, 0xEC}, {0x9E, 0xA7}, {0xC4, 0x8E}, {0xE4, 0x84},
    {0xD4, 0xE2}, {0xF4, 0x93}, {0xC5, 0x91}, {0xE5, 0x92}, {0xBC, 0x95}, {0xBE, 0x96}, {0xC0, 0xE8}, {0xE0, 0xEA}};
// clang-format on

TEST(WindowsToLatin2, LettersTakeTheirCodePage852Bytes) {
  const std::map<int, int> there = Convert("W", "L");
  const std::map<int, int> back = Convert("L", "W");
  for (const auto& [windows, latin2] : kLettersIn852) {
    EXPECT_EQ(there.at(windows), latin2) << windows;
    EXPECT_EQ(back.at(latin2), windows) << latin2;
  }
}

TEST(WindowsToLatin2, DistinctCharactersStayDistinct) {
  std::set<int> outputs;
  for (const auto& [in, out] : Convert("W", "L")) {
    if (out == ' ') continue;
    EXPECT_GE(out, 0x80) << in;
    EXPECT_TRUE(outputs.insert(out).second) << in;
  }
}

TEST(WindowsToLatin2, RoundTripKeepsAllButSpacesAndCCedilla) {
  AnsiText expected = kUpperHalf;
  for (char& c : expected) {
    const int b = static_cast<Byte>(c);
    if (kLackedBy852.count(b) || kSpacedOutTo852.count(b)) c = ' ';
    if (b == 0xC7) c = '\x80';  // Ç sits at 852's 0x80, which is never converted back
  }
  EXPECT_EQ(ConvertCodePage(ConvertCodePage(kUpperHalf, "W", "L"), "L", "W"), expected);
}

// Shades, box drawing, blocks and the black square of code page 852.
const std::set<int> kLackedByWindows =
    Bytes({{0xB0, 0xB4}, {0xB9, 0xBC}, {0xBF, 0xC5}, {0xC8, 0xCE}, {0xD9, 0xDC}, {0xDF, 0xDF}, {0xFE, 0xFE}});

TEST(Latin2ToWindows, LackedCharactersAndDepartures) {
  ASSERT_EQ(kLackedByWindows.size(), 29u);
  const std::map<int, int> converted = Convert("L", "W");
  for (int b : kLackedByWindows) EXPECT_EQ(converted.at(b), 0xA4) << b;
  // 852's own currency sign at 0xCF is the only other byte giving it.
  EXPECT_EQ(converted.at(0xCF), 0xA4);
  EXPECT_EQ(Count(converted, 0xA4), 29 + 1);
  EXPECT_EQ(converted.at(0xAA), 0xA0);
  EXPECT_EQ(converted.at(0xFA), 0xB7);
  EXPECT_EQ(converted.at(0xFF), ' ');
  EXPECT_EQ(Count(converted, ' '), 1);
}

TEST(Latin2ToWindows, DistinctCharactersStayDistinct) {
  std::set<int> outputs;
  for (const auto& [in, out] : Convert("L", "W")) {
    if (out == 0xA4 || out == ' ') continue;
    EXPECT_GE(out, 0x80) << in;
    EXPECT_TRUE(outputs.insert(out).second) << in;
  }
}

// --- Windows-1250 and Kamenický ------------------------------------------------

const std::map<int, int> kKamenickyCodes = {  // Windows-1250 -> Kamenický
    {0x8A, 0x9B}, {0x8D, 0x86}, {0x8E, 0x92}, {0x9A, 0xA8}, {0x9D, 0x9F}, {0x9E, 0x91}, {0xAB, 0xAE},
    {0xB0, 0xF8}, {0xB7, 0xFA}, {0xBB, 0xAF}, {0xBC, 0x9C}, {0xBE, 0x8C}, {0xC1, 0x8F}, {0xC4, 0x8E},
    {0xC5, 0x8A}, {0xC8, 0x80}, {0xC9, 0x90}, {0xCC, 0x89}, {0xCD, 0x8B}, {0xCF, 0x85}, {0xD2, 0xA5},
    {0xD6, 0x99}, {0xD8, 0x9E}, {0xD9, 0xA6}, {0xDC, 0x9A}, {0xDF, 0xE1}, {0xE1, 0xA0}, {0xE4, 0x84},
    {0xE5, 0x8D}, {0xE8, 0x87}, {0xE9, 0x82}, {0xEC, 0x88}, {0xED, 0xA1}, {0xEF, 0x83}, {0xF3, 0xA2},
    {0xF4, 0x93}, {0xF6, 0x94}, {0xF7, 0xF6}, {0xF8, 0xA9}, {0xF9, 0x96}, {0xFA, 0xA3}, {0xFC, 0x81},
    {0xFD, 0x98}};
const std::map<int, int> kLatin2Codes = {  // Windows-1250 -> code page 852
    {0xA1, 0xF3}, {0xA2, 0xF4}, {0xA7, 0xF5}, {0xA8, 0xF9}, {0xAD, 0xF0}, {0xB2, 0xF2},
    {0xB4, 0xEF}, {0xB8, 0xF7}, {0xBA, 0xAD}, {0xBD, 0xF1}, {0xC0, 0xE8}, {0xD1, 0xE3},
    {0xD3, 0xE0}, {0xD4, 0xE2}, {0xDA, 0xE9}, {0xDB, 0xEB}, {0xDD, 0xED}, {0xE0, 0xEA},
    {0xF1, 0xE4}, {0xF2, 0xE5}, {0xFB, 0xFB}, {0xFE, 0xEE}};

TEST(WindowsToKamenicky, ThreeGroups) {
  ASSERT_EQ(kKamenickyCodes.size(), 43u);
  ASSERT_EQ(kLatin2Codes.size(), 22u);
  const std::map<int, int> converted = Convert("W", "K");
  const std::map<int, int> latin2 = Convert("W", "L");
  for (const auto& [in, out] : converted) {
    if (kKamenickyCodes.count(in)) {
      EXPECT_EQ(out, kKamenickyCodes.at(in)) << in;
    } else if (kLatin2Codes.count(in)) {
      EXPECT_EQ(out, kLatin2Codes.at(in)) << in;
      EXPECT_EQ(out, latin2.at(in)) << in;
    } else {
      EXPECT_EQ(out, ' ') << in;
    }
  }
  EXPECT_EQ(Count(converted, ' '), 62);
}

TEST(WindowsToKamenicky, RoundTripKeepsBothGroupsButCCaron) {
  AnsiText text;
  AnsiText expected;
  for (const auto* group : {&kKamenickyCodes, &kLatin2Codes}) {
    for (const auto& entry : *group) {
      text.push_back(static_cast<char>(entry.first));
      // Kamenický Č is 0x80, which is never converted back.
      expected.push_back(entry.first == 0xC8 ? '\x80' : static_cast<char>(entry.first));
    }
  }
  EXPECT_EQ(ConvertCodePage(ConvertCodePage(text, "W", "K"), "K", "W"), expected);
}

// Kamenický byte -> Windows-1250 byte.
std::map<int, int> KamenickyToWindowsExpected() {
  std::map<int, int> expected = {
      {0x81, 0xFC}, {0x82, 0xE9}, {0x83, 0xEF}, {0x84, 0xE4}, {0x85, 0xCF}, {0x86, 0x8D},  // ü é ď ä Ď Ť
      {0x87, 0xE8}, {0x88, 0xEC}, {0x89, 0xCC}, {0x8A, 0xC5}, {0x8B, 0xCD}, {0x8C, 0xBE},  // č ě Ě Ĺ Í ľ
      {0x8D, 0xE5}, {0x8E, 0xC4}, {0x8F, 0xC1}, {0x90, 0xC9}, {0x91, 0x9E}, {0x92, 0x8E},  // ĺ Ä Á É ž Ž
      {0x93, 0xF4}, {0x94, 0xF6}, {0x95, 0xD3}, {0x96, 0xF9}, {0x97, 0xDA}, {0x98, 0xFD},  // ô ö Ó ů Ú ý
      {0x99, 0xD6}, {0x9A, 0xDC}, {0x9B, 0x8A}, {0x9C, 0xBC}, {0x9D, 0xDD}, {0x9E, 0xD8},  // Ö Ü Š Ľ Ý Ř
      {0x9F, 0x9D}, {0xA0, 0xE1}, {0xA1, 0xED}, {0xA2, 0xF3}, {0xA3, 0xFA}, {0xA4, 0xF2},  // ť á í ó ú ň
      {0xA5, 0xD2}, {0xA6, 0xD9}, {0xA7, 0xD4}, {0xA8, 0x9A}, {0xA9, 0xF8}, {0xAA, 0xE0},  // Ň Ů Ô š ř ŕ
      {0xAB, 0xC0}, {0xAC, 0xC8}, {0xAD, 0xBA}, {0xAE, 0xAB}, {0xAF, 0xBB},                // Ŕ Č ş « »
      {0xE0, 0xD3}, {0xE1, 0xDF}, {0xE2, 0xD4}, {0xE3, 0xD1}, {0xE4, 0xF1}, {0xE5, 0xF2},  // Ó ß Ô Ń ń ň
      {0xE6, 0x8A}, {0xE7, 0x9A}, {0xE8, 0xC0}, {0xE9, 0xDA}, {0xEA, 0xE0}, {0xEB, 0xDB},  // Š š Ŕ Ú ŕ Ű
      {0xEC, 0xFD}, {0xED, 0xDD}, {0xEE, 0xFE}, {0xEF, 0xB4}, {0xF0, 0xAD}, {0xF1, 0xBD},  // ý Ý ţ ´ SHY ˝
      {0xF2, 0xB2}, {0xF3, 0xA1}, {0xF4, 0xA2}, {0xF5, 0xA7}, {0xF6, 0xF7}, {0xF7, 0xB8},  // ˛ ˇ ˘ § ÷ ¸
      {0xF8, 0xB0}, {0xF9, 0xA8}, {0xFA, 0xB7}, {0xFB, 0xFB}, {0xFC, 0xD8}, {0xFD, 0xF8},  // ° ¨ · ű Ř ř
      {0xFE, '_'},  {0xFF, ' '}};
  for (int b = 0xB0; b <= 0xDF; ++b) expected[b] = 0xA4;
  return expected;
}

TEST(KamenickyToWindows, EveryByteGivesItsCharacter) {
  const std::map<int, int> expected = KamenickyToWindowsExpected();
  ASSERT_EQ(expected.size(), 127u);
  EXPECT_EQ(Convert("K", "W"), expected);
}

TEST(KamenickyToWindows, ReadsCodePage852OutsideItsLetterArea) {
  const std::map<int, int> kamenicky = Convert("K", "W");
  const std::map<int, int> latin2 = Convert("L", "W");
  // 0xFE is the one exception: "_" instead of the black square's currency sign.
  for (int b : Bytes({{0xAC, 0xAF}, {0xE0, 0xFD}, {0xFF, 0xFF}})) {
    EXPECT_EQ(kamenicky.at(b), latin2.at(b)) << b;
  }
}

// --- Code names, unknown pairs, the untouched lower half -----------------------

struct CodePair {
  const char* source;
  const char* target;
};

void PrintTo(const CodePair& pair, std::ostream* os) {
  *os << '"' << pair.source << "\" -> \"" << pair.target << '"';
}

class UnknownPair : public ::testing::TestWithParam<CodePair> {};

TEST_P(UnknownPair, ReturnsTextUnchanged) {
  const AnsiText all = Range(0x00, 0xFF);
  EXPECT_EQ(ConvertCodePage(all, GetParam().source, GetParam().target), all);
}

INSTANTIATE_TEST_SUITE_P(Pairs, UnknownPair,
                         ::testing::Values(CodePair{"W", "W"}, CodePair{"L", "K"}, CodePair{"K", "L"},
                                           CodePair{"A", "W"}, CodePair{"K", "A"}, CodePair{"L", "A"},
                                           CodePair{"L", "L"}, CodePair{"A", "L"}, CodePair{"X", "A"},
                                           CodePair{"W", "U"}, CodePair{"1", "W"}, CodePair{"-", ""},
                                           CodePair{"\xc8", "W"}, CodePair{" W", "L"}),
    [](const auto& p) { return CaseName(p.index, std::string(p.param.source) + "_to_" + p.param.target); });

struct AliasCase {
  const char* source;
  const char* target;
  CodePair canonical;
};

void PrintTo(const AliasCase& c, std::ostream* os) {
  PrintTo(CodePair{c.source, c.target}, os);
  *os << " as ";
  PrintTo(c.canonical, os);
}

class CodeNames : public ::testing::TestWithParam<AliasCase> {};

TEST_P(CodeNames, ActLikeTheirCanonicalLetter) {
  const AnsiText all = Range(0x00, 0xFF);
  const AliasCase& c = GetParam();
  EXPECT_EQ(ConvertCodePage(all, c.source, c.target),
            ConvertCodePage(all, c.canonical.source, c.canonical.target));
}

INSTANTIATE_TEST_SUITE_P(Names, CodeNames,
                         ::testing::Values(AliasCase{"", "", {"W", "A"}}, AliasCase{"", "A", {"W", "A"}},
                                           AliasCase{"W", "", {"W", "A"}}, AliasCase{"", "L", {"W", "L"}},
                                           AliasCase{"w", "a", {"W", "A"}}, AliasCase{"w", "k", {"W", "K"}},
                                           AliasCase{"l", "w", {"L", "W"}}, AliasCase{"k", "W", {"K", "W"}},
                                           AliasCase{"Windows", "Ascii", {"W", "A"}},
                                           AliasCase{"WL", "", {"W", "A"}},
                                           AliasCase{"Latin2", "windows", {"L", "W"}},
                                           AliasCase{"kamenicky", "W", {"K", "W"}}),
    [](const auto& p) { return CaseName(p.index, std::string(p.param.source) + "_to_" + p.param.target); });

class SupportedPair : public ::testing::TestWithParam<CodePair> {};

TEST_P(SupportedPair, LeavesBytesUpTo0x80Alone) {
  const AnsiText lower = Range(0x00, 0x80);
  EXPECT_EQ(ConvertCodePage(lower, GetParam().source, GetParam().target), lower);
  EXPECT_EQ(ConvertCodePage("", GetParam().source, GetParam().target), "");
}

INSTANTIATE_TEST_SUITE_P(Directions, SupportedPair,
                         ::testing::Values(CodePair{"W", "L"}, CodePair{"W", "K"}, CodePair{"W", "A"},
                                           CodePair{"L", "W"}, CodePair{"K", "W"}),
    [](const auto& p) { return CaseName(p.index, std::string(p.param.source) + "_to_" + p.param.target); });

}  // namespace
