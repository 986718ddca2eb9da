// The identity websetup.exe carries: its version record and its manifest.
// The program's path comes in WEBSETUP_EXE; the expected name, version and
// company come from the build.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {
std::string ProgramPath() {
  const char* path = std::getenv("WEBSETUP_EXE");
  std::string p = path != nullptr ? path : "";
  // A Linux path from the build: Wine's Z: drive is the root folder.
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  return p;
}

class VersionRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version record in " << path;
    data.resize(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
  }
  std::string Text(const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(data.data(), key.c_str(), &value, &length) || length == 0) return "(none)";
    return static_cast<const char*>(value);
  }
  std::string path = ProgramPath();
  std::vector<char> data;
};

std::string Dotted(DWORD ms, DWORD ls) {
  return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) +
         "." + std::to_string(LOWORD(ls));
}
}  // namespace

TEST_F(VersionRecord, FixedPartCarriesTheProjectVersion) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), WEBSETUP_VERSION4);
  EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), WEBSETUP_VERSION4);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
}

TEST_F(VersionRecord, TextsNameTheProgramAndTheVendor) {
  EXPECT_EQ(Text("FileVersion"), WEBSETUP_VERSION4);
  EXPECT_EQ(Text("ProductVersion"), WEBSETUP_VERSION4);
  EXPECT_EQ(Text("ProductName"), WEBSETUP_PRODUCT);
  EXPECT_EQ(Text("OriginalFilename"), WEBSETUP_PRODUCT ".exe");
  EXPECT_EQ(Text("CompanyName"), WEBSETUP_COMPANY);
  EXPECT_EQ(Text("FileDescription"), "Installer bootstrap");
}

namespace {
// The program's manifest resource, as Windows reads it at start.
std::string ProgramManifest() {
  const std::string path = ProgramPath();
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return "";
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  std::string manifest;
  if (found != nullptr) {
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    manifest.assign(bytes, ::SizeofResource(module, found));
  }
  ::FreeLibrary(module);
  return manifest;
}

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// The element from its start tag to its end tag; empty when it is missing.
std::string Element(const std::string& text, const std::string& name) {
  const std::size_t start = text.find("<" + name);
  const std::size_t end = text.find("</" + name + ">", start);
  return start == std::string::npos || end == std::string::npos ? "" : text.substr(start, end - start);
}
}  // namespace

TEST(Manifest, NamesTheProgramAndAsksForTheCommonControls) {
  const std::string manifest = ProgramManifest();
  ASSERT_FALSE(manifest.empty()) << ProgramPath();
  const std::string own = std::string("<assemblyIdentity type=\"win32\" name=\"") + WEBSETUP_PRODUCT +
                          "\" version=\"" + WEBSETUP_VERSION4 + "\"";
  EXPECT_NE(manifest.find(own), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_EQ(Count(manifest, "<dependentAssembly>"), 1u);
}

TEST(Manifest, RunsAsTheInvokerWithOneTrustInfoOfOneNamespace) {
  const std::string manifest = ProgramManifest();
  EXPECT_EQ(Count(manifest, "<trustInfo"), 1u);
  const std::string trust = Element(manifest, "trustInfo");
  EXPECT_EQ(Count(trust, "xmlns"), 1u) << trust;
  EXPECT_NE(trust.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
      << trust;
}

TEST(Manifest, NamesEveryWindowsFromVistaOnAndIsSystemDpiAware) {
  const std::string manifest = ProgramManifest();
  for (const char* id : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_EQ(Count(manifest, std::string("<supportedOS Id=\"") + id + "\"/>"), 1u) << id;
  }
  EXPECT_EQ(Count(manifest, "<supportedOS"), 5u);
  // System awareness: true, and no per-monitor setting beside it.
  const std::string dpiAware = Element(manifest, "dpiAware");
  EXPECT_TRUE(dpiAware.ends_with(">true")) << manifest;
  EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);
  EXPECT_EQ(manifest.find("PerMonitor"), std::string::npos);
}
