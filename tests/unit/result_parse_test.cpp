#include "net/result_parse.h"

#include <gtest/gtest.h>

#include "net/ad_model.h"
#include "net/empty_result.h"

namespace qvad {
namespace {

using nlohmann::json;

std::optional<std::int64_t> code(const char* body) { return envelopeCode(json::parse(body)); }

// Integers, fractions cut toward zero and booleans are codes; any other type, or a
// number outside 64 bits, is no code.
TEST(ReplyEnvelope, CodeIsReadFromNumbersAndBooleansOnly) {
  for (auto [body, expected] : std::vector<std::pair<const char*, std::optional<std::int64_t>>>{
           {R"({"code":0})", 0}, {R"({"code":-5})", -5}, {R"({"code":3.9})", 3}, {R"({"code":-3.9})", -3},
           {R"({"code":1e3})", 1000}, {R"({"code":true})", 1}, {R"({"code":false})", 0},
           {R"({"code":9223372036854775807})", INT64_MAX}, {R"({"code":-9223372036854775808})", INT64_MIN},
           {R"({"code":"0"})", std::nullopt}, {R"({"code":null})", std::nullopt}, {R"({"code":[0]})", std::nullopt},
           {R"({"code":{}})", std::nullopt}, {R"({"msg":"x"})", std::nullopt}, {R"({"code":1e300})", std::nullopt},
           {R"({"code":-1e19})", std::nullopt}, {R"({"code":18446744073709551615})", std::nullopt},
           {"[1,2]", std::nullopt}}) {
    EXPECT_EQ(code(body), expected) << body;
  }
}

TEST(ReplyEnvelope, MsgIsReadOnlyAsString) {
  EXPECT_EQ(envelopeMsg(json::parse(R"({"code":1,"msg":"nope"})")), "nope");
  for (const char* body : {R"({"code":1,"msg":5})", R"({"code":1,"msg":null})", R"({"code":1})", R"(["msg"])"}) {
    EXPECT_EQ(envelopeMsg(json::parse(body)), "") << body;
  }
}

TEST(ReplyBody, OnlyObjectsAndListsCountAsJSON) {
  EXPECT_TRUE(parseReplyBody(R"({"code":0})"));
  EXPECT_TRUE(parseReplyBody(" [1,2]\n"));
  EXPECT_TRUE(parseReplyBody("\xEF\xBB\xBF{}")) << "a byte order mark is allowed";
  for (const char* body : {"", "1", "\"x\"", "null", "true", "<html><body>hi</body></html>", "{", "{\"code\":0} x",
                           "{\"a\":\"\xFF\"}"}) {
    EXPECT_FALSE(parseReplyBody(body)) << body;
  }
}

TEST(ResultParse, WalksTheKeyPathAndNeedsAnObject) {
  const json reply = json::parse(R"({"code":0,"data":{"ad":{"image":"i"}},"list":[1]})");
  EXPECT_TRUE(ResultParse<EmptyResult>::parse(reply, {}).value);
  auto ad = ResultParse<AdModel>::parse(reply, {"data", "ad"});
  ASSERT_TRUE(ad.value);
  EXPECT_EQ(ad.value->imageUrl, "i");
  EXPECT_FALSE(ResultParse<EmptyResult>::parse(reply, {"missing"}).value);
  EXPECT_FALSE(ResultParse<EmptyResult>::parse(reply, {"list"}).value);
  EXPECT_FALSE(ResultParse<EmptyResult>::parse(reply, {"data", "ad", "image"}).value);
  // Stepping out of a non-object gives null, and the walk goes on from null.
  EXPECT_FALSE(ResultParse<EmptyResult>::parse(reply, {"list", "x"}).value);
  EXPECT_FALSE(ResultParse<EmptyResult>::parse(json::parse("[1,2]"), {}).value);
  EXPECT_FALSE(ResultParse<EmptyResult>::parse(reply, {}).error) << "the parser never raises NilError";
}

TEST(AdModelMapping, TakesOnlyStringsUnderTheReplyKeys) {
  auto ad = ResultParse<AdModel>::parse(
      json::parse(R"({"code":0,"msg":"","image":"a.gif","landing":"https://l","impl":7,"click":null,)"
                  R"("imageUrl":"ignored","reportImplUrl":"ignored"})"),
      {});
  ASSERT_TRUE(ad.value);
  EXPECT_EQ(ad.value->imageUrl, "a.gif");
  EXPECT_EQ(ad.value->landingUrl, "https://l");
  EXPECT_EQ(ad.value->reportImplUrl, std::nullopt);
  EXPECT_EQ(ad.value->reportClickUrl, std::nullopt);

  auto empty = ResultParse<AdModel>::parse(json::parse(R"({"code":0})"), {});
  ASSERT_TRUE(empty.value);
  EXPECT_FALSE(empty.value->imageUrl || empty.value->landingUrl || empty.value->reportImplUrl ||
               empty.value->reportClickUrl);
}

}  // namespace
}  // namespace qvad
