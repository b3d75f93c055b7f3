#include "atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now so that a failing close (a full disk on some file systems) is
  // seen; returns the close result.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Removes the temporary file unless it was renamed into place.
class TemporaryName {
 public:
  explicit TemporaryName(std::string path) : path_(std::move(path)) {}
  ~TemporaryName() {
    if (!committed_) ::unlink(path_.c_str());
  }
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;
  const std::string& path() const { return path_; }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  bool committed_ = false;
};

std::string SystemError(int code) { return std::strerror(code); }

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  const std::string tempPath = path + ".tmp." + std::to_string(::getpid());
  FileDescriptor fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    error = "cannot create '" + tempPath + "': " + SystemError(errno);
    return false;
  }
  TemporaryName temp(tempPath);

  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "cannot write '" + tempPath + "': " + SystemError(n < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd.get()) != 0 || fd.Close() != 0) {
    error = "cannot write '" + tempPath + "': " + SystemError(errno);
    return false;
  }
  if (::rename(tempPath.c_str(), path.c_str()) != 0) {
    error = "cannot replace '" + path + "': " + SystemError(errno);
    return false;
  }
  temp.Commit();
  return true;
}
