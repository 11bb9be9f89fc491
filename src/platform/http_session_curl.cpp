// The libcurl session: one multi handle driven by one worker thread, so connections
// (and TLS sessions) are reused across requests. The worker is started on the first
// task and joined when the session is destroyed, at the latest at process exit.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/http_session.h"
#include "platform/service_slot.h"
#include "qvad/configuration.h"

namespace qvad {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct Transfer {
  HttpRequest request;
  HttpCompletion completion;
  std::string caFile;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string body;
  bool tooLarge = false;
  bool idleTimedOut = false;
  // The idle clock: restarted whenever a byte moves or the connection is made.
  SteadyClock::time_point lastActivity = SteadyClock::now();
  curl_off_t lastUp = 0, lastDown = 0;
  char errbuf[CURL_ERROR_SIZE] = {};

  SteadyClock::duration idleLimit() const {
    const double s = request.timeoutSeconds > 0 ? request.timeoutSeconds : 30.0;
    return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(s));
  }

  ~Transfer() {
    if (easy) curl_easy_cleanup(easy);
    if (headers) curl_slist_free_all(headers);
  }
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (t->body.size() + n > t->request.maxBodyBytes) {
    t->tooLarge = true;
    return 0;  // aborts the transfer with CURLE_WRITE_ERROR
  }
  t->body.append(data, n);
  t->lastActivity = SteadyClock::now();
  return n;
}

size_t noteHeader(char*, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->lastActivity = SteadyClock::now();
  return size * count;
}

int noteConnected(void* user, char*, char*, int, int) {
  static_cast<Transfer*>(user)->lastActivity = SteadyClock::now();
  return CURL_PREREQFUNC_OK;
}

int noteProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto* t = static_cast<Transfer*>(user);
  if (down != t->lastDown || up != t->lastUp) {
    t->lastDown = down;
    t->lastUp = up;
    t->lastActivity = SteadyClock::now();
  }
  return 0;
}

struct ErrorKind {
  long code;
  const char* text;
};

constexpr const char* kTooLargeText = "resource exceeds maximum size";

ErrorKind classify(CURLcode rc, long osErrno) {
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return {URLError::timedOut, "The request timed out."};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return {URLError::cannotFindHost, "A server with the specified hostname could not be found."};
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ENETUNREACH || osErrno == ENETDOWN)
        return {URLError::notConnectedToInternet, "The Internet connection appears to be offline."};
      return {URLError::cannotConnectToHost, "Could not connect to the server."};
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return {URLError::networkConnectionLost, "The network connection was lost."};
    case CURLE_PEER_FAILED_VERIFICATION:
      return {URLError::serverCertificateUntrusted, "The certificate for this server is invalid."};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ENGINE_INITFAILED:
      return {URLError::secureConnectionFailed, "A TLS error caused the secure connection to fail."};
    case CURLE_URL_MALFORMAT:
      return {URLError::badURL, "bad URL"};
    case CURLE_UNSUPPORTED_PROTOCOL:
      return {URLError::unsupportedURL, "unsupported URL"};
    case CURLE_ABORTED_BY_CALLBACK:
      return {URLError::cancelled, "cancelled"};
    default:
      return {URLError::unknown, "An unknown error occurred."};
  }
}

PlatformError makeError(CURLcode rc, long osErrno, const Transfer& t) {
  if (t.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) return bodyTooLargeError(t.request.maxBodyBytes);
  if (t.idleTimedOut) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", t.request.timeoutSeconds);
    return urlError(URLError::timedOut, "The request timed out.", std::string("no data moved for ") + limit + " s");
  }
  ErrorKind kind = classify(rc, osErrno);
  std::string detail = t.errbuf[0] ? std::string(t.errbuf) : std::string(curl_easy_strerror(rc));
  return urlError(kind.code, kind.text, "curl " + std::to_string(static_cast<int>(rc)) + ": " + detail);
}

class CurlHttpSession final : public HttpSession {
 public:
  CurlHttpSession() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    // Every transfer is a new easy handle; the multi handle keeps connections but not
    // TLS sessions. Shared here, a new connection to the ad platform resumes the last
    // session instead of a full handshake (curl matches sessions by host, port and TLS
    // settings, so a different CA file never reuses one). Only the worker thread
    // touches the handles, so the share needs no locks.
    share_ = curl_share_init();
    if (share_) curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }

  ~CurlHttpSession() override {
    {
      std::lock_guard lock(mu_);
      stopping_ = true;
    }
    if (worker_.joinable()) {
      curl_multi_wakeup(multi_);
      worker_.join();
    }
    // Tasks still queued or running at exit are dropped without a call: nobody waits
    // for them any more.
    for (auto& [easy, t] : active_) curl_multi_remove_handle(multi_, easy);
    active_.clear();
    incoming_.clear();
    curl_multi_cleanup(multi_);
    if (share_) curl_share_cleanup(share_);
    curl_global_cleanup();
  }

  void dataTask(HttpRequest request, HttpCompletion completion) override {
    auto t = std::make_unique<Transfer>();
    t->request = std::move(request);
    t->completion = std::move(completion);
    t->caFile = QvConfiguration::caFile();
    {
      std::lock_guard lock(mu_);
      if (stopping_) return;
      incoming_.push_back(std::move(t));
      if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
    }
    curl_multi_wakeup(multi_);
  }

 private:
  void run() {
    for (;;) {
      std::deque<std::unique_ptr<Transfer>> fresh;
      {
        std::lock_guard lock(mu_);
        if (stopping_) return;
        fresh.swap(incoming_);
      }
      for (auto& t : fresh) start(std::move(t));

      int running = 0;
      curl_multi_perform(multi_, &running);
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE) finish(msg->easy_handle, msg->data.result);
      }
      curl_multi_poll(multi_, nullptr, 0, expireIdleTransfers(), nullptr);
    }
  }

  // Fails the transfers on which nothing has moved for their time-out; returns how
  // long the worker may wait before the next one could expire (at most a second).
  int expireIdleTransfers() {
    const auto now = SteadyClock::now();
    auto wait = std::chrono::milliseconds(1000);
    std::vector<CURL*> expired;
    for (auto& [easy, t] : active_) {
      const auto deadline = t->lastActivity + t->idleLimit();
      if (deadline <= now) {
        expired.push_back(easy);
      } else {
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
      }
    }
    for (CURL* easy : expired) {
      active_.at(easy)->idleTimedOut = true;
      finish(easy, CURLE_OPERATION_TIMEDOUT);
    }
    return static_cast<int>(std::max<long long>(wait.count(), 1));
  }

  void start(std::unique_ptr<Transfer> t) {
    CURL* e = curl_easy_init();
    if (!e) {
      complete(*t, CURLE_OUT_OF_MEMORY, 0);
      return;
    }
    t->easy = e;
    const HttpRequest& r = t->request;
    if (HttpSession::isRefusedCleartext(r.url)) {
      // Refused before any name lookup or connection: nothing leaves the machine.
      deliver(*t, {std::nullopt, 0,
                   urlError(URLError::secureConnectionRequired,
                            "Cleartext HTTP to a host other than this machine is refused; use https.",
                            "refused " + r.url.substr(0, r.url.find('?')))});
      return;
    }
    curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // No limit on the whole exchange: the worker fails a transfer once it has been idle
    // for the time-out (expireIdleTransfers), and connecting gets the same time.
    const long timeoutMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(t->idleLimit()).count());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, std::max(timeoutMs, 1L));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, noteHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, noteConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, t.get());
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, noteProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    t->lastActivity = SteadyClock::now();
    // Verification stays on whatever the configuration says; a CA file only adds trust.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!t->caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, t->caFile.c_str());
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.maxBodyBytes));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errbuf);
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
    if (share_) curl_easy_setopt(e, CURLOPT_SHARE, share_);
    if (r.method == "POST") {
      curl_easy_setopt(e, CURLOPT_POST, 1L);
      const std::string& body = r.body ? *r.body : emptyBody_;
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.c_str());
      // No headers of our own: drop the form content type and the 100-continue dance.
      t->headers = curl_slist_append(t->headers, "Content-Type:");
      t->headers = curl_slist_append(t->headers, "Expect:");
      curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    } else {
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    if (curl_multi_add_handle(multi_, e) != CURLM_OK) {
      complete(*t, CURLE_FAILED_INIT, 0);
      return;
    }
    active_.emplace(e, std::move(t));
  }

  void finish(CURL* easy, CURLcode rc) {
    auto it = active_.find(easy);
    if (it == active_.end()) return;
    std::unique_ptr<Transfer> t = std::move(it->second);
    active_.erase(it);
    curl_multi_remove_handle(multi_, easy);
    long osErrno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
    complete(*t, rc, osErrno);
  }

  static void complete(Transfer& t, CURLcode rc, long osErrno) {
    HttpResponse response;
    if (t.easy) curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &response.statusCode);
    if (rc == CURLE_OK) {
      response.body = std::move(t.body);
    } else {
      response.error = makeError(rc, osErrno, t);
    }
    deliver(t, std::move(response));
  }

  static void deliver(Transfer& t, HttpResponse response) {
    HttpCompletion completion = std::move(t.completion);
    if (completion) completion(std::move(response));
  }

  std::mutex mu_;
  bool stopping_ = false;                           // guarded by mu_
  std::deque<std::unique_ptr<Transfer>> incoming_;  // guarded by mu_
  std::thread worker_;                              // started under mu_
  CURLM* multi_ = nullptr;
  CURLSH* share_ = nullptr;  // TLS sessions of the worker's transfers
  std::map<CURL*, std::unique_ptr<Transfer>> active_;  // worker thread only
  const std::string emptyBody_;
};

std::shared_ptr<HttpSession> makeCurlSession() { return std::make_shared<CurlHttpSession>(); }

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

ServiceSlot<HttpSession>& HttpSession::slot() {
  // OpenSSL tears itself down from an exit handler registered at its first use. Using
  // it before the slot exists puts that handler ahead, so it runs after the slot's
  // destructor, not before: the session must release its TLS state into a live OpenSSL.
  static const bool tlsReady = OPENSSL_init_ssl(0, nullptr) == 1;
  (void)tlsReady;
  // Destroyed at exit, joining the worker; the main queue its completions post to is
  // never destroyed, so the order of the two does not matter.
  static ServiceSlot<HttpSession> slot("HTTP session", makeCurlSession);
  return slot;
}

std::shared_ptr<HttpSession> HttpSession::shared() { return slot().get(); }

PlatformError urlError(long code, const std::string& text, const std::string& detail) {
  PlatformError e;
  e.code = code;
  e.domain = kURLErrorDomain;
  e.localizedDescription = text;
  e.debugDescription =
      "Error Domain=" + e.domain + " Code=" + std::to_string(code) + " \"" + text + "\" (" + detail + ")";
  return e;
}

PlatformError bodyTooLargeError(std::size_t maxBodyBytes) {
  return urlError(URLError::dataLengthExceedsMaximum, kTooLargeText,
                  "reply body over " + std::to_string(maxBodyBytes) + " bytes");
}

bool HttpSession::isRefusedCleartext(std::string_view url) {
  CURLU* u = curl_url();
  if (!u) return true;
  const std::string text(url);
  char* scheme = nullptr;
  char* host = nullptr;
  bool refused = false;
  // A URL curl cannot take apart is not sent anyway; only a readable http:// one is judged.
  if (curl_url_set(u, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && std::string_view(scheme) == "http") {
    refused = true;
    if (curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK && host) {
      std::string h = host;
      for (auto& c : h) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (h.size() > 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
      unsigned char addr[16];
      if (h == "localhost") {
        refused = false;  // resolved to loopback by curl itself, never looked up
      } else if (inet_pton(AF_INET, h.c_str(), addr) == 1) {
        refused = addr[0] != 127;
      } else if (inet_pton(AF_INET6, h.c_str(), addr) == 1) {
        static const unsigned char kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        static const unsigned char kMapped4[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        refused = !(std::equal(addr, addr + 16, kLoopback6) || (std::equal(addr, addr + 12, kMapped4) && addr[12] == 127));
      }
    }
  }
  curl_free(scheme);
  curl_free(host);
  curl_url_cleanup(u);
  return refused;
}

bool HttpSession::isValidURL(std::string_view url) {
  if (url.empty()) return false;
  for (std::size_t i = 0; i < url.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (c <= 0x20 || c >= 0x7F) return false;
    if (c == '%' && (i + 2 >= url.size() || !isHex(url[i + 1]) || !isHex(url[i + 2]))) return false;
  }
  CURLU* u = curl_url();
  if (!u) return false;
  const std::string text(url);
  bool ok = curl_url_set(u, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
  if (ok) {
    char* host = nullptr;
    ok = curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && host[0];
    curl_free(host);
  }
  curl_url_cleanup(u);
  return ok;
}

}  // namespace qvad
