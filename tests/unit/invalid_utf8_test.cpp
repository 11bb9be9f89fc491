// Bytes that are not UTF-8 (a locale, an argument, a host string) become text at the
// boundary, so the signed text and the URL always carry the same value.
#include <gtest/gtest.h>

#include "net/text_utils.h"
#include "net/utils.h"
#include "platform/defaults.h"
#include "platform/text_encoding.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/scoped_env.h"

namespace qvad {
namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(InvalidUTF8, EachMaximalIllFormedSubpartBecomesOneReplacementCharacter) {
  EXPECT_EQ(makeValidUTF8("plain Zo\xC3\xAB \xF0\x9F\x98\x80"), "plain Zo\xC3\xAB \xF0\x9F\x98\x80");
  EXPECT_EQ(makeValidUTF8("d\xFF" "e"), "d" + kFFFD + "e");
  EXPECT_EQ(makeValidUTF8("ab\xE2\x82"), "ab" + kFFFD) << "a truncated sequence is one subpart";
  EXPECT_EQ(makeValidUTF8("\xE2\x28\xA1"), kFFFD + "(" + kFFFD);
  EXPECT_EQ(makeValidUTF8("\xC0\xAF"), kFFFD + kFFFD) << "overlong";
  EXPECT_EQ(makeValidUTF8("\xED\xA0\x80"), kFFFD + kFFFD + kFFFD) << "surrogate";
  EXPECT_EQ(makeValidUTF8("\xF4\x90\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD) << "past U+10FFFF";
  EXPECT_EQ(makeValidUTF8(std::string("a\0b", 3)), std::string("a\0b", 3)) << "NUL is a character";
  for (const char* bytes : {"d\xFF" "e", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80"}) {
    EXPECT_TRUE(isValidUTF8(makeValidUTF8(bytes)));
    EXPECT_FALSE(isValidUTF8(bytes));
  }
}

TEST(InvalidUTF8, TheSignedTextAndTheURLCarryTheSameValue) {
  managerInternal::setCredentials(std::string("k\xFF"), std::string("s\xFE"));
  SigningTrace trace;
  const std::string url = Utils::getURL("https://ads.example/api/ig/sdk/init", {{"language", "d\xFF" "e-DE"}}, &trace);
  managerInternal::setCredentials(std::nullopt, std::nullopt);

  const auto params = parseParams(url);
  ASSERT_TRUE(params) << url;
  EXPECT_EQ(params->at("language"), "d" + kFFFD + "e-DE");
  EXPECT_NE(trace.signedText.find(",language=d" + kFFFD + "e-DE,"), std::string::npos) << trace.signedText;
  EXPECT_EQ(params->at("appKey"), "k" + kFFFD);
  EXPECT_NE(trace.signedText.find("appSecret=s" + kFFFD + ","), std::string::npos);
  EXPECT_TRUE(isValidUTF8(trace.signedText));
}

TEST(InvalidUTF8, ALocaleNameThatIsNotUTF8GivesAReadableLanguage) {
  testing::ScopedEnv env(testing::ScopedEnv::locale("d\xFF" "e_DE.UTF-8"));
  EXPECT_EQ(Defaults::preferredLanguagesFromEnvironment(), nlohmann::json::array({"d" + kFFFD + "e-DE"}));
}

}  // namespace
}  // namespace qvad
