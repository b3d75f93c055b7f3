// A program linked the ordinary way, with none of the stub's image settings:
// the image check must find every fault it has (a library that is not part of
// the system, old header versions, a timestamp, IsUserAnAdmin by name,
// SetDefaultDllDirectories imported), which shows that the check's reading of
// objdump's output still works.
#include <windows.h>

extern "C" BOOL WINAPI IsUserAnAdmin();
extern "C" __declspec(dllimport) int PlainImageHelper();

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return PlainImageHelper() + IsUserAnAdmin();
}
