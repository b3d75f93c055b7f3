#include "replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "descriptor.h"

namespace {

std::string SystemReason() { return std::strerror(errno); }

// A temporary file that is removed unless it was renamed into place.
class TemporaryFile {
public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return path_; }
  void Kept() { path_.clear(); }

private:
  std::string path_;
};

}  // namespace

std::string ReplaceFileInOneStep(const std::string& target, const std::vector<uint8_t>& bytes, mode_t mode,
                                 const WrittenFileCheck& check) {
  std::string pattern = target + ".tmp.XXXXXX";
  const int descriptor = ::mkstemp(&pattern[0]);
  if (descriptor < 0) return "cannot create '" + pattern + "': " + SystemReason();
  TemporaryFile temporary(pattern);
  Descriptor file(descriptor);
  if (::fchmod(file.Get(), mode) != 0) return "cannot set the mode of '" + pattern + "': " + SystemReason();

  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(file.Get(), bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return "cannot write '" + pattern + "': " + SystemReason();
    }
    done += static_cast<size_t>(written);
  }
  if (::fsync(file.Get()) != 0 || !file.Close()) return "cannot write '" + pattern + "': " + SystemReason();

  if (check) {
    const std::string refused = check(temporary.Path());
    if (!refused.empty()) return refused;
  }
  if (::rename(temporary.Path().c_str(), target.c_str()) != 0) {
    return "cannot replace '" + target + "': " + SystemReason();
  }
  temporary.Kept();
  return {};
}

mode_t FileMode(const std::string& path) {
  struct stat status = {};
  if (::stat(path.c_str(), &status) == 0) return status.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}
