#include "platform/gtk/web_view_webkit.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include "platform/dispatch.h"
#include "platform/http_session.h"
#include "platform/main_queue.h"
#include "platform/url_cache.h"
#include "qvad/configuration.h"

namespace qvad {

namespace {

WebKitWebContext* sharedContext() {
  // One context for every web view: one network process and one cache, as the shared
  // cache settings expect. The default context lives as long as the process.
  return webkit_web_context_get_default();
}

// Takes ownership of a g_malloc'd text.
std::optional<std::string> takeText(char* text) {
  if (!text) return std::nullopt;
  std::string copy(text);
  g_free(text);
  return copy;
}

std::optional<std::string> optionalText(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

// The JSON form of a script value: nullopt for undefined, null for values without one
// (functions, symbols), else what JSON.stringify gives.
std::optional<nlohmann::json> jsonOf(JSCValue* value) {
  if (!value || jsc_value_is_undefined(value)) return std::nullopt;
  std::optional<std::string> text = takeText(jsc_value_to_json(value, 0));
  if (!text) return nlohmann::json();
  nlohmann::json parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) return nlohmann::json();
  return parsed;
}

NavigationType navigationTypeOf(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED: return NavigationType::linkActivated;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED: return NavigationType::formSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD: return NavigationType::backForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD: return NavigationType::reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED: return NavigationType::formResubmitted;
    case WEBKIT_NAVIGATION_TYPE_OTHER: break;
  }
  return NavigationType::other;
}

// One engine question (policy decision or script dialog) answered once: the first answer
// goes to the engine, later ones are ignored, and a question nobody answered is settled
// when the last handler copy goes away.
class PendingDecision {
 public:
  explicit PendingDecision(WebKitPolicyDecision* decision)
      : decision_(WEBKIT_POLICY_DECISION(g_object_ref(decision))) {}
  ~PendingDecision() {
    // A dropped handler must not leave the page waiting; it never allows by default.
    if (!answered_) webkit_policy_decision_ignore(decision_);
    g_object_unref(decision_);
  }
  PendingDecision(const PendingDecision&) = delete;
  PendingDecision& operator=(const PendingDecision&) = delete;

  void answer(int policy) {  // 0 cancel, 1 allow, 2 download: the values of both policy enums
    if (answered_) return;
    answered_ = true;
    if (policy == 1) {
      webkit_policy_decision_use(decision_);
    } else if (policy == 2) {
      webkit_policy_decision_download(decision_);
    } else {
      webkit_policy_decision_ignore(decision_);
    }
  }

 private:
  WebKitPolicyDecision* decision_;
  bool answered_ = false;
};

class PendingDialog {
 public:
  explicit PendingDialog(WebKitScriptDialog* dialog) : dialog_(webkit_script_dialog_ref(dialog)) {}
  ~PendingDialog() {
    // Unanswered: closed as if dismissed (alert done, confirm false, prompt null).
    close();
  }
  PendingDialog(const PendingDialog&) = delete;
  PendingDialog& operator=(const PendingDialog&) = delete;

  void close() {
    if (closed_) return;
    closed_ = true;
    // On a later turn, with our reference: an answer given at once arrives inside the
    // engine's own "script-dialog" emission, where closing the dialog crashes the engine.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        +[](gpointer d) {
          webkit_script_dialog_close(static_cast<WebKitScriptDialog*>(d));
          return G_SOURCE_REMOVE;
        },
        dialog_, +[](gpointer d) { webkit_script_dialog_unref(static_cast<WebKitScriptDialog*>(d)); });
  }
  void confirm(bool confirmed) {
    if (closed_) return;
    webkit_script_dialog_confirm_set_confirmed(dialog_, confirmed);
    close();
  }
  void answerPrompt(const std::optional<std::string>& text) {
    if (closed_) return;
    if (text) webkit_script_dialog_prompt_set_text(dialog_, text->c_str());
    close();
  }

 private:
  WebKitScriptDialog* dialog_;
  bool closed_ = false;
};

// The engine's own constructor and nothing else, kept out of line: the engine keeps a few
// objects of every view it made until the process exits, and the engine tests' leak
// checker is told so by this frame.
[[gnu::noinline]] ::WebKitWebView* engineViewNew(WebKitSettings* settings, WebKitUserContentManager* manager) {
  return WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", sharedContext(), "settings", settings,
                                      "user-content-manager", manager, nullptr));
}

struct EvaluationCall {
  ScriptCompletionHandler handler;
};

// Whether `certificate` chains to a CA of `caFile` and names `host`. Reads the file:
// call it off the main thread.
bool trustedByCAFile(const std::string& caFile, GTlsCertificate* certificate, const std::string& host) {
  GError* error = nullptr;
  GTlsDatabase* database = g_tls_file_database_new(caFile.c_str(), &error);
  if (!database) {
    if (error) g_error_free(error);
    return false;
  }
  GSocketConnectable* identity = g_network_address_new(host.c_str(), 443);
  GTlsCertificateFlags flags =
      g_tls_database_verify_chain(database, certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity,
                                  nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
  if (error) g_error_free(error);
  g_object_unref(identity);
  g_object_unref(database);
  return !error && flags == 0;
}

std::string hostOf(const char* uri) {
  if (!uri) return "";
  GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return "";
  std::string host = g_uri_get_host(parsed) ? g_uri_get_host(parsed) : "";
  g_uri_unref(parsed);
  return host;
}

// With both capacities 0 the engine keeps no pages (the document-viewer model), otherwise
// it caches as a browser does (it sizes its caches itself).
void applyWebCacheCapacities(std::uint64_t memoryBytes, std::uint64_t diskBytes) {
  webkit_web_context_set_cache_model(sharedContext(), memoryBytes == 0 && diskBytes == 0
                                                          ? WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER
                                                          : WEBKIT_CACHE_MODEL_WEB_BROWSER);
}

// The engine finishes emptying on its own threads.
void removeAllWebCachedResponses() {
  WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(sharedContext());
  webkit_website_data_manager_clear(
      data, static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_MEMORY_CACHE | WEBKIT_WEBSITE_DATA_DISK_CACHE), 0,
      nullptr, nullptr, nullptr);
}


// The process's shared cache settings drive the engine's one cache from the first engine
// web view on.
void attachCacheSettings() {
  static std::once_flag once;
  std::call_once(once, [] {
    URLCache::shared().attachEngine(
        {[](std::uint64_t memory, std::uint64_t disk) { runOnMain([=] { applyWebCacheCapacities(memory, disk); }); },
         [] { runOnMain(removeAllWebCachedResponses); }});
  });
}

}  // namespace

struct GtkWebView::Signals {
  struct MessageChannel {
    qvad::GtkWebView* self;
    std::string name;
  };

  static std::shared_ptr<qvad::GtkWebView> strong(qvad::GtkWebView* self) {
    return std::static_pointer_cast<qvad::GtkWebView>(self->weak_from_this().lock());
  }

  static FrameInfo mainFrame(const qvad::GtkWebView& self) {
    return FrameInfo{true, WebRequest(self.url().value_or(""))};
  }

  static void loadChanged(::WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    switch (event) {
      case WEBKIT_LOAD_STARTED:
        self->currentNavigation_ = self->pendingNavigation_ ? self->pendingNavigation_ : self->nextNavigation_++;
        self->pendingNavigation_ = 0;
        self->committed_ = false;
        self->failureReported_ = false;
        self->tlsFailure_ = false;
        if (auto delegate = self->navigationDelegate())
          delegate->didStartProvisionalNavigation(*self, self->currentNavigation_);
        break;
      case WEBKIT_LOAD_REDIRECTED:
        if (auto delegate = self->navigationDelegate())
          delegate->didReceiveServerRedirectForProvisionalNavigation(*self, self->currentNavigation_);
        break;
      case WEBKIT_LOAD_COMMITTED:
        self->committed_ = true;
        self->disarmTimeout();
        if (auto delegate = self->navigationDelegate()) delegate->didCommitNavigation(*self, self->currentNavigation_);
        break;
      case WEBKIT_LOAD_FINISHED:
        self->disarmTimeout();
        // The engine ends a failed load with "finished" as well; that one was reported.
        if (self->failureReported_) break;
        if (auto delegate = self->navigationDelegate()) delegate->didFinishNavigation(*self, self->currentNavigation_);
        break;
    }
  }

  static gboolean loadFailed(::WebKitWebView*, WebKitLoadEvent event, gchar*, GError* error, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    self->disarmTimeout();
    self->failureReported_ = true;
    PlatformError mapped = webKitLoadError(error, self->timedOut_, self->tlsFailure_);
    self->timedOut_ = false;
    self->tlsFailure_ = false;
    if (auto delegate = self->navigationDelegate()) {
      if (event == WEBKIT_LOAD_COMMITTED) {
        delegate->didFailNavigation(*self, self->currentNavigation_, mapped);
      } else {
        delegate->didFailProvisionalNavigation(*self, self->currentNavigation_, mapped);
      }
    }
    return TRUE;  // handled: no engine error page replaces the failed one
  }

  // The engine trusts the system's CAs only. A CA the host configured (the sandbox's,
  // for one) is honoured as the HTTP session honours it: the refused chain is verified
  // against that file, and only a chain it vouches for, naming the host, is accepted for
  // that host before the page loads again. Verification stays on throughout.
  static gboolean tlsErrors(::WebKitWebView*, gchar* failingURI, GTlsCertificate* certificate,
                            GTlsCertificateFlags, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    self->tlsFailure_ = true;
    const std::string caFile = QvConfiguration::caFile();
    const std::string host = hostOf(failingURI);
    if (caFile.empty() || host.empty() || !certificate || !self->caCheckedHosts_.insert(host).second) {
      return FALSE;  // the load fails; load-failed reports it
    }
    self->failureReported_ = true;  // the "finished" that follows belongs to the retry or the failure
    const NavigationId navigation = self->currentNavigation_;
    const std::string uri = failingURI;
    std::weak_ptr<Responder> weak = self->weak_from_this();
    g_object_ref(certificate);
    GlobalQueue::async([=] {
      const bool trusted = trustedByCAFile(caFile, certificate, host);
      dispatchMain([=] {
        auto view = std::static_pointer_cast<qvad::GtkWebView>(weak.lock());
        if (view && view->currentNavigation_ == navigation) {
          if (trusted) {
            webkit_web_context_allow_tls_certificate_for_host(webkit_web_view_get_context(view->view_), certificate,
                                                              host.c_str());
            view->pendingNavigation_ = navigation;
            webkit_web_view_load_uri(view->view_, uri.c_str());
          } else if (auto delegate = view->navigationDelegate()) {
            view->tlsFailure_ = false;
            delegate->didFailProvisionalNavigation(*view, navigation,
                                                   webKitLoadError(nullptr, false, /*tlsFailure=*/true));
          }
        }
        g_object_unref(certificate);
      });
    });
    return TRUE;  // no load-failed now: the check above decides
  }

  static NavigationAction actionOf(const qvad::GtkWebView& self, WebKitNavigationAction* engineAction,
                                   bool newWindow) {
    NavigationAction action;
    WebKitURIRequest* request = webkit_navigation_action_get_request(engineAction);
    action.request.url = optionalText(request ? webkit_uri_request_get_uri(request) : nullptr).value_or("");
    action.navigationType = navigationTypeOf(webkit_navigation_action_get_navigation_type(engineAction));
    action.sourceFrame = mainFrame(self);
    if (!newWindow) action.targetFrame = mainFrame(self);
    return action;
  }

  static gboolean decidePolicy(::WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                               gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    auto pending = std::make_shared<PendingDecision>(decision);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      auto* responseDecision = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      WebKitURIResponse* engineResponse = webkit_response_policy_decision_get_response(responseDecision);
      NavigationResponse response;
      response.url = optionalText(webkit_uri_response_get_uri(engineResponse)).value_or("");
      response.statusCode = webkit_uri_response_get_status_code(engineResponse);
      response.mimeType = optionalText(webkit_uri_response_get_mime_type(engineResponse)).value_or("");
      response.isForMainFrame = webkit_response_policy_decision_is_main_frame_main_resource(responseDecision);
      response.canShowMIMEType = webkit_response_policy_decision_is_mime_type_supported(responseDecision);
      self->askNavigationResponsePolicy(
          response, [pending](NavigationResponsePolicy policy) { pending->answer(static_cast<int>(policy)); });
      return TRUE;
    }
    auto* navigationDecision = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    NavigationAction action =
        actionOf(*self, webkit_navigation_policy_decision_get_navigation_action(navigationDecision),
                 type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION);
    self->askNavigationActionPolicy(
        action, [pending](NavigationActionPolicy policy) { pending->answer(static_cast<int>(policy)); });
    return TRUE;
  }

  static GtkWidget* create(::WebKitWebView*, WebKitNavigationAction* engineAction, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    NavigationAction action = actionOf(*self, engineAction, /*newWindow=*/true);
    std::shared_ptr<WebView> child = self->askCreateWebView(self->configuration(), action, WindowFeatures{});
    // The engine would only accept a view it made as a relative of this one; the view the
    // delegate made loads the request itself instead (the page gets no opener for it).
    if (child && child.get() != self && !action.request.url.empty()) child->load(action.request);
    return nullptr;
  }

  static gboolean scriptDialog(::WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    const std::string message = optionalText(webkit_script_dialog_get_message(dialog)).value_or("");
    FrameInfo frame = mainFrame(*self);
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
      case WEBKIT_SCRIPT_DIALOG_ALERT: {
        auto pending = std::make_shared<PendingDialog>(dialog);
        self->askAlertPanel(message, frame, [pending] { pending->close(); });
        break;
      }
      case WEBKIT_SCRIPT_DIALOG_CONFIRM: {
        auto pending = std::make_shared<PendingDialog>(dialog);
        self->askConfirmPanel(message, frame, [pending](bool confirmed) { pending->confirm(confirmed); });
        break;
      }
      case WEBKIT_SCRIPT_DIALOG_PROMPT: {
        auto pending = std::make_shared<PendingDialog>(dialog);
        self->askTextInputPanel(message, optionalText(webkit_script_dialog_prompt_get_default_text(dialog)), frame,
                                [pending](std::optional<std::string> text) { pending->answerPrompt(text); });
        break;
      }
      case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        // Nothing asks the user before a page is left.
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        break;
    }
    return TRUE;  // no engine dialog
  }

  static void scriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* channel = static_cast<MessageChannel*>(data);
    auto keep = strong(channel->self);
    ScriptMessage message;
    message.name = channel->name;
    message.body = jsonOf(webkit_javascript_result_get_js_value(result)).value_or(nlohmann::json());
    message.frameInfo = mainFrame(*channel->self);
    message.webView = keep;
    // Held for the call: the handler may drop the configuration's last other reference.
    std::shared_ptr<UserContentController> controller = channel->self->configuration().userContentController;
    controller->deliver(message);
  }

  static void freeChannel(gpointer data, GClosure*) { delete static_cast<MessageChannel*>(data); }

  static void propertyChanged(GObject*, GParamSpec* spec, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    const std::string name = g_param_spec_get_name(spec);
    if (name == "estimated-load-progress") {
      self->notifyObservers(WebViewProperty::estimatedProgress);
    } else if (name == "title") {
      self->notifyObservers(WebViewProperty::title);
    } else if (name == "uri") {
      self->notifyObservers(WebViewProperty::url);
    } else if (name == "is-loading") {
      self->notifyObservers(WebViewProperty::isLoading);
    }
  }

  static void historyChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer data) {
    auto* self = static_cast<qvad::GtkWebView*>(data);
    auto keep = strong(self);
    bool now = self->canGoBack();
    if (now == self->lastCanGoBack_) return;
    self->lastCanGoBack_ = now;
    self->notifyObservers(WebViewProperty::canGoBack);
  }

  static void evaluated(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<EvaluationCall> call(static_cast<EvaluationCall*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (!call->handler) {
      if (value) g_object_unref(value);
      if (error) g_error_free(error);
      return;
    }
    if (error) {
      PlatformError failure{WebViewError::javaScriptError, kWebViewErrorDomain, error->message, {}};
      g_error_free(error);
      call->handler(std::nullopt, failure);
      return;
    }
    std::optional<nlohmann::json> json = jsonOf(value);
    g_object_unref(value);
    call->handler(std::move(json), std::nullopt);
  }

  static gboolean timeoutFired(gpointer data) {
    auto self = static_cast<std::weak_ptr<Responder>*>(data)->lock();
    if (!self) return G_SOURCE_REMOVE;
    auto* view = static_cast<qvad::GtkWebView*>(self.get());
    view->timeoutSource_ = 0;
    if (!view->committed_ && webkit_web_view_is_loading(view->view_)) {
      view->timedOut_ = true;
      webkit_web_view_stop_loading(view->view_);  // fails the load; reported as timed out
    }
    return G_SOURCE_REMOVE;
  }

  static void freeWeak(gpointer data) { delete static_cast<std::weak_ptr<Responder>*>(data); }
};

GtkWebView::GtkWebView(Rect frame, WebViewConfiguration configuration)
    : WebView(frame, std::move(configuration)) {
  const WebViewConfiguration& config = this->configuration();
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_javascript(settings, config.javaScriptEnabled);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, config.javaScriptCanOpenWindowsAutomatically);
  webkit_settings_set_minimum_font_size(settings, static_cast<guint32>(std::max(0.0, config.minimumFontSize)));
  webkit_settings_set_media_playback_requires_user_gesture(settings, config.requiresUserActionForMediaPlayback);
  webkit_settings_set_media_playback_allows_inline(settings, config.allowsInlineMediaPlayback);

  WebKitUserContentManager* manager = webkit_user_content_manager_new();
  contentManager_ = manager;
  cancellable_ = g_cancellable_new();
  view_ = engineViewNew(settings, manager);
  g_object_ref_sink(view_);
  g_object_unref(settings);
  gtk_widget_set_size_request(GTK_WIDGET(view_), static_cast<int>(frame.width()), static_cast<int>(frame.height()));

  g_signal_connect(view_, "load-changed", G_CALLBACK(Signals::loadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(Signals::loadFailed), this);
  g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(Signals::tlsErrors), this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(Signals::decidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(Signals::create), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(Signals::scriptDialog), this);
  for (const char* property : {"notify::estimated-load-progress", "notify::title", "notify::uri", "notify::is-loading"})
    g_signal_connect(view_, property, G_CALLBACK(Signals::propertyChanged), this);
  g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed", G_CALLBACK(Signals::historyChanged), this);
  syncScriptMessageHandlers();
}

GtkWebView::~GtkWebView() {
  disarmTimeout();
  auto* manager = static_cast<WebKitUserContentManager*>(contentManager_);
  // Handlers first, so that nothing the teardown triggers reaches a half-destroyed object.
  g_signal_handlers_disconnect_matched(manager, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                       reinterpret_cast<gpointer>(Signals::scriptMessage), nullptr);
  g_signal_handlers_disconnect_matched(webkit_web_view_get_back_forward_list(view_), G_SIGNAL_MATCH_DATA, 0, 0,
                                       nullptr, nullptr, this);
  g_signal_handlers_disconnect_matched(view_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
  for (const std::string& name : engineHandlerNames_)
    webkit_user_content_manager_unregister_script_message_handler(manager, name.c_str());
  webkit_web_view_stop_loading(view_);
  // Scripts still running hear that the web view is gone (on a later turn), and stop
  // holding the engine's view.
  g_cancellable_cancel(G_CANCELLABLE(cancellable_));
  g_object_unref(cancellable_);
  gtk_widget_destroy(GTK_WIDGET(view_));  // also takes it out of the layer
  g_object_unref(view_);
  g_object_unref(manager);
}

void GtkWebView::syncScriptMessageHandlers() {
  // The engine exposes a channel to the page only while it is registered; keep the
  // engine's set equal to the configuration's content controller.
  auto* manager = static_cast<WebKitUserContentManager*>(contentManager_);
  std::vector<std::string> wanted = configuration().userContentController->scriptMessageHandlerNames();
  std::set<std::string> want(wanted.begin(), wanted.end());
  for (auto it = engineHandlerNames_.begin(); it != engineHandlerNames_.end();) {
    if (want.count(*it)) {
      ++it;
      continue;
    }
    g_signal_handlers_disconnect_matched(manager, GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DETAIL | G_SIGNAL_MATCH_FUNC),
                                         g_signal_lookup("script-message-received", G_OBJECT_TYPE(manager)),
                                         g_quark_from_string(it->c_str()), nullptr,
                                         reinterpret_cast<gpointer>(Signals::scriptMessage), nullptr);
    webkit_user_content_manager_unregister_script_message_handler(manager, it->c_str());
    it = engineHandlerNames_.erase(it);
  }
  for (const std::string& name : want) {
    if (engineHandlerNames_.count(name)) continue;
    std::string signal = "script-message-received::" + name;
    g_signal_connect_data(manager, signal.c_str(), G_CALLBACK(Signals::scriptMessage),
                          new Signals::MessageChannel{this, name}, Signals::freeChannel, GConnectFlags(0));
    webkit_user_content_manager_register_script_message_handler(manager, name.c_str());
    engineHandlerNames_.insert(name);
  }
}

NavigationId GtkWebView::beginNavigation() {
  syncScriptMessageHandlers();
  pendingNavigation_ = nextNavigation_++;
  timedOut_ = false;
  committed_ = false;  // the time-out watches the new load, not the page shown
  return pendingNavigation_;
}

void GtkWebView::armTimeout(double seconds) {
  disarmTimeout();
  if (!(seconds > 0) || !std::isfinite(seconds)) return;
  auto ms = static_cast<guint>(std::min(seconds * 1000.0, 86400000.0));
  timeoutSource_ = g_timeout_add_full(G_PRIORITY_DEFAULT, ms, Signals::timeoutFired,
                                      new std::weak_ptr<Responder>(weak_from_this()), Signals::freeWeak);
}

void GtkWebView::disarmTimeout() {
  if (timeoutSource_) g_source_remove(timeoutSource_);
  timeoutSource_ = 0;
}

NavigationId GtkWebView::load(const WebRequest& request) {
  if (request.url.empty()) return 0;
  NavigationId id = beginNavigation();
  WebKitURIRequest* engineRequest = webkit_uri_request_new(request.url.c_str());
  webkit_web_view_load_request(view_, engineRequest);
  g_object_unref(engineRequest);
  armTimeout(request.timeoutSeconds);
  return id;
}

NavigationId GtkWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
  NavigationId id = beginNavigation();
  disarmTimeout();
  webkit_web_view_load_html(view_, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
  return id;
}

NavigationId GtkWebView::engineStep(bool possible, void (*step)(::WebKitWebView*)) {
  // Reload and history steps have no request of ours, so no time-out of ours either.
  if (!possible) return 0;
  NavigationId id = beginNavigation();
  disarmTimeout();
  step(view_);
  return id;
}

NavigationId GtkWebView::reload() { return engineStep(url().has_value(), webkit_web_view_reload); }
void GtkWebView::stopLoading() { webkit_web_view_stop_loading(view_); }
NavigationId GtkWebView::goBack() { return engineStep(canGoBack(), webkit_web_view_go_back); }
NavigationId GtkWebView::goForward() { return engineStep(canGoForward(), webkit_web_view_go_forward); }

bool GtkWebView::canGoBack() const { return webkit_web_view_can_go_back(view_); }
bool GtkWebView::canGoForward() const { return webkit_web_view_can_go_forward(view_); }

std::optional<std::string> GtkWebView::url() const {
  std::optional<std::string> uri = optionalText(webkit_web_view_get_uri(view_));
  if (uri && uri->empty()) return std::nullopt;
  return uri;
}

std::optional<std::string> GtkWebView::title() const { return optionalText(webkit_web_view_get_title(view_)); }
double GtkWebView::estimatedProgress() const { return webkit_web_view_get_estimated_load_progress(view_); }
bool GtkWebView::isLoading() const { return webkit_web_view_is_loading(view_); }

void GtkWebView::evaluateJavaScript(const std::string& script, ScriptCompletionHandler completionHandler) {
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      G_CANCELLABLE(cancellable_), Signals::evaluated,
                                      new EvaluationCall{std::move(completionHandler)});
}

void GtkWebView::setShowsHorizontalScrollIndicator(bool shows) {
  WebView::setShowsHorizontalScrollIndicator(shows);
  // The engine draws its own scroll bars; a page-level style hides the horizontal one.
  // Applied to the pages loaded from now on.
  auto* manager = static_cast<WebKitUserContentManager*>(contentManager_);
  webkit_user_content_manager_remove_all_style_sheets(manager);
  if (shows) return;
  WebKitUserStyleSheet* sheet = webkit_user_style_sheet_new(
      "html, body { overflow-x: hidden !important; }", WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
      WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(manager, sheet);
  webkit_user_style_sheet_unref(sheet);
}

GtkWidget* GtkWebView::widget() const { return GTK_WIDGET(view_); }

void GtkWebView::placeNativeWidget(GtkFixed* layer) {
  bool onScreen = window() != nullptr;
  for (const View* v = this; onScreen && v; v = v->superview().get()) {
    if (v->isHidden()) onScreen = false;
  }
  Point origin = convertToWindow(Point{0, 0});
  Placement want{static_cast<int>(std::lround(origin.x)), static_cast<int>(std::lround(origin.y)),
                 static_cast<int>(std::lround(frame().width())), static_cast<int>(std::lround(frame().height())),
                 onScreen};
  GtkWidget* w = widget();
  if (layer_ != layer) {
    if (GtkWidget* parent = gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(parent), w);
    layer_ = layer;
    if (layer_) gtk_fixed_put(layer_, w, want.x, want.y);
    placed_ = Placement{want.x, want.y, -1, -1, !want.visible};
  }
  if (!layer_) return;
  if (want.x != placed_.x || want.y != placed_.y) gtk_fixed_move(layer_, w, want.x, want.y);
  if (want.width != placed_.width || want.height != placed_.height)
    gtk_widget_set_size_request(w, std::max(0, want.width), std::max(0, want.height));
  if (want.visible != placed_.visible) gtk_widget_set_visible(w, want.visible);
  placed_ = want;
}

PlatformError webKitLoadError(const GError* error, bool timedOut, bool tlsFailure) {
  const std::string text = error && error->message ? error->message : "the page could not be loaded";
  auto url = [&](long code) { return PlatformError{code, kURLErrorDomain, text, {}}; };
  auto engine = [&](long code) { return PlatformError{code, kWebViewErrorDomain, text, {}}; };
  if (timedOut) return PlatformError{URLError::timedOut, kURLErrorDomain, "The request timed out.", text};
  if (tlsFailure) return url(URLError::serverCertificateUntrusted);
  if (!error) return url(URLError::unknown);
  if (error->domain == WEBKIT_NETWORK_ERROR) {
    switch (error->code) {
      case WEBKIT_NETWORK_ERROR_CANCELLED: return url(URLError::cancelled);
      case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL: return engine(WebViewError::cannotShowURL);
      case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST: return url(-1100);  // file does not exist
      case WEBKIT_NETWORK_ERROR_TRANSPORT: return url(URLError::networkConnectionLost);
      default: return url(URLError::unknown);
    }
  }
  if (error->domain == WEBKIT_POLICY_ERROR) {
    // The engine's policy codes are the interface's own (100 MIME type, 101 URL, 102
    // interrupted, 103 restricted port).
    return engine(error->code == WEBKIT_POLICY_ERROR_FAILED ? WebViewError::cannotShowURL : error->code);
  }
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_CANCELLED: return url(URLError::cancelled);
      case G_IO_ERROR_TIMED_OUT: return url(URLError::timedOut);
      case G_IO_ERROR_NETWORK_UNREACHABLE: return url(URLError::notConnectedToInternet);
      case G_IO_ERROR_HOST_UNREACHABLE:
      case G_IO_ERROR_CONNECTION_REFUSED: return url(URLError::cannotConnectToHost);
      case G_IO_ERROR_CONNECTION_CLOSED: return url(URLError::networkConnectionLost);
      case G_IO_ERROR_HOST_NOT_FOUND: return url(URLError::cannotFindHost);
      default: return url(URLError::unknown);
    }
  }
  if (error->domain == G_RESOLVER_ERROR) return url(URLError::cannotFindHost);
  if (error->domain == G_TLS_ERROR) return url(URLError::secureConnectionFailed);
  return url(URLError::unknown);
}

std::shared_ptr<WebView> makeGtkWebView(Rect frame, WebViewConfiguration configuration) {
  attachCacheSettings();
  return std::make_shared<GtkWebView>(frame, std::move(configuration));
}

}  // namespace qvad
