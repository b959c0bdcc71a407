// The published list's text, its manifest and its signature: what update relies on to refuse a
// list that is not the maker's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "reflist/address_list.h"
#include "reflist/ed25519_keys.h"
#include "reflist/release_manifest.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

using testing::TempDir;

struct ListRow {
  const char* name;
  std::string text;
  size_t badLine;  // 0: the text is a list
};
void PrintTo(const ListRow& row, std::ostream* out) {
  *out << row.name;
}

class ListTextTest : public ::testing::TestWithParam<ListRow> {};

TEST_P(ListTextTest, AcceptsOnlyWellFormedLists) {
  size_t badLine = 0;
  const auto addresses = ParseAddressListText(GetParam().text, &badLine);
  EXPECT_EQ(addresses.has_value(), GetParam().badLine == 0);
  if (!addresses) {
    EXPECT_EQ(badLine, GetParam().badLine);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListTextTest,
    ::testing::Values(
        ListRow{"empty", "", 0}, ListRow{"two", "a@b.example\nc@d.example\n", 0},
        ListRow{"no_final_line_break", "a@b.example\nc@d.example", 2},
        ListRow{"out_of_order", "c@d.example\na@b.example\n", 2},
        ListRow{"repeated", "a@b.example\na@b.example\n", 2},
        ListRow{"upper_case", "A@b.example\n", 1}, ListRow{"blank_line", "a@b.example\n\n", 2},
        ListRow{"comment", "#a@b.example\n", 1},
        ListRow{"invalid_address", "a@b.example\nnobody\n", 2},
        ListRow{"carriage_return", "a@b.example\r\n", 1},
        ListRow{"leading_blank", " a@b.example\n", 1},
        ListRow{"too_long", std::string(318, 'a') + "@b.c\n", 1},
        ListRow{"domains_first", "@b.example\n@c.example\na@b.example\n", 0},
        ListRow{"domain_without_dot", "@localhost\n", 1},
        ListRow{"domain_ending_in_dot", "@b.\n", 1}, ListRow{"domain_with_at", "@a@b.example\n", 1},
        ListRow{"domain_with_blank", "@b .example\n", 1}, ListRow{"bare_at", "@\n", 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct ManifestRow {
  const char* name;
  std::string json;
  bool valid;
};
void PrintTo(const ManifestRow& row, std::ostream* out) {
  *out << row.name;
}

class ManifestTest : public ::testing::TestWithParam<ManifestRow> {};

TEST_P(ManifestTest, AcceptsOnlyCompleteManifests) {
  EXPECT_EQ(ParseManifestJson(GetParam().json).has_value(), GetParam().valid);
}

const std::string kSha = std::string(64, 'a');
const std::string kSig = std::string(128, 'b');
std::string Json(const std::string& version, const std::string& count,
                 const std::string& sha = std::string(64, 'a'),
                 const std::string& sig = std::string(128, 'b')) {
  return "{\"version\":" + version + ",\"addresses\":" + count + ",\"sha256\":\"" + sha +
         "\",\"signature\":\"" + sig + "\"}";
}

INSTANTIATE_TEST_SUITE_P(
    Manifests, ManifestTest,
    ::testing::Values(ManifestRow{"complete", Json("42", "18204"), true},
                      ManifestRow{"version_zero", Json("0", "1"), false},
                      ManifestRow{"version_as_text", Json("\"42\"", "1"), false},
                      ManifestRow{"fractional_version", Json("4.5", "1"), false},
                      ManifestRow{"negative_count", Json("1", "-1"), false},
                      ManifestRow{"upper_case_digest", Json("1", "1", std::string(64, 'A')), false},
                      ManifestRow{"short_signature", Json("1", "1", kSha, kSig.substr(2)), false},
                      ManifestRow{"not_an_object", "[1,2]", false},
                      ManifestRow{"cut_short", Json("1", "1").substr(0, 30), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SignedBytesTest, AreTheVersionAndTheDigestOnLinesOfTheirOwn) {
  EXPECT_EQ(SignedBytes(42, "ab12"), "42\nab12\n");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(KeysTest, OnlyTheMatchingKeyAcceptsTheSignedBytesUnchanged) {
  TempDir maker;
  TempDir stranger;
  MakeKeyPair(maker.path());
  MakeKeyPair(stranger.path());
  const std::string message = SignedBytes(7, kSha);
  const std::string signature = SigningKey::Load(maker / "update.key").SignHex(message);
  const VerifyingKey makerKey = VerifyingKey::Load(maker / "update.pub");
  EXPECT_TRUE(makerKey.Verify(message, signature));
  EXPECT_FALSE(makerKey.Verify(SignedBytes(8, kSha), signature));
  std::string flipped = signature;
  flipped[0] = flipped[0] == '0' ? '1' : '0';
  EXPECT_FALSE(makerKey.Verify(message, flipped));
  EXPECT_FALSE(makerKey.Verify(message, "not hex"));
  EXPECT_FALSE(VerifyingKey::Load(stranger / "update.pub").Verify(message, signature));
}

TEST(KeysTest, TheKeyPairIsNeverOverwrittenAndThePrivateKeyIsPrivate) {
  TempDir folder;
  MakeKeyPair(folder.path());
  struct stat info {};
  ASSERT_EQ(::stat((folder / "update.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string before = SigningKey::Load(folder / "update.key").SignHex("x");
  EXPECT_THROW(MakeKeyPair(folder.path()), KeyError);
  EXPECT_EQ(SigningKey::Load(folder / "update.key").SignHex("x"), before);
}

TEST(KeysTest, AFileWithoutTheRightKeyIsRefused) {
  TempDir folder;
  MakeKeyPair(folder.path());
  EXPECT_THROW(SigningKey::Load(folder / "update.pub"), KeyError);
  EXPECT_THROW(VerifyingKey::Load(folder / "missing.pub"), KeyError);
  std::ofstream(folder / "garbage.pub") << "-----BEGIN PUBLIC KEY-----\nxx\n";
  EXPECT_THROW(VerifyingKey::Load(folder / "garbage.pub"), KeyError);
}

}  // namespace
}  // namespace tervane
