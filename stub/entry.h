// The stub process from the C runtime's WinMain to its exit code.
#pragma once

#include <windows.h>

#include <cstdint>

// Hardens the DLL search, initialises COM, refuses systems older than
// Windows 2000 SP4, then builds, runs and destroys one SetupLauncher.
// `argumentText` is the ANSI argument text without the program name.
// Returns the process exit code (table in exit_codes.h). COM is uninitialised
// again when it was initialised.
uint32_t RunStubProcess(HINSTANCE instance, const char* argumentText);

// True on Windows 2000 SP4 or later (5.0 needs SP4; 5.1 and later pass).
bool IsWindowsVersionSupported();
