// Which names an archive member may have, and which member the stub runs.
// The stub writes each member flat into its work directory under the raw name
// from the tar header, converted through the ANSI code page, and checks
// nothing; these rules keep out every name that would land elsewhere, fail to
// be created, or arrive changed.
#pragma once

#include <cstddef>
#include <string>

// The ustar name field; a longer name would go partly into the prefix field,
// which the stub ignores.
constexpr size_t kMaxMemberNameLength = 100;

// Returns an empty string when `name` is a plain Windows file name of printable
// ASCII, at most kMaxMemberNameLength bytes, that the stub creates as given.
// Otherwise returns why not, as a phrase that completes "the name ...": empty,
// too long, non-ASCII or control bytes, a drive letter, an absolute path, a
// parent reference, any directory separator, a double quote or another
// character Windows forbids (< > : | ? *), a trailing dot or blank (Windows
// strips them), "." or "..", or a reserved device name (CON, PRN, AUX, NUL,
// COM0-9, LPT0-9, CONIN$, CONOUT$, also with an extension).
std::string MemberNameProblem(const std::string& name);

// True when the stub would take a member of this name as the setup program:
// the lower-cased name is longer than four characters and ends in ".exe".
bool IsSetupProgramName(const std::string& name);

// True when Windows, which compares file names without regard to ASCII case,
// sees `a` and `b` as the same file.
bool SameFileName(const std::string& a, const std::string& b);
