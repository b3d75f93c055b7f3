// Writing the payload's tar archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The archive pads its last block up to this size with zeros.
constexpr size_t kTarRecordSize = 10240;

struct TarMember {
  std::string name;           // the header's name field, at most 100 bytes
  const uint8_t* data;        // `size` bytes; may be null when size is 0
  size_t size;
};

// Writes `members` in the given order as a POSIX ustar archive: each a regular
// file (type flag '0', mode 0644, owner 0, time 0, so the same input gives the
// same bytes) holding its full data, never a link to an earlier member of the
// same name or content; then the end-of-archive blocks, and zeros up to a
// multiple of kTarRecordSize.
// Returns true and replaces `out` with the archive; returns false with `error` naming the
// member when libarchive refuses one (the caller is expected to have checked
// names with MemberNameProblem). Throws std::bad_alloc when memory runs out.
bool WriteTarArchive(const std::vector<TarMember>& members, std::vector<uint8_t>& out, std::string& error);

// The size WriteTarArchive gives for members of these data sizes.
uint64_t TarArchiveSize(const std::vector<uint64_t>& memberSizes);
