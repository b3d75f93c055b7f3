// The TarReader over archive files written by the tests and by real tar
// programs, under Wine.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "payload/tar_reader.h"
#include "tar_builder.h"
#include "test_data.h"
#include "unique_handle.h"
#include "win_test_files.h"

namespace {

// What the callback saw, checked at the moment of each call.
struct Observer {
  const TarReader* reader = nullptr;
  std::vector<std::wstring> reported;
  bool recordedFirst = true;
  bool closedFirst = true;
};

void Observe(void* context, const wchar_t* path) {
  auto* observer = static_cast<Observer*>(context);
  observer->reported.push_back(path);
  const FileList& written = observer->reader->WrittenFiles();
  if (written.empty() || written.back() != path) observer->recordedFirst = false;
  // Opening without sharing fails while anybody still holds the file.
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    observer->closedFirst = false;
  } else {
    CloseHandle(file);
  }
}

class TarReaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = MakeScratchDirectory();
    ASSERT_FALSE(root_.empty());
    output_ = root_ + L"\\out";
    ASSERT_TRUE(CreateDirectoryW(output_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(root_); }

  // Writes `bytes` as the archive file and opens it for reading.
  UniqueHandle Archive(const std::vector<uint8_t>& bytes) {
    const std::wstring path = root_ + L"\\archive.tar";
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }

  struct Extraction {
    bool ok = true;        // no call failed
    bool ended = false;    // the end marker was reached
    int successfulCalls = 0;
  };

  // Calls ExtractOneFile as the launcher does, with a bound in case of a loop.
  static Extraction ExtractAll(TarReader& reader) {
    Extraction extraction;
    for (int call = 0; call < 200 && !extraction.ended; ++call) {
      if (!reader.ExtractOneFile(extraction.ended)) {
        extraction.ok = false;
        break;
      }
      if (!extraction.ended) ++extraction.successfulCalls;
    }
    return extraction;
  }

  std::string Content(const std::wstring& name) {
    std::string content;
    EXPECT_TRUE(ReadWholeFile(output_ + L"\\" + name, content)) << "missing member file";
    return content;
  }

  std::wstring root_;
  std::wstring output_;
};

TEST_F(TarReaderTest, ExtractsMembersRecordsReportsAndDeletesThem) {
  const std::string code = X86LikeCode(70000, 1);
  UniqueHandle archive =
      Archive(TarBuilder().Member("ZinUpdate.exe", code).Member("readme.txt", "hello").End().Bytes());
  Observer observer;
  {
    TarReader reader(archive.Get(), output_, true, Observe, &observer);
    observer.reader = &reader;
    const Extraction extraction = ExtractAll(reader);
    EXPECT_TRUE(extraction.ok);
    EXPECT_TRUE(extraction.ended);
    EXPECT_EQ(extraction.successfulCalls, 2);

    const std::vector<std::wstring> expected = {output_ + L"\\ZinUpdate.exe", output_ + L"\\readme.txt"};
    EXPECT_EQ(reader.WrittenFiles(), expected);
    EXPECT_EQ(observer.reported, expected);
    EXPECT_TRUE(observer.recordedFirst);
    EXPECT_TRUE(observer.closedFirst);
    EXPECT_TRUE(Content(L"ZinUpdate.exe") == code);
    EXPECT_EQ(Content(L"readme.txt"), "hello");
    // Just past the end marker block.
    EXPECT_EQ(Position(archive.Get()), 512u + 70144u + 512u + 512u + 512u);
  }
  EXPECT_TRUE(ListFiles(output_).empty());
  // The archive file is borrowed, not closed.
  EXPECT_TRUE(SetFilePointer(archive.Get(), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER);
}

TEST_F(TarReaderTest, WithoutRecordingNothingIsDeleted) {
  UniqueHandle archive = Archive(TarBuilder().Member("kept.txt", "kept").End().Bytes());
  {
    TarReader reader(archive.Get(), output_, false, nullptr, nullptr);
    EXPECT_TRUE(ExtractAll(reader).ended);
    EXPECT_TRUE(reader.WrittenFiles().empty());
  }
  EXPECT_EQ(ListFiles(output_), std::vector<std::wstring>{L"kept.txt"});
}

TEST_F(TarReaderTest, EndOfArchive) {
  const struct {
    const char* what;
    std::vector<uint8_t> archive;
    int members;
  } cases[] = {
      {"first block all zero", std::vector<uint8_t>(10240, 0), 0},
      {"pre-POSIX header ends it", [] {
         TarHeaderFields old;
         old.name = "old.txt";
         old.size = OctalSizeField(3);
         old.magic = std::string(8, '\0');
         TarBuilder tar;
         tar.Member("before.txt", "1").Header(old).Raw("old").Fill().Member("after.txt", "2").End();
         return tar.Bytes();
       }(), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueHandle archive = Archive(c.archive);
    Observer observer;
    TarReader reader(archive.Get(), output_, true, Observe, &observer);
    observer.reader = &reader;
    const Extraction extraction = ExtractAll(reader);
    EXPECT_TRUE(extraction.ok);
    EXPECT_TRUE(extraction.ended);
    EXPECT_EQ(extraction.successfulCalls, c.members);
    EXPECT_EQ(observer.reported.size(), static_cast<size_t>(c.members));
    EXPECT_EQ(ListFiles(output_).size(), static_cast<size_t>(c.members));
    EXPECT_EQ(Position(archive.Get()), 512u * (1 + 2 * c.members));
  }
}

TEST_F(TarReaderTest, HeadersItAcceptsAsTheyAre) {
  TarHeaderFields badChecksum;
  badChecksum.name = "checksum.txt";
  badChecksum.size = OctalSizeField(2);
  badChecksum.validChecksum = false;
  TarHeaderFields gnu;
  gnu.name = "gnu.txt";
  gnu.size = OctalSizeField(3);
  gnu.magic = std::string("ustar  \0", 8);
  TarHeaderFields directory;  // the type flag is not looked at
  directory.name = "dir";
  directory.size = OctalSizeField(0);
  directory.typeflag = '5';
  TarHeaderFields noDigits;  // reads as size 0: the next header follows at once
  noDigits.name = "nodigits.txt";
  noDigits.size = std::string(12, '\0');
  const std::string hundred(100, 'h');
  TarHeaderFields longName;  // all 100 bytes, the mode field right behind
  longName.name = hundred;
  longName.size = OctalSizeField(4);

  UniqueHandle archive = Archive(TarBuilder()
                                     .Header(badChecksum).Raw("ck").Fill()
                                     .Header(gnu).Raw("gnu").Fill()
                                     .Header(directory)
                                     .Header(noDigits)
                                     .Header(longName).Raw("long").Fill()
                                     .End()
                                     .Bytes());
  TarReader reader(archive.Get(), output_, true, nullptr, nullptr);
  const Extraction extraction = ExtractAll(reader);
  EXPECT_TRUE(extraction.ok);
  EXPECT_EQ(extraction.successfulCalls, 5);
  EXPECT_EQ(Content(L"checksum.txt"), "ck");
  EXPECT_EQ(Content(L"gnu.txt"), "gnu");
  EXPECT_EQ(Content(L"dir"), "");
  EXPECT_EQ(Content(L"nodigits.txt"), "");
  EXPECT_EQ(Content(Widen(hundred)), "long");
}

TEST_F(TarReaderTest, MemberSizesAroundBlockAndChunkBoundaries) {
  for (size_t size : {0, 1, 511, 512, 513, 0x40000 - 1, 0x40000, 0x40001, 0x80000 + 700}) {
    SCOPED_TRACE(size);
    const std::string data = PatternData(size, static_cast<unsigned>(size));
    UniqueHandle archive = Archive(TarBuilder().Member("data.bin", data).Member("next.txt", "next").End().Bytes());
    {
      TarReader reader(archive.Get(), output_, false, nullptr, nullptr);
      bool end = false;
      ASSERT_TRUE(reader.ExtractOneFile(end));
      // The fill after the data is skipped: the next header follows.
      EXPECT_EQ(Position(archive.Get()), 512 + (size + 511) / 512 * 512);
      ASSERT_TRUE(reader.ExtractOneFile(end));
      ASSERT_TRUE(reader.ExtractOneFile(end));
      EXPECT_TRUE(end);
    }
    EXPECT_TRUE(Content(L"data.bin") == data);
    EXPECT_EQ(Content(L"next.txt"), "next");
    RemoveTree(output_);
    ASSERT_TRUE(CreateDirectoryW(output_.c_str(), nullptr));
  }
}

TEST_F(TarReaderTest, DuplicateNamesOverwriteAndAreRecordedTwice) {
  UniqueHandle archive =
      Archive(TarBuilder().Member("same.txt", "first").Member("same.txt", "second").End().Bytes());
  Observer observer;
  {
    TarReader reader(archive.Get(), output_, true, Observe, &observer);
    observer.reader = &reader;
    EXPECT_TRUE(ExtractAll(reader).ended);
    const std::wstring path = output_ + L"\\same.txt";
    EXPECT_EQ(reader.WrittenFiles(), (std::vector<std::wstring>{path, path}));
    EXPECT_EQ(observer.reported, (std::vector<std::wstring>{path, path}));
    EXPECT_EQ(Content(L"same.txt"), "second");
  }
  EXPECT_TRUE(ListFiles(output_).empty());
}

TEST_F(TarReaderTest, ArchiveEndingWithoutEndMarkerFailsAfterTheLastMember) {
  TarBuilder tar;
  tar.Member("a.txt", "a").Member("b.txt", PatternData(1000));
  UniqueHandle archive = Archive(tar.Bytes());
  Observer observer;
  TarReader reader(archive.Get(), output_, true, Observe, &observer);
  observer.reader = &reader;
  const Extraction extraction = ExtractAll(reader);
  EXPECT_FALSE(extraction.ok);
  EXPECT_EQ(extraction.successfulCalls, 2);
  EXPECT_EQ(observer.reported.size(), 2u);
  EXPECT_EQ(ListFiles(output_), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
}

TEST_F(TarReaderTest, MemberRunningPastTheEndIsDeletedAgain) {
  for (size_t present : {0, 100, 0x40000, 0x40000 + 100}) {
    SCOPED_TRACE(present);
    TarHeaderFields truncated;
    truncated.name = "truncated.bin";
    truncated.size = OctalSizeField(0x50000);
    TarBuilder tar;
    tar.Member("whole.txt", "whole").Header(truncated).Raw(PatternData(present));
    UniqueHandle archive = Archive(tar.Bytes());
    Observer observer;
    {
      TarReader reader(archive.Get(), output_, true, Observe, &observer);
      observer.reader = &reader;
      const Extraction extraction = ExtractAll(reader);
      EXPECT_FALSE(extraction.ok);
      EXPECT_EQ(observer.reported, std::vector<std::wstring>{output_ + L"\\whole.txt"});
      EXPECT_EQ(reader.WrittenFiles(), observer.reported);
      // Nothing half-written is left for nobody to remove.
      EXPECT_EQ(ListFiles(output_), std::vector<std::wstring>{L"whole.txt"});
    }
    EXPECT_TRUE(ListFiles(output_).empty());
  }
}

TEST_F(TarReaderTest, RefusedMembersCreateNothing) {
  const struct {
    const char* what;
    std::string name;
    std::string size;
    std::string magic;
  } cases[] = {
      {"parent directory", "..\\escaped.txt", OctalSizeField(3), std::string("ustar\0" "00", 8)},
      {"parent directory, forward slash", "../escaped.txt", OctalSizeField(3), std::string("ustar\0" "00", 8)},
      {"absolute path", "\\escaped.txt", OctalSizeField(3), std::string("ustar\0" "00", 8)},
      {"drive letter", "C:escaped.txt", OctalSizeField(3), std::string("ustar\0" "00", 8)},
      {"device name", "NUL.txt", OctalSizeField(3), std::string("ustar\0" "00", 8)},
      {"empty name", "", OctalSizeField(3), std::string("ustar\0" "00", 8)},
      {"negative size", "sign.txt", "-1", std::string("ustar\0" "00", 8)},
      {"size with plus", "sign.txt", "+3", std::string("ustar\0" "00", 8)},
      {"size of 2^31", "huge.txt", "20000000000", std::string("ustar\0" "00", 8)},
      {"size of 8 GiB - 1", "huge.txt", "77777777777", std::string("ustar\0" "00", 8)},
      {"bad magic", "magic.txt", OctalSizeField(3), std::string("ustaR\0" "00", 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TarHeaderFields fields;
    fields.name = c.name;
    fields.size = c.size;
    fields.magic = c.magic;
    UniqueHandle archive = Archive(TarBuilder().Header(fields).Raw("bad").Fill().End().Bytes());
    Observer observer;
    TarReader reader(archive.Get(), output_, true, Observe, &observer);
    observer.reader = &reader;
    bool end = false;
    EXPECT_FALSE(reader.ExtractOneFile(end));
    EXPECT_FALSE(end);
    EXPECT_TRUE(observer.reported.empty());
    EXPECT_TRUE(reader.WrittenFiles().empty());
    EXPECT_TRUE(ListFiles(output_).empty());
    EXPECT_FALSE(harness::Exists(root_ + L"\\escaped.txt"));
    EXPECT_EQ(Position(archive.Get()), 512u);
  }
}

TEST_F(TarReaderTest, MemberFileThatCannotBeCreatedLeavesThePositionAtItsData) {
  UniqueHandle archive = Archive(TarBuilder().Member("missing\\file.txt", "data").End().Bytes());
  TarReader reader(archive.Get(), output_, true, nullptr, nullptr);
  bool end = false;
  EXPECT_FALSE(reader.ExtractOneFile(end));
  EXPECT_EQ(Position(archive.Get()), 512u);
  EXPECT_TRUE(ListFiles(output_).empty());
}

TEST_F(TarReaderTest, NameWithExistingDirectoryLandsInIt) {
  ASSERT_TRUE(CreateDirectoryW((output_ + L"\\sub").c_str(), nullptr));
  UniqueHandle archive = Archive(TarBuilder().Member("sub\\inner.txt", "inner").End().Bytes());
  TarReader reader(archive.Get(), output_, false, nullptr, nullptr);
  EXPECT_TRUE(ExtractAll(reader).ended);
  std::string content;
  EXPECT_TRUE(ReadWholeFile(output_ + L"\\sub\\inner.txt", content));
  EXPECT_EQ(content, "inner");
}

// The same files archived by GNU tar and by Python's tarfile, in POSIX ustar
// and in GNU format, extract to the same files.
TEST_F(TarReaderTest, ArchivesOfRealTarProgramsExtractIdentically) {
  const std::wstring sources = TestDataPath("files");
  const std::vector<std::wstring> names = ListFiles(sources);
  ASSERT_EQ(names.size(), 6u);
  for (const char* archiveName : {"gnu_ustar.tar", "gnu_gnu.tar", "python_ustar.tar", "python_gnu.tar"}) {
    SCOPED_TRACE(archiveName);
    UniqueHandle archive = Archive(TestData(archiveName));
    {
      TarReader reader(archive.Get(), output_, true, nullptr, nullptr);
      const Extraction extraction = ExtractAll(reader);
      EXPECT_TRUE(extraction.ok);
      EXPECT_TRUE(extraction.ended);
      EXPECT_EQ(extraction.successfulCalls, 6);
      EXPECT_EQ(ListFiles(output_), names);
      for (const std::wstring& name : names) {
        std::string expected;
        ASSERT_TRUE(ReadWholeFile(sources + L"\\" + name, expected));
        EXPECT_TRUE(Content(name) == expected);
      }
    }
    EXPECT_TRUE(ListFiles(output_).empty());
  }
}

}  // namespace
