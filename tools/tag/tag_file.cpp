#include "tag_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "descriptor.h"
#include "tag_error.h"

namespace {

std::string SystemReason() { return std::strerror(errno); }

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

void ReplaceFile(const std::string& target, const std::vector<uint8_t>& bytes, mode_t mode,
                 const std::function<void(const std::string& written)>& check) {
  const std::string error = ReplaceFileInOneStep(target, bytes, mode, [&](const std::string& written) {
    check(written);
    return std::string();
  });
  if (!error.empty()) throw TagError(error);
}
