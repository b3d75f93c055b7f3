#include "command_line.h"

#include <cstdarg>
#include <cwchar>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cwctype>
#endif

namespace {

constexpr size_t kScratchSize = 0x7FFF;

const wchar_t kQuotedValue[] = L" \"%ls\"";

bool EqualIgnoringCase(const wchar_t* a, const wchar_t* b) {
#ifdef _WIN32
  return lstrcmpiW(a, b) == 0;
#else
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (std::towlower(static_cast<wint_t>(*a)) != std::towlower(static_cast<wint_t>(*b))) return false;
  }
  return *a == *b;
#endif
}

}  // namespace

void AppendFormat(std::wstring& destination, const wchar_t* format, ...) {
  std::vector<wchar_t> scratch(kScratchSize, L'\0');
  va_list arguments;
  va_start(arguments, format);
#ifdef _WIN32
  // msvcrt's formatter writes at most the count and then no terminator.
  const int written = _vsnwprintf(scratch.data(), kMaxFormattedPiece, format, arguments);
  if (written < 0 || static_cast<size_t>(written) >= kMaxFormattedPiece) scratch[kMaxFormattedPiece] = L'\0';
#else
  // The C99 formatter keeps one place for its terminator and may leave the
  // buffer undefined when the text does not fit, so format in full and cut.
  int written = std::vswprintf(scratch.data(), scratch.size(), format, arguments);
  while (written < 0 && scratch.size() < (size_t{1} << 24)) {
    va_end(arguments);
    va_start(arguments, format);
    scratch.assign(scratch.size() * 2, L'\0');
    written = std::vswprintf(scratch.data(), scratch.size(), format, arguments);
  }
  if (written < 0 || static_cast<size_t>(written) >= kMaxFormattedPiece) scratch[kMaxFormattedPiece] = L'\0';
#endif
  va_end(arguments);
  destination.append(scratch.data());
}

bool BeginsWithRecoverSwitch(const std::wstring& arguments) {
  std::wstring recoverSwitch;
  AppendFormat(recoverSwitch, L"/%ls", L"recover");
  return arguments.compare(0, recoverSwitch.size(), recoverSwitch) == 0;
}

bool StripNoTagSwitch(std::wstring& commandLine) {
  std::wstring noTagSwitch;
  AppendFormat(noTagSwitch, L" /%ls", L"nomitag");
  const size_t tailLength = commandLine.size() < noTagSwitch.size() ? commandLine.size() : noTagSwitch.size();
  const std::wstring tail = commandLine.substr(commandLine.size() - tailLength);
  if (!EqualIgnoringCase(tail.c_str(), noTagSwitch.c_str())) return false;
  commandLine.resize(commandLine.size() - noTagSwitch.size());
  return true;
}

void AppendRecoverPath(std::wstring& commandLine, const std::wstring& arguments, const wchar_t* ownPath) {
  if (ownPath != nullptr && BeginsWithRecoverSwitch(arguments)) AppendFormat(commandLine, kQuotedValue, ownPath);
}

bool ComposeSetupCommandLine(const std::wstring& setupPiece, const std::wstring& arguments,
                             const wchar_t* ownPath, const wchar_t* tag, std::wstring& commandLine) {
  std::wstring composed = setupPiece;
  if (arguments.empty()) {
    if (tag == nullptr) return false;
    AppendFormat(composed, L" /%ls %ls /%ls", L"installsource", L"taggedmi", L"install");
  } else {
    AppendFormat(composed, L" %ls", arguments.c_str());
    AppendRecoverPath(composed, arguments, ownPath);
  }
  if (!StripNoTagSwitch(composed) && tag != nullptr) AppendFormat(composed, kQuotedValue, tag);
  commandLine = std::move(composed);
  return true;
}
