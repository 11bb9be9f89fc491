// Shared pieces of the example hosts' tests: one sandbox for the binary, the library
// pointed at it, a person's clicks through the display server, the main loop run until
// something happened, and the library's views found where a person would see them.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/toolkit/button.h"
#include "platform/toolkit/view.h"
#include "platform/toolkit/view_controller.h"
#include "platform/web_view.h"
#include "qvad/host_window.h"
#include "web/base_wk_web_view_controller.h"

namespace qvad::hosts {

/// The sandbox every case of the binary talks to (started once, on first use).
void useSandbox();

/// A person's click at a point of the screen (root window pixels), through XTest.
void personClickAt(int rootX, int rootY);
/// Where a point of a widget lies on the screen.
void widgetToRoot(GtkWidget* widget, int x, int y, int& rootX, int& rootY);
/// A person's click at the middle of a widget.
void personClick(GtkWidget* widget);
/// A person's click at a point of the host screen (points of the host's view).
void personClickInHost(const QvHostWindow& host, Point p);
/// A person's click at the middle of a view of the library shown for `host`.
void personClickOn(const QvHostWindow& host, const View& view);
/// Whether a window manager runs on the display (minimising needs one).
bool windowManagerRuns();

/// Runs the GLib loop (and `step`, the host's own turn, when given) until `done()` or
/// `seconds` pass; returns done().
bool runUntil(const std::function<bool()>& done, double seconds, const std::function<void()>& step = {});
/// Runs it for `seconds`.
void runFor(double seconds, const std::function<void()>& step = {});

/// The toolkit view (the host's screen or a presented controller's) as the library
/// lays it out for `host`.
std::shared_ptr<View> hostView(const QvHostWindow& host);
/// The front-most visible button with this title over the host's screen.
std::shared_ptr<Button> findButton(const QvHostWindow& host, const std::string& title);
/// The web container presented over the host's screen, if any.
std::shared_ptr<BaseWKWebViewController> presentedContainer(const QvHostWindow& host);
/// Whether something is presented over the host's screen.
bool covered(const QvHostWindow& host);
/// The frame of a view in the host screen's points.
Rect frameInHost(const View& view);

/// Writes a whole top-level window as the display shows it (decorations drawn by the
/// window itself included) to a PNG file.
bool writeWindowPng(GtkWidget* toplevel, const std::string& path);

/// Runs `script` in the page and waits for its result (a string; "" on failure).
std::string evaluate(WebView& page, const std::string& script, const std::function<void()>& step = {});

/// Minimises the host's window with `iconify`, brings it back with `restore`, and checks
/// that the page heard native.onbackground() and then native.onforeground(). Left out,
/// with a line, where no window manager runs.
void expectPageHearsMinimiseAndRestore(WebView& page, const std::function<void()>& iconify,
                                       const std::function<void()>& restore, const std::function<void()>& step = {});

}  // namespace qvad::hosts
