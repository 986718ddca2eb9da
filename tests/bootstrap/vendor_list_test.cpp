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
      {"SizeNoNumber", SignList(std::string(kVendorListHeader) + "\nproduct TERBO\na.zip 1x2 " +
                                    std::string(64, 'a') + "\n", kKey), false},
      {"DigestTooShort", SignList(std::string(kVendorListHeader) + "\nproduct TERBO\na.zip 12 " +
                                      std::string(63, 'a') + "\n", kKey), false},
      {"SizeBeyondWhatTheGetterFetches", SignList(std::string(kVendorListHeader) + "\nproduct TERBO\na.zip 2147483648 " +
                                                     std::string(64, 'a') + "\n", kKey), false},
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
}

INSTANTIATE_TEST_SUITE_P(Table, VendorListRules, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Base64, DecodesPaddedTextAndRefusesAnythingElse) {
  std::string bytes;
  for (const std::string& plain : std::vector<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xff\x10", 3)}) {
    EXPECT_TRUE(DecodeBase64(EncodeBase64(plain), bytes)) << plain;
    EXPECT_EQ(bytes, plain);
  }
  for (const char* bad : {"YQ", "Y===", "YQ=a", "YQ==YQ==", "Y Q=", "YQ\n="}) EXPECT_FALSE(DecodeBase64(bad, bytes)) << bad;
}
}  // namespace
