// The web view on WebKitGTK 4.1: the engine's widget behind the WebView interface.
//
// Threads: main thread only; the main thread is the one running GTK's (the default GLib)
// main context. Engine signals, script results and policy questions arrive there and are
// handed on synchronously; decision and panel handlers may be answered later, and each
// answers the engine once (later calls are ignored).
//
// Ownership: the object owns its GtkWidget (the engine's view) and one engine content
// manager of its own. Policy and panel handlers do not keep the web view alive; a policy
// handler dropped without an answer cancels its navigation, a panel's dismisses the
// panel. Scripts still running when the web view goes away complete with an error.
//
// What the engine does not tell: which frame started or is targeted by a navigation
// (every action but a new-window one reports the main frame) and the window features of
// a window.open() call (reported unspecified).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/web_view.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkFixed GtkFixed;
typedef struct _GError GError;
typedef struct _WebKitWebView WebKitWebView;

namespace qvad {

class GtkWebView final : public WebView {
 public:
  /// Makes the engine widget; GTK must be initialised on this thread first.
  GtkWebView(Rect frame, WebViewConfiguration configuration);
  ~GtkWebView() override;

  NavigationId load(const WebRequest& request) override;
  using WebView::load;
  NavigationId loadHTMLString(const std::string& html, const std::string& baseURL) override;
  NavigationId reload() override;
  void stopLoading() override;
  NavigationId goBack() override;
  NavigationId goForward() override;
  bool canGoBack() const override;
  bool canGoForward() const override;
  std::optional<std::string> url() const override;
  std::optional<std::string> title() const override;
  double estimatedProgress() const override;
  bool isLoading() const override;
  void evaluateJavaScript(const std::string& script, ScriptCompletionHandler completionHandler = {}) override;
  void setShowsHorizontalScrollIndicator(bool shows) override;

  /// The engine's widget, owned by this object; place it with placeNativeWidget().
  GtkWidget* widget() const;

  /// Puts the widget into `layer` (a GtkFixed covering the window's content) at the
  /// view's frame in window coordinates, and shows it only while the view is on screen:
  /// in a window, with no hidden view on its way up. Call again whenever the tree may
  /// have changed (the window does so before each frame); cheap when nothing did.
  void placeNativeWidget(GtkFixed* layer);

  const char* className() const override { return "GtkWebView"; }

  struct Signals;  // the engine's signal handlers, in the .cpp

 private:
  friend struct Signals;

  NavigationId beginNavigation();
  NavigationId engineStep(bool possible, void (*step)(::WebKitWebView*));
  void syncScriptMessageHandlers();
  void armTimeout(double seconds);
  void disarmTimeout();

  ::WebKitWebView* view_ = nullptr;
  void* contentManager_ = nullptr;  // WebKitUserContentManager*, one per web view
  void* cancellable_ = nullptr;     // GCancellable* of the scripts still running
  std::set<std::string> engineHandlerNames_;
  NavigationId nextNavigation_ = 1;
  NavigationId pendingNavigation_ = 0;  // handed out by a load call, not started yet
  NavigationId currentNavigation_ = 0;
  bool committed_ = false;
  bool failureReported_ = false;  // the engine sends "finished" after a failure too
  bool timedOut_ = false;
  bool tlsFailure_ = false;
  // Hosts whose certificate was checked against the configured CA file once already:
  // a second refusal is reported, never retried.
  std::set<std::string> caCheckedHosts_;
  unsigned timeoutSource_ = 0;
  bool lastCanGoBack_ = false;
  GtkFixed* layer_ = nullptr;
  struct Placement {
    int x = 0, y = 0, width = -1, height = -1;
    bool visible = false;
  } placed_;
};

/// The error a failed load reports, from the engine's error domain and code: cancelled
/// -999, cannot show the URL 101, offline -1009, timed out -1001 and the other codes of
/// our URL-loading table. `timedOut` marks a load we stopped at its request's time-out;
/// `tlsFailure` one whose certificate the engine refused.
PlatformError webKitLoadError(const GError* error, bool timedOut = false, bool tlsFailure = false);

/// Makes a web view on the engine. Main thread only, GTK initialised. The first one ties
/// the shared URL cache settings (URLCache) to the engine's cache.
std::shared_ptr<WebView> makeGtkWebView(Rect frame, WebViewConfiguration configuration);

}  // namespace qvad
