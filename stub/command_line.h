// Composing the setup program's command line. Pure functions over wide
// strings: they build on Windows and on the host alike.
#pragma once

#include <string>

// Largest piece one AppendFormat call appends; longer text is cut silently.
constexpr size_t kMaxFormattedPiece = 32765;

// Appends `format` formatted with the wide-string arguments that follow
// ("%ls" each), cut at kMaxFormattedPiece characters.
void AppendFormat(std::wstring& destination, const wchar_t* format, ...);

// True when `arguments` begins with "/recover" (case matters; anything may
// follow, a blank or not).
bool BeginsWithRecoverSwitch(const std::wstring& arguments);

// Removes " /nomitag" (any letter case) from the very end of `commandLine`
// and returns true; otherwise leaves it unchanged and returns false.
bool StripNoTagSwitch(std::wstring& commandLine);

// Appends ` "<ownPath>"` when `arguments` begins with the recover switch and
// `ownPath` (the started file's path) is available (not null).
void AppendRecoverPath(std::wstring& commandLine, const std::wstring& arguments, const wchar_t* ownPath);

// The whole command line for the setup program:
//   setupPiece     the setup program's path, already quoted when it has a blank
//   arguments      the stub's argument text, possibly empty
//   ownPath        the started file's path, or null when unavailable
//   tag            the widened tag, or null when there is none
// Returns false, with `commandLine` untouched, when there is nothing to run:
// no arguments and no tag. Otherwise stores the command line and returns true.
bool ComposeSetupCommandLine(const std::wstring& setupPiece, const std::wstring& arguments,
                             const wchar_t* ownPath, const wchar_t* tag, std::wstring& commandLine);
