// Full-screen ads against qvad-sandbox over HTTPS on loopback: a placement the server
// does not know. Loading and the whole course of the sandbox's pages run on the real
// engine (webkit/ad_container_engine_test.cpp).
#include <gtest/gtest.h>

#include "qvad/qv_interstitial_ad.h"
#include "sdk/qv_inter_active_ad_manager_internal.h"
#include "support/recording_ad_delegates.h"
#include "support/sandbox_suite.h"
#include "support/web_container_fixture.h"

// Pango (text measured for toasts and labels) keeps process-long font caches that the
// leak checker would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace qvad::testing {
namespace {

using Strings = std::vector<std::string>;
constexpr double kWait = 20;  // seconds of real time; a loaded CI machine is slow

class FullScreenAdsTest : public SandboxSuite<FullScreenAdsTest, WebContainerTest> {
 protected:
  void SetUp() override {
    WebContainerTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(useSandbox());
    managerInternal::setCredentials("demo-app", "demo-secret");
  }
  void TearDown() override {
    managerInternal::setCredentials(std::nullopt, std::nullopt);
    leaveSandbox();
    WebContainerTest::TearDown();
  }

  std::shared_ptr<Strings> calls = std::make_shared<Strings>();
};

TEST_F(FullScreenAdsTest, UnknownPlacementFailsWithTheServersCode) {
  auto delegate = recordingInterstitialDelegate(calls);
  auto ad = QvInterstitialAd::create();
  ad->setPlacementId("no-such-placement");
  ad->setDelegate(delegate);
  ad->loadAD();
  ASSERT_TRUE(queue().runUntil([&] { return !calls->empty(); }, kWait));
  EXPECT_EQ(*calls, Strings{"didFail 4040 no ad for this placement"});
}

}  // namespace
}  // namespace qvad::testing
