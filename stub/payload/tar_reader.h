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
  ~TarReader();

  TarReader(const TarReader&) = delete;
  TarReader& operator=(const TarReader&) = delete;

  // Reads one header block and writes that member.
  //   true, endOfArchive set to true: the end marker was read, nothing written.
  //   true, endOfArchive untouched:   one member written, recorded, reported.
  //   false: failed; endOfArchive untouched.
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
