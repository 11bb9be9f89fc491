// The decoder against a public GIF decoder conformance suite (tests/data/gif-test-suite,
// see its NOTICE). Each case names the frames a viewer shows and their pixels.
//
// Where our policy differs, the case is listed in kOurOutcome with the reason:
// - The suite merges images drawn without a delay into one shown frame. The player
//   lists every image as a frame (that is what the key times animate), so the suite's
//   frame k is compared with our composited image that ends its group: the last image
//   before a stored delay, or the last image.
// - Zero or missing delays play for 0.1 s (the clamped delay); the suite leaves them out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ui/gif/gif_decoder.h"

namespace qvad {
namespace {

namespace fs = std::filesystem;
const fs::path kSuite = fs::path(QVAD_TEST_DATA) / "gif-test-suite";

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string trim(std::string s) {
  auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
  s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
  return s;
}

// section -> key -> value
std::map<std::string, std::map<std::string, std::string>> readConf(const fs::path& p) {
  std::map<std::string, std::map<std::string, std::string>> out;
  std::istringstream in(slurp(p));
  std::string line, section;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    auto eq = line.find('=');
    if (eq != std::string::npos) out[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return out;
}

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ',');)
    if (!trim(item).empty()) out.push_back(trim(item));
  return out;
}

// Straight RGBA bytes of a decoded frame (our pixels are fully opaque or transparent).
std::string rgba(const Image& image) {
  std::string out;
  for (std::uint32_t p : image.pixels()) {
    const unsigned a = p >> 24;
    if (a == 0) p = 0;
    out += {char((p >> 16) & 0xFF), char((p >> 8) & 0xFF), char(p & 0xFF), char(a)};
  }
  return out;
}

struct Expectation {
  int frames;          // what we show: -1 for undecodable
  const char* reason;
};

// Cases where the player's outcome is not the suite's, and why.
const std::map<std::string, Expectation> kOurOutcome = {
    {"no-data", {-1, "a file without any image has nothing to show: undecodable, the badge stays hidden"}},
    {"image-zero-width", {-1, "the image has neither code size nor data: cut off, so there is no image"}},
    {"image-zero-height", {-1, "the image has neither code size nor data: cut off, so there is no image"}},
    {"image-zero-size", {-1, "the image has neither code size nor data: cut off, so there is no image"}},
    {"invalid-colors",
     {1, "indices past the colour table leave the pixel untouched (transparent) instead of dropping the image"}},
    {"max-codes", {-1, "an LZW code size above 8 bits is refused by giflib; such a file is undecodable"}},
    {"max-width", {-1, "65,535 pixels wide is more than a drawing surface holds: refused before caching"}},
    {"max-height", {-1, "65,535 pixels high is more than a drawing surface holds: refused before caching"}},
    {"plain-text", {1, "the plain-text extension is skipped, as browsers do; the image after it shows"}},
};

void checkCase(const std::string& name) {
  SCOPED_TRACE(name);
  auto conf = readConf(kSuite / (name + ".conf"));
  auto& config = conf["config"];
  const auto expectedFrames = split(config["frames"]);
  std::string error;
  auto decoded = decodeGif(slurp(kSuite / config["input"]), &error);

  if (auto it = kOurOutcome.find(name); it != kOurOutcome.end()) {
    SCOPED_TRACE(it->second.reason);
    if (it->second.frames < 0) {
      EXPECT_FALSE(decoded);
    } else {
      ASSERT_TRUE(decoded) << error;
      EXPECT_EQ(int(decoded->frames.size()), it->second.frames);
    }
    return;
  }
  if (expectedFrames.empty()) {
    // Empty canvas, over the size limit, data that cannot be decompressed, no image.
    EXPECT_FALSE(decoded) << "expected undecodable";
    return;
  }
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->info.width, std::stoi(config["width"]));
  EXPECT_EQ(decoded->info.height, std::stoi(config["height"]));
  EXPECT_TRUE(decoded->error.empty()) << decoded->error;

  // Group our images into the suite's shown frames.
  const bool everyImageShown = config["force-animation"] == "yes";
  std::vector<std::size_t> ends;
  const auto& frames = decoded->info.frames;
  for (std::size_t i = 0; i < decoded->frames.size(); ++i)
    if (everyImageShown || frames[i].unclampedDelay > 0 || i + 1 == decoded->frames.size()) ends.push_back(i);
  ASSERT_EQ(ends.size(), expectedFrames.size());

  for (std::size_t k = 0; k < ends.size(); ++k) {
    SCOPED_TRACE(expectedFrames[k]);
    auto& spec = conf[expectedFrames[k]];
    const auto& info = frames[ends[k]];
    if (spec.count("delay")) {
      EXPECT_DOUBLE_EQ(info.delay, std::stoi(spec["delay"]) / 100.0);
    } else {
      EXPECT_DOUBLE_EQ(info.delay, 0.1);  // no stored delay: the clamped one
    }
    ASSERT_TRUE(spec.count("pixels"));
    EXPECT_TRUE(rgba(*decoded->frames[ends[k]]) == slurp(kSuite / spec["pixels"])) << "pixels differ";
  }
}

TEST(GifConformance, EveryCaseOfTheSuite) {
  ASSERT_TRUE(fs::exists(kSuite / "TESTS")) << kSuite;
  std::istringstream list(slurp(kSuite / "TESTS"));
  int cases = 0;
  for (std::string name; std::getline(list, name);) {
    name = trim(name);
    if (name.empty()) continue;
    ++cases;
    checkCase(name);
  }
  EXPECT_GT(cases, 80);
}

}  // namespace
}  // namespace qvad
