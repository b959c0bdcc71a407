// Feeds random and pathological bytes to the pure rules: each must return without crashing
// (the sanitizer build turns any bad read into a failure) and keep its basic promises.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/address_rules.h"
#include "engine/internet_date.h"
#include "engine/spam_report.h"

namespace tervane {
namespace {

// Random text drawn mostly from the characters the rules look for, so that markers appear.
std::string RandomHeader(std::mt19937* random, std::size_t length) {
  static const std::string kPieces[] = {"Return-Path: <",
                                        "From: ",
                                        "\nTo: ",
                                        "<",
                                        ">",
                                        "@",
                                        ".",
                                        " ",
                                        "-",
                                        ":",
                                        "Mon",
                                        "Mar",
                                        "\r\n",
                                        std::string(1, '\0'),
                                        "\xFF",
                                        "a",
                                        "15",
                                        "2004"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text;
  while (text.size() < length) {
    if (byte(*random) < 32) {
      text.push_back(static_cast<char>(byte(*random)));
    } else {
      text += kPieces[pick(*random)];
    }
  }
  return text;
}

TEST(RulesFuzzTest, RandomInputNeverBreaksTheRules) {
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::size_t> length(0, 200);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = RandomHeader(&random, length(random));
    const std::string sender = ExtractSenderAddress(text);
    const std::string recipient = ExtractRecipientAddress(text);
    EXPECT_EQ(sender.find('>'), std::string::npos);
    EXPECT_EQ(recipient.find('>'), std::string::npos);
    EXPECT_LE(sender.size(), text.size());
    IsValidEmail(text);
    const TDateTime date = ParseInternetDate(text);
    EXPECT_TRUE(date == kZeroDate || (date > -693594 && date < 2958466));
    EXPECT_EQ(ContentDigest(text).size(), 32u);
  }
}

TEST(RulesFuzzTest, TenMegabyteHeaderIsHandled) {
  std::string text(10 * 1024 * 1024, 'x');
  text += "\nTo: <bob@b.example>";
  EXPECT_EQ(ExtractSenderAddress(text), "bob@b.example");
  EXPECT_EQ(ExtractRecipientAddress(text), "bob@b.example");
  EXPECT_TRUE(IsValidEmail(text));  // "@" then "b.example>"
  EXPECT_EQ(ParseInternetDate(text), kZeroDate);
}

}  // namespace
}  // namespace tervane
