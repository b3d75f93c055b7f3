// Reading the tag from a signed file.
#pragma once

#include <cwchar>

// Returns the tag text of the file at `path` as a NUL-terminated string that
// the caller releases with std::free, or nullptr when the file carries no tag
// the stub accepts (or `path` is nullptr).
char* ReadTagFromFile(const wchar_t* path);
