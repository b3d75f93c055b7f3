#include "error_report.h"

#include <windows.h>

#include <string>

#include "exit_codes.h"
#include "string_ids.h"

namespace {

// Entry `id` of the module's string table: entry id % 16 of block id / 16 + 1,
// each entry a 16-bit length and that many UTF-16 units. Empty when absent.
std::wstring LoadStringEntry(UINT id) {
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6) /* RT_STRING */);
  if (info == nullptr) return {};
  HGLOBAL loaded = LoadResource(nullptr, info);
  if (loaded == nullptr) return {};
  const auto* units = static_cast<const WCHAR*>(LockResource(loaded));
  const DWORD size = SizeofResource(nullptr, info) / sizeof(WCHAR);
  if (units == nullptr) return {};
  DWORD at = 0;
  for (UINT entry = 0; entry < id % 16; ++entry) {
    if (at >= size) return {};
    at += 1 + units[at];
  }
  if (at >= size || at + 1 + units[at] > size) return {};
  return std::wstring(units + at + 1, units[at]);
}

// `pattern` with "%1!s!" replaced by `insert`, through the platform formatter.
std::wstring FormatWithInsert(const std::wstring& pattern, const std::wstring& insert) {
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insert.c_str())};
  LPWSTR formatted = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      pattern.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&formatted), 0,
      reinterpret_cast<va_list*>(arguments));
  std::wstring text;
  if (formatted != nullptr) {
    text.assign(formatted, length);
    LocalFree(formatted);
  }
  return text;
}

}  // namespace

uint32_t ReportInstallerError(uint32_t code) {
  const std::wstring product = LoadStringEntry(IDS_PRODUCT_WORD);
  const std::wstring text = code == STUB_E_OS_NOT_SUPPORTED
                                ? FormatWithInsert(LoadStringEntry(IDS_OS_NOT_SUPPORTED), product)
                                : LoadStringEntry(IDS_UNKNOWN_ERROR);
  const std::wstring caption = FormatWithInsert(LoadStringEntry(IDS_CAPTION), product);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
  return code;
}
