// The host-window functions of the C interface. They live with the GTK backend because
// QvHostWindow does; the rest of the C interface only reads the controller and view
// that the handle carries, so the headless library needs nothing from here.
#include <exception>
#include <string>

#include "capi/c_handles.h"
#include "platform/log.h"

namespace {

qvad_host* wrap(std::shared_ptr<qvad::QvHostWindow> window) {
  if (!window) return nullptr;
  auto* host = new qvad_host;
  host->controller = window->viewController();
  host->view = window->view();
  host->window = std::move(window);
  return host;
}

void report(const char* call, const std::exception* e) {
  qvad::logLine(std::string(call) + ": " + (e ? e->what() : "unknown failure"));
}

}  // namespace

extern "C" {

qvad_host* qvad_host_attach_gtk(void* gtk_window) {
  try {
    return wrap(qvad::QvHostWindow::attach(static_cast<GtkWindow*>(gtk_window)));
  } catch (const std::exception& e) {
    report("qvad_host_attach_gtk", &e);
  } catch (...) {
    report("qvad_host_attach_gtk", nullptr);
  }
  return nullptr;
}

qvad_host* qvad_host_over_x11(unsigned long x11_window) {
  try {
    return wrap(qvad::QvHostWindow::overNativeWindow(x11_window));
  } catch (const std::exception& e) {
    report("qvad_host_over_x11", &e);
  } catch (...) {
    report("qvad_host_over_x11", nullptr);
  }
  return nullptr;
}

void qvad_host_release(qvad_host* host) {
  try {
    delete host;  // the last reference detaches, closing the ads still up
  } catch (const std::exception& e) {
    report("qvad_host_release", &e);
  } catch (...) {
    report("qvad_host_release", nullptr);
  }
}

}  // extern "C"
