#include "web/navigation_policy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvad {
namespace {

using Policy = NavigationActionPolicy;
using Effect = NavigationEffect;

struct OS {
  bool answer = true;
  std::vector<std::string> asked;
  OpenURLByOS opener() {
    return [this](const std::string& u) {
      asked.push_back(u);
      return answer;
    };
  }
};

NavigationDecision decide(const std::string& url, OS& os, bool link = false, bool newWindow = false) {
  return decideNavigation({url, link, newWindow}, os.opener());
}

// Decisions that ask no one, whatever the navigation: no URL and srcdoc load, container
// URLs nest a container, the close URL is a prefix.
TEST(NavigationPolicy, DecisionsTheContainerMakesItself) {
  const NavigationDecision allow{}, nest{Policy::cancel, Effect::container, std::nullopt},
      close{Policy::cancel, Effect::close, std::nullopt};
  const std::vector<std::pair<std::optional<std::string>, NavigationDecision>> cases = {
      {std::nullopt, allow},
      {"about:srcdoc", allow},
      {"tavro://webview?url=https%3A%2F%2Fa.example", nest},
      {"tavro://webview/close", close},
      {"tavro://webview/close?x=1", close},
      {"tavro://webview/closed/more", close}};
  OS os;
  for (const auto& [url, expected] : cases) {
    for (bool link : {false, true}) {
      EXPECT_EQ(decideNavigation({url, link, link}, os.opener()), expected) << url.value_or("(none)") << " " << link;
    }
  }
  EXPECT_TRUE(os.asked.empty());
}

TEST(NavigationPolicy, LinksInANewWindowGoToTheBrowserOrANestedContainer) {
  OS os;
  EXPECT_EQ(decide("https://a.example/x", os, true, true).effect, Effect::browser);
  EXPECT_EQ(decide("https://a.example/x", os, true, true).policy, Policy::cancel);
  EXPECT_EQ(decide("http://a.example/x", os, true, true).effect, Effect::browser);
  // Not a link, or the page did not ask: the page loads in place.
  EXPECT_EQ(decide("https://a.example/x", os, false, true), NavigationDecision{});
  EXPECT_EQ(decide("https://a.example/x", os, true, false), NavigationDecision{});
  // The browser's test is case-sensitive, so a capitalised scheme falls through to the OS.
  EXPECT_EQ(decide("HTTPS://a.example/x", os, true, true).effect, Effect::os);
  auto nested = decide("tavro://webview?url=https://a.example", os, true, true);
  EXPECT_EQ(nested.effect, Effect::container);
  EXPECT_EQ(nested.policy, Policy::cancel);
}

TEST(NavigationPolicy, StoreLinksWithAnIdOpenTheSheet) {
  OS os;
  for (const char* url :
       {"itms-apps://itunes.apple.com/app/id12345", "https://itunes.apple.com/cn/app/id12345?mt=8",
        "https://apps.apple.com/us/app/some-game/id12345", "itms-apps://apps.apple.com/app/id12345/"}) {
    auto d = decide(url, os, true);
    EXPECT_EQ(d, (NavigationDecision{Policy::cancel, Effect::store, 12345.0})) << url;
  }
  EXPECT_TRUE(os.asked.empty());
}

TEST(NavigationPolicy, StoreLinksWithoutAUsableIdFallThrough) {
  OS os;
  // "action" anywhere, a component without "id", one with "id" later ("grid5"), and
  // ids that would read as infinity or not-a-number.
  EXPECT_EQ(decide("https://apps.apple.com/app/id12345?action=write-review", os), NavigationDecision{});
  EXPECT_EQ(decide("https://apps.apple.com/app/grid5", os), NavigationDecision{});
  EXPECT_EQ(decide("https://apps.apple.com/app/name", os), NavigationDecision{});
  EXPECT_EQ(decide("https://apps.apple.com/app/idinf", os), NavigationDecision{});
  EXPECT_EQ(decide("https://apps.apple.com/app/idnan", os), NavigationDecision{});
  EXPECT_EQ(decide("https://apps.apple.com/app/id", os), NavigationDecision{});
  // The id comes from the URL's own path, not from a store address inside its query.
  EXPECT_EQ(decide("https://example.com/go?to=https://apps.apple.com/app/id12345", os), NavigationDecision{});
  EXPECT_TRUE(os.asked.empty());
  auto itms = decide("itms-apps://apps.apple.com/app/grid5", os);
  EXPECT_EQ(itms.effect, Effect::os);
  EXPECT_EQ(os.asked, std::vector<std::string>{"itms-apps://apps.apple.com/app/grid5"});
  // The markers are substrings of the whole text, not host checks; the sheet only
  // ever shows an item id, whatever the page's host.
  EXPECT_EQ(decide("https://apps.apple.com.other.example/id5", os).effect, Effect::store);
  EXPECT_EQ(decide("https://store.example/app/id5", os), NavigationDecision{});
}

TEST(NavigationPolicy, OtherSchemesGoToTheSystem) {
  OS os;
  EXPECT_EQ(decide("mailto:a@b.example", os).policy, Policy::cancel);
  os.answer = false;
  auto refused = decide("tel:123", os);
  EXPECT_EQ(refused, (NavigationDecision{Policy::allow, Effect::os, std::nullopt}));
  EXPECT_EQ(decide("tavro://webview/other", os).effect, Effect::os);
  EXPECT_EQ(os.asked, (std::vector<std::string>{"mailto:a@b.example", "tel:123", "tavro://webview/other"}));
  // Without anyone to ask, nothing was opened.
  EXPECT_EQ(decideNavigation({"tel:1", false, false}, nullptr).policy, Policy::allow);
}

TEST(NavigationPolicy, UrlPieces) {
  EXPECT_EQ(lastPathComponent("https://h.example/a/b%20c?q=/x#/y"), "b c");
  EXPECT_EQ(lastPathComponent("https://h.example"), "");
  EXPECT_EQ(lastPathComponent("https://h.example/"), "/");
  EXPECT_EQ(lastPathComponent("mailto:a@b"), "a@b");
}

}  // namespace
}  // namespace qvad
