#pragma once
// An ISystem whose answers the test sets and whose calls it records; its files
// and folders kept in its own sets, or real ones on disk.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/System.h"

class TFakeSystem;

// A held file: its bytes as they were when held, and a shell that records.
class TFakeHeldFile : public IHeldFile {
 public:
  TFakeHeldFile(TFakeSystem& system, AnsiText path, std::string bytes)
      : system_(system), path_(std::move(path)), bytes_(std::move(bytes)) {}
  std::int64_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<std::int64_t>(n);
  }
  void ShellExecuteOpen(const AnsiText& parameters) override;

 private:
  TFakeSystem& system_;
  AnsiText path_;
  std::string bytes_;
  std::size_t at_ = 0;
};

class TFakeSystem : public ISystem {
 public:
  // Where its files and folders are; the shell, the clock and the rest stay fake.
  enum class Files { InMemory, OnDisk };
  explicit TFakeSystem(Files where = Files::InMemory) : onDisk_(where == Files::OnDisk) {}

  AnsiText modulePath = "C:\\Programs\\TERBO.exe";
  char delimiter = '\\';
  std::map<AnsiText, AnsiText> env;  // keys in lower case
  bool foldersCreatable = true;
  std::vector<AnsiText> createdFolders;
  std::vector<bool> sharedFolders;  // beside createdFolders
  bool foldersPrivate = true;
  std::set<AnsiText> files;
  std::set<AnsiText> undeletable;
  std::set<AnsiText> unholdable;
  std::map<AnsiText, std::string> contents;  // what a held file reads
  std::vector<AnsiText> deleted;
  std::int64_t now = 1796817600;  // 2026-12-09T12:00:00Z
  int chdirError = 0;
  std::vector<AnsiText> chdirs;
  std::vector<std::uint32_t> sleeps;
  std::vector<std::pair<AnsiText, AnsiText>> opened;
  std::vector<AnsiText> log;  // every call, in order

  AnsiText ModuleFileName() override { return modulePath; }
  char PathDelimiter() override { return delimiter; }
  std::uint32_t GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) override {
    AnsiText key = name;
    for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    auto it = env.find(key);
    if (it == env.end()) return 0;
    const auto length = static_cast<std::uint32_t>(it->second.size());
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, it->second.c_str(), length + 1);
    return length;
  }
  bool ForceDirectories(const AnsiText& path, bool shared) override {
    log.push_back("mkdir " + path);
    if (!foldersCreatable) return false;
    createdFolders.push_back(path);
    sharedFolders.push_back(shared);
    if (!onDisk_) return true;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path);
  }
  bool IsPrivateFolder(const AnsiText& path) override {
    log.push_back("private? " + path);
    return foldersPrivate;
  }
  bool FileExists(const AnsiText& path) override {
    return onDisk_ ? std::filesystem::is_regular_file(path) : files.count(path) != 0;
  }
  std::int64_t FileSize(const AnsiText& path) override {
    if (!FileExists(path)) return -1;
    std::error_code ec;
    return static_cast<std::int64_t>(onDisk_ ? std::filesystem::file_size(path, ec) : contents[path].size());
  }
  bool DeleteFile(const AnsiText& path) override {
    log.push_back("delete " + path);
    if (undeletable.count(path) != 0) return false;
    deleted.push_back(path);
    std::error_code ec;
    return onDisk_ ? std::filesystem::remove(path, ec) : files.erase(path) != 0;
  }
  bool RenameFile(const AnsiText& from, const AnsiText& to) override {
    log.push_back("rename " + from + " " + to);
    if (onDisk_) {
      std::error_code ec;
      std::filesystem::rename(from, to, ec);
      return !ec;
    }
    if (files.erase(from) == 0) return false;
    files.insert(to);
    contents[to] = contents[from];
    contents.erase(from);
    return true;
  }
  std::int64_t UtcNow() override { return now; }
  int SetCurrentDirectoryA(const AnsiText& path) override {
    log.push_back("chdir " + path);
    chdirs.push_back(path);
    return chdirError;
  }
  void Sleep(std::uint32_t milliseconds) override {
    log.push_back("sleep " + std::to_string(milliseconds));
    sleeps.push_back(milliseconds);
  }
  std::unique_ptr<IHeldFile> HoldFile(const AnsiText& path) override {
    if (!FileExists(path) || unholdable.count(path) != 0) return nullptr;
    if (!onDisk_) return std::make_unique<TFakeHeldFile>(*this, path, contents[path]);
    std::ifstream in(path, std::ios::binary);
    return std::make_unique<TFakeHeldFile>(*this, path, std::string(std::istreambuf_iterator<char>(in), {}));
  }
  void Opened(const AnsiText& file, const AnsiText& parameters) {
    log.push_back("open " + file + " " + parameters);
    opened.emplace_back(file, parameters);
  }

 private:
  bool onDisk_;
};

inline void TFakeHeldFile::ShellExecuteOpen(const AnsiText& parameters) {
  system_.Opened(path_, parameters);
}
