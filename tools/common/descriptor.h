// Owner of a POSIX file descriptor: closed exactly once.
#pragma once

#include <unistd.h>

class Descriptor {
public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return descriptor_; }
  // Closes now, so that a failing close (a full disk on some file systems) is
  // seen; false (errno set) when the close reported an error.
  bool Close() {
    if (descriptor_ < 0) return true;
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0;
  }

private:
  int descriptor_;
};
