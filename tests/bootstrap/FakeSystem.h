#pragma once
// An ISystem whose answers the test sets and whose calls it records.
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/System.h"

class TFakeSystem : public ISystem {
 public:
  AnsiText modulePath = "C:\\Programs\\TERBO.exe";
  char delimiter = '\\';
  std::map<AnsiText, AnsiText> env;  // keys in lower case
  bool foldersCreatable = true;
  std::vector<AnsiText> createdFolders;
  std::set<AnsiText> files;
  std::set<AnsiText> undeletable;
  std::vector<AnsiText> deleted;
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
  bool ForceDirectories(const AnsiText& path) override {
    log.push_back("mkdir " + path);
    if (!foldersCreatable) return false;
    createdFolders.push_back(path);
    return true;
  }
  bool FileExists(const AnsiText& path) override { return files.count(path) != 0; }
  bool DeleteFile(const AnsiText& path) override {
    log.push_back("delete " + path);
    if (undeletable.count(path) != 0) return false;
    deleted.push_back(path);
    return files.erase(path) != 0;
  }
  int SetCurrentDirectoryA(const AnsiText& path) override {
    log.push_back("chdir " + path);
    chdirs.push_back(path);
    return chdirError;
  }
  void Sleep(std::uint32_t milliseconds) override {
    log.push_back("sleep " + std::to_string(milliseconds));
    sleeps.push_back(milliseconds);
  }
  void ShellExecuteOpen(const AnsiText& file, const AnsiText& parameters) override {
    log.push_back("open " + file + " " + parameters);
    opened.emplace_back(file, parameters);
  }
};
