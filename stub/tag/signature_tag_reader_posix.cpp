// The tag reader's view of a file on the host: a read-only mmap of the whole
// file, sized like the stub's view (the file's size rounded up to whole pages,
// zeros past the end), followed by one inaccessible page so that a read past
// the view faults instead of reaching a neighbouring mapping.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "signature_tag_reader.h"

namespace {

constexpr int kNoFile = -1;

uint64_t PageSize() { return static_cast<uint64_t>(sysconf(_SC_PAGESIZE)); }

}  // namespace

SignatureTagReader::SignatureTagReader()
    : fileHandle(kNoFile),
      mappingHandle(nullptr),
      view(nullptr),
      viewSize(0),
      certificateTableSize(0),
      certificateTable(nullptr) {}

bool SignatureTagReader::IsOpen() const { return fileHandle != kNoFile; }

bool SignatureTagReader::Open(const char* path) {
  Close();
  // Non-blocking, so that a FIFO cannot stall the open; it is refused below.
  fileHandle = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fileHandle == kNoFile) return false;

  struct stat status = {};
  if (::fstat(fileHandle, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) {
    Close();
    return false;
  }
  const uint64_t page = PageSize();
  const uint64_t rounded = (static_cast<uint64_t>(status.st_size) + page - 1) / page * page;
  // The view size is a 32-bit quantity, as in the stub.
  if (rounded > UINT32_MAX) {
    Close();
    return false;
  }

  // Reserve the view and the guard page together, then map the file over the
  // front of the reservation.
  void* reservation = ::mmap(nullptr, rounded + page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (reservation == MAP_FAILED) {
    Close();
    return false;
  }
  mappingHandle = static_cast<uint8_t*>(reservation) + rounded;
  void* mapped = ::mmap(reservation, rounded, PROT_READ, MAP_PRIVATE | MAP_FIXED, fileHandle, 0);
  if (mapped == MAP_FAILED) {
    // The front of the reservation is still ours: give it back along with the
    // guard page.
    view = static_cast<const uint8_t*>(reservation);
    viewSize = static_cast<uint32_t>(rounded);
    Close();
    return false;
  }
  view = static_cast<const uint8_t*>(mapped);
  viewSize = static_cast<uint32_t>(rounded);
  return true;
}

void SignatureTagReader::Close() {
  if (view != nullptr) {
    ::munmap(const_cast<uint8_t*>(view), viewSize);
    view = nullptr;
  }
  if (mappingHandle != nullptr) {
    ::munmap(mappingHandle, static_cast<size_t>(PageSize()));
    mappingHandle = nullptr;
  }
  if (fileHandle != kNoFile) {
    ::close(fileHandle);
    fileHandle = kNoFile;
  }
  viewSize = 0;
  certificateTableSize = 0;
  certificateTable = nullptr;
}
