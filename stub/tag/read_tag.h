// Reading the tag from a signed file.
#pragma once

#include <cwchar>

#include "signature_tag_reader.h"

// Returns the tag text of the file at `path` as a NUL-terminated string that
// the caller releases with std::free, or nullptr when the file carries no tag
// the stub accepts (or `path` is nullptr). The path is wide in the stub and a
// narrow string on the host.
#if defined(_WIN32)
char* ReadTagFromFile(const wchar_t* path);
#else
char* ReadTagFromFile(const char* path);
#endif
