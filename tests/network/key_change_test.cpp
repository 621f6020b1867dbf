// The signing key's change: a shop follows the chain from the key it trusts
// and only forward, a retired key signs nothing any more, every wrong chain
// is refused whole, and what a shop keeps in its folder is checked again
// from its pinned key.

#include "network/key_change.h"

#include <gtest/gtest.h>

#include "panels/panel_layout.h"
#include "platform/file_io.h"
#include "tests/support/temp_folder.h"

namespace quinterra {
namespace {

constexpr int64_t kNow = 1'700'000'000;

class KeyChangeTest : public ::testing::Test {
 protected:
  // Three keys in turn: k0 retired for k1 from version 5, k1 for k2 from 9.
  std::string Link(const TKeyPair& retired, const TKeyPair& next, int64_t from,
                   const std::string& network = "cadena") {
    return SignKeyChange({network, next.Public, from, kNow}, retired.Secret);
  }
  std::string Publication(const TKeyPair& key, int64_t version) {
    TPublication p;
    p.Network = "cadena";
    p.Version = version;
    p.Published = kNow;
    p.Expires = kNow + kDefaultLifetimeSeconds;
    p.Items.assign(kCellCount, "");
    p.Items[0] = "7";
    return SignPublication(p, key.Secret);
  }
  TKeyChainResult Follow(const std::string& message, const TKeyPair& from, int64_t version = 0) {
    return FollowKeyChain(message, {from.Public, version}, "cadena");
  }
  std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  }
  TKeyPair k0_ = NewKeyPair(), k1_ = NewKeyPair(), k2_ = NewKeyPair();
};

TEST_F(KeyChangeTest, AShopFollowsTheChainFromItsOwnKeyAndOnlyForward) {
  const std::string one = KeyChainMessage({Link(k0_, k1_, 5)});
  const std::string two = KeyChainMessage({Link(k0_, k1_, 5), Link(k1_, k2_, 9)});

  // Away during both changes: both are taken at once.
  TKeyChainResult result = Follow(two, k0_);
  EXPECT_EQ(result.Refusal, TKeyChainRefusal::None);
  EXPECT_EQ(result.Taken, 2);
  EXPECT_EQ(result.Trusted.Key, k2_.Public);
  EXPECT_EQ(result.Trusted.FromVersion, 9);
  // Took the first one already: only the second.
  result = Follow(two, k1_, 5);
  EXPECT_EQ(result.Taken, 1);
  EXPECT_EQ(result.Trusted.Key, k2_.Public);
  // Made after both (its bundle pins k2), or played the old chain again:
  // nothing moves, and nothing is refused.
  for (const std::string& message : {two, one}) {
    result = Follow(message, k2_, 9);
    EXPECT_EQ(result.Refusal, TKeyChainRefusal::None);
    EXPECT_EQ(result.Taken, 0);
    EXPECT_EQ(result.Trusted.Key, k2_.Public);
    EXPECT_EQ(result.Trusted.FromVersion, 9);
  }
}

TEST_F(KeyChangeTest, ARetiredKeySignsNothingWhateverTheVersionAndTheNewOneOnlyFromItsOwn) {
  const TTrustedKey trusted = Follow(KeyChainMessage({Link(k0_, k1_, 5)}), k0_).Trusted;
  EXPECT_EQ(ReadWithTrustedKey(Publication(k0_, 1000), trusted, "cadena", kNow).Refusal,
            TRefusal::UnknownKey);
  EXPECT_EQ(ReadWithTrustedKey(Publication(k1_, 4), trusted, "cadena", kNow).Refusal,
            TRefusal::OldVersion);
  const TReadResult read = ReadWithTrustedKey(Publication(k1_, 5), trusted, "cadena", kNow);
  EXPECT_EQ(read.Refusal, TRefusal::None);
  EXPECT_EQ(read.Publication->Version, 5);
}

TEST_F(KeyChangeTest, EveryWrongChainIsRefusedWholeAndTrustStaysWhereItWas) {
  const std::string good = Link(k0_, k1_, 5);
  const TKeyPair stranger = NewKeyPair();
  std::string forged_key = Replace(good, VerifyKeyText(k1_.Public), VerifyKeyText(stranger.Public));
  const struct {
    std::string message;
    TKeyChainRefusal refusal;
  } cases[] = {
      // The trusted key's name on a change it did not sign; after a good
      // link, the forged one that follows still spoils the whole message.
      {KeyChainMessage({forged_key}), TKeyChainRefusal::BadSignature},
      {KeyChainMessage({good, Replace(Link(k1_, k2_, 9), VerifyKeyText(k2_.Public),
                                      VerifyKeyText(stranger.Public))}),
       TKeyChainRefusal::BadSignature},
      {KeyChainMessage({Link(k0_, k1_, 5, "otra")}), TKeyChainRefusal::OtherNetwork},
      {std::string(kMaxKeyChainBytes + 1, ' '), TKeyChainRefusal::Oversized},
      // A key handed back to itself, or signing below what it already signs.
      {KeyChainMessage({Link(k0_, k0_, 5)}), TKeyChainRefusal::Malformed},
      {KeyChainMessage({good, Link(k1_, k2_, 4)}), TKeyChainRefusal::Malformed},
      {"{\"changes\":[" + good + "],\"more\":1}", TKeyChainRefusal::Malformed},
      {KeyChainMessage({Replace(good, "\\\"format\\\":1", "\\\"format\\\":2")}), TKeyChainRefusal::Malformed},
      {KeyChainMessage({Replace(good, "\"signature\":\"", "\"signature\":\"AAAA")}),
       TKeyChainRefusal::Malformed},
      {"not json", TKeyChainRefusal::Malformed},
  };
  for (const auto& c : cases) {
    const TKeyChainResult result = Follow(c.message, k0_, 2);
    EXPECT_EQ(result.Refusal, c.refusal) << c.message.substr(0, 200);
    EXPECT_EQ(result.Taken, 0);
    EXPECT_EQ(result.Trusted.Key, k0_.Public);
    EXPECT_EQ(result.Trusted.FromVersion, 2);
    EXPECT_NE(KeyChainRefusalText(result.Refusal)[0], '\0');
  }
}

TEST_F(KeyChangeTest, AKeptChainIsCheckedAgainFromThePinnedKey) {
  test::TempFolder folder;
  const std::string dir = folder.Path().string() + "/";
  std::string problem;
  EXPECT_EQ(LoadTrustedKey(k0_.Public, "cadena", dir, &problem).Key, k0_.Public) << "none kept";

  SaveKeyChain(dir, KeyChainMessage({Link(k0_, k1_, 5)}));
  TTrustedKey trusted = LoadTrustedKey(k0_.Public, "cadena", dir, &problem);
  EXPECT_EQ(trusted.Key, k1_.Public);
  EXPECT_EQ(trusted.FromVersion, 5);
  EXPECT_EQ(problem, "");

  // Someone who may write the shared folder writes a chain of their own: it
  // does not start at the pinned key, so it moves nothing.
  const TKeyPair stranger = NewKeyPair();
  SaveKeyChain(dir, KeyChainMessage({Link(stranger, k2_, 1)}));
  EXPECT_EQ(LoadTrustedKey(k0_.Public, "cadena", dir, &problem).Key, k0_.Public);
  // A spoiled file is said, and left aside.
  SaveKeyChain(dir, "{\"changes\":");
  trusted = LoadTrustedKey(k0_.Public, "cadena", dir, &problem);
  EXPECT_EQ(trusted.Key, k0_.Public);
  EXPECT_NE(problem.find(kKeyChainFile), std::string::npos) << problem;
}

}  // namespace
}  // namespace quinterra
