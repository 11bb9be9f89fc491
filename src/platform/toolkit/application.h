// The host application as the library sees it: the key window, opening URLs, the
// application's life-cycle notifications and its notification settings.
// Main thread only.
//
// The application keeps its key window alive (as a visible window is kept by the
// system); setKeyWindow(nullptr) lets it go.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qvad {

class Window;
template <class T>
class ServiceSlot;

/// Posted through NotificationCenter::defaultCenter() when the state changes.
inline constexpr const char* kApplicationDidBecomeActiveNotification = "ApplicationDidBecomeActive";
inline constexpr const char* kApplicationWillResignActiveNotification = "ApplicationWillResignActive";
inline constexpr const char* kApplicationDidEnterBackgroundNotification = "ApplicationDidEnterBackground";
inline constexpr const char* kApplicationWillEnterForegroundNotification = "ApplicationWillEnterForeground";

/// Posted when the key window changes: first the old key window's resignation (object:
/// the old window), then the new one's (object: the new window), both after the change.
inline constexpr const char* kWindowDidResignKeyNotification = "WindowDidResignKey";
inline constexpr const char* kWindowDidBecomeKeyNotification = "WindowDidBecomeKey";

/// The backend's way of opening URLs (desktop: the system's handler), a platform
/// service. The default takes every URL it is given and only records it.
class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  /// Called on the main thread with a URL Application::canOpenURL allows; whether it
  /// was taken.
  virtual bool open(const std::string& url) = 0;

  static ServiceSlot<UrlOpener>& slot();
};

/// Headless opener that answers every URL the same way: the answer tests and tools set.
class AnsweringUrlOpener final : public UrlOpener {
 public:
  explicit AnsweringUrlOpener(bool answer) : answer_(answer) {}
  bool open(const std::string&) override { return answer_; }

 private:
  bool answer_;
};

enum class ApplicationState { active, inactive, background };
enum class NotificationAuthorization { notDetermined, denied, authorized };

class Application {
 public:
  static Application& shared();

  /// The URL that opens this application's page of the system settings.
  static constexpr const char* openSettingsURLString = "app-settings:";

  std::shared_ptr<Window> keyWindow() const { return keyWindow_; }
  /// Makes `window` the key window and posts the key-window notifications; setting the
  /// current key window again posts nothing.
  void setKeyWindow(std::shared_ptr<Window> window);

  /// Whether `url` would be handed on: not for "file:", "javascript:" or "data:", nor
  /// for text without a scheme.
  bool canOpenURL(const std::string& url) const;
  /// Hands `url` to the installed UrlOpener; `completion` (may be empty) hears whether
  /// it was taken, on the next turn of the main loop.
  void openURL(const std::string& url, std::function<void(bool)> completion = {});
  /// The same hand-over, answering at once whether the URL was taken (a navigation
  /// decision cannot wait for the next turn of the loop).
  bool openURLNow(const std::string& url);
  /// Every URL handed to the opener, oldest first (diagnostics and tests).
  const std::vector<std::string>& openedURLs() const { return opened_; }
  void clearOpenedURLs() { opened_.clear(); }

  ApplicationState applicationState() const { return state_; }
  /// Moves to `state`, posting the notifications a real transition posts.
  void setApplicationState(ApplicationState state);

  NotificationAuthorization notificationAuthorization() const { return notificationAuth_; }
  void setNotificationAuthorization(NotificationAuthorization a) { notificationAuth_ = a; }

 private:
  Application() = default;

  std::shared_ptr<Window> keyWindow_;
  std::vector<std::string> opened_;
  ApplicationState state_ = ApplicationState::active;
  NotificationAuthorization notificationAuth_ = NotificationAuthorization::notDetermined;
};

}  // namespace qvad
