#include "net/utils.h"

#include <gtest/gtest.h>

#include "net/text_utils.h"
#include "platform/advertising_identifier.h"
#include "platform/defaults.h"
#include "platform/device.h"
#include "platform/main_queue.h"
#include "platform/reachability.h"
#include "platform/service_slot.h"
#include "qvad/configuration.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/fixed_services.h"
#include "support/temp_dir.h"

namespace qvad {
namespace {

class FixedReachability : public Reachability {
 public:
  explicit FixedReachability(std::optional<std::uint32_t> flags) : flags_(flags) {}
  bool getFlags(std::uint32_t* flags) override {
    if (!flags_) return false;
    *flags = *flags_;
    return true;
  }

 private:
  std::optional<std::uint32_t> flags_;
};

// Splits "base?k=v&k=v" into the base and its pairs, values still encoded.
std::pair<std::string, std::map<std::string, std::string>> splitURL(const std::string& url) {
  auto q = url.find('?');
  std::map<std::string, std::string> pairs;
  std::string rest = url.substr(q + 1);
  std::size_t start = 0;
  while (start <= rest.size()) {
    auto amp = rest.find('&', start);
    std::string item = rest.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
    auto eq = item.find('=');
    pairs[item.substr(0, eq)] = item.substr(eq + 1);
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return {url.substr(0, q), pairs};
}

class ScriptedReachability final : public ReachabilityFactory {
 public:
  std::function<std::unique_ptr<Reachability>(const sockaddr_in&)> make;
  std::unique_ptr<Reachability> create(const sockaddr_in& address) override {
    return make ? make(address) : std::make_unique<LinuxReachability>();
  }
};

class UtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    managerInternal::setCredentials(std::nullopt, std::nullopt);
    AdvertisingIdentifier::shared()->setLimitTracking(false);
    idfa = AdvertisingIdentifier::shared()->uuidString();
  }
  void TearDown() override {
    managerInternal::setCredentials(std::nullopt, std::nullopt);
    AdvertisingIdentifier::shared()->setLimitTracking(false);
    Device::overrideSystemVersion(std::nullopt);
  }
  // The probe made for the next check answers `flags` (nullopt: unreadable).
  void answerFlags(std::optional<std::uint32_t> flags) {
    reachability->make = [flags](const sockaddr_in&) { return std::make_unique<FixedReachability>(flags); };
  }
  std::string idfa;
  // Each test sets what the probe answers; unset, the Linux probe answers.
  std::shared_ptr<ScriptedReachability> reachability = std::make_shared<ScriptedReachability>();
  ScopedServiceOverride<ReachabilityFactory> reachabilityOverride{ReachabilityFactory::slot(), reachability};
};

TEST_F(UtilsTest, NonceAndTimestampFromInjectedServices) {
  {
    testing::FixedServices fixed(1704067200.5, 0);
    EXPECT_EQ(Utils::timestamp(), 1704067200500);  // 2024-01-01 00:00:00.5 UTC
    EXPECT_EQ(Utils::nonce(), "100000") << "never fewer than six digits";
  }
  {
    testing::FixedServices fixed(0, 0xFFFFFFFFu);
    EXPECT_EQ(Utils::nonce(), std::to_string(0xFFFFFFFFu % 900000 + 100000));
  }
  testing::FixedServices fixed(0, 899999);
  EXPECT_EQ(Utils::nonce(), "999999");
}

TEST_F(UtilsTest, SigningTextIsSortedWithSecretSlottedIn) {
  ParameterMap p = {{"timestamp", "1"}, {"nonce", "123456"}, {"deviceId", "D"}, {"appKey", "K"}, {"Zed", "z"}, {"a", "x"}};
  EXPECT_EQ(Utils::signingText(p, std::string("S")),
            "Zed=z,a=x,appKey=K,appSecret=S,deviceId=D,nonce=123456,timestamp=1")
      << "byte order: upper case first, a prefix sorts first";

  // A caller's appSecret entry is replaced by the manager's, or dropped when there is none.
  p["appSecret"] = "forged";
  EXPECT_EQ(Utils::signingText(p, std::string("S")),
            "Zed=z,a=x,appKey=K,appSecret=S,deviceId=D,nonce=123456,timestamp=1");
  EXPECT_EQ(Utils::signingText(p, std::nullopt), "Zed=z,a=x,appKey=K,deviceId=D,nonce=123456,timestamp=1");
  // An empty secret is present, not absent.
  EXPECT_EQ(Utils::signingText({{"b", "1"}}, std::string()), "appSecret=,b=1");
  EXPECT_EQ(Utils::signingText({{"b", "1"}}, std::string("s")), "appSecret=s,b=1");
  EXPECT_EQ(Utils::signingText({{"a", "1"}}, std::string("s")), "a=1,appSecret=s");
}

TEST_F(UtilsTest, AnEmptyManagerKeyIsStillSent) {
  managerInternal::setCredentials(std::string(), std::string("s"));
  EXPECT_EQ(Utils::getDefaultParams("123456", 42).at("appKey"), "");
}

TEST_F(UtilsTest, SignedURLEncodesValuesButSignsThemRaw) {
  testing::FixedServices fixed(1704067200.5, 23456);
  managerInternal::setCredentials(std::string("key"), std::string("secret"));
  SigningTrace trace;
  const std::string value = "a b&c=d+e\xC3\xA9/";
  std::string url = Utils::getURL("https://ads.example/api/ig/sdk/query", {{"q", value}, {"network", "wifi"}}, &trace);

  auto [base, pairs] = splitURL(url);
  EXPECT_EQ(base, "https://ads.example/api/ig/sdk/query");
  EXPECT_EQ(pairs.at("q"), "a%20b%26c%3Dd%2Be%C3%A9%2F");
  EXPECT_EQ(pairs.at("nonce"), "123456");
  EXPECT_EQ(pairs.at("timestamp"), "1704067200500");
  EXPECT_EQ(pairs.at("appKey"), "key");
  EXPECT_EQ(pairs.count("appSecret"), 0u) << "the secret never reaches the URL";
  EXPECT_EQ(url.find("secret"), std::string::npos);

  const std::string expectedText = "appKey=key,appSecret=secret,deviceId=" + idfa +
                                   ",network=wifi,nonce=123456,q=" + value + ",timestamp=1704067200500";
  EXPECT_EQ(trace.signedText, expectedText);
  EXPECT_EQ(pairs.at("signature"), sha1(expectedText));
  EXPECT_EQ(trace.signature, sha1(expectedText));
  EXPECT_EQ(Utils::getSignture(Utils::getDefaultParams("123456", 1704067200500)),
            sha1("appKey=key,appSecret=secret,deviceId=" + idfa + ",nonce=123456,timestamp=1704067200500"));
}

TEST_F(UtilsTest, CallerEntryReplacesDefaultInUrlAndSignature) {
  testing::FixedServices fixed(10, 0);
  SigningTrace trace;
  std::string url = Utils::getURL("https://h/p", {{"deviceId", "mine"}, {"appSecret", "leak"}}, &trace);
  auto pairs = splitURL(url).second;
  EXPECT_EQ(pairs.at("deviceId"), "mine");
  EXPECT_EQ(trace.signedText, "deviceId=mine,nonce=100000,timestamp=10000")
      << "no secret held: no appSecret pair at all, even when the caller passed one";
  EXPECT_EQ(pairs.at("appSecret"), "leak") << "a caller's own parameter is still sent as given";
}

TEST_F(UtilsTest, TheHostsTrackingChoiceReachesRequestsAndLastsInTheIdentifierFile) {
  testing::TempDir dir;  // a data directory of its own: only this test writes its file
  const std::string saved = QvConfiguration::dataDirectory();
  QvConfiguration::setDataDirectory(dir.path());
  const std::string path = dir.path() + "/advertising-identifier.json";
  const std::string id = AdvertisingIdentifier::shared()->uuidString();
  // The file is written in the background; a store of its own reads it as a later run would.
  auto fileRecords = [&](bool limited) {
    return HeadlessMainQueue::current()->runUntil(
        [&] { return AdvertisingIdentifier(path).isAdvertisingTrackingEnabled() == !limited; }, 10);
  };

  QvConfiguration::setLimitAdTracking(true);
  EXPECT_TRUE(QvConfiguration::limitAdTracking());
  EXPECT_EQ(Utils::getDefaultParams("1", 1).at("deviceId"), "") << "in effect before the file is written";
  EXPECT_EQ(managerInternal::getStartParams().at("idfa"), "");
  EXPECT_TRUE(fileRecords(true));
  EXPECT_EQ(AdvertisingIdentifier(path).uuidString(), id) << "limiting keeps the identifier for later";

  QvConfiguration::setLimitAdTracking(false);
  EXPECT_FALSE(QvConfiguration::limitAdTracking());
  EXPECT_EQ(Utils::getDefaultParams("1", 1).at("deviceId"), id);
  EXPECT_TRUE(fileRecords(false));
  QvConfiguration::setDataDirectory(saved);
}

TEST_F(UtilsTest, NetworkWordFromProbe) {
  answerFlags(0x40002);
  EXPECT_EQ(Utils::getCurrentNetwork(), "wwan");
  answerFlags(std::nullopt);
  EXPECT_EQ(Utils::getCurrentNetwork(), "not connect") << "flags unreadable";
  reachability->make = [](const sockaddr_in& a) {
    EXPECT_EQ(a.sin_family, AF_INET);
    EXPECT_EQ(a.sin_addr.s_addr, 0u);
    EXPECT_EQ(a.sin_port, 0u);
    return std::unique_ptr<Reachability>();
  };
  EXPECT_EQ(Utils::getCurrentNetwork(), "not connect") << "no probe";
}

TEST_F(UtilsTest, LanguageFromDefaults) {
  auto defaults = Defaults::standard();
  defaults->registerDefaults({{"AppleLanguages", {"de-DE", "en"}}});
  defaults->remove("AppleLanguages");
  EXPECT_EQ(Utils::getCurrentLanguage(), "de-DE") << "registration domain answers when nothing is stored";
  // Only a list of texts counts: a text alone or a mixed list does not.
  for (auto [stored, language] : std::vector<std::pair<nlohmann::json, std::string>>{
           {{"fr-FR"}, "fr-FR"}, {nlohmann::json::array(), ""}, {"en", ""}, {{1, "en"}, ""}}) {
    SCOPED_TRACE(stored.dump());
    defaults->set("AppleLanguages", stored);
    EXPECT_EQ(Utils::getCurrentLanguage(), language);
  }
  defaults->remove("AppleLanguages");
  defaults->registerDefaults({{"AppleLanguages", nullptr}});
  EXPECT_EQ(Utils::getCurrentLanguage(), "");
}

TEST_F(UtilsTest, StartParamsWithoutLocationFix) {
  Device::overrideSystemVersion("17.2.1");
  answerFlags(0x2);
  auto p = managerInternal::getStartParams();
  EXPECT_EQ(p.size(), 6u);
  EXPECT_EQ(p.at("longitude"), "0.0");
  EXPECT_EQ(p.at("latitude"), "0.0");
  EXPECT_EQ(p.at("os"), "ios_17.2.1");
  EXPECT_EQ(p.at("network"), "wifi");
  EXPECT_EQ(p.at("idfa"), idfa);
}

}  // namespace
}  // namespace qvad
