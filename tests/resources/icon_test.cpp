// The icon group 101: six images in a fixed order, five 8-bit bitmaps and one
// PNG, each one the platform can turn into an icon of its size.
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "stub_image_test.h"

namespace {

enum class Format { Bitmap8, Png };

struct Image {
  WORD id;
  int size;  // pixels, square
  Format format;
};

const Image kImages[] = {
    {1, 16, Format::Bitmap8},  {2, 36, Format::Bitmap8},  {3, 40, Format::Bitmap8},
    {4, 48, Format::Bitmap8},  {5, 128, Format::Bitmap8}, {6, 256, Format::Png},
};

constexpr WORD kGroupId = 101;
constexpr std::size_t kGroupHeader = 6;  // reserved, type, count
constexpr std::size_t kGroupEntry = 14;  // width, height, colours, reserved, planes, bits, bytes, id
using IconOwner = std::unique_ptr<std::remove_pointer_t<HICON>, decltype(&DestroyIcon)>;
using BitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, decltype(&DeleteObject)>;

const std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }
std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

class IconTest : public StubResourcesTest {
 protected:
  void SetUp() override {
    StubResourcesTest::SetUp();
    group = image.Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(kGroupId), kEnglishUs);
    ASSERT_EQ(group.size(), kGroupHeader + kGroupEntry * std::size(kImages));
  }
  std::vector<std::uint8_t> group;
};

TEST_F(IconTest, GroupListsTheSixImagesInOrder) {
  EXPECT_EQ(Le16(group, 0), 0u);
  EXPECT_EQ(Le16(group, 2), 1u) << "not an icon group";
  EXPECT_EQ(Le16(group, 4), std::size(kImages));
  for (std::size_t i = 0; i < std::size(kImages); ++i) {
    const Image& expected = kImages[i];
    SCOPED_TRACE(expected.size);
    const std::size_t at = kGroupHeader + kGroupEntry * i;
    EXPECT_EQ(group[at], expected.size % 256) << "width";
    EXPECT_EQ(group[at + 1], expected.size % 256) << "height";
    EXPECT_EQ(Le16(group, at + 4), 1u) << "planes";
    EXPECT_EQ(Le16(group, at + 6), expected.format == Format::Bitmap8 ? 8u : 32u) << "bits per pixel";
    EXPECT_EQ(Le16(group, at + 12), expected.id);
    const std::vector<std::uint8_t> bits = image.Bytes(RT_ICON, MAKEINTRESOURCEW(expected.id), kEnglishUs);
    EXPECT_EQ(Le32(group, at + 8), bits.size()) << "byte count differs from the image's";
  }
}

TEST_F(IconTest, ImagesHaveTheirSizeAndFormat) {
  for (const Image& expected : kImages) {
    SCOPED_TRACE(expected.size);
    const std::vector<std::uint8_t> bits = image.Bytes(RT_ICON, MAKEINTRESOURCEW(expected.id), kEnglishUs);
    if (expected.format == Format::Png) {
      ASSERT_GE(bits.size(), sizeof(kPngSignature) + 16);
      EXPECT_EQ(std::memcmp(bits.data(), kPngSignature, sizeof(kPngSignature)), 0);
      EXPECT_EQ(std::memcmp(bits.data() + 12, "IHDR", 4), 0);
      EXPECT_EQ(Be32(bits, 16), static_cast<std::uint32_t>(expected.size)) << "PNG width";
      EXPECT_EQ(Be32(bits, 20), static_cast<std::uint32_t>(expected.size)) << "PNG height";
    } else {
      // BITMAPINFOHEADER, 256 palette entries, colour rows, 1-bit mask rows.
      ASSERT_GE(bits.size(), 40u);
      EXPECT_EQ(Le32(bits, 0), 40u) << "header size";
      EXPECT_EQ(Le32(bits, 4), static_cast<std::uint32_t>(expected.size)) << "width";
      EXPECT_EQ(Le32(bits, 8), static_cast<std::uint32_t>(2 * expected.size)) << "height (colour and mask)";
      EXPECT_EQ(Le16(bits, 12), 1u) << "planes";
      EXPECT_EQ(Le16(bits, 14), 8u) << "bits per pixel";
      EXPECT_EQ(Le32(bits, 16), static_cast<std::uint32_t>(BI_RGB));
      const std::size_t colourRow = (expected.size + 3) / 4 * 4;
      const std::size_t maskRow = (expected.size + 31) / 32 * 4;
      EXPECT_EQ(bits.size(), 40 + 256 * 4 + (colourRow + maskRow) * expected.size);
    }
  }
}

TEST_F(IconTest, PlatformMakesAnIconOfEachImageAndPicksItBySize) {
  for (const Image& expected : kImages) {
    SCOPED_TRACE(expected.size);
    EXPECT_EQ(LookupIconIdFromDirectoryEx(group.data(), TRUE, expected.size, expected.size, LR_DEFAULTCOLOR),
              expected.id);
    std::vector<std::uint8_t> bits = image.Bytes(RT_ICON, MAKEINTRESOURCEW(expected.id), kEnglishUs);
    ASSERT_FALSE(bits.empty());
    IconOwner icon(CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x00030000,
                                            expected.size, expected.size, LR_DEFAULTCOLOR),
                   &DestroyIcon);
    ASSERT_NE(icon, nullptr) << "error " << GetLastError();
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    BitmapOwner colourBitmap(info.hbmColor, &DeleteObject);
    BitmapOwner maskBitmap(info.hbmMask, &DeleteObject);
    BITMAP colour = {};
    ASSERT_NE(colourBitmap, nullptr);
    ASSERT_NE(GetObjectW(colourBitmap.get(), sizeof(colour), &colour), 0);
    EXPECT_EQ(colour.bmWidth, expected.size);
    EXPECT_EQ(colour.bmHeight, expected.size);
  }
}

}  // namespace
