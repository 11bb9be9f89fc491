// What every benchmark of `make bench` shares: timing ours and its peer in alternating
// rounds (a shared, busy machine slows both alike), medians, and the result rows that
// bench_table gathers into one table and build/bench/results.json.
//
// A row is one JSON object per line, appended to the file named by QVAD_BENCH_ROWS (and
// printed); without the variable it is only printed, so each binary also runs alone.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <time.h>

namespace qvad::bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

/// CPU time of the calling thread, or of the whole process, in ms.
inline double cpuMs(clockid_t which = CLOCK_THREAD_CPUTIME_ID) {
  timespec ts{};
  clock_gettime(which, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/// Nanoseconds of this thread's CPU per call of `fn`, run `batch` times. CPU time, not
/// wall time: on a machine shared with busy neighbours a long batch is preempted more
/// often than a short one, and wall time would charge that to whichever ran longer.
inline double nsPerCall(const std::function<void()>& fn, int batch) {
  const double t = cpuMs();
  for (int i = 0; i < batch; ++i) fn();
  return (cpuMs() - t) * 1e6 / batch;
}

/// Median CPU ns per call of each of `fns` over `rounds` rounds, each round timing one
/// batch of each in turn; each function's batch is sized to about 10 ms of its own.
inline std::vector<double> interleaved(const std::vector<std::function<void()>>& fns, int rounds = 9) {
  std::vector<int> batches;
  for (const auto& fn : fns) {
    int batch = 1;
    while (batch < (1 << 24) && nsPerCall(fn, batch) * batch < 10e6) batch *= 2;
    batches.push_back(batch);
  }
  std::vector<std::vector<double>> samples(fns.size());
  for (int r = 0; r < rounds; ++r)
    for (std::size_t i = 0; i < fns.size(); ++i) samples[i].push_back(nsPerCall(fns[i], batches[i]));
  std::vector<double> out;
  for (auto& s : samples) out.push_back(median(s));
  return out;
}

struct Pair {
  double ours = 0, peer = 0;
};
inline Pair interleaved(const std::function<void()>& ours, const std::function<void()>& peer, int rounds = 9) {
  auto m = interleaved(std::vector<std::function<void()>>{ours, peer}, rounds);
  return {m[0], m[1]};
}

struct Row {
  std::string name;
  double ours = 0;
  double peer = 0;  // the peer's figure, or the limit for rows measured against one
  std::string unit;
  double ratio = 0;
  std::string target;  // "ratio <= 3", "ours <= 1.5 MB", ...
  bool met = false;
  nlohmann::json detail = nlohmann::json::object();  // figures behind the row
};

/// Prints the row and appends it to $QVAD_BENCH_ROWS.
inline void emit(const Row& row) {
  nlohmann::json j = {{"name", row.name},   {"ours", row.ours},     {"peer", row.peer}, {"unit", row.unit},
                      {"ratio", row.ratio}, {"target", row.target}, {"met", row.met}};
  if (!row.detail.empty()) j["detail"] = row.detail;
  std::printf("row %s\n", j.dump().c_str());
  std::fflush(stdout);
  if (const char* path = std::getenv("QVAD_BENCH_ROWS")) {
    std::ofstream out(path, std::ios::app);
    out << j.dump() << '\n';
  }
}

/// Rounds given on the command line as --rounds=N, else `fallback`.
inline int roundsArg(int argc, char** argv, int fallback) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--rounds=", 0) == 0) return std::max(1, std::atoi(a.c_str() + 9));
  }
  return fallback;
}

}  // namespace qvad::bench
