// The libcurl session: one multi handle driven by one worker thread, so connections
// (and TLS sessions) are reused across requests. The worker is started on the first
// task and joined when the session is destroyed, at the latest at process exit.
#include <curl/curl.h>
#include <openssl/ssl.h>

#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/http_session.h"
#include "platform/service_slot.h"
#include "qvad/configuration.h"

namespace qvad {
namespace {

struct Transfer {
  HttpRequest request;
  HttpCompletion completion;
  std::string caFile;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string body;
  bool tooLarge = false;
  char errbuf[CURL_ERROR_SIZE] = {};

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
  return n;
}

struct ErrorKind {
  long code;
  const char* text;
};

ErrorKind classify(CURLcode rc, long osErrno, bool tooLarge) {
  if (tooLarge || rc == CURLE_FILESIZE_EXCEEDED) return {URLError::dataLengthExceedsMaximum, "resource exceeds maximum size"};
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
  ErrorKind kind = classify(rc, osErrno, t.tooLarge);
  std::string detail = t.tooLarge ? "reply body over " + std::to_string(t.request.maxBodyBytes) + " bytes"
                       : t.errbuf[0] ? std::string(t.errbuf)
                                     : std::string(curl_easy_strerror(rc));
  PlatformError e;
  e.code = kind.code;
  e.domain = kURLErrorDomain;
  e.localizedDescription = kind.text;
  e.debugDescription = "Error Domain=" + e.domain + " Code=" + std::to_string(kind.code) + " \"" + kind.text +
                       "\" (curl " + std::to_string(static_cast<int>(rc)) + ": " + detail + ")";
  return e;
}

class CurlHttpSession final : public HttpSession {
 public:
  CurlHttpSession() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
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
      curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
  }

  void start(std::unique_ptr<Transfer> t) {
    CURL* e = curl_easy_init();
    if (!e) {
      complete(*t, CURLE_OUT_OF_MEMORY, 0);
      return;
    }
    t->easy = e;
    const HttpRequest& r = t->request;
    curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    const long timeoutMs = static_cast<long>(r.timeoutSeconds > 0 ? r.timeoutSeconds * 1000.0 : 30000.0);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    // Verification stays on whatever the configuration says; a CA file only adds trust.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!t->caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, t->caFile.c_str());
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.maxBodyBytes));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errbuf);
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
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
    HttpCompletion completion = std::move(t.completion);
    if (completion) completion(std::move(response));
  }

  std::mutex mu_;
  bool stopping_ = false;                           // guarded by mu_
  std::deque<std::unique_ptr<Transfer>> incoming_;  // guarded by mu_
  std::thread worker_;                              // started under mu_
  CURLM* multi_ = nullptr;
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
