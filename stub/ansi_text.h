// 8-bit text (the argument text, the tag) as the stub widens it.
#pragma once

#include <string>

// `text` up to its first NUL, widened with the thread's ANSI code page.
// nullptr or empty text gives an empty string.
std::wstring WidenAnsiText(const char* text);
