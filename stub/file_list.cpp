#include "file_list.h"

#include <windows.h>

void DeleteFiles(FileList& files) {
  for (const std::wstring& path : files) DeleteFileW(path.c_str());
  files.clear();
}
