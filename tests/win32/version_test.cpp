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

TEST(Manifest, NamesTheProgramAndKeepsOnlyTheCommonControlsDependency) {
  const std::string path = ProgramPath();
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << path;
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
  const std::string manifest(bytes, ::SizeofResource(module, found));
  ::FreeLibrary(module);

  const std::string own = std::string("<assemblyIdentity type=\"win32\" name=\"") + WEBSETUP_PRODUCT +
                          "\" version=\"" + WEBSETUP_VERSION4 + "\"";
  EXPECT_NE(manifest.find(own), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  // A supportedOS entry would change the version the system reports to the program.
  EXPECT_EQ(manifest.find("supportedOS"), std::string::npos);
  EXPECT_EQ(manifest.find("compatibility"), std::string::npos);
}
