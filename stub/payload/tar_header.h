// Decisions over one 512-byte tar header block, the subset of ustar that the
// archive reader understands: the magic, the name and the size field.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kTarBlockSize = 512;
constexpr size_t kTarNameSize = 100;

enum class TarBlockKind {
  kEndOfArchive,  // the four bytes at offset 257 are zero
  kMember,        // the five bytes at offset 257 are "ustar" (POSIX or GNU)
  kInvalid,       // anything else
};

// Classifies a header block; `block` needs kTarBlockSize readable bytes.
TarBlockKind ClassifyTarBlock(const uint8_t* block);

// Length of the member name: the bytes of the name field up to its first
// NUL, or all 100 when it has none. The name starts at `block`.
size_t TarNameLength(const uint8_t* block);

// Reads the 12-byte size field as octal text: leading white space skipped,
// then octal digits up to the first byte that is not one or the field's end.
// A field without digits reads as 0. False when the field carries a sign
// ('+' or '-') or the value is 2^31 or more; such a member cannot be handled
// and must be refused before anything is written.
bool ParseTarSize(const uint8_t* block, uint32_t& size);

// Where the header after a member starts: `dataStart` plus `size` rounded up
// to whole blocks. False when that position does not fit in 32 bits, which
// would otherwise wrap round to an earlier header and never end.
bool NextTarHeaderOffset(uint32_t dataStart, uint32_t size, uint32_t& next);

// True when `name` (`length` code units, already widened) names a file
// inside the output directory once appended to it after a backslash. False
// for an empty name; a leading '\' or '/' (a rooted or network path); a ':'
// anywhere (a drive letter, or a stream of another file); a path component
// made of dots and blanks holding two dots or more (the parent directory,
// after the platform trims trailing dots and blanks); and a component that
// names a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with or
// without an extension), which would send the data to that device.
bool IsSafeMemberName(const wchar_t* name, size_t length);
bool IsSafeMemberName(const char16_t* name, size_t length);
bool IsSafeMemberName(const char* name, size_t length);
