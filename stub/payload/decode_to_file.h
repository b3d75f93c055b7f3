// Decoding the payload resource into the archive file.
#pragma once

#include <windows.h>

#include <cstdint>

// Decodes `payload` (LZMA-alone, then the BCJ2 stream header and four streams;
// read in place, `length` bytes) in memory and writes the archive to `file`,
// a handle open for writing, with one WriteFile call of N bytes.
// Returns 0 on success; -1 when the payload is shorter than 13 bytes, the LZMA
// stage fails (including a stream that does not yield exactly its declared
// size), memory for the decoding cannot be had, or the write fails or is
// short; 1 when the BCJ2 stage fails (including stream sizes that do not fit
// the filtered archive). Leaves the file position after what was written.
// No memory is held on return.
int32_t DecodePayloadToFile(const uint8_t* payload, uint32_t length, HANDLE file);
