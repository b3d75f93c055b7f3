// The application manifest: its text, and what the platform's activation
// context makes of it (a manifest the loader rejects stops the stub from
// starting at all).
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "stub_image_test.h"

namespace {

const char kVista[] = "{e2011457-1546-43c5-a5fe-008deee3d3f0}";
const char* const kSupportedOs[] = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
};

// The manifest split into its comments and the rest.
struct ManifestText {
  std::string markup;    // without comments
  std::string comments;  // the comments' contents, one after another
};

ManifestText Split(const std::string& text) {
  ManifestText split;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find("<!--", at);
    if (open == std::string::npos) break;
    const std::size_t close = text.find("-->", open + 4);
    if (close == std::string::npos) break;
    split.markup += text.substr(at, open - at);
    split.comments += text.substr(open + 4, close - open - 4) + "\n";
    at = close + 3;
  }
  split.markup += text.substr(at);
  return split;
}

std::vector<std::string> AllMatches(const std::string& text, const std::regex& pattern) {
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
    found.push_back((*it)[1].str());
  }
  return found;
}

class ManifestTest : public StubResourcesTest {
 protected:
  void SetUp() override {
    StubResourcesTest::SetUp();
    const std::vector<std::uint8_t> bytes = image.Bytes(RT_MANIFEST, MAKEINTRESOURCEW(1), kNeutral);
    ASSERT_FALSE(bytes.empty());
    text = Split(std::string(bytes.begin(), bytes.end()));
  }
  ManifestText text;
};

TEST_F(ManifestTest, AsksForNoElevation) {
  EXPECT_EQ(AllMatches(text.markup, std::regex(R"re(<requestedExecutionLevel\s+level="([^"]*)"\s*/>)re")),
            std::vector<std::string>{"asInvoker"});
  EXPECT_EQ(text.markup.find("uiAccess"), std::string::npos);
}

TEST_F(ManifestTest, IsPerMonitorDpiAware) {
  EXPECT_EQ(AllMatches(text.markup, std::regex(R"re(<dpiAware>\s*([^<]*?)\s*</dpiAware>)re")),
            std::vector<std::string>{"True/PM"});
}

TEST_F(ManifestTest, DeclaresWindows7To10AndVistaOnlyInAComment) {
  EXPECT_EQ(AllMatches(text.markup, std::regex(R"re(<supportedOS\s+Id="([^"]*)"\s*/>)re")),
            std::vector<std::string>(std::begin(kSupportedOs), std::end(kSupportedOs)));
  EXPECT_EQ(text.markup.find(kVista), std::string::npos);
  EXPECT_NE(text.comments.find(kVista), std::string::npos);
}

TEST_F(ManifestTest, DependsOnNoAssembly) {
  EXPECT_EQ(text.markup.find("dependency"), std::string::npos);
  EXPECT_EQ(text.markup.find("dependentAssembly"), std::string::npos);
  EXPECT_NE(text.markup.find(R"(manifestVersion="1.0")"), std::string::npos);
}

// An activation context made from the stub's manifest resource; released by
// the destructor.
class ActivationContext {
 public:
  ActivationContext() {
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = StubPath().c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    handle_ = CreateActCtxW(&request);
  }
  ~ActivationContext() {
    if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
  }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(ManifestAsLoaded, PlatformReadsTheRunLevelAndDpiSetting) {
  ActivationContext context;
  ASSERT_NE(context.Get(), INVALID_HANDLE_VALUE) << "the platform rejects the manifest: error " << GetLastError();

  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel = {};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, RunlevelInformationInActivationContext, &runLevel,
                           sizeof(runLevel), &written));
  EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
  EXPECT_EQ(runLevel.UiAccess, 0u);

  wchar_t dpiAware[32] = {};
  ASSERT_TRUE(QueryActCtxSettingsW(0, context.Get(), L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                   L"dpiAware", dpiAware, 32, &written))
      << "error " << GetLastError();
  EXPECT_EQ(std::wstring(dpiAware), L"True/PM");
}

// A GUID as stored (little-endian fields) in the manifest's text form.
std::string GuidText(const std::uint8_t* at) {
  char text[39];
  std::snprintf(text, sizeof(text), "{%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x}", at[3],
                at[2], at[1], at[0], at[5], at[4], at[7], at[6], at[8], at[9], at[10], at[11], at[12], at[13], at[14],
                at[15]);
  return text;
}

TEST(ManifestAsLoaded, PlatformSeesTheSupportedSystemsInOrder) {
  ActivationContext context;
  ASSERT_NE(context.Get(), INVALID_HANDLE_VALUE) << "the platform rejects the manifest: error " << GetLastError();

  std::uint8_t info[1024] = {};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, CompatibilityInformationInActivationContext, info,
                           sizeof(info), &written));
  // A count, then one element per id: the GUID and its kind, followed on
  // newer systems by a maximal tested version (which also moves the first
  // element to an 8-byte boundary).
  ASSERT_GE(written, 4u);
  const std::size_t count = info[0] | (info[1] << 8);
  std::size_t first = 0, stride = 0;
  if (written == 8 + 32 * count) {
    first = 8, stride = 32;
  } else if (written == 4 + 20 * count) {
    first = 4, stride = 20;
  }
  ASSERT_NE(stride, 0u) << "unknown layout: " << written << " bytes for " << count << " elements";
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* element = info + first + stride * i;
    EXPECT_EQ(element[16], ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS);
    ids.push_back(GuidText(element));
  }
  EXPECT_EQ(ids, std::vector<std::string>(std::begin(kSupportedOs), std::end(kSupportedOs)));
}

}  // namespace
