#include "ui/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace tessaly {
namespace {

// A name beside path that no other writer uses: the process and a counter.
std::string TemporaryPathBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
}

bool WriteAll(int fd, const Bytes& content) {
  const char* next = content.data().data();
  std::size_t left = content.data().size();
  while (left > 0) {
    const ssize_t written = write(fd, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const Bytes& content) {
  if (path.empty()) return false;
  std::string temporary;
  int fd = -1;
  // O_EXCL with mode 0666 gives the file the permissions a plain create
  // would (the umask applies); a name taken by someone else is skipped.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryPathBeside(path);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  // Every step is checked: a short write, a failed flush or close must not
  // let a partial file replace a whole one.
  bool written = WriteAll(fd, content) && fsync(fd) == 0;
  written = (close(fd) == 0) && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace tessaly
