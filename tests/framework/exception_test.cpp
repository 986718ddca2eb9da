#include <gtest/gtest.h>

#include "framework/Exception.h"
#include "tests/support/CaseName.h"

struct BoxCase {
  AnsiText message;
  AnsiText shown;
};

class ErrorBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(ErrorBox, AppendsFullStopOnlyAfterCharactersAboveDot) {
  EXPECT_EQ(ErrorBoxText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, ErrorBox,
    ::testing::Values(BoxCase{"File not found", "File not found."}, BoxCase{"Done!", "Done!"},
                      BoxCase{"Done.", "Done."}, BoxCase{"a-", "a-"}, BoxCase{"list,", "list,"},
                      BoxCase{"path/", "path/."}, BoxCase{"code 5", "code 5."}, BoxCase{"", ""},
                      // Bytes above 0x7F are characters above '.' too.
                      BoxCase{"\xe8", "\xe8."}),
    [](const auto& p) { return CaseName(p.index, p.param.message); });

TEST(InOutError, MessagesByCode) {
  EXPECT_EQ(EInOutError(2).Message(), "File not found");
  EXPECT_EQ(EInOutError(3).Message(), "Invalid filename");
  EXPECT_EQ(EInOutError(4).Message(), "Too many open files");
  EXPECT_EQ(EInOutError(5).Message(), "File access denied");
  EXPECT_EQ(EInOutError(267).Message(), "I/O error 267");
  EXPECT_EQ(EInOutError(267).ErrorCode(), 267);
}

TEST(FormatText, FillsLikePrintf) {
  EXPECT_EQ(FormatText("Value must be between %d and %d", 0, 100), "Value must be between 0 and 100");
  EXPECT_EQ(FormatText("%s", ""), "");
}
