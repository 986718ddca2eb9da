#include <gtest/gtest.h>

#include "TrustSupport.h"

namespace {
const std::string kKey = "the vendor's key";
const std::vector<TListEntry> kFiles = {{"comm32.zip", "first file"}, {"setup.zip", "the setup program"}};

struct ListCase {
  const char* name;
  std::string text;
  bool accepted;
};

std::string Body() { return ListBody("TERBO", kFiles); }

std::vector<ListCase> Cases() {
  const std::string body = Body();
  const std::string signature = "signature " + EncodeBase64(TFakeCrypto::Sign(kKey, body));
  std::string changed = SignList(body, kKey);
  changed[changed.find("comm32.zip ") + 11] = '9';  // a size, after signing
  return {
      {"Signed", SignList(body, kKey), true},
      {"SignedWithoutFinalLineFeed", body + signature, true},
      {"ChangedAfterSigning", changed, false},
      {"SignedByAnotherKey", SignList(body, "someone else's key"), false},
      {"OfAnotherProduct", SignList(ListBody("KALMIRO", kFiles), kKey), false},
      {"WithoutSignature", body, false},
      {"SignatureNotBase64", body + "signature !!!!\n", false},
      {"WithoutHeader", SignList(body.substr(body.find('\n') + 1), kKey), false},
      {"NameTwice", SignList(ListBody("TERBO", {kFiles[0], kFiles[0]}), kKey), false},
      {"OfVersionOne", SignList("websetup file list 1" + body.substr(body.find('\n')), kKey), false},
      {"WithoutSerial", SignList(ListBody("TERBO", kFiles, "expires 2099-01-01T00:00:00Z\n"), kKey), false},
      {"WithoutExpiry", SignList(ListBody("TERBO", kFiles, "serial 7\n"), kKey), false},
      {"SerialZero", SignList(ListBody("TERBO", kFiles, Freshness(0)), kKey), false},
      {"ExpiryNotUtc", SignList(ListBody("TERBO", kFiles, Freshness(7, "2099-01-01T00:00:00+01:00")), kKey), false},
      {"ExpiryNoDate", SignList(ListBody("TERBO", kFiles, Freshness(7, "2099-02-30T00:00:00Z")), kKey), false},
      {"SizeNoNumber", SignList(ListBody("TERBO", {}) + "a.zip 1x2 " + std::string(64, 'a') + "\n", kKey), false},
      {"DigestTooShort", SignList(ListBody("TERBO", {}) + "a.zip 12 " + std::string(63, 'a') + "\n", kKey), false},
      {"SizeBeyondWhatTheGetterFetches",
       SignList(ListBody("TERBO", {}) + "a.zip 2147483648 " + std::string(64, 'a') + "\n", kKey), false},
      {"TooLong", SignList(body + std::string(kVendorListLimit, '#') + "\n", kKey), false},
  };
}

class VendorListRules : public ::testing::TestWithParam<ListCase> {};

TEST_P(VendorListRules, AcceptsOnlyASignedWellFormedListOfItsProduct) {
  TFakeCrypto crypto;
  TVendorList list;
  std::string why;
  EXPECT_EQ(list.Read(crypto, kKey, "TERBO", GetParam().text, &why), GetParam().accepted) << why;
  EXPECT_EQ(list.Loaded(), GetParam().accepted);
  if (!GetParam().accepted) {
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(list.Files().empty());
    return;
  }
  ASSERT_EQ(list.Files().size(), 2u);
  const TListedFile* setup = list.Find("setup.zip");
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup->Size, 17);
  EXPECT_EQ(setup->Digest, TFakeCrypto::Digest("the setup program"));
  EXPECT_EQ(list.Find("view.zip"), nullptr);
  EXPECT_EQ(list.Serial(), 7u);
  EXPECT_EQ(list.Expires(), 4070908800);  // 2099-01-01T00:00:00Z
}

TEST(UtcTime, ReadsAndWritesTheListsForm) {
  struct Row {
    const char* text;
    std::int64_t seconds;
  };
  for (const Row& r : {Row{"1970-01-01T00:00:00Z", 0}, Row{"2000-02-29T23:59:59Z", 951868799},
                       Row{"2027-06-07T12:00:00Z", 1812369600}, Row{"2100-03-01T00:00:00Z", 4107542400}}) {
    std::int64_t seconds = -1;
    EXPECT_TRUE(ParseUtcTime(r.text, seconds)) << r.text;
    EXPECT_EQ(seconds, r.seconds) << r.text;
    EXPECT_EQ(FormatUtcTime(r.seconds), r.text);
  }
  std::int64_t seconds = 0;
  for (const char* bad : {"2027-06-07 12:00:00Z", "2027-06-07T12:00:00", "2027-13-01T00:00:00Z", "2100-02-29T00:00:00Z",
                          "2027-06-07T24:00:00Z", "2027-6-07T12:00:00Z", ""})
    EXPECT_FALSE(ParseUtcTime(bad, seconds)) << bad;
}

INSTANTIATE_TEST_SUITE_P(Table, VendorListRules, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Base64, DecodesPaddedTextAndRefusesAnythingElse) {
  std::string bytes;
  for (const std::string& plain : std::vector<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xff\x10", 3)}) {
    EXPECT_TRUE(DecodeBase64(EncodeBase64(plain), bytes)) << plain;
    EXPECT_EQ(bytes, plain);
  }
  for (const char* bad : {"YQ", "Y===", "YQ=a", "YQ==YQ==", "Y Q=", "YQ\n=", "YR==", "YWJ="}) EXPECT_FALSE(DecodeBase64(bad, bytes)) << bad;
}
}  // namespace
