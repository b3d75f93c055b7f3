// Failure and exit codes of the stub process. Each value has one meaning and
// is never reused for another.
#pragma once

#include <cstdint>

// The system is older than Windows 2000 Service Pack 4. Shown as the version
// message box; becomes the process exit code.
constexpr uint32_t STUB_E_OS_NOT_SUPPORTED = 0x80040703u;

// The stub was started without arguments and its file carries no tag, so
// there is nothing to tell the setup program. Shown as the generic message box.
constexpr uint32_t STUB_E_UNTAGGED = 0x80040750u;

// Any other failure of a run (no work directory, a bad payload, a failed
// extraction or self-copy, no setup program in the archive). No message box.
constexpr uint32_t STUB_E_RUN_FAILED = 0xFFFFFFFFu;

// Not a failure: the setup program's exit code at which the launcher leaves
// the archive file and the work directory (with the self-copy) in place.
constexpr uint32_t SETUP_EXIT_KEEP_FILES = 0x8004FFFFu;

// Also passed through unchanged, so never produced by the stub itself:
// a failure code from CoInitializeEx, the system error code of a setup program
// that could not be started, and the setup program's own exit code.
