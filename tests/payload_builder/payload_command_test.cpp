// stubkit payload as a publisher runs it: the built tool in a child process.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "payload_reader.h"

extern char** environ;

namespace {

struct Result {
  int exitCode = -1;
  std::string out, err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::set<std::string> List(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    for (const std::string& name : List(path)) RemoveTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

class PayloadCommand : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stubkit_payload_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    capture_ = dir_ + ".capture";
    ASSERT_EQ(mkdir(capture_.c_str(), 0755), 0);
    WriteText(Path("setup.exe"), std::string(3000, 'S') + "setup");
    WriteText(Path("lib.dll"), std::string(700, 'L') + "\xE8\x10\x00\x00\x00library");
    WriteText(Path("other.dll"), "other");
    ASSERT_EQ(mkdir(Path("subdir").c_str(), 0755), 0);
  }
  void TearDown() override {
    RemoveTree(dir_);
    RemoveTree(capture_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Makes a file of `size` bytes without writing them (a hole).
  void MakeSparse(const std::string& name, off_t size) {
    const int fd = open(Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
  }

  Result Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {STUBKIT_PATH, "payload"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(&a[0]);
    raw.push_back(nullptr);

    const std::string outPath = capture_ + "/out", errPath = capture_ + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    Result result;
    const int spawned = posix_spawn(&pid, STUBKIT_PATH, &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << STUBKIT_PATH;
      return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
  }

  std::string dir_, capture_;
};

TEST_F(PayloadCommand, RefusesWithAClearMessageAndLeavesNothingBehind) {
  MakeSparse("huge.exe", off_t{1} << 31);
  for (const char* name : {"big1.bin", "big2.bin", "big3.bin"}) MakeSparse(name, (off_t{1} << 31) - 1);
  const std::set<std::string> before = List(dir_);
  const std::string out = Path("out.payload");
  const std::string setup = Path("setup.exe"), lib = Path("lib.dll");

  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } rows[] = {
      {{}, 2, "no output file given"},
      {{"-o", out}, 2, "no input files given"},
      {{"-o"}, 2, "option -o needs a file name"},
      {{"--frobnicate", "-o", out, setup}, 2, "unknown option '--frobnicate'"},
      {{"-o", out, Path("missing.exe")}, 1, "cannot read input file '" + Path("missing.exe") + "': No such file"},
      {{"-o", out, Path("subdir")}, 1, "input '" + Path("subdir") + "' is not a regular file"},
      {{"-o", out, lib, Path("other.dll")}, 1, "no member can be the setup program"},
      {{"-o", out, ".exe=" + setup}, 1, "no member can be the setup program"},
      {{"-o", out, "=" + setup}, 1, "member name '' (from '=" + setup + "') is empty"},
      {{"-o", out, "x.exe="}, 1, "'x.exe=' names no file after '='"},
      {{"-o", out, std::string(97, 'a') + ".exe=" + setup}, 1, "is 101 bytes long"},
      {{"-o", out, "sub/x.exe=" + setup}, 1, "contains a directory separator"},
      {{"-o", out, "/x.exe=" + setup}, 1, "is an absolute path"},
      {{"-o", out, "C:x.exe=" + setup}, 1, "starts with a drive letter"},
      {{"-o", out, "..\\x.exe=" + setup}, 1, "refers to a parent directory"},
      {{"-o", out, "a\"b.exe=" + setup}, 1, "contains a double quote"},
      {{"-o", out, "a?b.exe=" + setup}, 1, "contains '?'"},
      {{"-o", out, "nul.exe=" + setup}, 1, "reserved Windows device name"},
      {{"-o", out, setup, Path("huge.exe")}, 1, "'" + Path("huge.exe") + "' is 2147483648 bytes"},
      {{"-o", out, setup, Path("big1.bin"), Path("big2.bin"), Path("big3.bin")}, 1, "smaller than 4 GiB"},
      {{"-o", Path("nodir/out.payload"), setup}, 1, "cannot create '" + Path("nodir/out.payload.tmp.")},
      {{"-o", Path("subdir"), setup}, 1, "cannot replace '" + Path("subdir") + "'"},
  };
  for (const auto& row : rows) {
    std::string shown;
    for (const std::string& a : row.args) shown += " " + a;
    SCOPED_TRACE("stubkit payload" + shown);
    const Result r = Run(row.args);
    EXPECT_EQ(r.exitCode, row.exitCode);
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_EQ(List(dir_), before);
    EXPECT_TRUE(List(Path("subdir")).empty());
  }
}

TEST_F(PayloadCommand, FailureKeepsAnExistingOutput) {
  WriteText(Path("out.payload"), "previous payload");
  const Result r = Run({"-o", Path("out.payload"), Path("lib.dll")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadText(Path("out.payload")), "previous payload");
}

TEST_F(PayloadCommand, WritesMembersInTheGivenOrderWithRenamesAndRepeats) {
  WriteText(Path("out.payload"), "previous payload");
  const Result r = Run({"--list", "-o", Path("out.payload"), Path("lib.dll"), Path("setup.exe"),
                        "Second.exe=" + Path("other.dll"), Path("lib.dll")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("setup.exe  (setup program)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Second.exe  (setup program)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("4 members, 3 distinct names"), std::string::npos) << r.out;
  EXPECT_EQ(List(dir_), (std::set<std::string>{"lib.dll", "other.dll", "out.payload", "setup.exe", "subdir"}));

  DecodedPayload d;
  ASSERT_EQ(DecodePayload922(ReadBytes(Path("out.payload")), d), "");
  std::vector<TarHeader> headers;
  size_t end = 0;
  ASSERT_EQ(WalkTar(d.archive, headers, end), "");
  const struct {
    const char* name;
    const char* file;
  } expected[] = {
      {"lib.dll", "lib.dll"}, {"setup.exe", "setup.exe"}, {"Second.exe", "other.dll"}, {"lib.dll", "lib.dll"}};
  ASSERT_EQ(headers.size(), 4u);
  for (size_t i = 0; i < headers.size(); ++i) {
    EXPECT_EQ(headers[i].name, expected[i].name);
    EXPECT_EQ(headers[i].typeflag, '0');
    const std::vector<uint8_t> content(
        d.archive.begin() + static_cast<std::ptrdiff_t>(headers[i].dataOffset),
        d.archive.begin() + static_cast<std::ptrdiff_t>(headers[i].dataOffset + headers[i].size));
    EXPECT_EQ(content, ReadBytes(Path(expected[i].file))) << expected[i].name;
  }
  EXPECT_EQ(d.archive.size() % 10240, 0u);
}

TEST_F(PayloadCommand, WarnsWhenARepeatedNameCarriesOtherContent) {
  const Result r = Run({"-o", Path("out.payload"), Path("setup.exe"), "LIB.dll=" + Path("other.dll"), Path("lib.dll")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("warning: member 'lib.dll'"), std::string::npos) << r.err;
}

TEST_F(PayloadCommand, HelpDescribesEveryOption) {
  const Result r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* option : {"-o, --output", "-l, --list", "-v, --verbose", "-h, --help", "NAME=FILE"})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

}  // namespace
