// An ordered list of paths to delete later; duplicates are kept.
#pragma once

#include <string>
#include <vector>

using FileList = std::vector<std::wstring>;

// Deletes every path in `files`, first to last, ignoring failures, then empties
// the list. A path recorded twice is simply not found the second time.
void DeleteFiles(FileList& files);
