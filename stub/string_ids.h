// String table entries of the stub (block 1321, English (United States)).
#pragma once

#define IDS_PRODUCT_WORD 21128      // "Zin"
#define IDS_CAPTION 21129           // "%1!s! Installer"
#define IDS_UNKNOWN_ERROR 21130     // "Unknown Installer Error"
#define IDS_OS_NOT_SUPPORTED 21131  // "Installation failed. %1!s! Installer requires ..."
