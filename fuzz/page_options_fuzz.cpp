#include <charconv>
#include <string>

#include "fuzz_targets.h"
#include "net/text_utils.h"
#include "web/web_container_options.h"

namespace qvad::fuzz {
namespace {

// Agrees with the standard reader wherever both read the text, and never reads an
// integer that does not print back to a text it reads the same.
void checkInteger(const std::string& text) {
  auto n = parsePageInteger(text);
  std::int64_t expected = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (!text.empty() && text.front() == '+') ++begin;  // from_chars takes no plus sign
  const bool plusMinus = begin != text.data() && begin != end && *begin == '-';
  auto [ptr, ec] = std::from_chars(begin, end, expected);
  const bool standardReads = !plusMinus && ec == std::errc() && ptr == end;
  if (standardReads != n.has_value()) __builtin_trap();
  if (n && (*n != expected || parsePageInteger(std::to_string(*n)) != n)) __builtin_trap();
}

void checkOptions(const std::string& url) {
  auto options = parseContainerURL(url);
  if (options.has_value() != url.starts_with(kContainerURLPrefix)) __builtin_trap();
  if (!options) return;
  auto params = parseParams(url);
  const bool hasPage = params && params->count("url");
  if (!hasPage && *options != WebContainerOptions{}) __builtin_trap();  // no page: no option applies
  // A page address the container loads is always URL text.
  if (options->url && !isValidURLText(*options->url)) __builtin_trap();
  if (!params) return;
  for (const auto& [key, value] : *params) checkInteger(value);
  if (!hasPage) return;
  // Each option is its integer's sign where it has one, else its default.
  const WebContainerOptions defaults;
  auto flag = [&](const char* key, bool fallback) {
    auto it = params->find(key);
    auto n = it == params->end() ? std::nullopt : parsePageInteger(it->second);
    return n ? *n > 0 : fallback;
  };
  if (options->fullscreen != flag("page_fullscreen", defaults.fullscreen) ||
      options->showTitleBar != flag("page_titlebar", defaults.showTitleBar) ||
      options->pageStatusBarLight != flag("page_statusbar_light", defaults.pageStatusBarLight) ||
      options->showStatusBar != flag("page_statebar", defaults.showStatusBar) ||
      options->showProgressBar != flag("page_progressbar", defaults.showProgressBar))
    __builtin_trap();
}

}  // namespace

void pageOptions(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkOptions(text);
  checkOptions(std::string(kContainerURLPrefix) + text);
  checkInteger(text);

  // The query encoding of any UTF-8 text is URL text that decodes back to it.
  if (!text.empty() && isValidUTF8(text)) {
    const std::string encoded = percentEncodeQueryAllowed(text);
    if (!isValidURLText(encoded)) __builtin_trap();
    auto decoded = percentDecode(encoded);
    if (!decoded || *decoded != text) __builtin_trap();
    auto page = pageURLFromOption(text);
    if (!page || (*page != text && *page != encoded)) __builtin_trap();
  }
}

}  // namespace qvad::fuzz

QVAD_FUZZ_ENTRY(qvad::fuzz::pageOptions)
