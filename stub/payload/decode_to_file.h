// Decoding the payload resource into the archive file.
#pragma once

#include <windows.h>

#include <cstdint>

// Decodes `payload` (LZMA-alone, then the BCJ2 stream header and four streams)
// and writes the archive to `file` with one WriteFile call.
// Returns 0 on success; -1 when the payload is shorter than 13 bytes, the LZMA
// stage fails, or the write fails or is short; 1 when the BCJ2 stage fails.
// Leaves the file position after what was written.
int32_t DecodePayloadToFile(const uint8_t* payload, uint32_t length, HANDLE file);
