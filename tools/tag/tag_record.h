// Finding, writing and removing the tag record in a signed PE file's
// certificate table, as pure functions over the file's bytes.
//
// Two kinds of record are written:
//   reserved  a record inside the signature's DER blob: the value of an OCTET
//             STRING (a certificate extension that `stubkit tag reserve`
//             makes) whose first bytes are the magic. Tagging rewrites the
//             length and text in place; the rest of the value stays zero.
//   appended  a record after the DER blob, inside the certificate entry: the
//             entry's length and the table's size grow to cover it.
// Every function that edits also recomputes the PE checksum.
#pragma once

#include <cstdint>
#include <string>

#include "pe_image.h"

enum class RecordKind { None, Reserved, Appended };

// The first tag magic in the certificate table (the only one the stub's
// reader looks at) and what it is.
struct TagRecordInfo {
  RecordKind kind = RecordKind::None;
  uint32_t offset = 0;  // the magic's offset in the file
  uint32_t length = 0;  // the length field
  uint32_t room = 0;    // reserved: the longest text that fits in place
};

// Locates the first magic in the table of `file` and classifies it. Throws
// TagError when the file is not a signed image the stub can read, when the
// first magic lies in the DER blob but does not begin an OCTET STRING's value
// that holds a whole record header, or when a record after the blob does not
// fit the table.
TagRecordInfo FindTagRecord(const Bytes& file);

// Throws TagError unless `text` can be a tag: 1 to 65,534 bytes, with no
// double quote (the setup program gets the tag in double quotes) and no NUL
// (the stub would cut the tag there).
void CheckTagText(const std::string& text);

// Writes `text` as the tag of `file`: in place when the first magic is a
// reserved record (the rest of its room is zeroed), otherwise after the
// signature, replacing a record appended earlier. Returns the kind of record
// written. Throws TagError (leaving `file` as it was) for a text that
// CheckTagText refuses, a text longer than the reserved room, or a file that
// FindTagRecord or the append refuses.
RecordKind SetTag(Bytes& file, const std::string& text);

// Empties a reserved record (length 0, text zeroed) or removes an appended
// one, restoring the entry's length and the table's size. Returns the kind of
// record that was cleared; RecordKind::None leaves `file` untouched. Throws
// TagError as FindTagRecord does.
RecordKind ClearTag(Bytes& file);

// Why the stub's reader finds no tag in `file`, in a few words.
std::string ExplainMissingTag(const Bytes& file);
