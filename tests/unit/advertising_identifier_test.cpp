// A damaged identifier file must never turn a user's opt-out back into tracking.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "net/utils.h"
#include "platform/advertising_identifier.h"
#include "qvad/configuration.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace qvad {
namespace {

const char* const kOptedOut = "{\n  \"identifier\": \"0D6C1F0E-3B4A-4C5D-8E6F-7A8B9C0D1E2F\",\n  \"limitTracking\": true\n}\n";

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Reads the identifier as the library does and checks that the opt-out held, the
// file kept its bytes and one console line named the file and the reason.
void expectOptOutHolds(const std::string& path, const std::string& reason) {
  SCOPED_TRACE(reason);
  const bool wasDirectory = std::filesystem::is_directory(path);
  const std::string before = wasDirectory ? std::string() : bytesOf(path);
  testing::LogCapture console;
  {
    AdvertisingIdentifier ids(path);
    EXPECT_FALSE(ids.isAdvertisingTrackingEnabled());
    EXPECT_EQ(ids.uuidString(), "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(ids.identifierForTracking(), "") << "what requests and limitAdTracking() read";
    EXPECT_FALSE(ids.isAdvertisingTrackingEnabled()) << "and stays so on a second read";
  }
  EXPECT_EQ(std::filesystem::is_directory(path), wasDirectory);
  if (!wasDirectory) {
    EXPECT_EQ(bytesOf(path), before) << "the file is byte-for-byte unchanged";
  }
  ASSERT_EQ(console.lines().size(), 1u);
  EXPECT_NE(console.lines()[0].find(path), std::string::npos) << console.lines()[0];
  EXPECT_NE(console.lines()[0].find(reason), std::string::npos) << console.lines()[0];
}

TEST(AdvertisingIdentifierDamage, AnUnusableFileKeepsTrackingLimitedAndIsLeftAlone) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/advertising-identifier.json";
  std::string padded = kOptedOut;
  padded.insert(padded.size() - 2, AdvertisingIdentifier::kMaxFileBytes, ' ');  // still valid JSON

  dir.write("advertising-identifier.json", padded);
  expectOptOutHolds(path, "larger than");
  dir.write("advertising-identifier.json", std::string(kOptedOut).substr(0, 40));
  expectOptOutHolds(path, "not a JSON object");
  dir.write("advertising-identifier.json", "limitTracking=true\n");
  expectOptOutHolds(path, "not a JSON object");
  dir.write("advertising-identifier.json", R"({"identifier":"not-a-uuid","limitTracking":true})");
  expectOptOutHolds(path, "identifier");
  dir.write("advertising-identifier.json", R"({"identifier":"0D6C1F0E-3B4A-4C5D-8E6F-7A8B9C0D1E2F","limitTracking":"yes"})");
  expectOptOutHolds(path, "limitTracking");

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  expectOptOutHolds(path, "Is a directory");
}

TEST(AdvertisingIdentifierDamage, AHostLogSinkMayAskForTheIdentifierWhileTheDamageIsReported) {
  testing::TempDir dir;
  dir.write("advertising-identifier.json", "not json");
  AdvertisingIdentifier ids(dir.path() + "/advertising-identifier.json");
  std::vector<std::string> seen;
  QvConfiguration::setLogSink([&](std::string_view line) { seen.push_back(std::string(line) + " | " + ids.uuidString()); });
  const bool enabled = ids.isAdvertisingTrackingEnabled();
  QvConfiguration::setLogSink(nullptr);
  EXPECT_FALSE(enabled);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("| 00000000-0000-0000-0000-000000000000"), std::string::npos) << seen[0];
}

TEST(AdvertisingIdentifierDamage, ADataDirectoryThatIsAFileLimitsTrackingThroughUtils) {
  testing::TempDir dir;
  dir.write("not-a-directory", "some file\n");
  const std::string dataDir = dir.path() + "/not-a-directory";
  const std::string saved = QvConfiguration::dataDirectory();
  QvConfiguration::setDataDirectory(dataDir);
  testing::LogCapture console;
  EXPECT_EQ(Utils::getMyIDFA(), "");
  QvConfiguration::setDataDirectory(saved);
  EXPECT_EQ(bytesOf(dataDir), "some file\n");
  ASSERT_FALSE(console.lines().empty());
  EXPECT_NE(console.lines()[0].find("not a directory"), std::string::npos) << console.lines()[0];
}

TEST(AdvertisingIdentifierDamage, AFileTheUserCannotReadKeepsTrackingLimited) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user who cannot read the file";
  testing::TempDir dir;
  const std::string path = dir.path() + "/advertising-identifier.json";
  dir.write("advertising-identifier.json", kOptedOut);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);  // root's file; the user below cannot open it

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As an unprivileged user: 0 when the opt-out held, 1 when it did not, 3 when
    // the user could not be taken on.
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    QvConfiguration::setLogSink([](std::string_view) {});
    AdvertisingIdentifier ids(path);
    _exit(!ids.isAdvertisingTrackingEnabled() && ids.uuidString() == "00000000-0000-0000-0000-000000000000" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "could not switch to uid 65534";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "tracking came back for a file the user cannot read";
  EXPECT_EQ(bytesOf(path), kOptedOut);
}

TEST(AdvertisingIdentifierDamage, OnlyAMissingFileGetsANewIdentifierAndAnExplicitChoiceRepairs) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/deeper/advertising-identifier.json";
  {
    AdvertisingIdentifier ids(path);
    EXPECT_TRUE(ids.isAdvertisingTrackingEnabled());
    EXPECT_NE(ids.uuidString(), "00000000-0000-0000-0000-000000000000");
  }
  EXPECT_NE(bytesOf(path).find("\"limitTracking\": false"), std::string::npos);

  dir.write("deeper/advertising-identifier.json", "garbage");
  testing::LogCapture console;
  AdvertisingIdentifier ids(path);
  ids.setLimitTracking(false);  // the user asks for tracking: a well-formed file again
  EXPECT_TRUE(ids.isAdvertisingTrackingEnabled());
  EXPECT_EQ(AdvertisingIdentifier(path).uuidString(), ids.uuidString());
}

TEST(AdvertisingIdentifierChoice, AnAllZeroIdentifierIsNoneUntilTheUserAsksForTracking) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/advertising-identifier.json";
  dir.write("advertising-identifier.json", R"({"identifier":"00000000-0000-0000-0000-000000000000","limitTracking":false})");
  AdvertisingIdentifier ids(path);
  EXPECT_TRUE(ids.isAdvertisingTrackingEnabled());
  EXPECT_EQ(ids.identifierForTracking(), "") << "zeros are sent as no identifier";
  ids.setLimitTracking(false);
  const std::string made = ids.identifierForTracking();
  EXPECT_NE(made, "") << "asking for tracking must give requests an identifier";
  EXPECT_NE(made, "00000000-0000-0000-0000-000000000000");
  EXPECT_EQ(AdvertisingIdentifier(path).identifierForTracking(), made);
}

TEST(AdvertisingIdentifierChoice, ChoicesFromManyThreadsLeaveTheFileWithTheLastOne) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/advertising-identifier.json";
  AdvertisingIdentifier ids(path);
  const std::string id = ids.uuidString();
  std::vector<std::thread> choosers;
  for (int t = 0; t < 4; ++t) {
    choosers.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        ids.applyLimitTracking((t + i) % 2 == 0);
        ids.writeFile();
      }
    });
  }
  for (auto& c : choosers) c.join();
  AdvertisingIdentifier later(path);
  EXPECT_EQ(later.isAdvertisingTrackingEnabled(), ids.isAdvertisingTrackingEnabled());
  EXPECT_EQ(later.uuidString(), id);
}

}  // namespace
}  // namespace qvad
