// Page origins and reply function names: what the bridge compares on a commit and what
// it accepts as a callback.
#include <gtest/gtest.h>

#include "web/page_origin.h"

namespace qvad {
namespace {

TEST(PageOrigin, SchemeHostAndPortWithDefaultsFilledIn) {
  EXPECT_EQ(pageOrigin("https://Ads.Test/page?x#y"), "https://ads.test:443");
  EXPECT_EQ(pageOrigin("HTTPS://ads.test:443"), "https://ads.test:443");
  EXPECT_EQ(pageOrigin("http://127.0.0.1:8080/p"), "http://127.0.0.1:8080");
  EXPECT_EQ(pageOrigin("http://127.0.0.1:080/p"), "http://127.0.0.1:80");
  EXPECT_EQ(pageOrigin("https://user:pw@ads.test/"), "https://ads.test:443");
  EXPECT_EQ(pageOrigin("https://evil.test\\@ads.test/"), "https://evil.test:443");
  EXPECT_EQ(pageOrigin("http://[::1]:9000/x"), "http://[::1]:9000");
  for (const char* opaque : {"", "about:blank", "data:text/html,hi", "javascript:alert(1)", "https://", "https://:80/",
                             "https://ads.test:8x/", "http://[::1/", "1http://a/", "//ads.test/"}) {
    EXPECT_EQ(pageOrigin(opaque), std::nullopt) << opaque;
  }
  EXPECT_FALSE(sameOrigin("about:blank", "about:blank"));
}

TEST(CallbackName, OnlyDottedScriptIdentifiers) {
  for (const char* good : {"cb", "window.cb", "$", "_", "a.b.c", "$pages._cb1", "A9"}) {
    EXPECT_TRUE(isCallbackName(good)) << good;
  }
  for (const char* bad : {"", ".", "a.", ".a", "a..b", "1cb", "a b", "cb()", "alert(1)//", "a;b", "a[0]", "a\nb",
                          "\xc3\xa9t\xc3\xa9", "cb'", "a.1b"}) {
    EXPECT_FALSE(isCallbackName(bad)) << bad;
  }
}

}  // namespace
}  // namespace qvad
