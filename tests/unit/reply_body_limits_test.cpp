// Reply bodies are read over their full length and their nesting is bounded.
#include <gtest/gtest.h>

#include "net/empty_result.h"
#include "net/request_manager.h"
#include "net/result_parse.h"
#include "support/log_capture.h"

namespace qvad {
namespace {

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(ReplyBodyLimits, ANulByteAnywhereMeansNotJSON) {
  testing::LogCapture console;  // the body line is not under test
  const std::string withGarbage("{\"code\":0}\0garbage", 18);
  EXPECT_FALSE(parseReplyBody(withGarbage));
  EXPECT_FALSE(parseReplyBody(std::string("{\"code\":0}\0", 11)));
  EXPECT_FALSE(parseReplyBody(std::string("{\"code\":\0 0}", 12)));
  auto outcome = readReply<EmptyResult>(HttpResponse{withGarbage, 200, std::nullopt}, {});
  EXPECT_EQ(outcome.kind, ReplyOutcome<EmptyResult>::Kind::none) << "not a success";
  EXPECT_TRUE(parseReplyBody("{\"code\":0}  \n")) << "trailing white space is still JSON";
}

TEST(ReplyBodyLimits, NestingPastTheLimitIsNotJSON) {
  EXPECT_TRUE(parseReplyBody(nested(kMaxReplyNesting)));
  EXPECT_FALSE(parseReplyBody(nested(kMaxReplyNesting + 1)));
  // Objects and lists count alike.
  std::string mixed;
  for (std::size_t i = 0; i < kMaxReplyNesting; ++i) mixed += i % 2 ? "[" : "{\"a\":";
  mixed += "1";
  for (std::size_t i = kMaxReplyNesting; i-- > 0;) mixed += i % 2 ? "]" : "}";
  EXPECT_TRUE(parseReplyBody(mixed));
  EXPECT_FALSE(parseReplyBody("[" + mixed + "]"));
  // A full reply of unclosed brackets is refused at the limit, not built first.
  EXPECT_FALSE(parseReplyBody(std::string(kMaxReplyBytes, '[')));
  // The envelope still reads when a payload sits deep but within the limit.
  auto ok = parseReplyBody("{\"code\":0,\"p\":" + nested(kMaxReplyNesting - 1) + "}");
  ASSERT_TRUE(ok);
  EXPECT_EQ(envelopeCode(*ok), 0);
}

}  // namespace
}  // namespace qvad
