#include "tar_reader.h"

// Placeholder until the archive extraction lands.
TarReader::TarReader(HANDLE archive, std::wstring output, bool record, FileExtractedCallback callback,
                     void* context)
    : archiveFile(archive), outputDirectory(std::move(output)), recordWrittenFiles(record),
      onFileExtracted(callback), callbackContext(context) {}

TarReader::~TarReader() { DeleteFiles(writtenFiles); }

bool TarReader::ExtractOneFile(bool&) { return false; }
