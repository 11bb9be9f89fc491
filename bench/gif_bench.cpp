// GIF decoding and compositing of a sandbox-sized badge (100x100, 12 frames) and of a
// large one (400x400, 100 frames), next to giflib's own whole-file slurp (decoding
// without compositing) and gdk-pixbuf's animation loader (decoding and compositing),
// in one run. Then the main-thread probe: the longest main-queue task while the large
// badge loads (downloaded, then cached) and plays for a few seconds with a render at
// every 60 Hz frame.
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include <time.h>

#include "support/gif_writer.h"
#include "platform/http_session.h"
#include "platform/service_slot.h"
#include "platform/main_queue.h"
#include "platform/render/renderer.h"
#include "qvad/configuration.h"
#include "ui/gif/gif_decoder.h"
#include "ui/qv_gif_view.h"

namespace {

const std::string& badge() {
  static const std::string g = qvad::testing::makeBadgeGif(100, 12, 8);
  return g;
}
const std::string& large() {
  static const std::string g = qvad::testing::makeBadgeGif(400, 100, 4);
  return g;
}
const std::string& input(int which) {
  const std::string& g = which == 0 ? badge() : large();
  if (!qvad::scanGif(g)) {
    std::fprintf(stderr, "gif_bench: the generated input does not scan (%zu bytes)\n", g.size());
    std::exit(1);
  }
  return g;
}
const char* label(int which) { return which == 0 ? "badge 100x100x12" : "large 400x400x100"; }

void BM_Qvad_Scan(benchmark::State& state) {
  const auto& g = input(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(qvad::scanGif(g));
  state.SetLabel(label(int(state.range(0))));
}
BENCHMARK(BM_Qvad_Scan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Qvad_DecodeComposite(benchmark::State& state) {
  const auto& g = input(int(state.range(0)));
  auto bytes = std::make_shared<const std::string>(g);
  auto info = std::make_shared<const qvad::GifInfo>(*qvad::scanGif(g));
  for (auto _ : state) {
    qvad::GifCompositor c(bytes, info);
    while (c.next()) benchmark::DoNotOptimize(c.canvas().data());
  }
  state.SetLabel(label(int(state.range(0))));
}
BENCHMARK(BM_Qvad_DecodeComposite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int readMem(GifFileType* gif, GifByteType* out, int n) {
  auto* in = static_cast<qvad::GifMemoryInput*>(gif->UserData);
  std::size_t k = std::min<std::size_t>(std::size_t(n), in->size - in->pos);
  std::memcpy(out, in->data + in->pos, k);
  in->pos += k;
  return int(k);
}

void BM_Giflib_Slurp(benchmark::State& state) {
  const auto& g = input(int(state.range(0)));
  for (auto _ : state) {
    qvad::GifMemoryInput in{reinterpret_cast<const unsigned char*>(g.data()), g.size(), 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&in, readMem, &err);
    if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("slurp failed");
    benchmark::DoNotOptimize(gif);
    DGifCloseFile(gif, &err);
  }
  state.SetLabel(label(int(state.range(0))));
}
BENCHMARK(BM_Giflib_Slurp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GdkPixbuf_Animation(benchmark::State& state) {
  const auto& g = input(int(state.range(0)));
  for (auto _ : state) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("gif", nullptr);
    gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(g.data()), g.size(), nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbufAnimation* anim = gdk_pixbuf_loader_get_animation(loader);
    // Walk every frame, as a player does, so each is composited. The iterator's API
    // takes the old GTimeVal: there is no other way to drive it.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GTimeVal t{0, 0};
    GdkPixbufAnimationIter* it = anim ? gdk_pixbuf_animation_get_iter(anim, &t) : nullptr;
    for (int i = 0; it && i < (state.range(0) == 0 ? 12 : 100); ++i) {
      benchmark::DoNotOptimize(gdk_pixbuf_get_pixels(gdk_pixbuf_animation_iter_get_pixbuf(it)));
      int delay = gdk_pixbuf_animation_iter_get_delay_time(it);
      g_time_val_add(&t, std::max(delay, 10) * 1000L);
      gdk_pixbuf_animation_iter_advance(it, &t);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (it) g_object_unref(it);
    g_object_unref(loader);
  }
  state.SetLabel(label(int(state.range(0))));
}
BENCHMARK(BM_GdkPixbuf_Animation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Replies to every request at once, from a thread of its own, with the large badge.
class InstantSession final : public qvad::HttpSession {
 public:
  void dataTask(qvad::HttpRequest, qvad::HttpCompletion completion) override {
    std::thread([c = std::move(completion)] { c(qvad::HttpResponse{large(), 200, std::nullopt}); }).detach();
  }
};

struct Probe {
  double longestTaskMs = 0, longestTaskCpuMs = 0;
  double longestRenderMs = 0, longestRenderCpuMs = 0;
  double loadCallMs = 0, loadCallCpuMs = 0;
  int frames = 0;
  int staleFrames = 0;  // renders that showed an older frame than the time selects
};

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }
// CPU time of the calling thread: on a shared machine wall time also counts waiting for a core.
double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Loads the large badge into a 100x100 view and plays it for `seconds`, rendering at
// 60 Hz; every main-queue task and every render is timed.
Probe playLargeBadge(double seconds) {
  Probe p;
  auto& q = *qvad::HeadlessMainQueue::current();
  auto root = qvad::View::make(qvad::Rect{0, 0, 120, 140});
  auto view = qvad::View::make<qvad::QvGIFView>(qvad::Rect{10, 20, 100, 100});
  root->addSubview(view);
  bool loaded = false;
  auto t0 = Clock::now();
  double c0 = threadCpuMs();
  view->showGIFImageWithWebNetWorkUrl("https://127.0.0.1:1/large.gif", [&] { loaded = true; });
  p.loadCallMs = msSince(t0);
  p.loadCallCpuMs = threadCpuMs() - c0;
  const auto start = Clock::now();
  auto nextFrame = start;
  while (msSince(start) < seconds * 1000) {
    // A turn of the main loop runs every ready task: its time bounds the longest task.
    auto turn = Clock::now();
    double turnCpu = threadCpuMs();
    q.runUntilIdle();
    p.longestTaskMs = std::max(p.longestTaskMs, msSince(turn));
    p.longestTaskCpuMs = std::max(p.longestTaskCpuMs, threadCpuMs() - turnCpu);
    if (loaded) {
      auto r = Clock::now();
      double renderCpu = threadCpuMs();
      benchmark::DoNotOptimize(qvad::renderView(*root));
      p.longestRenderMs = std::max(p.longestRenderMs, msSince(r));
      p.longestRenderCpuMs = std::max(p.longestRenderCpuMs, threadCpuMs() - renderCpu);
      ++p.frames;
      if (auto* a = view->animation("KpGifView")) {
        const double now = q.now();
        auto shown = view->presentedContents(now);
        // The frame the time selects, compared with what was drawn.
        double cycle = std::fmod(now - a->beginTime, a->duration) / a->duration;
        std::size_t want = 0;
        for (std::size_t i = 0; i < a->keyTimes.size(); ++i)
          if (a->keyTimes[i] <= cycle) want = i;
        if (shown != view->frames()->frameAt(want)) ++p.staleFrames;
      }
    }
    nextFrame += std::chrono::microseconds(16667);
    std::this_thread::sleep_until(nextFrame);
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  std::string docs = (std::filesystem::temp_directory_path() / "qvad-gif-bench-XXXXXX").string();
  if (!mkdtemp(docs.data())) return 1;
  qvad::QvConfiguration::setDocumentsDirectory(docs);
  qvad::QvConfiguration::setLogSink([](std::string_view) {});
  {
  qvad::ScopedServiceOverride<qvad::HttpSession> session(qvad::HttpSession::slot(), std::make_shared<InstantSession>());
  std::printf("\nlarge badge (%zu bytes), 100x100 view, render at 60 Hz for 4 s:\n", large().size());
  for (const char* path : {"downloaded", "cached"}) {
    Probe p = playLargeBadge(4);
    std::printf("  %-10s (wall / main-thread CPU) load call %.2f / %.2f ms, longest main-loop turn %.2f / %.2f ms, "
                "longest render %.2f / %.2f ms; %d frames drawn, %d showed an older frame than the time selects\n",
                path, p.loadCallMs, p.loadCallCpuMs, p.longestTaskMs, p.longestTaskCpuMs, p.longestRenderMs,
                p.longestRenderCpuMs, p.frames, p.staleFrames);
  }
  }
  std::filesystem::remove_all(docs);
  benchmark::Shutdown();
  return 0;
}
