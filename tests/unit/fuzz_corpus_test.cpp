// Replays every kept fuzz input (seeds and past crashes) through its entry point.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz_targets.h"

namespace qvad {
namespace {

void replay(const char* target, void (*entry)(const std::uint8_t*, std::size_t)) {
  const std::filesystem::path dir = std::filesystem::path(QVAD_FUZZ_CORPUS) / target;
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  int count = 0;
  for (const auto& file : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(file.path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(file.path().filename().string());
    entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}

TEST(FuzzCorpus, ReplyBodiesReplay) { replay("reply_body", fuzz::replyBody); }
TEST(FuzzCorpus, PageURLsReplay) { replay("page_url", fuzz::pageURL); }
TEST(FuzzCorpus, PageMessagesReplay) { replay("page_message", fuzz::pageMessage); }
TEST(FuzzCorpus, GifFilesReplay) { replay("gif", fuzz::gifDecode); }
TEST(FuzzCorpus, PageOptionsReplay) { replay("page_options", fuzz::pageOptions); }
TEST(FuzzCorpus, NavigationsReplay) { replay("navigation", fuzz::navigation); }
TEST(FuzzCorpus, ReplyScriptsReplay) { replay("reply_script", fuzz::replyScript); }
TEST(FuzzCorpus, DefaultsFilesReplay) { replay("defaults_file", fuzz::defaultsFile); }
TEST(FuzzCorpus, IdentifierFilesReplay) { replay("identifier_file", fuzz::identifierFile); }
TEST(FuzzCorpus, RequestTargetsReplay) { replay("request_verifier", fuzz::requestVerifier); }

}  // namespace
}  // namespace qvad
