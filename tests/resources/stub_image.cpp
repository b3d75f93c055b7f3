#include "stub_image.h"

namespace {

std::wstring& PathStorage() {
  static std::wstring path;
  return path;
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR out) {
  reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(ResourceKey(type));
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
  reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(ResourceKey(name));
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
  return TRUE;
}

}  // namespace

void SetStubPath(const char* path) { PathStorage() = ToWinePath(path); }

const std::wstring& StubPath() { return PathStorage(); }

std::wstring ToWinePath(const std::string& path) {
  std::wstring converted;
  const bool unixPath = !path.empty() && path[0] == '/';
  if (unixPath) converted = L"Z:";
  for (const char c : path) {
    converted.push_back(unixPath && c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return converted;
}

std::wstring ResourceKey(LPCWSTR typeOrName) {
  if (IS_INTRESOURCE(typeOrName)) {
    return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(typeOrName));
  }
  return typeOrName;
}

StubImage::StubImage()
    : module_(LoadLibraryExW(StubPath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}

StubImage::~StubImage() {
  if (module_ != nullptr) FreeLibrary(module_);
}

std::vector<std::uint8_t> StubImage::Bytes(LPCWSTR type, LPCWSTR name, WORD language) const {
  HRSRC found = FindResourceExW(module_, type, name, language);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module_, found);
  const auto* data = static_cast<const std::uint8_t*>(LockResource(loaded));
  const DWORD size = SizeofResource(module_, found);
  if (data == nullptr) return {};
  return std::vector<std::uint8_t>(data, data + size);
}

std::vector<std::wstring> StubImage::Types() const {
  std::vector<std::wstring> types;
  EnumResourceTypesW(module_, CollectType, reinterpret_cast<LONG_PTR>(&types));
  return types;
}

std::vector<std::wstring> StubImage::Names(LPCWSTR type) const {
  std::vector<std::wstring> names;
  EnumResourceNamesW(module_, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
  return names;
}

std::vector<WORD> StubImage::Languages(LPCWSTR type, LPCWSTR name) const {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(module_, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}
