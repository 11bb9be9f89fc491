#include "net/text_utils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/log_capture.h"
#include "qvad/configuration.h"

namespace qvad {
namespace {

TEST(Digest, KnownVectorsIncludingEmptyAndNonAscii) {
  EXPECT_EQ(sha1(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(sha1("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(qv_md5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(qv_md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(qv_md5("\xE4\xBD\xA0\xE5\xA5\xBD"), "7eca689f0d3389d9dea66ae112e5cfd7");  // UTF-8 bytes
  // Embedded zero bytes count: the full length is digested.
  EXPECT_NE(sha1(std::string("a\0b", 3)), sha1("a"));
}

TEST(QvDoc, JoinsDocumentsDirectoryWithLastComponent) {
  const std::string docs = QvConfiguration::documentsDirectory();
  EXPECT_EQ(qv_doc("abc.gif"), docs + "/abc.gif");
  EXPECT_EQ(qv_doc("folder/sub/abc.gif"), docs + "/abc.gif");
}

TEST(ParseParams, DecodesValuesTwiceTurnsPlusIntoSpaceAndCopesWithOddItems) {
  auto p = parseParams("tavro://webview?a=1&b=x+y&c=%2541");
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->at("a"), "1");
  EXPECT_EQ(p->at("b"), "x y");
  EXPECT_EQ(p->at("c"), "A");
  EXPECT_EQ(p->size(), 3u);

  EXPECT_FALSE(parseParams("https://example.com/path").has_value());
  EXPECT_FALSE(parseParams("https://exa mple.com/?a=1").has_value()) << "a space is not a URL character";
  EXPECT_FALSE(parseParams("https://example.com/?a=%zz").has_value()) << "broken escape fails the parser";
  auto empty = parseParams("https://example.com/?");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());

  p = parseParams("https://example.com/?flag&a=1&a=2&bad=%25zz&url=https%253A%252F%252Fx.com%253Fq%253D1#frag");
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->at("flag"), "") << "an item without value is the empty text";
  EXPECT_EQ(p->at("a"), "2") << "a later item replaces an earlier one";
  EXPECT_EQ(p->at("bad"), "") << "second decoding fails on %zz";
  EXPECT_EQ(p->at("url"), "https://x.com?q=1");
  EXPECT_EQ(p->count("frag"), 0u);
}

TEST(JsonWriter, CompactOutputAndRefusals) {
  testing::LogCapture log;
  EXPECT_EQ(toJSONString({{"a", 1}, {"b", "x"}}), R"({"a":1,"b":"x"})");
  EXPECT_EQ(getJSONString(nlohmann::json::object()), "{}");

  // A value JSON cannot hold (a date object stands as binary data here) is refused with a line.
  nlohmann::json withBinary = {{"when", nlohmann::json::binary({1, 2, 3})}};
  EXPECT_FALSE(toJSONString(withBinary).has_value());
  EXPECT_TRUE(log.contains("JSONSerialization error"));
  EXPECT_FALSE(toJSONString({{"n", {{"x", std::numeric_limits<double>::quiet_NaN()}}}}).has_value());
  EXPECT_FALSE(toJSONString({{"n", std::numeric_limits<double>::infinity()}}).has_value());
  EXPECT_FALSE(toJSONString(nlohmann::json::array()).has_value()) << "only a map is written";

  // Text that is not UTF-8 passes the validity check but fails to write: empty text.
  nlohmann::json badText = {{"s", std::string("\xFF\xFE")}};
  EXPECT_EQ(toJSONString(badText), "");
  // The quiet variant prints nothing and answers nothing.
  auto before = log.lines().size();
  EXPECT_FALSE(getJSONString(withBinary).has_value());
  EXPECT_FALSE(getJSONString(badText).has_value());
  EXPECT_EQ(log.lines().size(), before);
}

TEST(ShortestDouble, PlatformStyle) {
  for (auto [v, text] : std::vector<std::pair<double, std::string>>{
           {0.0, "0.0"}, {-122.4194, "-122.4194"}, {180.0, "180.0"}, {1e-05, "1e-05"}, {-1.5e-07, "-1.5e-07"},
           {0.0001, "0.0001"}, {1e-100, "1e-100"}, {1e16, "1e+16"}, {1e15, "1000000000000000.0"},
           {9007199254740992.0, "9007199254740992.0"}}) {
    EXPECT_EQ(shortestDoubleText(v), text);
  }
  for (double v : {0.1, 1.0 / 3, -179.99999999999997, 5e-324, 1.7976931348623157e308}) {
    EXPECT_EQ(std::strtod(shortestDoubleText(v).c_str(), nullptr), v) << shortestDoubleText(v);
  }
}

}  // namespace
}  // namespace qvad
