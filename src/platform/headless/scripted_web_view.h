// The headless web view: no engine, no network. Tests, tools and the headless demo drive
// it: they deliver navigation callbacks and page messages, run the page's script panels,
// read every script evaluated (with its completion handler, to answer it) and set the
// page's URL, title and progress. Main thread only.
//
// Loading calls (load, reload, go back, ...) are recorded and return a navigation id;
// nothing else happens until the driver delivers the callbacks, the way an engine would
// report them later.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/web_view.h"

namespace qvad {

class ScriptedWebView : public WebView {
 public:
  ScriptedWebView(Rect frame, WebViewConfiguration configuration);

  /// One call of the loading interface, oldest first.
  struct LoadCall {
    enum class Kind { request, html, reload, stop, goBack, goForward };
    Kind kind;
    WebRequest request;  // request: as given; html: the base URL; others: empty
    std::string html;
    NavigationId navigation = 0;  // 0 for stop, and for a step with no page to go to
  };
  /// A script handed to evaluateJavaScript, with its completion handler.
  struct EvaluatedScript {
    std::string script;
    ScriptCompletionHandler completionHandler;
  };
  /// How a policy question or a panel was answered: every answer, in order (a correct
  /// delegate answers exactly once).
  template <class T>
  struct Answers {
    std::vector<T> values;
    bool answered() const { return !values.empty(); }
    std::size_t count() const { return values.size(); }
    const T& value() const { return values.front(); }
  };
  struct AlertAnswers {
    std::size_t count = 0;
    bool answered() const { return count > 0; }
  };

  // WebView.
  NavigationId load(const WebRequest& request) override;
  using WebView::load;
  NavigationId loadHTMLString(const std::string& html, const std::string& baseURL) override;
  NavigationId reload() override;
  void stopLoading() override;
  NavigationId goBack() override;
  NavigationId goForward() override;
  bool canGoBack() const override { return historyIndex_ > 0; }
  bool canGoForward() const override { return historyIndex_ + 1 < history_.size(); }
  std::optional<std::string> url() const override { return url_; }
  std::optional<std::string> title() const override { return title_; }
  double estimatedProgress() const override { return progress_; }
  bool isLoading() const override { return loading_; }
  void evaluateJavaScript(const std::string& script, ScriptCompletionHandler completionHandler = {}) override;
  /// A light placeholder with a cross: no page is drawn headless.
  void draw(GraphicsContext& context, Rect rect) override;

  // What the library asked of the page.
  const std::vector<LoadCall>& loadCalls() const { return loadCalls_; }
  const std::vector<EvaluatedScript>& evaluatedScripts() const { return scripts_; }
  /// The texts of evaluatedScripts(), oldest first.
  std::vector<std::string> evaluatedScriptTexts() const;
  /// Calls the completion handler of script `index` (if it has one) with a result or an
  /// error; false when `index` is out of range.
  bool completeScript(std::size_t index, std::optional<nlohmann::json> result,
                      std::optional<PlatformError> error = std::nullopt);
  void clearRecords();

  // Page state, as the engine would change it; each change notifies its observers.
  void setURL(std::optional<std::string> url);
  void setTitle(std::optional<std::string> title);
  void setEstimatedProgress(double progress);
  void setLoading(bool loading);

  // Navigation callbacks, delivered to the navigation delegate (when there is one).
  /// A new navigation id, as an engine hands out when a load starts by itself (a link).
  NavigationId nextNavigationId() { return nextNavigation_++; }
  void deliverDidStartProvisional(NavigationId navigation);
  void deliverServerRedirect(NavigationId navigation, const std::string& newURL);
  /// Commits `url` as a new entry of the back list (dropping the forward entries) and
  /// makes it the page's URL, then tells the delegate.
  void deliverDidCommit(NavigationId navigation, const std::string& url);
  /// Progress to 1, loading off, then the delegate.
  void deliverDidFinish(NavigationId navigation);
  void deliverDidFailProvisional(NavigationId navigation, const PlatformError& error);
  void deliverDidFail(NavigationId navigation, const PlatformError& error);
  /// Start, commit, title and finish of one navigation in a row.
  void deliverLoad(NavigationId navigation, const std::string& url, std::optional<std::string> title = std::nullopt);

  /// Asks the delegate about `action` (allowed at once without a delegate); the returned
  /// record fills in when the decision handler is called, now or later.
  std::shared_ptr<const Answers<NavigationActionPolicy>> decidePolicy(const NavigationAction& action);
  std::shared_ptr<const Answers<NavigationResponsePolicy>> decidePolicy(const NavigationResponse& response);
  /// A link the user tapped in the main frame (linkActivated, target main frame).
  static NavigationAction linkAction(const std::string& url);
  /// window.open() or a link with a blank target: no target frame.
  static NavigationAction newWindowAction(const std::string& url);

  /// The page asks for a new window; the UI delegate's answer (nullptr without one).
  std::shared_ptr<WebView> requestNewWindow(const NavigationAction& action, const WindowFeatures& features = {});

  // Script panels, run through the UI delegate (answered at once without one).
  std::shared_ptr<const AlertAnswers> runAlertPanel(const std::string& message);
  std::shared_ptr<const Answers<bool>> runConfirmPanel(const std::string& message);
  std::shared_ptr<const Answers<std::optional<std::string>>> runTextInputPanel(
      const std::string& prompt, const std::optional<std::string>& defaultText = std::nullopt);

  /// The page posts `body` to the script message handler `name`; false when the content
  /// controller has no handler of that name.
  bool postMessage(const std::string& name, nlohmann::json body);

  const char* className() const override { return "ScriptedWebView"; }

 private:
  NavigationId startCall(LoadCall::Kind kind, WebRequest request, std::string html = {});

  std::vector<LoadCall> loadCalls_;
  std::vector<EvaluatedScript> scripts_;
  std::vector<std::string> history_;
  std::size_t historyIndex_ = 0;
  std::optional<std::string> url_;
  std::optional<std::string> title_;
  double progress_ = 0;
  bool loading_ = false;
  NavigationId nextNavigation_ = 1;
};

}  // namespace qvad
