// Gathers the rows the benchmarks appended (one JSON object a line), adds the size row
// from the stripped libraries given, prints one table and writes results.json (and the
// same table as Markdown beside it, results.md, for the README).
//
//   bench_table ROWS.jsonl OUT.json [CORE_STRIPPED WHOLE_STRIPPED]
//
// Every expected row appears, in a fixed order; one that no benchmark produced is
// listed as not run and not met. Exit status 0 whether or not targets were met: the
// table is the verdict.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench_rows.h"

namespace {

const std::vector<std::string> kRows = {"sign",        "reply",       "gif-decode", "gif-memory", "main-thread", "showAd-cold",
                                        "showAd-warm", "tracking",    "bridge",     "size",       "start"};

long fileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, v >= 100 ? "%.0f" : v >= 10 ? "%.1f" : v >= 1 ? "%.2f" : "%.3f", v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: bench_table ROWS.jsonl OUT.json [CORE_STRIPPED WHOLE_STRIPPED]\n");
    return 2;
  }
  std::map<std::string, nlohmann::json> rows;
  std::ifstream in(argv[1]);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    auto j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_object() && j.contains("name")) rows[j["name"].get<std::string>()] = j;  // the last run wins
  }
  if (argc == 5) {
    const long core = fileSize(argv[3]), whole = fileSize(argv[4]);
    if (core > 0) {
      const double mb = core / 1e6, limit = 1.5;
      rows["size"] = {{"name", "size"},       {"ours", mb},
                      {"peer", limit},        {"unit", "MB"},
                      {"ratio", mb / limit},  {"target", "stripped core <= 1.5 MB"},
                      {"met", mb <= limit},   {"detail", {{"coreBytes", core}, {"wholeWithGtkBytes", whole}}}};
    }
  }
  nlohmann::json out = nlohmann::json::array();
  std::string md = "| row | ours | peer or limit | ratio | target | met |\n|---|---|---|---|---|---|\n";
  std::printf("\n%-12s %12s %12s %-4s %7s  %-45s %s\n", "what", "ours", "peer/limit", "unit", "ratio", "target", "met");
  int met = 0;
  for (const auto& name : kRows) {
    auto it = rows.find(name);
    if (it == rows.end()) {
      std::printf("%-12s %12s %12s %-4s %7s  %-45s %s\n", name.c_str(), "-", "-", "", "-", "(not run)", "no");
      md += "| " + name + " | - | - | - | not run | no |\n";
      out.push_back({{"name", name}, {"ours", nullptr}, {"peer", nullptr}, {"unit", ""}, {"ratio", nullptr},
                     {"target", "not run"}, {"met", false}});
      continue;
    }
    const auto& r = it->second;
    met += r["met"].get<bool>();
    std::printf("%-12s %12s %12s %-4s %7s  %-45s %s\n", name.c_str(), number(r["ours"].get<double>()).c_str(),
                number(r["peer"].get<double>()).c_str(), r["unit"].get<std::string>().c_str(),
                number(r["ratio"].get<double>()).c_str(), r["target"].get<std::string>().c_str(),
                r["met"].get<bool>() ? "yes" : "NO");
    const std::string unit = " " + r["unit"].get<std::string>();
    md += "| " + name + " | " + number(r["ours"].get<double>()) + unit + " | " + number(r["peer"].get<double>()) + unit +
          " | " + number(r["ratio"].get<double>()) + " | " + r["target"].get<std::string>() + " | " +
          (r["met"].get<bool>() ? "yes" : "**no**") + " |\n";
    out.push_back(r);
  }
  std::printf("%d of %zu targets met\n", met, kRows.size());
  std::ofstream(argv[2]) << out.dump(2) << '\n';
  std::string mdPath = argv[2];
  if (mdPath.size() > 5 && mdPath.ends_with(".json")) mdPath.replace(mdPath.size() - 5, 5, ".md");
  else mdPath += ".md";
  std::ofstream(mdPath) << md;
  std::printf("written: %s\n", argv[2]);
  return 0;
}
