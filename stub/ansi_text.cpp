#include "ansi_text.h"

#include <windows.h>

std::wstring WidenAnsiText(const char* text) {
  std::wstring wide;
  if (text == nullptr || *text == '\0') return wide;
  const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return wide;
  wide.resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));  // without the terminator
  return wide;
}
