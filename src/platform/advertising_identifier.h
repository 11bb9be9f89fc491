// The device's advertising identifier: a random UUID kept in the data directory,
// resettable, with a limit-tracking switch under which apps must not use it.
//
// Only a missing file leads to a new identifier. A file that is there but cannot be
// used (unreadable, a directory, over the size limit, not the stored format), or a
// data directory path that is not a directory, may hold the user's opt-out: tracking
// then counts as limited for the life of the instance, the file is left as it is, and
// one console line names the file and the reason. setLimitTracking and reset are the
// user's own choice and write a well-formed file in any case.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace qvad {

class AdvertisingIdentifier {
 public:
  /// The identifier store of the configured data directory.
  static std::shared_ptr<AdvertisingIdentifier> shared();

  explicit AdvertisingIdentifier(std::string path);

  /// Upper-case 8-4-4-4-12 UUID text; made and persisted on first use. All zeros
  /// while the file cannot be used.
  std::string uuidString();
  bool isAdvertisingTrackingEnabled();
  /// What requests carry, read in one step: the identifier, or empty while tracking is
  /// limited or the identifier is all zeros.
  std::string identifierForTracking();

  /// The user's choice: in effect at once for every reader, and written to the file
  /// before this returns.
  void setLimitTracking(bool limited);
  /// The same choice without the write, for a caller that must not wait for the disk;
  /// writeFile() persists it. A damaged file, or an all-zero identifier, gives way to a
  /// new identifier, as the user has now chosen.
  void applyLimitTracking(bool limited);
  /// Writes the current state, once a choice was made. Writes from several threads
  /// take turns and each writes the state of its turn, so the file ends with the latest.
  void writeFile();
  /// Makes a new identifier (the old one is forgotten).
  void reset();

  /// A version-4 UUID in upper case from the platform random source.
  static std::string makeUUID();

  /// Largest identifier file read; a larger one counts as unusable.
  static constexpr std::size_t kMaxFileBytes = 64 * 1024;

  /// What an identifier file's text holds.
  struct Stored {
    std::string uuid;
    bool limited = false;
  };
  /// The identifier and choice of a file's text, or nothing with `reason` set.
  static std::optional<Stored> readFileText(std::string_view text, std::string& reason);
  /// The file's text for an identifier and choice, as it is written.
  static std::string fileText(const std::string& uuid, bool limited);

 private:
  /// Reads the file on first use; a line for the console when it cannot be used.
  std::optional<std::string> loadLocked();
  std::string fileTextLocked() const;
  /// Only on first use, under mu_: no writeFile() can have begun before the load.
  void saveLocked();
  /// Runs `f` under the lock with the file loaded, then writes the load's console line
  /// after unlocking: a log sink may itself ask for the identifier.
  template <class F>
  auto withLoaded(F&& f);

  const std::string path_;
  std::mutex writeMu_;  // held across a whole writeFile(), taken before mu_
  std::mutex mu_;
  bool loaded_ = false;
  std::string uuid_;
  bool limited_ = false;
  bool unusable_ = false;  // the file exists but could not be read as ours
};

}  // namespace qvad
