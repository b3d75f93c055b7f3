// Finding the tag in a signed PE file: a read-only view of the whole file, the
// certificate table that the security entry of the data directory names, and
// the first tag record ("Gact2.0Kexta", a big-endian 16-bit length, the text)
// anywhere inside that table. Nothing is verified cryptographically.
//
// The scanning operations are portable; Open and Close map the file with
// Win32 in the stub and with mmap on the host, so the tools and the fuzzer
// run the very reader that ships.
#pragma once

#include <cstdint>

#if defined(_WIN32)
using TagPathChar = wchar_t;
using TagFileHandle = void*;     // HANDLE
using TagMappingHandle = void*;  // HANDLE of the file-mapping object
#else
using TagPathChar = char;
using TagFileHandle = int;       // file descriptor
using TagMappingHandle = void*;  // the inaccessible page reserved after the view
#endif

// The tag magic, twelve ASCII bytes without a terminator.
constexpr char kTagMagic[12] = {'G', 'a', 'c', 't', '2', '.', '0', 'K', 'e', 'x', 't', 'a'};
constexpr uint32_t kTagMagicSize = sizeof(kTagMagic);
// Magic plus the 16-bit length field: the record's header.
constexpr uint32_t kTagRecordHeaderSize = kTagMagicSize + 2;
// Longest text the stub accepts: a length field of 0xFFFF is refused.
constexpr uint32_t kMaxTagLength = 0xFFFE;

// Offset and size of the certificate table, as the security entry gives them.
struct SecurityDirectory {
  uint32_t offset;
  uint32_t size;
};

class SignatureTagReader {
public:
  SignatureTagReader();
  // Closes the reader.
  virtual ~SignatureTagReader();

  SignatureTagReader(const SignatureTagReader&) = delete;
  SignatureTagReader& operator=(const SignatureTagReader&) = delete;

  // Closes whatever the reader holds, then opens `path` read-only and maps
  // the whole file. Returns true with the reader open; false with the reader
  // closed (missing file, empty file, mapping or query failure).
  bool Open(const TagPathChar* path);

  // Returns the tag text as a NUL-terminated string allocated with
  // std::malloc (the caller frees it), or nullptr: reader not open, no table,
  // no record, a length of 0 or 0xFFFF, or a double quote before the text's
  // first NUL. Leaves the reader open.
  char* ReadTag();

  // Unmaps the view and closes the mapping and the file, each at most once;
  // safe to call on a closed reader.
  void Close();

  // Locates the certificate table of the image at `view` (this reader's view)
  // and scans it, following the size-probe protocol:
  //   buffer == nullptr: *size receives L + 1, true;
  //   buffer != nullptr: *size (as a signed value) must be at least L + 1;
  //     the L text bytes and a NUL at index L are written, true.
  // False, with *size untouched, when `size` or `view` is null, there is no
  // usable table, no magic, a length of 0, a record running past the table,
  // or a buffer that is too small.
  bool FindTag(const uint8_t* view, char* buffer, int32_t* size);

  // Sets certificateTable and certificateTableSize from the security entry
  // when the entry lies in the view and the table's first entry's content
  // begins with 0x30 0x82 (DER SEQUENCE, two-byte length). False otherwise.
  bool LocateCertificateTable(const uint8_t* view);

  // Reads the security entry (data directory 4) of a 32-bit-layout image.
  // False for a view under 64 bytes, no "MZ" or "PE\0\0", headers past the
  // view, an AMD64 machine, a zero offset, or offset + 12 past the view.
  bool FindSecurityDirectory(const uint8_t* view, SecurityDirectory* entry) const;

  // Scans the certificateTableSize bytes at `table` for the first magic and
  // applies the size-probe protocol (see FindTag) to its text. Reads nothing
  // outside those bytes: a record whose length field or text would run past
  // them gives false.
  bool ScanForTag(const uint8_t* table, char* buffer, int32_t* size);

  // The view of the open file (nullptr when closed) and its readable size:
  // the file's size rounded up to whole pages, zeros past the end.
  const uint8_t* View() const { return view; }
  uint32_t ViewSize() const { return viewSize; }

private:
  bool IsOpen() const;

  TagFileHandle fileHandle;
  TagMappingHandle mappingHandle;
  const uint8_t* view;
  uint32_t viewSize;
  uint32_t certificateTableSize;
  const uint8_t* certificateTable;
};
