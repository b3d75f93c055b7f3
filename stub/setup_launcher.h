// SetupLauncher: owns one run of the stub, from an empty slate to the setup
// program's exit code, and everything the run leaves on disk.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "file_list.h"

class SetupLauncher {
public:
  // Needs the stub's module handle and its argument text (may be empty).
  // Touches nothing on disk.
  SetupLauncher(HINSTANCE moduleHandle, std::wstring arguments);

  // Removes what the run recorded (filesToDelete, then the work directory),
  // unless exitCode is SETUP_EXIT_KEEP_FILES, in which case nothing is removed.
  ~SetupLauncher();

  SetupLauncher(const SetupLauncher&) = delete;
  SetupLauncher& operator=(const SetupLauncher&) = delete;

  // One run: work directory, archive file, extraction, self-copy, hand-off.
  // Returns the setup program's exit code, a system error code of a failed
  // start, STUB_E_UNTAGGED, or STUB_E_RUN_FAILED. Call once.
  uint32_t Run();

  // Records `path` for deletion and takes it as the setup program when it is
  // the first member whose lower-cased file name is longer than ".exe" and
  // ends in ".exe".
  void HandleExtractedFile(const std::wstring& path);

  // --- work directory and staged files ---

  // Administrator attempt: a unique "GUM" directory directly inside the
  // Program Files folder. On success sets workDirectory and baseDirectory.
  // False (nothing stored) when not an administrator or anything fails.
  bool MakeWorkDirectoryInProgramFiles();

  // The same inside the user's temporary directory. False when the temporary
  // path does not fit in MAX_PATH or no directory can be made there.
  bool MakeWorkDirectoryInTemp();

  // Creates `base` when missing (one level, never removed later), then a
  // unique "GUM" directory in it. On success sets workDirectory only. May
  // leave the base directory, and a placeholder file whose deletion failed.
  bool MakeUniqueDirectory(const std::wstring& base);

  // Copies the started file into the work directory as "ZinUpdateSetup.exe"
  // (replacing a member of that name) and records the copy for deletion.
  bool CopySelfIntoWorkDirectory();

  // --- payload ---

  // Creates the "GUT" archive file in baseDirectory (recorded for deletion as
  // soon as it exists), fills it with the decoded payload resource and returns
  // it open for reading and writing, positioned at offset 0. The caller owns
  // the handle. INVALID_HANDLE_VALUE on any failure.
  HANDLE CreateArchiveFile();

  // --- hand-off ---

  // Composes the setup program's command line, runs it to its end and keeps
  // its exit code in exitCode. Returns the run's result (see Run).
  uint32_t HandOff();

  // Read-only views for tests.
  const std::wstring& SetupProgramPath() const { return setupProgramPath; }
  const std::wstring& WorkDirectory() const { return workDirectory; }
  const std::wstring& BaseDirectory() const { return baseDirectory; }
  const FileList& FilesToDelete() const { return filesToDelete; }
  uint32_t ExitCode() const { return exitCode; }

private:
  HINSTANCE moduleHandle;
  std::wstring arguments;
  std::wstring setupProgramPath;
  uint32_t exitCode = 0;
  FileList filesToDelete;
  std::wstring workDirectory;
  std::wstring baseDirectory;
};

// FileExtractedCallback for the TarReader: `context` is the SetupLauncher.
void ForwardExtractedFile(void* context, const wchar_t* path);
