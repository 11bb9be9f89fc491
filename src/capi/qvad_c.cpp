// The C interface over the host API. Every entry point catches what the C++ below may
// throw, writes one console line and returns a neutral value: no exception reaches C.
// Callbacks reach the host through a small shared link that the handle clears on
// release, so a reply or page event arriving later finds no one to call.
#include "qvad/qvad.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "capi/c_handles.h"
#include "net/utils.h"
#include "platform/fatal.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/toolkit/application.h"
#include "platform/toolkit/window.h"
#include "qvad/configuration.h"
#include "qvad/main_loop.h"
#include "qvad/qv_inter_active_ad_manager.h"
#include "qvad/qv_interstitial_ad.h"
#include "qvad/qv_reward_video_ad.h"

#ifndef QVAD_VERSION_STRING
#error "QVAD_VERSION_STRING comes from the project version in CMakeLists.txt"
#endif

namespace {

using namespace qvad;

void report(const char* call, const char* what) { logLine(std::string(call) + ": " + what); }

template <class R, class F>
R guarded(const char* call, R fallback, F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    report(call, e.what());
  } catch (...) {
    report(call, "unknown failure");
  }
  return fallback;
}

template <class F>
void guarded(const char* call, F&& body) noexcept {
  guarded(call, 0, [&] {
    body();
    return 0;
  });
}

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

qvad_error toC(const QvError& e) {
  qvad_error out;
  out.code = e.errorCode.value_or(0);
  out.description = e.errorDescription.value_or("");
  return out;
}

// What a callback of a handle needs: the host's table and user pointer, and the handle
// itself until it is released.
template <class Handle, class Callbacks>
struct Link {
  Callbacks callbacks{};
  void* user = nullptr;
  Handle* handle = nullptr;

  template <class Member, class... Args>
  void call(Member Callbacks::*member, Args... args) const {
    if (!handle) return;
    if (auto f = callbacks.*member) f(user, handle, args...);
  }
  template <class Member>
  void callWithError(Member Callbacks::*member, const std::optional<QvError>& error) const {
    if (!error) return call(member, static_cast<const qvad_error*>(nullptr));
    const qvad_error e = toC(*error);
    call(member, &e);
  }
};

// Where a full-screen ad opens: the host's controller, else the key window's top one.
std::shared_ptr<ViewController> presenterFor(const qvad_host* host) {
  if (host) return host->controller;
  auto window = Application::shared().keyWindow();
  return window ? Utils::topViewControllerWithRootViewController(window->rootViewController()) : nullptr;
}

}  // namespace

// A full-screen ad's handle; `Self` is the C type, which the callbacks are handed back.
template <class Self, class Ad, class Delegate, class Table>
struct AdHandle {
  using Callbacks = Table;
  std::shared_ptr<Ad> ad;
  std::shared_ptr<Delegate> delegate;  // the ad holds it weakly
  std::shared_ptr<Link<Self, Table>> link;
};

struct qvad_reward_ad : AdHandle<qvad_reward_ad, QvRewardVideoAd, QvRewardVideoAdDelegate, qvad_reward_callbacks> {};
struct qvad_interstitial_ad
    : AdHandle<qvad_interstitial_ad, QvInterstitialAd, QvInterstitialAdDelegate, qvad_interstitial_callbacks> {};

namespace {

// The four calls every full-screen ad has; `wire` sets the delegate's members to the link.
template <class Handle, class Wire>
Handle* createAd(const char* call, const char* placementId, const typename Handle::Callbacks* callbacks, void* user,
                 Wire wire) {
  return guarded(call, static_cast<Handle*>(nullptr), [&] {
    auto handle = std::make_unique<Handle>();
    handle->link = std::make_shared<typename decltype(handle->link)::element_type>();
    if (callbacks) handle->link->callbacks = *callbacks;
    handle->link->user = user;
    handle->delegate = std::make_shared<typename decltype(handle->delegate)::element_type>();
    wire(*handle->delegate, handle->link);
    handle->ad = decltype(handle->ad)::element_type::create();
    if (placementId) handle->ad->setPlacementId(std::string(placementId));
    handle->ad->setDelegate(handle->delegate);
    handle->link->handle = handle.get();
    return handle.release();
  });
}

template <class Handle>
void loadAd(const char* call, Handle* ad) {
  if (ad) guarded(call, [&] { ad->ad->loadAD(); });
}

template <class Handle>
void showAd(const char* call, Handle* ad, const qvad_host* host, int animated) {
  if (!ad) return;
  guarded(call, [&] {
    // The ad keeps itself and its delegate alive for the call, so a callback that
    // releases the handle in the middle of it is safe.
    auto keep = ad->ad;
    keep->showAd(presenterFor(host), animated != 0);
  });
}

template <class Handle>
void releaseAd(const char* call, Handle* ad) {
  if (!ad) return;
  guarded(call, [&] {
    ad->link->handle = nullptr;
    delete ad;
  });
}

}  // namespace

extern "C" {

const char* qvad_version(void) { return QVAD_VERSION_STRING; }

void qvad_set_api_base_url(const char* url) {
  guarded("qvad_set_api_base_url", [&] { QvConfiguration::setApiBaseURL(text(url)); });
}

void qvad_set_ca_file(const char* path) {
  guarded("qvad_set_ca_file", [&] { QvConfiguration::setCAFile(text(path)); });
}

void qvad_set_request_timeout(double seconds) {
  guarded("qvad_set_request_timeout", [&] { QvConfiguration::setRequestTimeout(seconds); });
}

void qvad_set_documents_directory(const char* path) {
  guarded("qvad_set_documents_directory", [&] { QvConfiguration::setDocumentsDirectory(text(path)); });
}

void qvad_set_data_directory(const char* path) {
  guarded("qvad_set_data_directory", [&] { QvConfiguration::setDataDirectory(text(path)); });
}

void qvad_set_limit_ad_tracking(int on) {
  guarded("qvad_set_limit_ad_tracking", [&] { QvConfiguration::setLimitAdTracking(on != 0); });
}

void qvad_set_log_sink(void (*sink)(void* user, const char* line), void* user) {
  guarded("qvad_set_log_sink", [&] {
    if (!sink) return QvConfiguration::setLogSink(nullptr);
    QvConfiguration::setLogSink([sink, user](std::string_view line) {
      const std::string terminated(line);  // the C side gets a NUL-terminated copy
      sink(user, terminated.c_str());
    });
  });
}

long long qvad_error_code(const qvad_error* error) { return error ? error->code : 0; }

const char* qvad_error_description(const qvad_error* error) { return error ? error->description.c_str() : ""; }

void qvad_start(const char* app_key, const char* app_secret, void (*complete)(void* user, const qvad_error* error),
                void* user) {
  guarded("qvad_start", [&] {
    QvStartCompletion done;
    if (complete) {
      done = [complete, user](std::optional<QvError> error) {
        if (!error) return complete(user, nullptr);
        const qvad_error e = toC(*error);
        complete(user, &e);
      };
    }
    QvInterActiveAdManager::shared().start(text(app_key), text(app_secret), std::move(done));
  });
}

int qvad_main_iterate(int may_block) {
  return guarded("qvad_main_iterate", 0, [&] {
    if (!may_block) return QvMainLoop::iterate() ? 1 : 0;
    MainQueue& queue = MainQueue::main();
    if (!queue.isMainThread()) fatalError("qvad_main_iterate called off the library's main thread");
    return queue.waitAndIterate() ? 1 : 0;
  });
}

void qvad_main_run(void) {
  guarded("qvad_main_run", [] { QvMainLoop::run(); });
}

void qvad_main_quit(void) {
  guarded("qvad_main_quit", [] { QvMainLoop::stop(); });
}

void qvad_show_floating_ad(qvad_host* host, double x, double y, const qvad_floating_callbacks* callbacks,
                           void* user) {
  guarded("qvad_show_floating_ad", [&] {
    struct Floating {
      qvad_floating_callbacks callbacks{};
      void* user = nullptr;
    };
    auto f = std::make_shared<Floating>();
    if (callbacks) f->callbacks = *callbacks;
    f->user = user;
    QvInterActiveAdManager::shared().showAd(
        1.0, QvPoint{x, y}, host ? host->view : nullptr,
        [f] {
          if (f->callbacks.shown) f->callbacks.shown(f->user);
        },
        [f] {
          if (f->callbacks.clicked) f->callbacks.clicked(f->user);
        },
        [f] {
          if (f->callbacks.closed) f->callbacks.closed(f->user);
        },
        [f](std::optional<QvError> error) {
          if (!f->callbacks.failed) return;
          const qvad_error e = error ? toC(*error) : qvad_error{};
          f->callbacks.failed(f->user, &e);
        });
  });
}

qvad_reward_ad* qvad_reward_ad_create(const char* placement_id, const qvad_reward_callbacks* callbacks,
                                      void* user) {
  using C = qvad_reward_callbacks;
  return createAd<qvad_reward_ad>("qvad_reward_ad_create", placement_id, callbacks, user, [](auto& d, auto link) {
    d.rewardedVideoAdDidLoad = [link](QvRewardVideoAd&) { link->call(&C::did_load); };
    d.rewardedVideoAdDidFailWithError = [link](QvRewardVideoAd&, const QvError& e) {
      link->callWithError(&C::did_fail, e);
    };
    d.rewardedVideoAdDeginShow = [link](QvRewardVideoAd&) { link->call(&C::begin_show); };
    d.rewardedVideoAdDidShow = [link](QvRewardVideoAd&, const std::optional<QvError>& e) {
      link->callWithError(&C::did_show, e);
    };
    d.rewardedVideoAdDidClick = [link](QvRewardVideoAd&) { link->call(&C::did_click); };
    d.rewardedVideoAdComplete = [link](QvRewardVideoAd&) { link->call(&C::complete); };
    d.rewardedVideoAdWillClose = [link](QvRewardVideoAd&) { link->call(&C::will_close); };
    d.rewardedVideoAdDidClose = [link](QvRewardVideoAd&) { link->call(&C::did_close); };
  });
}

void qvad_reward_ad_load(qvad_reward_ad* ad) { loadAd("qvad_reward_ad_load", ad); }

void qvad_reward_ad_show(qvad_reward_ad* ad, qvad_host* host, int animated) {
  showAd("qvad_reward_ad_show", ad, host, animated);
}

void qvad_reward_ad_release(qvad_reward_ad* ad) { releaseAd("qvad_reward_ad_release", ad); }

qvad_interstitial_ad* qvad_interstitial_ad_create(const char* placement_id,
                                                  const qvad_interstitial_callbacks* callbacks, void* user) {
  using C = qvad_interstitial_callbacks;
  return createAd<qvad_interstitial_ad>("qvad_interstitial_ad_create", placement_id, callbacks, user,
                                        [](auto& d, auto link) {
    d.interstitialAdDidLoad = [link](QvInterstitialAd&) { link->call(&C::did_load); };
    d.interstitialAdDidFailWithError = [link](QvInterstitialAd&, const QvError& e) {
      link->callWithError(&C::did_fail, e);
    };
    d.interstitialAdBeginShow = [link](QvInterstitialAd&) { link->call(&C::begin_show); };
    d.interstitialAdDidShow = [link](QvInterstitialAd&, const std::optional<QvError>& e) {
      link->callWithError(&C::did_show, e);
    };
    d.interstitialAdDidClick = [link](QvInterstitialAd&) { link->call(&C::did_click); };
    d.interstitialAdWillClose = [link](QvInterstitialAd&) { link->call(&C::will_close); };
    d.interstitialAdDidClose = [link](QvInterstitialAd&) { link->call(&C::did_close); };
  });
}

void qvad_interstitial_ad_load(qvad_interstitial_ad* ad) { loadAd("qvad_interstitial_ad_load", ad); }

void qvad_interstitial_ad_show(qvad_interstitial_ad* ad, qvad_host* host, int animated) {
  showAd("qvad_interstitial_ad_show", ad, host, animated);
}

void qvad_interstitial_ad_release(qvad_interstitial_ad* ad) { releaseAd("qvad_interstitial_ad_release", ad); }

}  // extern "C"
