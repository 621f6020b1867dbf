// The publication: what the office signs reads back whole, and every way a
// message can be wrong is refused with its own reason; the strict reader
// refuses what a lenient one would guess at; names stay safe.

#include <gtest/gtest.h>
#include <sodium.h>

#include "network/names.h"
#include "network/publication.h"
#include "network/strict_json.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

constexpr int64_t kNow = 1'700'000'000;

TPublication Sample() {
  TPublication p;
  p.Network = "cadena";
  p.Version = 3;
  p.Published = kNow;
  p.Expires = kNow + kDefaultLifetimeSeconds;
  p.Items.assign(kCellCount, "");
  p.Items[0] = "12";
  p.Items[kResultsCellCount] = "S\xC1" "BADO";  // an accent in Windows-1252
  return p;
}

class PublicationTest : public ::testing::Test {
 protected:
  TRefusal Read(const std::string& message, int64_t now = kNow) {
    return ReadPublication(message, keys_.Public, "cadena", now).Refusal;
  }
  std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  }
  TKeyPair keys_ = NewKeyPair();
};

TEST_F(PublicationTest, WhatTheOfficeSignsReadsBackWholeAndBuildsTheSameImages) {
  TPublication p = Sample();
  p.Jackpots = false;
  const TReadResult read = ReadPublication(SignPublication(p, keys_.Secret), keys_.Public, "cadena", kNow);
  ASSERT_EQ(read.Refusal, TRefusal::None);
  EXPECT_EQ(read.Publication->Items, p.Items);
  EXPECT_EQ(read.Publication->Version, 3);
  EXPECT_TRUE(read.Publication->Results);
  EXPECT_FALSE(read.Publication->Jackpots);
  EXPECT_EQ(PublicationImages(*read.Publication).results.size(), 320u);
  // Keys survive their files.
  EXPECT_EQ(SigningKeyFromText(" " + SigningKeyText(keys_.Secret) + "\n"), keys_.Secret);
  EXPECT_EQ(VerifyKeyFromText(VerifyKeyText(keys_.Public)), keys_.Public);
  EXPECT_FALSE(VerifyKeyFromText("AAAA"));
}

TEST_F(PublicationTest, EachWrongMessageIsRefusedForItsOwnReason) {
  const std::string good = SignPublication(Sample(), keys_.Secret);
  const TKeyPair other = NewKeyPair();
  TPublication wrong_network = Sample();
  wrong_network.Network = "otra";
  EXPECT_EQ(Read(good), TRefusal::None);
  EXPECT_EQ(Read(good + std::string(kMaxPublicationBytes, ' ')), TRefusal::Oversized);
  EXPECT_EQ(Read(good.substr(0, good.size() - 1)), TRefusal::Malformed);
  EXPECT_EQ(Read(good.substr(0, good.find(",\"signature\"")) + "}"), TRefusal::NoSignature);
  EXPECT_EQ(Read(Replace(good, "\"signature\":\"", "\"signature\":\"\",\"x\":\"")), TRefusal::Malformed);
  EXPECT_EQ(Read(SignPublication(Sample(), other.Secret)), TRefusal::UnknownKey);
  EXPECT_EQ(Read(Replace(good, "\"version\\\":3", "\"version\\\":4")), TRefusal::BadSignature);
  EXPECT_EQ(Read(Replace(good, "\"signature\":\"", "\"signature\":\"AAAA")), TRefusal::BadSignature);
  EXPECT_EQ(Read(SignPublication(wrong_network, keys_.Secret)), TRefusal::OtherNetwork);
  // Clocks may differ by 15 minutes either way, no more.
  EXPECT_EQ(Read(good, kNow - kClockToleranceSeconds), TRefusal::None);
  EXPECT_EQ(Read(good, kNow - kClockToleranceSeconds - 1), TRefusal::NotYetValid);
  const int64_t expiry = kNow + kDefaultLifetimeSeconds;
  EXPECT_EQ(Read(good, expiry + kClockToleranceSeconds), TRefusal::None);
  EXPECT_EQ(Read(good, expiry + kClockToleranceSeconds + 1), TRefusal::Expired);
}

TEST_F(PublicationTest, ASignedTextOfTheWrongShapeIsMalformedEvenWithAGoodSignature) {
  auto signed_text = [this](const std::string& text) {
    uint8_t signature[64];
    TKeyPair& k = keys_;
    crypto_sign_detached(signature, nullptr, reinterpret_cast<const uint8_t*>(text.data()),
                         text.size(), k.Secret.data());
    return "{\"document\":" + JsonQuote(text) + ",\"key\":\"" + VerifyKeyText(k.Public) +
           "\",\"signature\":\"" + Base64(signature, 64) + "\"}";
  };
  const std::string good = SignPublication(Sample(), keys_.Secret);
  const std::string text = ParseStrictJson(good, 1)->Member("document")->Text;
  EXPECT_EQ(Read(signed_text(text)), TRefusal::None);
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"\"format\":1", "\"format\":2"},
           {"\"version\":3", "\"version\":0"},
           {"\"version\":3", "\"version\":3.0"},
           {"\"version\":3", "\"version\":\"3\""},
           {"\"panels\":[\"results\",\"jackpots\"]", "\"panels\":[]"},
           {"\"panels\":[\"results\",\"jackpots\"]", "\"panels\":[\"results\",\"results\"]"},
           {"\"items\":[\"12\",", "\"items\":["},
           {"\"items\":[\"12\"", "\"items\":[\"1\\n2\""},
           {"\"items\":[\"12\"", "\"items\":[\"\\u4e2d\""},
           {"\"network\":\"cadena\"", "\"network\":\"cadena\",\"network\":\"cadena\""},
           {"\"network\":\"cadena\"", "\"network\":\"cadena\",\"extra\":1"},
       }) {
    EXPECT_EQ(Read(signed_text(Replace(text, from, to))), TRefusal::Malformed) << to;
  }
}

TEST(StrictJsonTest, RefusesWhatALenientReaderWouldGuessAt) {
  EXPECT_EQ(ParseStrictJson(" {\"a\" : [1, -2, \"\\u00e9\\ud83d\\ude00\"]} ")->Member("a")->Items[2].Text,
            "\xc3\xa9\xf0\x9f\x98\x80");
  for (const char* bad : {"", "{", "{}x", "{\"a\":1,}", "[1,]", "01", "1e3", "-", "true", "null",
                          "\"\x01\"", "\"\\x\"", "\"\\ud800\"", "\"\\udc00\"", "\"\xc0\xaf\"",
                          "\"\xed\xa0\x80\"", "\"\xf4\x90\x80\x80\"", "9007199254740992",
                          "{\"a\":1,\"a\":2}", "[[[[1]]]]"}) {
    EXPECT_FALSE(ParseStrictJson(bad)) << bad;
  }
  EXPECT_EQ(JsonQuote("a\"\\\n\x01"), "\"a\\\"\\\\\\u000a\\u0001\"");
}

TEST(NetworkNamesTest, OnlySafeNamesBecomeTopicsAndFolders) {
  for (const char* good : {"a", "tienda-01", "Cadena_Norte", "9"}) EXPECT_EQ(NameProblem(good), "") << good;
  for (const std::string& bad : std::vector<std::string>{"", "-a", "a/b", "a+b", "a#", "a b", "ñ", "..", std::string(65, 'a')})
    EXPECT_NE(NameProblem(bad), "") << bad;
  EXPECT_NE(ShopIdProblem("office"), "") << "the office's identity";
  EXPECT_EQ(StateTopic("c", "t1"), "quinterra/c/shops/t1/state");
  EXPECT_EQ(ShopOfTopic("c", "quinterra/c/shops/t1/online"), "t1");
  EXPECT_EQ(ShopOfTopic("c", "quinterra/c/shops/t1/other"), "");
  EXPECT_EQ(ShopOfTopic("c", "quinterra/d/shops/t1/state"), "");
}

}  // namespace
}  // namespace quinterra
