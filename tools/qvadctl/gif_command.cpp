// qvadctl gif: loads a GIF file into the library's GIF view, as the floating badge
// does with a cached file, and prints what the view took from it as one JSON line.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "platform/file_util.h"
#include "platform/main_queue.h"
#include "qvad/configuration.h"
#include "ui/qv_gif_view.h"

namespace qvadctl {

const char* const kGifUsage =
    "usage: qvadctl gif FILE [--view WxH] [--dump DIR]\n"
    "\n"
    "Decodes FILE as the GIF player does and prints one line:\n"
    "  {\"frames\":N,\"width\":W,\"height\":H,\"delays\":[...],\"totalTime\":T,\"keyTimes\":[...],\n"
    "   \"fitted\":[x,y,w,h]}\n"
    "fitted is the GIF view's frame after loading into a view at (0, 0, W, H) of the --view\n"
    "size (default 100x100). --dump DIR writes each composited frame as DIR/frame-000.png, ...\n"
    "(RGBA). A file that cannot be decoded prints {\"error\":\"...\"} and exits with 1.\n"
    "The library's console lines go to standard error.\n";

namespace {

int usageError(const std::string& message) { return qvadctl::reportUsageError("gif", message); }

int failure(const std::string& message) {
  std::printf("%s\n", nlohmann::json{{"error", message}}.dump().c_str());
  return 1;
}

double number(double v) { return std::isfinite(v) ? v : 0; }

// A single-precision value as the decimal it was meant to be (0.4f prints 0.4).
double singlePrecision(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", v);
  return number(std::strtod(buf, nullptr));
}

}  // namespace

int gifCommand(const Args& args) {
  std::optional<std::string> file, dump;
  double viewW = 100, viewH = 100;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--view" || a == "--dump") {
      if (i + 1 >= args.size()) return usageError("missing value for " + a);
      const std::string& v = args[++i];
      if (a == "--dump") {
        dump = v;
        continue;
      }
      char x = 0;
      int w = 0, h = 0, used = 0;
      if (std::sscanf(v.c_str(), "%d%c%d%n", &w, &x, &h, &used) != 3 || x != 'x' || used != int(v.size()) ||
          w <= 0 || h <= 0)
        return usageError("--view takes WxH, positive integers: " + v);
      viewW = w, viewH = h;
    } else if (a.size() > 1 && a[0] == '-') {
      return usageError("unknown option: " + a);
    } else if (file) {
      return usageError("only one FILE");
    } else {
      file = a;
    }
  }
  if (!file) return usageError("missing FILE");

  qvad::QvConfiguration::setLogSink([](std::string_view line) { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); });
  auto bytes = qvad::readFile(*file, qvad::kMaxGifDownloadBytes);
  if (!bytes) return failure("cannot read " + *file + " (or larger than 8 MiB)");
  std::string why;
  qvad::GifLimits limits;
  limits.maxFileBytes = qvad::kMaxGifDownloadBytes;
  if (!qvad::decodeGif(*bytes, &why, limits, /*keepImages=*/false)) return failure(why);

  // The player's own path: the file as the cache entry of a URL, loaded by a view.
  namespace fs = std::filesystem;
  std::string tmpl = (fs::temp_directory_path() / "qvadctl-gif-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return failure("cannot make a temporary directory");
  qvad::QvConfiguration::setDocumentsDirectory(tmpl);
  const std::string url = "https://qvadctl.invalid/" + fs::path(*file).filename().string();
  int rc = 0;
  if (!qvad::writeFileAtomically(qvad::QvGIFView::cachePath(url), *bytes)) {
    rc = failure("cannot write the temporary cache file");
  } else {
    auto view = qvad::View::make<qvad::QvGIFView>(qvad::Rect{0, 0, viewW, viewH});
    bool completed = false;
    // The view reads and scans the cached file on a worker; its answer comes back on
    // the main queue.
    view->showGIFImageWithWebNetWorkUrl(url, [&] { completed = true; });
    qvad::MainQueue::main().runUntil([&] { return completed; }, 30);
    if (!completed || !view->frames()) {
      rc = failure("the GIF view did not load the file");
    } else {
      auto& frames = *view->frames();
      nlohmann::ordered_json out;
      out["frames"] = view->imageArr().size();
      out["width"] = int(view->imageSize().width);
      out["height"] = int(view->imageSize().height);
      out["delays"] = view->timeArr();
      out["totalTime"] = singlePrecision(view->totalTime());
      out["keyTimes"] = nlohmann::json::array();
      for (double k : qvad::QvGIFView::keyTimes(view->timeArr())) out["keyTimes"].push_back(singlePrecision(k));
      const qvad::Rect f = view->frame();
      out["fitted"] = {number(f.x()), number(f.y()), number(f.width()), number(f.height())};
      if (dump) {
        std::error_code ec;
        fs::create_directories(*dump, ec);
        for (std::size_t i = 0; i < frames.frameCount() && rc == 0; ++i) {
          auto image = frames.waitForFrame(i, 60);
          char name[32];
          std::snprintf(name, sizeof name, "frame-%03zu.png", i);
          if (!image || !image->writePng((fs::path(*dump) / name).string())) rc = failure(std::string("cannot write ") + name);
        }
      }
      if (rc == 0) std::printf("%s\n", out.dump().c_str());
    }
  }
  fs::remove_all(tmpl);
  return rc;
}

}  // namespace qvadctl
