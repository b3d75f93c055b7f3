// Reading a whole file and replacing one without ever leaving it half written.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The bytes of the file at `path`. Throws TagError naming the file and the
// system's reason when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// The permission bits of the file at `path`, or those of a new file (0666
// less the umask) when it cannot be examined.
mode_t FileMode(const std::string& path);

// Writes `bytes` to a new temporary file beside `target` with permissions
// `mode`, flushes it, lets `check` examine it by path (check throws TagError
// to refuse it), then renames it over `target`. On any failure the temporary
// file is removed, `target` is as it was, and TagError is thrown.
void ReplaceFile(const std::string& target, const std::vector<uint8_t>& bytes, mode_t mode,
                 const std::function<void(const std::string& written)>& check);
