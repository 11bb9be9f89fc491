// Kinds of notice; a notice view carries its kind's raw value as its tag.
#pragma once

#include <optional>

namespace qvad {

enum class NoticeType : int {
  success = 888,
  error = 889,
  info = 890,
  onlyText = 891,
  wait = 892,
  circleProgress = 989,
  lineProgress = 990,
};

constexpr int rawValue(NoticeType t) { return static_cast<int>(t); }

/// The kind with raw value `raw`, or none for any other integer.
constexpr std::optional<NoticeType> noticeTypeFromRawValue(int raw) {
  switch (raw) {
    case 888: case 889: case 890: case 891: case 892: case 989: case 990:
      return static_cast<NoticeType>(raw);
    default:
      return std::nullopt;
  }
}

}  // namespace qvad
