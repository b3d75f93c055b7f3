// Replacing a file in one step, for every stubkit command that writes one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Inspects the freshly written temporary file at `written` before it is
// renamed into place: returns an empty string to accept it, or the reason to
// refuse it.
using WrittenFileCheck = std::function<std::string(const std::string& written)>;

// Writes `bytes` to a new temporary file beside `target` (same directory,
// created exclusively, permissions `mode`), flushes it to disk, lets `check`
// (if any) examine it, then renames it over `target`.
// Returns an empty string when `target` now holds exactly `bytes`. Otherwise
// returns the reason, naming the file and the system's error (or the check's
// reason); the temporary file is then removed and `target` is as it was.
// Throws nothing but what `check` throws (the temporary file is removed then too).
std::string ReplaceFileInOneStep(const std::string& target, const std::vector<uint8_t>& bytes, mode_t mode,
                                 const WrittenFileCheck& check = {});

// The permission bits of the file at `path`, or those of a new file (0666
// less the umask) when there is none.
mode_t FileMode(const std::string& path);
