#include "setup_launcher.h"

// Placeholder until the payload decoding lands.
HANDLE SetupLauncher::CreateArchiveFile() { return INVALID_HANDLE_VALUE; }
