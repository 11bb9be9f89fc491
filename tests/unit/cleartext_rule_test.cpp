// Which URLs the HTTP session refuses to send in cleartext.
#include <gtest/gtest.h>

#include "platform/http_session.h"

namespace qvad {
namespace {

TEST(CleartextRule, OnlyLoopbackMayBeReachedOverPlainHTTP) {
  for (const char* allowed : {"https://ads.example.com/api/ig/sdk/init", "https://192.0.2.1/x", "http://127.0.0.1:8080/a?b=c",
                              "http://127.9.8.7/", "http://[::1]:9/", "http://localhost/", "HTTP://LOCALHOST:1/",
                              "http://[::ffff:127.0.0.1]/", "not a url"}) {
    EXPECT_FALSE(HttpSession::isRefusedCleartext(allowed)) << allowed;
  }
  for (const char* refused : {"http://192.0.2.1/api/ig/sdk/init", "http://ads.example.com/", "HTTP://10.0.0.1:80/",
                              "http://[2001:db8::1]/", "http://128.0.0.1/", "http://127.0.0.1.example.com/",
                              "http://localhost.example.com/", "http://[::ffff:192.0.2.1]/", "http://0.0.0.0/"}) {
    EXPECT_TRUE(HttpSession::isRefusedCleartext(refused)) << refused;
  }
}

}  // namespace
}  // namespace qvad
