// Which member names the builder accepts, and which member the stub runs.
#include <gtest/gtest.h>

#include "member_name.h"

namespace {

TEST(MemberNameProblem, AcceptsPlainNamesAndRefusesWhatTheStubWouldMisplace) {
  const struct {
    std::string name;
    const char* problem;  // a part of the expected reason; "" when accepted
  } rows[] = {
      {"ZinUpdate.exe", ""},
      {"a", ""},
      {"name with blanks.dll", ""},
      {".hidden", ""},
      {"x..y.dll", ""},
      {std::string(100, 'a'), ""},
      {"CONSOLE.dll", ""},
      {"COM10", ""},
      {"", "empty"},
      {std::string(101, 'a'), "101 bytes"},
      {"caf\xC3\xA9.exe", "non-ASCII"},
      {"tab\there", "control"},
      {"del\x7F", "control"},
      {"C:setup.exe", "drive letter"},
      {"c:\\setup.exe", "drive letter"},
      {"/etc/passwd", "absolute"},
      {"\\setup.exe", "absolute"},
      {"..", "parent"},
      {"../setup.exe", "parent"},
      {"sub\\..\\setup.exe", "parent"},
      {"sub/setup.exe", "separator"},
      {"sub\\setup.exe", "separator"},
      {"say\"hi\".exe", "double quote"},
      {"a<b", "'<'"},
      {"a>b", "'>'"},
      {"stream:alt", "':'"},
      {"a|b", "'|'"},
      {"what?.exe", "'?'"},
      {"*.exe", "'*'"},
      {".", "directory itself"},
      {"setup.exe.", "dot or blank"},
      {"setup.exe ", "dot or blank"},
      {"CON", "device"},
      {"nul.txt", "device"},
      {"Aux", "device"},
      {"lpt1.exe", "device"},
      {"COM0", "device"},
      {"conout$.txt", "device"},
  };
  for (const auto& row : rows) {
    const std::string problem = MemberNameProblem(row.name);
    if (*row.problem == '\0') {
      EXPECT_EQ(problem, "") << row.name;
    } else {
      EXPECT_NE(problem.find(row.problem), std::string::npos) << row.name << ": " << problem;
    }
  }
}

TEST(IsSetupProgramName, LongerThanExeAndEndingInExeInAnyCase) {
  const struct {
    const char* name;
    bool qualifies;
  } rows[] = {
      {"ZinUpdate.exe", true}, {"a.exe", true},     {"SETUP.EXE", true},     {"x.ExE", true},
      {".exe", false},         {"exe", false},      {"setup.exe.bak", false}, {"setup.exe ", false},
      {"setup.ex", false},     {"setupexe", false}, {"setup.dll", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsSetupProgramName(row.name), row.qualifies) << row.name;
}

TEST(SameFileName, IgnoresAsciiCaseOnly) {
  EXPECT_TRUE(SameFileName("Shared.DLL", "shared.dll"));
  EXPECT_FALSE(SameFileName("shared.dll", "shared.dl"));
  EXPECT_FALSE(SameFileName("a-b", "a_b"));
}

}  // namespace
