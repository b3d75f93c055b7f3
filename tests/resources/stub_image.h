// The built stub.exe, opened as a data file so that its resources can be read
// through the platform's own resource functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The stub's path as given to the test program, in the platform's form. Set
// once by main before the tests run.
void SetStubPath(const char* path);
const std::wstring& StubPath();

// A Unix path ("/a/b") becomes Wine's view of it through drive Z: ("Z:\a\b");
// anything else is taken as a Windows path already.
std::wstring ToWinePath(const std::string& path);

// A resource type or name as the resource functions take it: "#<number>" for a
// numeric id, otherwise the name itself.
std::wstring ResourceKey(LPCWSTR typeOrName);

// The stub loaded with LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
// freed by the destructor. Module() is null when loading failed.
class StubImage {
 public:
  StubImage();
  ~StubImage();
  StubImage(const StubImage&) = delete;
  StubImage& operator=(const StubImage&) = delete;

  HMODULE Module() const { return module_; }

  // The bytes of the resource with exactly this type, name and language (as
  // FindResourceExW finds it); empty when it is absent or empty.
  std::vector<std::uint8_t> Bytes(LPCWSTR type, LPCWSTR name, WORD language) const;

  // What the image holds, in the order the resource directory lists it:
  // types, the names of a type, the languages of a name (as ResourceKey texts
  // for types and names).
  std::vector<std::wstring> Types() const;
  std::vector<std::wstring> Names(LPCWSTR type) const;
  std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) const;

 private:
  HMODULE module_ = nullptr;
};

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
