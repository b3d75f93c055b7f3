// The payload's tar archive, read back with libarchive and with the stub's rules.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <memory>

#include "payload_reader.h"
#include "tar_writer.h"

namespace {

struct ReadEntry {
  std::string name;
  mode_t type;
  bool isHardlink;
  std::vector<uint8_t> data;
};

std::vector<ReadEntry> ReadWithLibarchive(const std::vector<uint8_t>& tar) {
  std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
  archive_read_support_format_tar(reader.get());
  EXPECT_EQ(archive_read_open_memory(reader.get(), tar.data(), tar.size()), ARCHIVE_OK);
  std::vector<ReadEntry> entries;
  archive_entry* entry;
  while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
    ReadEntry e{archive_entry_pathname(entry), archive_entry_filetype(entry), archive_entry_hardlink(entry) != nullptr,
                std::vector<uint8_t>(static_cast<size_t>(archive_entry_size(entry)))};
    if (!e.data.empty()) {
      EXPECT_EQ(archive_read_data(reader.get(), e.data.data(), e.data.size()), static_cast<la_ssize_t>(e.data.size()));
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<uint8_t> Bytes(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

TEST(WriteTarArchive, MembersComeBackInOrderAsRegularFilesWithTheirData) {
  const std::vector<uint8_t> setup = Bytes(1000, 1), same = Bytes(512, 2), odd = Bytes(513, 3);
  const std::string longName = std::string(96, 'n') + ".dll";  // exactly 100 bytes: fills the name field
  // Same name and same content twice: both stored in full, the second no link.
  const std::vector<TarMember> members = {
      {"ZinUpdate.exe", setup.data(), setup.size()}, {"shared.dll", same.data(), same.size()},
      {"empty.txt", nullptr, 0},                     {longName, odd.data(), odd.size()},
      {"shared.dll", same.data(), same.size()},
  };
  std::vector<uint8_t> tar;
  std::string error;
  ASSERT_TRUE(WriteTarArchive(members, tar, error)) << error;

  EXPECT_EQ(tar.size() % kTarRecordSize, 0u);
  EXPECT_EQ(tar.size(), TarArchiveSize({1000, 512, 0, 513, 512}));

  const std::vector<ReadEntry> read = ReadWithLibarchive(tar);
  ASSERT_EQ(read.size(), members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(read[i].name, members[i].name) << i;
    EXPECT_EQ(read[i].type, AE_IFREG) << i;
    EXPECT_FALSE(read[i].isHardlink) << i;
    EXPECT_EQ(read[i].data, std::vector<uint8_t>(members[i].data, members[i].data + members[i].size)) << i;
  }

  // What the stub sees: the whole name in the name field, type '0', POSIX
  // magic, data where the size says, and the end marker after the last member.
  std::vector<TarHeader> headers;
  size_t end = 0;
  ASSERT_EQ(WalkTar(tar, headers, end), "");
  ASSERT_EQ(headers.size(), members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(headers[i].name, members[i].name) << i;
    EXPECT_EQ(headers[i].prefix, "") << i;
    EXPECT_EQ(headers[i].typeflag, '0') << i;
    EXPECT_EQ(headers[i].magic, std::string("ustar\0" "00", 8)) << i;
    EXPECT_EQ(headers[i].size, members[i].size) << i;
  }
  for (size_t i = end; i < tar.size(); ++i) ASSERT_EQ(tar[i], 0) << "padding at " << i;
}

TEST(WriteTarArchive, NoMembersGivesOneRecordOfZeros) {
  std::vector<uint8_t> tar;
  std::string error;
  ASSERT_TRUE(WriteTarArchive({}, tar, error)) << error;
  EXPECT_EQ(tar, std::vector<uint8_t>(kTarRecordSize, 0));
}

TEST(WriteTarArchive, SameInputGivesSameBytes) {
  const std::vector<uint8_t> data = Bytes(3000, 5);
  const std::vector<TarMember> members = {{"a.exe", data.data(), data.size()}};
  std::vector<uint8_t> first, second;
  std::string error;
  ASSERT_TRUE(WriteTarArchive(members, first, error));
  ASSERT_TRUE(WriteTarArchive(members, second, error));
  EXPECT_EQ(first, second);
}

}  // namespace
