#include "engine/spam_report.h"

#include <gtest/gtest.h>

#include <string>

namespace tervane {
namespace {

TEST(ContentDigestTest, MatchesRfc1321Vectors) {
  EXPECT_EQ(ContentDigest(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(ContentDigest("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(ContentDigest("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(ContentDigest("12345678901234567890123456789012345678901234567890123456789012345678"
                          "901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(ContentDigestTest, CoversEveryByteIncludingNul) {
  EXPECT_NE(ContentDigest(std::string("a\0b", 3)), ContentDigest("a"));
  EXPECT_EQ(ContentDigest(std::string("a\0b", 3)).size(), 32u);
}

struct EncodeCase {
  const char* name;
  std::string address;
  std::string encoded;
};

// Shows the case by name in test output.
void PrintTo(const EncodeCase& c, std::ostream* os) {
  *os << c.name;
}

class EncodeQueryValueTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeQueryValueTest, Encodes) {
  EXPECT_EQ(EncodeQueryValue(GetParam().address), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeQueryValueTest,
    testing::Values(EncodeCase{"OrdinaryAddressUnchanged", "Ann.Lee-1_x~y@mail.example",
                               "Ann.Lee-1_x~y@mail.example"},
                    EncodeCase{"Ampersand", "a&spam=b@x.example", "a%26spam%3Db@x.example"},
                    EncodeCase{"Hash", "a#b@x.example", "a%23b@x.example"},
                    EncodeCase{"SpaceAndPlus", "a b+c@x.example", "a%20b%2Bc@x.example"},
                    EncodeCase{"PercentAndQuote", "100%'@x.example", "100%25%27@x.example"},
                    EncodeCase{"NonAsciiBytes", "j\xC3\xBC@x.example", "j%C3%BC@x.example"},
                    EncodeCase{"ControlBytes", std::string("a\0\n", 3), "a%00%0A"},
                    EncodeCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<EncodeCase>& info) { return info.param.name; });

TEST(SpamReportAddressTest, AssemblesHostPathSenderAndDigest) {
  EXPECT_EQ(SpamReportAddress("www.tervane.example", "spammer@bad.example", "Buy now"),
            "http://www.tervane.example/reportspam.php?spam=spammer@bad.example&content=" +
                ContentDigest("Buy now"));
}

TEST(SpamReportAddressTest, EmptySenderAndContent) {
  EXPECT_EQ(SpamReportAddress("127.0.0.1:8080", "", ""),
            "http://127.0.0.1:8080/reportspam.php?spam=&content=D41D8CD98F00B204E9800998ECF8427E");
}

}  // namespace
}  // namespace tervane
