#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

namespace qvad {

namespace {

// Reads `fd` to its end and closes it.
FileRead readOpened(int fd, std::size_t maxBytes) {
  FileRead result;
  std::string out;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = errno;  // EISDIR for a directory
      ::close(fd);
      return result;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
      result.error = EFBIG;
      ::close(fd);
      return result;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  result.content = std::move(out);
  return result;
}

FileRead failure(int error) {
  FileRead result;
  result.error = error;
  return result;
}

}  // namespace

FileRead readFileReporting(const std::string& path, std::size_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(errno);
  return readOpened(fd, maxBytes);
}

FileRead readRegularFileNoFollow(const std::string& path, std::size_t maxBytes) {
  // O_NONBLOCK only so that opening a FIFO returns at once; the fstat refuses it next.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return failure(errno);
  struct stat st {};
  int refused = 0;
  if (::fstat(fd, &st) != 0) refused = errno;
  else if (!S_ISREG(st.st_mode)) refused = EINVAL;
  else if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) refused = EFBIG;
  if (refused != 0) {
    ::close(fd);
    return failure(refused);
  }
  return readOpened(fd, maxBytes);
}

std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes) {
  return readFileReporting(path, maxBytes).content;
}

bool makeDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeFileAtomically(const std::string& path, std::string_view content, unsigned mode) {
  auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash))) return false;
  std::string tmp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(std::random_device{}());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::fchmod(fd, static_cast<mode_t>(mode));  // exact bits, whatever the umask
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      ::unlink(tmp.c_str());
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace qvad
