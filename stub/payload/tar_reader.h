// TarReader: writes the members of a ustar archive, one per call, as plain
// files in an output directory, and deletes them again when destroyed.
#pragma once

#include <windows.h>

#include <string>

#include "../file_list.h"

// Called after each member that was written successfully, with the file
// already closed. `path` is valid only during the call.
typedef void (*FileExtractedCallback)(void* context, const wchar_t* path);

class TarReader {
public:
  // Borrows `archiveFile` (open for reading, positioned at a header block);
  // never closes it. No input or output happens here.
  TarReader(HANDLE archiveFile, std::wstring outputDirectory, bool recordWrittenFiles,
            FileExtractedCallback onFileExtracted, void* callbackContext);

  // Deletes every path in writtenFiles, first to last, ignoring failures.
  // The archive file is not touched.
  ~TarReader();

  TarReader(const TarReader&) = delete;
  TarReader& operator=(const TarReader&) = delete;

  // Reads one 512-byte header block at the archive's position and writes that
  // member as outputDirectory + "\" + name, a plain file.
  //   true, endOfArchive set to true: the end marker was read, nothing written;
  //     the position is just past that block.
  //   true, endOfArchive untouched: one member written and closed, then
  //     recorded (when recordWrittenFiles) and reported (when a callback is
  //     set); the position is at the next header block.
  //   false: failed; endOfArchive untouched, nothing recorded or reported, and
  //     no member file left behind. Refused before any file is created: a
  //     short header read, a bad magic, a name that would land outside the
  //     output directory (see IsSafeMemberName), a size field with a sign or of
  //     2^31 or more. A member whose file cannot be created leaves the position
  //     at its data; one whose copy fails is deleted again, and the position
  //     moves to the next header block.
  bool ExtractOneFile(bool& endOfArchive);

  const FileList& WrittenFiles() const { return writtenFiles; }

private:
  HANDLE archiveFile;
  std::wstring outputDirectory;
  bool recordWrittenFiles;
  FileList writtenFiles;
  FileExtractedCallback onFileExtracted;
  void* callbackContext;
};
