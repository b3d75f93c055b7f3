// The one message box the stub ever shows.
#pragma once

#include <cstdint>

// Shows a box (no owner, MB_OK) under the caption "<product> Installer":
// the version text for STUB_E_OS_NOT_SUPPORTED, "Unknown Installer Error"
// for every other code. Returns `code` unchanged once the box is closed.
uint32_t ReportInstallerError(uint32_t code);
