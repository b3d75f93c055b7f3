#include "tar_writer.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <new>

namespace {

constexpr uint64_t kBlock = 512;

struct ArchiveWriterDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryDeleter {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using ArchiveWriter = std::unique_ptr<archive, ArchiveWriterDeleter>;
using Entry = std::unique_ptr<archive_entry, EntryDeleter>;

// Collects what libarchive writes. An allocation failure is kept and reported
// as a write error, so no exception crosses libarchive's C frames.
struct Sink {
  std::vector<uint8_t>* out;
  bool outOfMemory = false;

  static la_ssize_t Write(archive* a, void* self, const void* buffer, size_t length) {
    auto* sink = static_cast<Sink*>(self);
    try {
      const auto* bytes = static_cast<const uint8_t*>(buffer);
      sink->out->insert(sink->out->end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
      sink->outOfMemory = true;
      archive_set_error(a, ENOMEM, "out of memory");
      return -1;
    }
    return static_cast<la_ssize_t>(length);
  }
};

std::string ArchiveError(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unknown libarchive error";
}

}  // namespace

bool WriteTarArchive(const std::vector<TarMember>& members, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  ArchiveWriter writer(archive_write_new());
  if (!writer) throw std::bad_alloc();
  Sink sink{&out};
  archive* a = writer.get();
  if (archive_write_set_format_ustar(a) != ARCHIVE_OK || archive_write_add_filter_none(a) != ARCHIVE_OK ||
      archive_write_set_bytes_per_block(a, static_cast<int>(kTarRecordSize)) != ARCHIVE_OK ||
      archive_write_set_bytes_in_last_block(a, static_cast<int>(kTarRecordSize)) != ARCHIVE_OK ||
      archive_write_open(a, &sink, nullptr, &Sink::Write, nullptr) != ARCHIVE_OK) {
    error = "cannot set up the tar writer: " + ArchiveError(a);
    return false;
  }

  for (const TarMember& member : members) {
    Entry entry(archive_entry_new());
    if (!entry) throw std::bad_alloc();
    archive_entry_set_pathname(entry.get(), member.name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(member.size));
    archive_entry_set_mtime(entry.get(), 0, 0);
    archive_entry_set_uid(entry.get(), 0);
    archive_entry_set_gid(entry.get(), 0);
    // A warning here means a field was cut short (a name too long for the
    // header), which would silently store something else: treat it as failure.
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK) {
      if (sink.outOfMemory) throw std::bad_alloc();
      error = "cannot add member '" + member.name + "' to the tar archive: " + ArchiveError(a);
      return false;
    }
    size_t done = 0;
    while (done < member.size) {
      const la_ssize_t n = archive_write_data(a, member.data + done, member.size - done);
      if (n <= 0) {
        if (sink.outOfMemory) throw std::bad_alloc();
        error = "cannot write the data of member '" + member.name + "': " + ArchiveError(a);
        return false;
      }
      done += static_cast<size_t>(n);
    }
  }
  if (archive_write_close(a) != ARCHIVE_OK) {
    if (sink.outOfMemory) throw std::bad_alloc();
    error = "cannot finish the tar archive: " + ArchiveError(a);
    return false;
  }
  return true;
}

uint64_t TarArchiveSize(const std::vector<uint64_t>& memberSizes) {
  uint64_t total = 2 * kBlock;  // end-of-archive blocks
  for (uint64_t size : memberSizes) total += kBlock + (size + kBlock - 1) / kBlock * kBlock;
  return (total + kTarRecordSize - 1) / kTarRecordSize * kTarRecordSize;
}
