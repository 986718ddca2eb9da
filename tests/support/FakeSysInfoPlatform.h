#pragma once
// The one fake of the system-information calls, for every test of that seam.
// It answers from its public fields, records which facts were asked for, and
// checks every argument the component hands over.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sysinfo/SysInfoPlatform.h"

class TFakeSysInfoPlatform : public ISysInfoPlatform {
 public:
  // What GetVersionExA reports, and which record sizes it takes.
  TOSVersionInfoExA version{};
  bool acceptExtended = true;
  bool acceptShort = true;

  // Registry under HKEY_LOCAL_MACHINE: key path -> value name -> raw bytes.
  std::map<std::string, std::map<std::string, std::string>> registry;

  // nullopt makes the call fail.
  std::optional<std::string> computerName = "PC1";
  std::optional<std::string> userName = "novak";
  std::optional<std::string> systemDirectory = "C:\\WINDOWS\\system32";
  // Overrides the length GetSystemDirectoryA returns.
  std::optional<std::uint32_t> systemDirectoryResult;

  std::vector<std::string> calls;  // "version", "computer", "user", "systemdir", in order
  std::vector<std::uint32_t> versionSizes;
  std::vector<std::string> keysOpened;
  int openKeys = 0;

  ~TFakeSysInfoPlatform() override { EXPECT_EQ(openKeys, 0) << "a registry key was left open"; }

  std::int32_t GetVersionExA(TOSVersionInfoExA* info) override {
    const std::uint32_t size = info->dwOSVersionInfoSize;
    calls.emplace_back("version");
    versionSizes.push_back(size);
    const auto* bytes = reinterpret_cast<const unsigned char*>(info);
    for (std::size_t i = sizeof info->dwOSVersionInfoSize; i < size && i < sizeof *info; ++i) {
      EXPECT_EQ(bytes[i], 0) << "record byte " << i << " not zeroed for size " << size;
    }
    const bool accepted =
        (size == kOSVersionInfoExSize && acceptExtended) || (size == kOSVersionInfoSize && acceptShort);
    auto* out = reinterpret_cast<unsigned char*>(info);
    if (!accepted) {
      // A refusing platform may still have scribbled on the record.
      std::memset(out + sizeof info->dwOSVersionInfoSize, 0xAB,
                  sizeof *info - sizeof info->dwOSVersionInfoSize);
      return 0;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(&version);
    std::memcpy(out + sizeof size, in + sizeof size, size - sizeof size);
    return 1;
  }

  std::int32_t RegOpenKeyExA(TRegKey key, const char* subKey, std::uint32_t options, std::uint32_t samDesired,
                             TRegKey* result) override {
    EXPECT_EQ(key, kHKeyLocalMachine);
    EXPECT_EQ(options, 0u);
    EXPECT_EQ(samDesired, kKeyQueryValue);
    EXPECT_NE(result, nullptr);
    keysOpened.emplace_back(subKey);
    const auto it = registry.find(subKey);
    if (it == registry.end()) return kErrorFileNotFound;
    *result = kFirstHandle + static_cast<TRegKey>(std::distance(registry.begin(), it));
    ++openKeys;
    return kErrorSuccess;
  }

  std::int32_t RegQueryValueExA(TRegKey key, const char* valueName, std::uint32_t* reserved,
                                std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
    EXPECT_EQ(reserved, nullptr);
    EXPECT_EQ(type, nullptr);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(*dataSize, 81u);
    // After a failed read the buffer's contents are undefined; make them tempting.
    std::memcpy(data, "WinNT", 6);
    const auto values = KeyAt(key);
    const auto it = values.find(valueName);
    if (it == values.end()) return kErrorFileNotFound;
    if (it->second.size() > *dataSize) {
      *dataSize = static_cast<std::uint32_t>(it->second.size());
      return kErrorMoreData;
    }
    std::memset(data, 'x', *dataSize);  // a short value leaves the rest untouched
    std::memcpy(data, it->second.data(), it->second.size());
    *dataSize = static_cast<std::uint32_t>(it->second.size());
    return kErrorSuccess;
  }

  std::int32_t RegCloseKey(TRegKey key) override {
    KeyAt(key);
    --openKeys;
    return kErrorSuccess;
  }

  std::int32_t GetComputerNameA(char* buffer, std::uint32_t* size) override {
    calls.emplace_back("computer");
    return Name(computerName, buffer, size);
  }
  std::int32_t GetUserNameA(char* buffer, std::uint32_t* size) override {
    calls.emplace_back("user");
    return Name(userName, buffer, size);
  }

  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    EXPECT_EQ(size, kMaxPath);
    calls.emplace_back("systemdir");
    std::memset(buffer, 'x', size);  // the whole buffer must be the component's
    if (!systemDirectory) return 0;
    std::memcpy(buffer, systemDirectory->c_str(), systemDirectory->size() + 1);
    return systemDirectoryResult.value_or(static_cast<std::uint32_t>(systemDirectory->size()));
  }

 private:
  static constexpr TRegKey kFirstHandle = 0x100;

  std::map<std::string, std::string> KeyAt(TRegKey key) {
    EXPECT_GT(openKeys, 0) << "key used while none is open";
    const auto index = static_cast<std::ptrdiff_t>(key - kFirstHandle);
    EXPECT_TRUE(index >= 0 && index < static_cast<std::ptrdiff_t>(registry.size())) << "unknown key handle";
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(registry.size())) return {};
    return std::next(registry.begin(), index)->second;
  }

  static std::int32_t Name(const std::optional<std::string>& name, char* buffer, std::uint32_t* size) {
    EXPECT_EQ(*size, kMaxPath);
    std::memset(buffer, 'x', *size);  // the whole buffer must be the component's
    if (!name) return 0;
    std::memcpy(buffer, name->c_str(), name->size() + 1);
    *size = static_cast<std::uint32_t>(name->size());
    return 1;
  }
};
