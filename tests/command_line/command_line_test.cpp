// The setup program's command line, as a table over the grammar: setup piece,
// argument text, own path (or none), tag (or none) -> what the program gets.
#include <gtest/gtest.h>

#include <string>

#include "command_line.h"

namespace {

const wchar_t kSetup[] = L"C:\\Temp\\GUM1.tmp\\ZinUpdate.exe";
const wchar_t kQuotedSetup[] = L"\"C:\\Program Files\\GUM1.tmp\\ZinUpdate.exe\"";
const wchar_t kOwn[] = L"C:\\Downloads\\stub.exe";
const wchar_t kTag[] = L"appguid={A}&appname=Demo&needsadmin=prefers";
const wchar_t kFixed[] = L" /installsource taggedmi /install";

struct Row {
  const char* what;
  const wchar_t* setup;
  const wchar_t* arguments;
  const wchar_t* ownPath;  // null: unavailable
  const wchar_t* tag;      // null: no tag
  bool runs;
  std::wstring expected;
};

std::wstring S(const wchar_t* text) { return text; }

class Grammar : public ::testing::TestWithParam<Row> {};

TEST_P(Grammar, ComposesTheCommandLine) {
  const Row& row = GetParam();
  std::wstring commandLine = L"untouched";
  const bool runs = ComposeSetupCommandLine(row.setup, row.arguments, row.ownPath, row.tag, commandLine);
  EXPECT_EQ(runs, row.runs);
  EXPECT_EQ(commandLine, row.runs ? row.expected : L"untouched");
}

const Row kRows[] = {
    {"no arguments, tag", kSetup, L"", kOwn, kTag, true, S(kSetup) + kFixed + L" \"" + kTag + L"\""},
    {"no arguments, no tag", kSetup, L"", kOwn, nullptr, false, L""},
    {"quoted setup path kept", kQuotedSetup, L"", kOwn, kTag, true, S(kQuotedSetup) + kFixed + L" \"" + kTag + L"\""},
    {"arguments, tag", kSetup, L"/silent /x", kOwn, kTag, true, S(kSetup) + L" /silent /x \"" + kTag + L"\""},
    {"arguments, no tag", kSetup, L"/silent", kOwn, nullptr, true, S(kSetup) + L" /silent"},
    {"nomitag alone takes its blank", kSetup, L"/nomitag", kOwn, kTag, true, S(kSetup)},
    {"NOMITAG at the end, any case", kSetup, L"/a /NOMITAG", kOwn, kTag, true, S(kSetup) + L" /a"},
    {"nomitag with a trailing blank stays", kSetup, L"/a /nomitag ", kOwn, kTag, true,
     S(kSetup) + L" /a /nomitag  \"" + kTag + L"\""},
    {"nomitag without a tag", kSetup, L"/a /NoMiTag", kOwn, nullptr, true, S(kSetup) + L" /a"},
    {"nomitag glued to the previous word", kSetup, L"x/nomitag", kOwn, kTag, true,
     S(kSetup) + L" x/nomitag \"" + kTag + L"\""},
    {"recover appends own path, then tag", kSetup, L"/recover", kOwn, kTag, true,
     S(kSetup) + L" /recover \"" + kOwn + L"\" \"" + kTag + L"\""},
    {"recover without a tag", kSetup, L"/recover /x", kOwn, nullptr, true,
     S(kSetup) + L" /recover /x \"" + kOwn + L"\""},
    {"recover glued to more text", kSetup, L"/recoverX", kOwn, kTag, true,
     S(kSetup) + L" /recoverX \"" + kOwn + L"\" \"" + kTag + L"\""},
    {"RECOVER is case-sensitive", kSetup, L"/RECOVER", kOwn, kTag, true, S(kSetup) + L" /RECOVER \"" + kTag + L"\""},
    {"recover not at the start", kSetup, L" /recover", kOwn, kTag, true, S(kSetup) + L"  /recover \"" + kTag + L"\""},
    {"recover then nomitag: switch stays, tag appended", kSetup, L"/recover /nomitag", kOwn, kTag, true,
     S(kSetup) + L" /recover /nomitag \"" + kOwn + L"\" \"" + kTag + L"\""},
    {"recover with own path unavailable", kSetup, L"/recover", nullptr, kTag, true,
     S(kSetup) + L" /recover \"" + kTag + L"\""},
    {"recover, no own path, nomitag works again", kSetup, L"/recover /nomitag", nullptr, kTag, true,
     S(kSetup) + L" /recover"},
    {"quotes and blanks in arguments kept", kSetup, L"\"a b\" /c=\"d e\"", kOwn, kTag, true,
     S(kSetup) + L" \"a b\" /c=\"d e\" \"" + kTag + L"\""},
    {"non-ASCII arguments and tag", kSetup, L"/lang=f\u00e9", kOwn, L"name=\u00e9\u00fc", true,
     S(kSetup) + L" /lang=f\u00e9 \"name=\u00e9\u00fc\""},
};

INSTANTIATE_TEST_SUITE_P(Table, Grammar, ::testing::ValuesIn(kRows));

TEST(AppendFormat, CutsEachPieceAt32765Characters) {
  struct Case {
    size_t length;
    size_t appended;
  };
  const Case cases[] = {{0, 0}, {32764, 32764}, {32765, 32765}, {32766, 32765}, {40000, 32765}};
  for (const Case& c : cases) {
    std::wstring destination = L"head";
    const std::wstring text(c.length, L'x');
    AppendFormat(destination, L"%ls", text.c_str());
    EXPECT_EQ(destination.size(), 4 + c.appended) << "length " << c.length;
  }
}

TEST(AppendFormat, LongTagLosesItsClosingQuote) {
  const std::wstring tag(40000, L't');
  std::wstring commandLine;
  ASSERT_TRUE(ComposeSetupCommandLine(kSetup, L"", kOwn, tag.c_str(), commandLine));
  const std::wstring expectedPrefix = S(kSetup) + kFixed + L" \"";
  ASSERT_EQ(commandLine.size(), expectedPrefix.size() - 2 + kMaxFormattedPiece);
  EXPECT_EQ(commandLine.compare(0, expectedPrefix.size(), expectedPrefix), 0);
  EXPECT_EQ(commandLine.back(), L't');
}

TEST(StripNoTagSwitch, OnlyAtTheVeryEnd) {
  struct Case {
    const wchar_t* before;
    bool stripped;
    const wchar_t* after;
  };
  const Case cases[] = {
      {L"x /nomitag", true, L"x"},      {L" /NOMITAG", true, L""},       {L"/nomitag", false, L"/nomitag"},
      {L"x /nomitag ", false, L"x /nomitag "}, {L"", false, L""},       {L"x /nomitags", false, L"x /nomitags"},
  };
  for (const Case& c : cases) {
    std::wstring text = c.before;
    EXPECT_EQ(StripNoTagSwitch(text), c.stripped) << "'" << testing::PrintToString(std::wstring(c.before)) << "'";
    EXPECT_EQ(text, c.after);
  }
}

}  // namespace
