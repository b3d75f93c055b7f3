// Test harness for running stub.exe under Wine from a Windows test program:
// starts a copy of the stub with a given command line and environment, reads
// its full 32-bit exit code, and sees the message boxes it showed (through
// Wine's relay trace of user32.MessageBoxW) and what it left on disk.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace harness {

struct MessageBoxCall {
  std::wstring text;
  std::wstring caption;
};

struct StubLaunch {
  std::wstring program;                   // Windows path of the stub copy
  std::wstring arguments;                 // appended after the quoted program path and a blank
  std::wstring rawCommandLine;            // when set, used as the whole command line instead
  std::vector<std::pair<std::wstring, std::wstring>> environment;  // set (or, empty value, removed)
  std::wstring currentDirectory;          // empty: the test program's own
};

struct StubResult {
  uint32_t exitCode = 0;
  std::vector<MessageBoxCall> boxes;      // in the order shown
};

// Starts the stub, waits for it (and for its setup program, which the stub
// waits for), and returns its exit code and message boxes. Relay tracing is
// switched on for the stub's process only. Fails the current test when the
// stub cannot be started.
StubResult RunStub(const StubLaunch& launch);

// The Windows path of a Unix path (Wine's Z: drive maps /).
std::wstring WinePath(const std::string& unixPath);

// Environment variable as a Windows path (the variable holds a Unix path).
std::wstring PathFromEnvironment(const char* name);

// A new empty directory for one test under the test program's scratch area.
std::wstring FreshDirectory(const std::wstring& name);

// Copies `source` to `directory`\`name`; returns the copy's path.
std::wstring CopyInto(const std::wstring& source, const std::wstring& directory, const std::wstring& name);

// File and directory names directly inside `directory`, sorted; "." and ".." left out.
std::vector<std::wstring> ListDirectory(const std::wstring& directory);

// Names in `directory` that start with `prefix` (e.g. "GUM", "GUT").
std::vector<std::wstring> NamesWithPrefix(const std::wstring& directory, const std::wstring& prefix);

bool Exists(const std::wstring& path);

// The part of a Windows path before its last backslash, and the part after it.
std::wstring DirectoryOf(const std::wstring& path);
std::wstring NameOf(const std::wstring& path);

// Recursively removes `path` (file or directory); ignores what cannot be removed.
void RemoveTree(const std::wstring& path);

// The fake setup program's record ("key=value" lines, UTF-8): every value of
// each key in order. Empty when the file does not exist.
std::multimap<std::string, std::string> ReadRecord(const std::wstring& path);
std::string RecordValue(const std::multimap<std::string, std::string>& record, const std::string& key);
std::vector<std::string> RecordValues(const std::multimap<std::string, std::string>& record, const std::string& key);

std::string Utf8(const std::wstring& text);
std::wstring Widen(const std::string& utf8);

// The stub's temporary directory for an environment without overrides, and
// the Program Files folder, as the platform reports them (no trailing '\').
std::wstring TempDirectory();
std::wstring ProgramFilesDirectory();

// Sets a string value in the registry for the lifetime of the object and
// restores the previous state afterwards.
class ScopedRegistryValue {
public:
  ScopedRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value);
  ~ScopedRegistryValue();
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

private:
  HKEY root_;
  std::wstring key_;
  std::wstring name_;
  bool hadValue_ = false;
  std::wstring previous_;
};

}  // namespace harness
