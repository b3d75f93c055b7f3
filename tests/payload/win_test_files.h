// Files and directories for the Windows payload tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"

// A new, empty directory in the build tree's scratch directory (not the
// prefix's temporary directory, which the end-to-end tests watch); empty
// string on failure.
std::wstring MakeScratchDirectory();

using harness::RemoveTree;

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

// Names of the plain files directly in `directory`, sorted.
std::vector<std::wstring> ListFiles(const std::wstring& directory);

// Contents of a file that the build generated for these tests.
std::vector<uint8_t> TestData(const char* name);
std::wstring TestDataPath(const char* name);

// ASCII text as a wide string.
std::wstring Widen(const std::string& text);

// The file position of `file`.
uint64_t Position(HANDLE file);
