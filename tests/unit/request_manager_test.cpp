#include "net/request_manager.h"

#include <gtest/gtest.h>

#include "net/ad_model.h"
#include "net/empty_result.h"
#include "platform/main_queue.h"
#include "qvad/configuration.h"
#include "support/fake_http_session.h"
#include "support/log_capture.h"

namespace qvad {
namespace {

using testing::LogCapture;
using testing::ScopedFakeSession;
using Kind = ReplyOutcome<EmptyResult>::Kind;

HttpResponse body(std::string b, long status = 200) { return HttpResponse{std::move(b), status, std::nullopt}; }

ReplyOutcome<EmptyResult> empty(HttpResponse r) { return readReply<EmptyResult>(r, {}); }

void expectFailure(const ReplyOutcome<EmptyResult>& o, std::int64_t code, const std::string& msg) {
  EXPECT_EQ(o.kind, Kind::failure);
  EXPECT_EQ(o.code, code);
  EXPECT_EQ(o.msg, msg);
}

TEST(ReplyOutcome, SilentWithoutBodyOrJSON) {
  LogCapture log;
  EXPECT_EQ(empty(HttpResponse{}).kind, Kind::none);
  for (const char* b : {"", "<html>oops</html>", "0", "\"text\"", "{\"code\":0"}) {
    EXPECT_EQ(empty(body(b)).kind, Kind::none) << b;
  }
  EXPECT_TRUE(log.lines().empty()) << "no reply line unless the body is JSON";
}

TEST(ReplyOutcome, TransportErrorCarriesCodeAndOptionalText) {
  PlatformError e;
  e.code = URLError::cannotConnectToHost;
  e.debugDescription = "Could not connect (curl 7)";
  HttpResponse r;
  r.error = e;
  r.body = R"({"code":0})";  // an error wins over whatever arrived
  expectFailure(empty(r), -1004, "Optional(Could not connect (curl 7))");
}

TEST(ConsoleLines, BodyIsPrintedAsASCIIOrAsAnEmptyLine) {
  EXPECT_EQ(asciiConsoleText(R"({"code":0})"), R"({"code":0})");
  EXPECT_EQ(asciiConsoleText("{\"msg\":\"caf\xC3\xA9\"}"), "");
  EXPECT_EQ(asciiConsoleText("{\"a\":\"\x1B[2J\"}\n"), "{\"a\":\"?[2J\"}\n");
}

class RequestManagerTest : public ::testing::Test {
 protected:
  void TearDown() override { HeadlessMainQueue::current()->runUntilIdle(); }
  ScopedFakeSession session;
  LogCapture log;
};

TEST_F(RequestManagerTest, PostsTheURLAndCallsBackOnTheMainQueueOnly) {
  QvConfiguration::setRequestTimeout(7);
  const std::string url = "https://127.0.0.1:1/api/ig/sdk/init?a=1&signature=abc";
  int successes = 0;
  bool onMain = false;
  RequestManager<EmptyResult>::request(
      url, std::nullopt, {},
      [&](EmptyResult) {
        ++successes;
        onMain = MainQueue::main().isMainThread();
      },
      [&](std::int64_t, std::string) { ADD_FAILURE() << "onFailed"; });
  QvConfiguration::setRequestTimeout(0);

  ASSERT_EQ(session->requests().size(), 1u);
  const HttpRequest sent = session->requests()[0];
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.url, url);
  EXPECT_FALSE(sent.body) << "no params, no body";
  EXPECT_EQ(sent.timeoutSeconds, 7);
  EXPECT_EQ(sent.maxBodyBytes, kMaxReplyBytes);

  session->replyBody(R"({"code":0,"msg":""})", 500);
  EXPECT_EQ(successes, 0) << "never called on the network thread";
  HeadlessMainQueue::current()->runUntilIdle();
  EXPECT_EQ(successes, 1);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{url, R"({"code":0,"msg":""})"}));
}

TEST_F(RequestManagerTest, ParamsTravelAsAJSONBody) {
  RequestManager<EmptyResult>::request("https://127.0.0.1:1/x", nlohmann::json{{"k", "v"}}, {}, nullptr, nullptr);
  ASSERT_EQ(session->requests().size(), 1u);
  EXPECT_EQ(session->requests()[0].body, R"({"k":"v"})");
  session->replyBody(R"({"code":0})");  // no callbacks given: nothing to call, nothing breaks
}

TEST_F(RequestManagerTest, UnparsableURLSendsNothingAndCallsNothing) {
  for (const char* url : {"", "not a url", "https://exa mple.com/", "https://x.com/?a=%zz", "/relative/path",
                          "https://caf\xC3\xA9.com/"}) {
    RequestManager<EmptyResult>::request(
        url, std::nullopt, {}, [](EmptyResult) { ADD_FAILURE(); }, [](std::int64_t, std::string) { ADD_FAILURE(); });
  }
  EXPECT_TRUE(session->requests().empty());
  EXPECT_EQ(log.lines().size(), 6u) << "the URL line is printed before the URL is checked";
}

TEST_F(RequestManagerTest, SilentReplyReleasesTheCallbacksWithoutCallingThem) {
  auto token = std::make_shared<int>(0);
  RequestManager<AdModel>::request(
      "https://127.0.0.1:1/x", std::nullopt, {}, [token](AdModel) { ADD_FAILURE(); },
      [token](std::int64_t, std::string) { ADD_FAILURE(); });
  EXPECT_GT(token.use_count(), 1);
  session->replyBody("<!doctype html><p>maintenance</p>");
  HeadlessMainQueue::current()->runUntilIdle();
  EXPECT_EQ(token.use_count(), 1);
}

TEST_F(RequestManagerTest, FailuresReachOnFailedWithCodeAndText) {
  std::vector<std::pair<std::int64_t, std::string>> failures;
  auto onFailed = [&](std::int64_t code, std::string msg) { failures.emplace_back(code, msg); };
  for (int i = 0; i < 3; ++i) {
    RequestManager<AdModel>::request("https://127.0.0.1:1/q", std::nullopt, {}, [](AdModel) { ADD_FAILURE(); },
                                     onFailed);
  }
  session->replyError(URLError::timedOut, "timed out");
  session->replyBody(R"({"code":4003,"msg":"bad signature"})");
  session->replyBody(R"(["code",0])");
  HeadlessMainQueue::current()->runUntilIdle();
  using F = std::pair<std::int64_t, std::string>;
  EXPECT_EQ(failures, (std::vector<F>{{-1001, "Optional(timed out)"}, {4003, "bad signature"}, {-1000, "connect_error"}}));
}

}  // namespace
}  // namespace qvad
