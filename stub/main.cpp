// Process entry: adapts the C runtime's GUI entry and hands over to the core.
#include <windows.h>

#include "entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int) {
  return static_cast<int>(RunStubProcess(instance, argumentText));
}
