#include "web/web_container_options.h"

#include <gtest/gtest.h>

namespace qvad {
namespace {

TEST(WebContainerOptions, OnlyTheExactPrefixIsAContainerURL) {
  EXPECT_FALSE(parseContainerURL("tavro://webview"));
  EXPECT_FALSE(parseContainerURL("TAVRO://WEBVIEW?url=https://a.example"));
  EXPECT_FALSE(parseContainerURL("https://a.example/?url=x"));
  EXPECT_FALSE(parseContainerURL(" tavro://webview?url=x"));
  EXPECT_EQ(parseContainerURL("tavro://webview?"), WebContainerOptions{});
}

// Values are decoded twice with "+" read as a space, so a plus sign arrives only
// encoded twice; an encoded "&" stays inside its value.
TEST(WebContainerOptions, EveryOptionReadAsAnInteger) {
  auto o = parseContainerURL(
      "tavro://webview?url=https%3A%2F%2Fa.example%2Fp%3Fa%3D1%26b%3D2&page_fullscreen=1&page_titlebar=2"
      "&page_statusbar_light=%252B7&page_statebar=0&page_progressbar=-1");
  ASSERT_TRUE(o);
  EXPECT_EQ(o->url, "https://a.example/p?a=1&b=2");
  EXPECT_TRUE(o->fullscreen);
  EXPECT_TRUE(o->showTitleBar);
  EXPECT_TRUE(o->pageStatusBarLight);
  EXPECT_FALSE(o->showStatusBar);
  EXPECT_FALSE(o->showProgressBar);
}

TEST(WebContainerOptions, ValuesThatAreNotIntegersKeepDefaults) {
  for (const char* v : {"yes", "", "1.0", "true", "%201", "1%20", "0x1", "99999999999999999999", "-"}) {
    auto o = parseContainerURL(std::string("tavro://webview?url=https://a.example&page_fullscreen=") + v +
                               "&page_titlebar=" + v);
    ASSERT_TRUE(o) << v;
    EXPECT_FALSE(o->fullscreen) << v;
    EXPECT_TRUE(o->showTitleBar) << v;
  }
  auto negative = parseContainerURL("tavro://webview?url=https://a.example&page_fullscreen=-3");
  EXPECT_FALSE(negative->fullscreen);
}

TEST(WebContainerOptions, KeysAreCaseSensitiveAndWithoutUrlNothingIsRead) {
  auto noUrl = parseContainerURL("tavro://webview?page_titlebar=0&page_fullscreen=1");
  EXPECT_EQ(noUrl, WebContainerOptions{});
  auto upper = parseContainerURL("tavro://webview?URL=https://a.example&Page_Titlebar=0");
  EXPECT_EQ(upper, WebContainerOptions{});
  auto other = parseContainerURL("tavro://webview?url=https://a.example&page_titlebar_x=0");
  EXPECT_TRUE(other->showTitleBar);
}

TEST(WebContainerOptions, UrlValueThatIsNoURLTextIsQueryEncoded) {
  auto space = parseContainerURL("tavro://webview?url=https://a.example/a%20b");
  EXPECT_EQ(space->url, "https://a.example/a%20b");
  auto nonAscii = parseContainerURL("tavro://webview?url=https://a.example/%C3%A9");
  EXPECT_EQ(nonAscii->url, "https://a.example/%C3%A9");
  auto percent = parseContainerURL("tavro://webview?url=https://a.example/%2525zz");
  EXPECT_EQ(percent->url, "https://a.example/%25zz");
  // An empty value is no page at all, and an unreadable query reads as no options.
  EXPECT_EQ(parseContainerURL("tavro://webview?url=")->url, std::nullopt);
  EXPECT_EQ(parseContainerURL("tavro://webview?url=x y&page_fullscreen=1"), WebContainerOptions{});
}

TEST(WebContainerOptions, PageIntegerRange) {
  EXPECT_EQ(parsePageInteger("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parsePageInteger("-9223372036854775808"), INT64_MIN);
  EXPECT_FALSE(parsePageInteger("9223372036854775808"));
  EXPECT_FALSE(parsePageInteger("-9223372036854775809"));
  EXPECT_EQ(parsePageInteger("+0"), 0);
  EXPECT_EQ(parsePageInteger("007"), 7);
  EXPECT_FALSE(parsePageInteger("+"));
  EXPECT_FALSE(parsePageInteger("1 "));
}

}  // namespace
}  // namespace qvad
