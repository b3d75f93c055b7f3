// Replacing a file in one step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `bytes` to a new temporary file beside `path` (same directory, name
// `path` + ".tmp." + process id, created exclusively with mode 0666 less the
// umask), flushes it to disk and renames it over `path`.
// Returns true when `path` now holds exactly `bytes`. Returns false with
// `error` naming the file and the system's reason; then the temporary file is
// removed and `path` is as it was before the call. Throws nothing.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
