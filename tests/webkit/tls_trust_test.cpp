// HTTPS pages in the engine trust what the HTTP session trusts: the system's CAs plus the
// CA file the host configured (the sandbox's), and nothing else.
#include "engine_fixture.h"
#include "platform/http_session.h"
#include "qvad/configuration.h"
#include "support/sandbox_process.h"

namespace qvad::test {
namespace {

TEST_F(EngineTest, HttpsPagesLoadOnlyWhenTheConfiguredCAVouchesForThem) {
  qvad::testing::SandboxProcess sandbox(QVAD_SANDBOX_BIN);
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  auto view = makeView();
  auto delegate = std::make_shared<RecordingDelegate>();
  view->setNavigationDelegate(delegate);

  QvConfiguration::setCAFile("");
  NavigationId refused = view->load(sandbox.baseURL() + "/landing/badge");
  ASSERT_TRUE(runUntil([&] { return !delegate->errors.empty(); }));
  EXPECT_EQ(delegate->errors.back().code, URLError::serverCertificateUntrusted);
  EXPECT_FALSE(delegate->has("commit " + std::to_string(refused)));

  delegate->errors.clear();
  QvConfiguration::setCAFile(sandbox.caFile());
  NavigationId trusted = view->load(sandbox.baseURL() + "/landing/badge");
  EXPECT_TRUE(runUntil([&] { return delegate->has("finish " + std::to_string(trusted)); }));
  EXPECT_TRUE(delegate->errors.empty());
  EXPECT_EQ(view->url(), sandbox.baseURL() + "/landing/badge");
  QvConfiguration::setCAFile("");
}

}  // namespace
}  // namespace qvad::test
