// Reading a whole file and replacing one without ever leaving it half written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "replace_file.h"

// The bytes of the file at `path`. Throws TagError naming the file and the
// system's reason when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// ReplaceFileInOneStep for the tag commands: `check` throws TagError to
// refuse the written file. On any failure the temporary file is removed,
// `target` is as it was, and TagError is thrown.
void ReplaceFile(const std::string& target, const std::vector<uint8_t>& bytes, mode_t mode,
                 const std::function<void(const std::string& written)>& check);
