// Prints the tag that the stub's own reader finds in the file named by the
// one argument (a Windows path), then a newline; exits 1 when there is none.
// Lets the real-tools test check a tagged file through the Win32 mapping.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tag/read_tag.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: print_tag FILE\n", stderr);
    return 2;
  }
  char* tag = ReadTagFromFile(argv[1]);
  if (tag == nullptr) return 1;
  std::fputs(tag, stdout);
  std::fputs("\n", stdout);
  std::free(tag);
  return 0;
}
