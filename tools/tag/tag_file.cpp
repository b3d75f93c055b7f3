#include "tag_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tag_error.h"

namespace {

std::string SystemReason() { return std::strerror(errno); }

// An open descriptor, closed once when the owner goes away.
class Descriptor {
public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return descriptor_; }
  // Closes now; false (errno set) when the close reported an error.
  bool Close() {
    if (descriptor_ < 0) return true;
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0;
  }

private:
  int descriptor_;
};

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

void WriteAll(int descriptor, const std::vector<uint8_t>& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw TagError("cannot write " + path + ": " + SystemReason());
    done += static_cast<size_t>(written);
  }
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  // Non-blocking, so that a FIFO cannot stall the open; it is refused below.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.Get() < 0) throw TagError("cannot open " + path + ": " + SystemReason());
  struct stat status = {};
  if (::fstat(file.Get(), &status) != 0) throw TagError("cannot examine " + path + ": " + SystemReason());
  if (!S_ISREG(status.st_mode)) throw TagError(path + " is not a regular file");
  std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(file.Get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw TagError("cannot read " + path + ": " + SystemReason());
    if (got == 0) throw TagError("cannot read " + path + ": it shrank while being read");
    done += static_cast<size_t>(got);
  }
  return bytes;
}

mode_t FileMode(const std::string& path) {
  struct stat status = {};
  if (::stat(path.c_str(), &status) == 0) return status.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void ReplaceFile(const std::string& target, const std::vector<uint8_t>& bytes, mode_t mode,
                 const std::function<void(const std::string& written)>& check) {
  std::string pattern = target + ".tmp.XXXXXX";
  int descriptor = ::mkstemp(&pattern[0]);
  if (descriptor < 0) throw TagError("cannot create a temporary file beside " + target + ": " + SystemReason());
  TemporaryFile temporary(pattern);
  Descriptor file(descriptor);
  if (::fchmod(file.Get(), mode) != 0) throw TagError("cannot set the mode of " + pattern + ": " + SystemReason());
  WriteAll(file.Get(), bytes, pattern);
  if (::fsync(file.Get()) != 0) throw TagError("cannot flush " + pattern + ": " + SystemReason());
  if (!file.Close()) throw TagError("cannot close " + pattern + ": " + SystemReason());
  check(temporary.Path());
  if (::rename(temporary.Path().c_str(), target.c_str()) != 0) {
    throw TagError("cannot replace " + target + ": " + SystemReason());
  }
  temporary.Kept();
}
