#include "setup_launcher.h"

#include <utility>

#include "exit_codes.h"
#include "payload/tar_reader.h"
#include "unique_handle.h"

SetupLauncher::SetupLauncher(HINSTANCE module, std::wstring argumentText)
    : moduleHandle(module), arguments(std::move(argumentText)) {}

SetupLauncher::~SetupLauncher() {
  if (exitCode == SETUP_EXIT_KEEP_FILES) return;
  DeleteFiles(filesToDelete);
  if (!workDirectory.empty()) RemoveDirectoryW(workDirectory.c_str());
}

uint32_t SetupLauncher::Run() {
  if (!MakeWorkDirectoryInProgramFiles() && !MakeWorkDirectoryInTemp()) return STUB_E_RUN_FAILED;

  // Declared before the reader, so the reader (which deletes the members) is
  // gone before the archive file is closed.
  UniqueHandle archiveFile(CreateArchiveFile());
  if (!archiveFile) return STUB_E_RUN_FAILED;

  TarReader reader(archiveFile.Get(), workDirectory, true, ForwardExtractedFile, this);
  bool endOfArchive = false;
  while (!endOfArchive) {
    if (!reader.ExtractOneFile(endOfArchive)) return STUB_E_RUN_FAILED;
  }
  if (!CopySelfIntoWorkDirectory()) return STUB_E_RUN_FAILED;
  return HandOff();
}

void SetupLauncher::HandleExtractedFile(const std::wstring& path) {
  filesToDelete.push_back(path);

  const size_t slash = path.rfind(L'\\');
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  if (!name.empty()) CharLowerBuffW(&name[0], static_cast<DWORD>(name.size()));

  const std::wstring extension = L".exe";
  if (name.size() > extension.size() &&
      name.compare(name.size() - extension.size(), extension.size(), extension) == 0 &&
      setupProgramPath.empty()) {
    setupProgramPath = path;
  }
}

void ForwardExtractedFile(void* context, const wchar_t* path) {
  static_cast<SetupLauncher*>(context)->HandleExtractedFile(path);
}
