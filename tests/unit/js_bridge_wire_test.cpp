// The bridge's wire format: page messages decoded by JSON type, routing to handlers,
// and the two reply scripts byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>

#include "platform/headless/scripted_web_view.h"
#include "platform/main_queue.h"
#include "web/js_message_model.h"
#include "web/wk_js_bridge.h"

namespace qvad {
namespace {

using nlohmann::json;

std::shared_ptr<JSMessageModel> decode(const std::string& text) { return JSMessageModel::decodeText(text); }

TEST(JSMessageModel, MembersAreReadByTheirJSONType) {
  auto m = decode(R"({"handle":"h","action":"a","callbackFunction":"f",
      "method":{"method":"toast","params":{"text":"hi"},"callback":"cb"},"extra":1})");
  ASSERT_TRUE(m && m->method);
  EXPECT_EQ(m->handle, "h");
  EXPECT_EQ(m->action, "a");
  EXPECT_EQ(m->callbackFunction, "f");
  EXPECT_EQ(m->method->method, "toast");
  EXPECT_EQ(m->method->params, (json{{"text", "hi"}}));
  EXPECT_EQ(m->replyTarget(), "cb");

  // Wrong types and null make a member absent; only callbackFunction keeps its default.
  m = decode(R"({"handle":null,"action":7,"callbackFunction":false,
      "method":{"method":1,"params":[1],"callback":null}})");
  ASSERT_TRUE(m && m->method);
  EXPECT_EQ(m->handle, std::nullopt);
  EXPECT_EQ(m->action, std::nullopt);
  EXPECT_EQ(m->callbackFunction, "window.callbackDispatcher");
  EXPECT_EQ(m->method->method, std::nullopt);
  EXPECT_EQ(m->method->params, std::nullopt);
  EXPECT_EQ(m->method->callback, std::nullopt);

  EXPECT_EQ(decode(R"({"method":"toast"})")->method, nullptr);
  EXPECT_EQ(decode(R"({"handle":{"x":1}})")->handle, std::nullopt);
}

TEST(JSMessageModel, ObjectsAndTextHoldingAnObjectDecodeAlike) {
  const json object = {{"action", "jsbridge"}, {"method", {{"method", "toast"}}}};
  auto fromObject = JSMessageModel::decode(object);
  auto fromText = JSMessageModel::decode(json(object.dump()));
  ASSERT_TRUE(fromObject && fromText);
  EXPECT_EQ(fromObject->action, fromText->action);
  EXPECT_EQ(fromObject->method->method, fromText->method->method);
  // An engine handing over a posted text as JSON text adds one level, read through;
  // a second level is not a message.
  const std::string once = json(object.dump()).dump();
  EXPECT_NE(JSMessageModel::decode(json(once)), nullptr);
  EXPECT_EQ(JSMessageModel::decode(json(json(once).dump())), nullptr);

  for (const json& bad : {json(5), json(nullptr), json::array({1}), json("not json"), json("[1,2]"), json("7"),
                          json("")}) {
    EXPECT_EQ(JSMessageModel::decode(bad), nullptr) << bad.dump();
  }
}

TEST(JSMessageModel, OversizedAndDeeplyNestedMessagesAreDropped) {
  std::string deep = R"({"method":{"params":{"a":)";
  for (int i = 0; i < 200; ++i) deep += "[";
  for (int i = 0; i < 200; ++i) deep += "]";
  deep += "}}}";
  EXPECT_EQ(decode(deep), nullptr);
  EXPECT_EQ(JSMessageModel::decode(json::parse(deep)), nullptr);
  // Brackets inside strings do not count.
  EXPECT_NE(decode(R"({"action":")" + std::string(500, '[') + R"("})"), nullptr);

  std::string big = R"({"action":")" + std::string(kMaxPageMessageBytes, 'x') + R"("})";
  EXPECT_EQ(decode(big), nullptr);
}

class BridgeWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    webView = std::make_shared<ScriptedWebView>(Rect{}, WebViewConfiguration{});
    bridge = WKJSBridge::bind(webView);
  }
  void TearDown() override { HeadlessMainQueue::current()->runUntilIdle(); }
  std::vector<std::string> scripts() const { return webView->evaluatedScriptTexts(); }

  std::shared_ptr<ScriptedWebView> webView;
  std::shared_ptr<WKJSBridge> bridge;
};

TEST_F(BridgeWireTest, MessagesRouteByGroupAndAction) {
  std::vector<std::string> seen;
  bridge->registerHandle("tavro", "a", [&](const auto&) { seen.push_back("a1"); });
  bridge->registerHandle("tavro", "a", [&](const auto&) { seen.push_back("a2"); });  // replaces
  bridge->registerHandle("tavro", "", [&](const auto&) { seen.push_back("empty"); });

  EXPECT_TRUE(bridge->receivePageMessage(R"({"action":"a"})"));                  // no handle: "tavro"
  EXPECT_TRUE(bridge->receivePageMessage(json{{"handle", "tavro"}, {"action", "a"}}));
  bridge->receivePageMessage(R"({"handle":"other","action":"a"})");             // no such group
  bridge->receivePageMessage(R"({"handle":null,"action":"a"})");                // no group name: nothing
  bridge->receivePageMessage(R"({"handle":3,"action":"a"})");
  bridge->receivePageMessage(R"({"action":"b"})");                              // no handler
  bridge->receivePageMessage(R"({})");                                          // absent action is ""
  EXPECT_FALSE(bridge->receivePageMessage("garbage"));
  EXPECT_EQ(seen, (std::vector<std::string>{"a2", "a2", "empty"}));
  EXPECT_TRUE(scripts().empty());
  EXPECT_EQ(bridge->jsModel()->handle, "tavro");  // the last decoded message is current
}

TEST_F(BridgeWireTest, ReplyFunctionIsInstalledOnlyForANamedCallback) {
  std::shared_ptr<JSMessageModel> got;
  bridge->registerHandle("tavro", "x", [&](const auto& m) { got = m; });

  bridge->receivePageMessage(R"({"action":"x","method":{"callback":""}})");
  ASSERT_TRUE(got);
  EXPECT_FALSE(got->callback());

  // Messages that find no handler still get one.
  bridge->receivePageMessage(R"({"action":"none","method":{"callback":"cb"}})");
  ASSERT_TRUE(bridge->jsModel()->callback());
  bridge->jsModel()->callback()(json{{"k", "it's"}});
  EXPECT_EQ(scripts(), (std::vector<std::string>{R"(cb('{\"k\":\"it\'s\"}'))"}));

  // The reply function does not keep its message alive.
  std::weak_ptr<JSMessageModel> weak = bridge->jsModel();
  bridge->setJsModel(std::make_shared<JSMessageModel>());
  EXPECT_TRUE(weak.expired());
}

TEST_F(BridgeWireTest, BuiltInHandlerActsOnTheNextTurnOfTheMainQueue) {
  bridge->jsbridge();
  bridge->receivePageMessage(R"({"action":"jsbridge","method":{"method":"nope","callback":"cb"}})");
  EXPECT_TRUE(scripts().empty());
  HeadlessMainQueue::current()->runUntilIdle();
  EXPECT_EQ(scripts(), (std::vector<std::string>{R"(cb('{"msg":"","params":"e30=","ret":10}'))"}));
}

TEST(BridgeReply, EnvelopeScriptsByteForByte) {
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("cb", 0, "", json::object()),
            R"(cb('{"msg":"","params":"e30=","ret":0}'))");
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("", std::nullopt, std::nullopt, json::object()), std::nullopt);
  // {"result":"1"} and {"clicked":-2}, padded two ways.
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("f", 0, "", {{"result", "1"}}),
            R"(f('{"msg":"","params":"eyJyZXN1bHQiOiIxIn0=","ret":0}'))");
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("f", 0, "", {{"clicked", -2}}),
            R"(f('{"msg":"","params":"eyJjbGlja2VkIjotMn0=","ret":0}'))");
  // Quotes and apostrophes travel inside the base64 text: {"t":"a'b\"c"}.
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("f", 1, "m", {{"t", "a'b\"c"}}),
            R"(f('{"msg":"m","params":"eyJ0IjoiYSdiXCJjIn0=","ret":1}'))");
  // Parameters that cannot be serialised send "params":"".
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("f", 0, "", {{"n", std::nan("")}}),
            R"(f('{"msg":"","params":"","ret":0}'))");
  // An envelope that cannot be serialised (text that is not UTF-8) is not sent.
  EXPECT_EQ(WKJSBridge::replyEnvelopeScript("f", 0, std::string("\xff"), json::object()), std::nullopt);
}

TEST(BridgeReply, TranscodingEscapesEightCharactersInOrderThenScriptEnds) {
  EXPECT_EQ(WKJSBridge::transcodingJavaScriptMessage(std::nullopt), std::nullopt);
  EXPECT_EQ(WKJSBridge::transcodingJavaScriptMessage("a'b\"c\\d\ne"), R"(a\'b\"c\\d\ne)");
  EXPECT_EQ(WKJSBridge::transcodingJavaScriptMessage("\r\f\u2028\u2029"), R"(\r\f\u2028\u2029)");
  // Backslashes first, so the added ones stay single; escapes from the serialiser double.
  EXPECT_EQ(WKJSBridge::transcodingJavaScriptMessage(R"(\")"), R"(\\\")");
  EXPECT_EQ(WKJSBridge::messageReplyScript("f", {{"s", "x\ny"}}), R"(f('{\"s\":\"x\\ny\"}'))");
  EXPECT_EQ(WKJSBridge::messageReplyScript("f", {{"s", "\u2028"}}), "f('{\\\"s\\\":\\\"\\u2028\\\"}')");
  EXPECT_EQ(WKJSBridge::messageReplyScript("f", {{"n", INFINITY}}), std::nullopt);
  // A reply script never closes the <script> element it may be placed in.
  EXPECT_EQ(WKJSBridge::transcodingJavaScriptMessage("</script></"), R"(<\/script><\/)");
  EXPECT_EQ(WKJSBridge::messageReplyScript("f", {{"s", "<</b>"}}), R"(f('{\"s\":\"<<\/b>\"}'))");
}

TEST_F(BridgeWireTest, RepliesNeedACallbackAndALiveWebView) {
  bridge->jsCallbackAction(std::nullopt, 0, "", json::object());
  bridge->injectMessageFunction("ignored", std::nullopt, json::object());
  EXPECT_TRUE(scripts().empty());

  bool completed = false;
  bridge->injectMessageFunction(std::nullopt, "f", json::object(), [&](auto, auto) { completed = true; });
  ASSERT_EQ(webView->evaluatedScripts().size(), 1u);
  EXPECT_EQ(scripts()[0], R"(f('{}'))");
  webView->completeScript(0, json(true));
  EXPECT_TRUE(completed);

  std::weak_ptr<ScriptedWebView> weakView = webView;
  webView.reset();
  EXPECT_TRUE(weakView.expired());
  bridge->jsCallbackAction("cb", 0, "", json::object());  // dropped, no crash
}

TEST_F(BridgeWireTest, MessageRepliesFromAnotherThreadArriveOnTheMainQueue) {
  std::thread worker([b = bridge] { b->injectMessageFunction(std::nullopt, "f", json{{"a", 1}}); });
  worker.join();
  EXPECT_TRUE(scripts().empty());
  HeadlessMainQueue::current()->runUntilIdle();
  EXPECT_EQ(scripts(), (std::vector<std::string>{R"(f('{\"a\":1}'))"}));
}

TEST(BridgeDeathTest, ProgrammingErrorsStopWithTheirMessages) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(WKJSBridge::bind(nullptr), "Fatal error: You should call init\\(webView: WKWebView\\)");
  auto webView = std::make_shared<ScriptedWebView>(Rect{}, WebViewConfiguration{});
  auto bridge = WKJSBridge::bind(webView);
  EXPECT_DEATH(bridge->registerHandle("other", "a", {}), "Fatal error: .*tavro");
}

}  // namespace
}  // namespace qvad
