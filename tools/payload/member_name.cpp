#include "member_name.h"

#include <cctype>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(const std::string& s) {
  std::string lower(s);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

// CON, PRN, AUX, NUL, COM0..COM9, LPT0..LPT9, CONIN$, CONOUT$: Windows opens
// the device instead of a file, whatever the extension.
bool IsReservedDeviceName(const std::string& name) {
  std::string stem = LowerAscii(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul" || stem == "conin$" || stem == "conout$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '0' && stem[3] <= '9';
}

bool HasParentComponent(const std::string& name) {
  size_t start = 0;
  for (;;) {
    const size_t end = name.find_first_of("/\\", start);
    if (name.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

}  // namespace

std::string MemberNameProblem(const std::string& name) {
  if (name.empty()) return "is empty";
  if (name.size() > kMaxMemberNameLength)
    return "is " + std::to_string(name.size()) + " bytes long; a tar header holds at most " +
           std::to_string(kMaxMemberNameLength);
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) return "contains a non-ASCII byte; the stub converts names through the ANSI code page";
    if (byte < 0x20 || byte == 0x7F) return "contains a control character";
  }
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
    return "starts with a drive letter";
  if (name[0] == '/' || name[0] == '\\') return "is an absolute path";
  if (HasParentComponent(name)) return "refers to a parent directory (\"..\")";
  if (name.find_first_of("/\\") != std::string::npos)
    return "contains a directory separator; the stub writes members flat into one directory";
  if (name.find('"') != std::string::npos) return "contains a double quote";
  const size_t forbidden = name.find_first_of("<>:|?*");
  if (forbidden != std::string::npos)
    return std::string("contains '") + name[forbidden] + "', which Windows does not allow in file names";
  if (name == ".") return "names the directory itself";
  if (name.back() == '.' || name.back() == ' ') return "ends in a dot or blank, which Windows strips from file names";
  if (IsReservedDeviceName(name)) return "is a reserved Windows device name";
  return "";
}

bool IsSetupProgramName(const std::string& name) {
  static const std::string kExe = ".exe";
  return name.size() > kExe.size() && LowerAscii(name.substr(name.size() - kExe.size())) == kExe;
}

bool SameFileName(const std::string& a, const std::string& b) { return LowerAscii(a) == LowerAscii(b); }
