#include "engine/address_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace tervane {
namespace {

struct ExtractCase {
  const char* name;
  std::string header;
  std::string expected;
};

// Shows the case by name in test output.
void PrintTo(const ExtractCase& c, std::ostream* os) {
  *os << c.name;
}

std::string CaseName(const testing::TestParamInfo<ExtractCase>& info) {
  return info.param.name;
}

class SenderRuleTest : public testing::TestWithParam<ExtractCase> {};

TEST_P(SenderRuleTest, ExtractsAddress) {
  EXPECT_EQ(ExtractSenderAddress(GetParam().header), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SenderRuleTest,
    testing::Values(
        ExtractCase{"ReturnPathWins",
                    "Return-Path: <bounce@list.example>\r\nFrom: Ann <ann@a.example>\r\n",
                    "bounce@list.example"},
        ExtractCase{"ReturnPathWinsAfterFrom",
                    "From: Ann <ann@a.example>\nSubject: x\nReturn-Path: <rp@b.example>\n",
                    "rp@b.example"},
        ExtractCase{"EmptyReturnPathIgnoresFrom", "Return-Path: <>\nFrom: Ann <ann@a.example>\n",
                    ""},
        ExtractCase{"LowerCasePIsNotReturnPath",
                    "Return-path: <rp@b.example>\nFrom: Ann <ann@a.example>\n", "ann@a.example"},
        ExtractCase{"ReturnPathWithoutBlankUsesFrom",
                    "From: Ann <ann@a.example>\nReturn-Path:<rp@b.example>\n", "ann@a.example"},
        ExtractCase{"DisplayNameAndBrackets", "Subject: hi\nFrom: Ann Lee <ann@a.example>\n",
                    "ann@a.example"},
        ExtractCase{"FromIsLastLineWithoutLineEnd", "Subject: hi\nFrom: Ann <ann@a.example>",
                    "ann@a.example"},
        ExtractCase{"BareFromTakesLaterBrackets",
                    "From: ann@a.example\nMessage-ID: <123@mx.example>\n", "123@mx.example"},
        ExtractCase{"BareFromWithOnlyClosingBracket", "From: ann@a.example\nX: a>b\n",
                    "From: ann@a.example\nX: a"},
        ExtractCase{"BareFromWithoutBrackets", "From: ann@a.example\nSubject: x\n", ""},
        ExtractCase{"LowerCaseFromNotRecognised",
                    "X-Id: <first@x.example>\nfrom: Ann <ann@a.example>\n", "first@x.example"},
        ExtractCase{"UpperCaseFromNotRecognised",
                    "X-Id: <first@x.example>\nFROM: Ann <ann@a.example>\n", "first@x.example"},
        ExtractCase{"ResentFromComesFirst",
                    "Resent-From: <resent@r.example>\nFrom: Ann <ann@a.example>\n",
                    "resent@r.example"},
        ExtractCase{"BlanksInsideBracketsKept", "From: Ann < ann @a.example >\n",
                    " ann @a.example "},
        ExtractCase{"QuotedNameWithBracketsNotSkipped", "From: \"Ann <boss>\" <ann@a.example>\n",
                    "boss"},
        ExtractCase{"NameWithClosingBracketFirst", "From: Ann> <ann@a.example>\n", "ann@a.example"},
        ExtractCase{"EmptyHeader", "", ""},
        ExtractCase{"NoMarkersNoBrackets", "Subject: nothing here\n", ""},
        ExtractCase{"NulBytesAreOrdinary", std::string("From: A\0B <a@\0.example>\n", 24),
                    std::string("a@\0.example", 11)}),
    CaseName);

class RecipientRuleTest : public testing::TestWithParam<ExtractCase> {};

TEST_P(RecipientRuleTest, ExtractsAddress) {
  EXPECT_EQ(ExtractRecipientAddress(GetParam().header), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecipientRuleTest,
    testing::Values(
        ExtractCase{"ToLineInMiddle",
                    "From: Me <me@m.example>\nTo: Bob <bob@b.example>, Cy <cy@c.example>\n"
                    "Subject: x\n",
                    "bob@b.example"},
        ExtractCase{"ReplyToBeforeTo",
                    "From: <me@m.example>\nReply-To: <list@l.example>\nTo: <bob@b.example>\n",
                    "bob@b.example"},
        ExtractCase{"ReplyToLineIsNotATo", "X-Id: <x@x.example>\nReply-To: <list@l.example>\n",
                    "x@x.example"},
        ExtractCase{"ToAtVeryStartFallsBack", "To: <bob@b.example>\nCc: <cc@c.example>\n",
                    "bob@b.example"},
        ExtractCase{"ToAtStartTakesFirstBracketsOfWholeText",
                    "To: bob@b.example\nMessage-ID: <id@mx.example>\n", "id@mx.example"},
        ExtractCase{"BareToTakesLaterBrackets",
                    "Subject: x\nTo: bob@b.example\nMessage-ID: <id@mx.example>\n",
                    "id@mx.example"},
        ExtractCase{"BareToWithoutBrackets", "Subject: x\nTo: bob@b.example\n", ""},
        ExtractCase{"CrLfLineEnds", "Subject: x\r\nTo: Bob <bob@b.example>\r\n", "bob@b.example"},
        ExtractCase{"CcIsNotRead", "Subject: x\nCc: <cc@c.example>\n", "cc@c.example"},
        ExtractCase{"EmptyHeader", "", ""}),
    CaseName);

struct ValidityCase {
  const char* name;
  std::string text;
  bool valid;
};

// Shows the case by name in test output.
void PrintTo(const ValidityCase& c, std::ostream* os) {
  *os << c.name;
}

class ValidityRuleTest : public testing::TestWithParam<ValidityCase> {};

TEST_P(ValidityRuleTest, Decides) {
  EXPECT_EQ(IsValidEmail(GetParam().text), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidityRuleTest,
    testing::Values(ValidityCase{"Plain", "ann@a.example", true}, ValidityCase{"Empty", "", false},
                    ValidityCase{"NoAt", "ann.a.example", false},
                    ValidityCase{"AtFirst", "@a.example", false},
                    ValidityCase{"DotOnlyBeforeAt", "ann.lee@example", false},
                    ValidityCase{"DotRightAfterAt", "ann@.example", false},
                    ValidityCase{"DotIsLast", "ann@example.", false},
                    ValidityCase{"DoubleDotAfterFirst", "ann@a..", true},
                    ValidityCase{"TrailingDotAfterOthers", "ann@a.b.", true},
                    ValidityCase{"TwoAtsInARow", "ann@@a.example", true},
                    ValidityCase{"SecondAtInDomain", "ann@b@a.example", true},
                    ValidityCase{"Blanks", " ann lee @a .example ", true},
                    ValidityCase{"OnlyAtAndDot", "a@b.c", true},
                    ValidityCase{"NulByteBeforeAt", std::string("a\0@b.c", 6), true}),
    [](const testing::TestParamInfo<ValidityCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tervane
