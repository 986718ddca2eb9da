#include "sysinfo/KvSysInfo.h"

#include <array>
#include <cstring>
#include <string_view>

#include "textconv/Ascii.h"

namespace {

constexpr std::uint32_t kPlatformWin9x = 1;
constexpr std::uint32_t kPlatformNT = 2;

constexpr std::uint8_t kProductWorkstation = 1;
constexpr std::uint8_t kProductServer = 3;

constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;

constexpr const char* kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr const char* kHotfix6aKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
constexpr std::uint32_t kProductTypeCapacity = 81;

// Registry values and service-pack texts are plain ASCII, so ASCII folding
// matches what a locale-aware comparison would say about them.
bool SameText(std::string_view a, std::string_view b) { return SameIgnoringAsciiCase(a, b); }

// Text of a fixed buffer up to its first NUL, never past its end.
AnsiText BufferText(const char* buffer, std::size_t capacity) {
  const void* nul = std::memchr(buffer, '\0', capacity);
  return AnsiText(
      buffer, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : capacity);
}

bool HasSuite(const TOSVersionInfoExA& v, std::uint16_t bit) {
  return (v.wSuiteMask & bit) != 0;
}

void Append(AnsiText& text, const AnsiText& piece) {
  if (piece.empty()) return;
  text += ' ';
  text += piece;
}

}  // namespace

TKvSysInfo::TKvSysInfo(TComponent* owner, ISysInfoPlatform& platform)
    : TKvSysInfo(owner, platform, "TKvSysInfo", &IsInstanceOf<TKvSysInfo>) {}

TKvSysInfo::TKvSysInfo(TComponent* owner, ISysInfoPlatform& platform, const char* className,
                       InstanceTest isInstance)
    : TComponent(OnlyOneOn(owner, className, isInstance)), platform_(platform) {}

// Runs before the base constructor, which would already have joined the owner.
TComponent* TKvSysInfo::OnlyOneOn(TComponent* owner, const char* className, InstanceTest isInstance) {
  if (owner == nullptr) return owner;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    const TComponent* present = owner->Components(i);
    if (isInstance(present)) {
      throw Exception(FormatText("Only one %s component is permitted on a form: %s is already present on %s",
                                 className, present->Name().c_str(), owner->Name().c_str()));
    }
  }
  return owner;
}

const char* TKvSysInfo::ProductName(TProduct product) {
  static constexpr std::array<const char*, 10> kNames = {
      "Unknown Windows NT Release",
      "Windows NT",
      "Windows 2000",
      "Windows XP",
      "Unknown Windows 9x Release",
      "Windows 95",
      "Windows 98",
      "Windows Me",
      "Win32s",
      "Windows Server 2003",
  };
  return kNames[static_cast<std::size_t>(product)];
}

TKvSysInfo::TProduct TKvSysInfo::ClassifyProduct(const TOSVersionInfoExA& v) {
  const std::uint32_t major = v.dwMajorVersion;
  const std::uint32_t minor = v.dwMinorVersion;
  if (v.dwPlatformId == kPlatformWin9x) {
    if (major == 4 && minor == 0) return TProduct::Win95;
    if (major == 4 && minor == 10) return TProduct::Win98;
    if (major == 4 && minor == 90) return TProduct::WinMe;
    return TProduct::Unknown9x;
  }
  if (v.dwPlatformId == kPlatformNT) {
    if (major <= 4) return TProduct::NT;
    if (major == 5 && minor == 0) return TProduct::Win2000;
    if (major == 5 && minor == 1) return TProduct::XP;
    if (major == 5 && minor == 2) return TProduct::Server2003;
    return TProduct::UnknownNT;
  }
  return TProduct::Win32s;
}

TKvSysInfo::TVersionInfo TKvSysInfo::ReadVersionInfo() const {
  TVersionInfo info{};
  info.record.dwOSVersionInfoSize = kOSVersionInfoExSize;
  if (platform_.GetVersionExA(&info.record) != 0) {
    info.extended = true;
    return info;
  }
  // Whatever a refusing platform left in the record must not leak into the
  // second answer.
  info.record = TOSVersionInfoExA{};
  info.record.dwOSVersionInfoSize = kOSVersionInfoSize;
  if (platform_.GetVersionExA(&info.record) != 0) {
    info.extended = false;
    return info;
  }
  throw EKvSysInfo("Can't get OS version info");
}

AnsiText TKvSysInfo::ProductTypeFromRegistry() const {
  TRegKey key = 0;
  if (platform_.RegOpenKeyExA(kHKeyLocalMachine, kProductOptionsKey, 0, kKeyQueryValue, &key) !=
      kErrorSuccess) {
    return AnsiText();
  }
  std::array<char, kProductTypeCapacity> buffer{};
  std::uint32_t size = kProductTypeCapacity;
  const std::int32_t rc = platform_.RegQueryValueExA(key, "ProductType", nullptr, nullptr,
                                                     reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
  platform_.RegCloseKey(key);
  if (rc != kErrorSuccess) return AnsiText();
  return BufferText(buffer.data(), buffer.size());
}

bool TKvSysInfo::KeyExists(const char* path) const {
  TRegKey key = 0;
  if (platform_.RegOpenKeyExA(kHKeyLocalMachine, path, 0, kKeyQueryValue, &key) != kErrorSuccess)
    return false;
  platform_.RegCloseKey(key);
  return true;
}

AnsiText TKvSysInfo::EditionText(const TVersionInfo& info) const {
  const TOSVersionInfoExA& v = info.record;
  if (v.dwPlatformId != kPlatformNT) return AnsiText();

  if (!info.extended) {
    const AnsiText type = ProductTypeFromRegistry();
    if (SameText(type, "WINNT")) return "Professional";
    if (SameText(type, "LANMANNT")) return "Server";
    if (SameText(type, "SERVERNT")) return "Advanced Server";
    return AnsiText();
  }

  const std::uint32_t major = v.dwMajorVersion;
  const std::uint32_t minor = v.dwMinorVersion;
  if (v.wProductType == kProductWorkstation) {
    if (major == 4) return "Workstation";
    return HasSuite(v, kSuitePersonal) ? "Home Edition" : "Professional";
  }
  if (v.wProductType != kProductServer) return AnsiText();

  if (major == 5 && minor == 2) {
    if (HasSuite(v, kSuiteDatacenter)) return "Datacenter Edition";
    if (HasSuite(v, kSuiteEnterprise)) return "Enterprise Edition";
    if (v.wSuiteMask == kSuiteBlade) return "Web Edition";
    return "Standard Edition";
  }
  if (major == 5 && minor == 0) {
    if (HasSuite(v, kSuiteDatacenter)) return "Datacenter Server";
    if (HasSuite(v, kSuiteEnterprise)) return "Advanced Server";
    return "Server";
  }
  return HasSuite(v, kSuiteEnterprise) ? "Server, Enterprise Edition" : "Server";
}

AnsiText TKvSysInfo::ServicePackText(const TOSVersionInfoExA& v) const {
  if (v.dwPlatformId == kPlatformWin9x) {
    if (v.dwMajorVersion != 4) return AnsiText();
    const char second = v.szCSDVersion[1];
    if (v.dwMinorVersion == 0 && (second == 'C' || second == 'B')) return "OSR2";
    if (v.dwMinorVersion == 10 && second == 'A') return "SE";
    return AnsiText();
  }
  if (v.dwPlatformId == kPlatformNT) {
    AnsiText csd = BufferText(v.szCSDVersion, sizeof v.szCSDVersion);
    if (v.dwMajorVersion == 4 && SameText(csd, "Service Pack 6") && KeyExists(kHotfix6aKey)) {
      return "Service Pack 6a";
    }
    return csd;
  }
  return AnsiText();
}

AnsiText TKvSysInfo::OSProductName() const {
  return ProductName(ClassifyProduct(ReadVersionInfo().record));
}

AnsiText TKvSysInfo::OSDescription() const {
  const TVersionInfo info = ReadVersionInfo();
  const TOSVersionInfoExA& v = info.record;
  AnsiText text = ProductName(ClassifyProduct(v));
  if (v.dwPlatformId == kPlatformWin9x) {
    Append(text, ServicePackText(v));
  } else if (v.dwPlatformId == kPlatformNT) {
    Append(text, EditionText(info));
    const AnsiText sp = ServicePackText(v);
    const unsigned build = v.dwBuildNumber & 0xFFFFu;
    if (v.dwMajorVersion <= 4) {
      Append(text, FormatText("version %u.%u %s (Build %u)", v.dwMajorVersion, v.dwMinorVersion, sp.c_str(),
                              build));
    } else {
      Append(text, FormatText("%s (Build %u)", sp.c_str(), build));
    }
  }
  return text;
}

AnsiText TKvSysInfo::ComputerName() const {
  std::array<char, kMaxPath> buffer{};
  std::uint32_t size = kMaxPath;
  if (platform_.GetComputerNameA(buffer.data(), &size) == 0) return AnsiText();
  return BufferText(buffer.data(), buffer.size());
}

AnsiText TKvSysInfo::UserName() const {
  std::array<char, kMaxPath> buffer{};
  std::uint32_t size = kMaxPath;
  if (platform_.GetUserNameA(buffer.data(), &size) == 0) return AnsiText();
  return BufferText(buffer.data(), buffer.size());
}

AnsiText TKvSysInfo::SystemDirectory() const {
  std::array<char, kMaxPath> buffer{};
  const std::uint32_t length = platform_.GetSystemDirectoryA(buffer.data(), kMaxPath);
  // A result as large as the buffer is the size a longer path would need; the
  // buffer then holds no path at all.
  if (length == 0 || length >= kMaxPath) return AnsiText();
  AnsiText path = BufferText(buffer.data(), buffer.size());
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}
