#include "platform/posix/system/PosixSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/system/Encoding.h"

extern char** environ;

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameIgnoringCase(const char* a, std::size_t n, const AnsiText& b) {
  if (n != b.size()) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

AnsiText MachineArchitecture() {
  utsname u{};
  if (uname(&u) != 0) return AnsiText();
  const std::string m = u.machine;
  if (m == "x86_64" || m == "amd64") return "AMD64";
  if (m == "aarch64" || m == "arm64") return "ARM64";
  if (m.size() == 4 && m[0] == 'i' && m.substr(2) == "86") return "x86";
  if (m == "ia64") return "IA64";
  return Utf8ToAnsi(m);
}

bool StartsAsProgram(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[4] = {};
  const ssize_t n = read(fd, head, sizeof head);
  close(fd);
  if (n >= 2 && head[0] == '#' && head[1] == '!') return true;
  return n == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
}

// Starts argv detached: a grandchild in a session of its own, so it outlives
// the installer and never becomes its zombie.
void SpawnDetached(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      // The installer's sockets and pipes stay behind with it.
      if (close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < 1024; ++fd) close(fd);
      }
      execvp(argv[0], argv.data());
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}
}  // namespace

TPosixSystem::TPosixSystem(const char* argv0) : argv0_(argv0 != nullptr ? Utf8ToAnsi(argv0) : AnsiText()) {}

AnsiText TPosixSystem::ModuleFileName() { return argv0_; }

bool TPosixSystem::LookUp(const AnsiText& name, AnsiText& value) {
  const char* found = nullptr;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq == nullptr) continue;
    const auto n = static_cast<std::size_t>(eq - *e);
    if (!SameIgnoringCase(*e, n, name)) continue;
    // An exact spelling wins over another case of the same name.
    if (found == nullptr || std::strncmp(*e, name.c_str(), n) == 0) found = eq + 1;
  }
  if (found != nullptr) {
    value = Utf8ToAnsi(found);
    return true;
  }
  const AnsiText key = [&] {
    AnsiText k = name;
    for (char& c : k) c = Lower(c);
    return k;
  }();
  if (key == "temp") {
    const char* tmpdir = std::getenv("TMPDIR");
    value = Utf8ToAnsi(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp");
    return true;
  }
  if (key == "processor_architecture") {
    value = MachineArchitecture();
    return !value.empty();
  }
  if (key == "allusersprofile") {
    value = "/var/lib";
    return true;
  }
  return false;
}

std::uint32_t TPosixSystem::GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) {
  AnsiText value;
  if (!LookUp(name, value)) return 0;
  const auto length = static_cast<std::uint32_t>(value.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return length;
}

bool TPosixSystem::ForceDirectories(const AnsiText& path) {
  const std::string p = AnsiToUtf8(path);
  if (p.empty()) return false;
  for (std::size_t i = 1; i <= p.size(); ++i) {
    if (i != p.size() && p[i] != '/') continue;
    const std::string part = p.substr(0, i);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TPosixSystem::FileExists(const AnsiText& path) {
  struct stat st {};
  return stat(AnsiToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool TPosixSystem::DeleteFile(const AnsiText& path) { return unlink(AnsiToUtf8(path).c_str()) == 0; }

int TPosixSystem::SetCurrentDirectoryA(const AnsiText& path) {
  return chdir(AnsiToUtf8(path).c_str()) == 0 ? 0 : IoErrorCode(errno);
}

int TPosixSystem::IoErrorCode(int err) {
  switch (err) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
      return 5;
    default:
      // Any other errno is no Windows code, so it must not pass as one (EIO
      // is 5, EINTR 4): it is moved above them all, as Winsock numbers the
      // Berkeley errors (10000 + errno), which keeps it readable in the box.
      return kErrnoBase + err;
  }
}

void TPosixSystem::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void TPosixSystem::ShellExecuteOpen(const AnsiText& file, const AnsiText& parameters) {
  const std::string path = AnsiToUtf8(file);
  const std::string param = AnsiToUtf8(parameters);
  if (StartsAsProgram(path)) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) chmod(path.c_str(), st.st_mode | S_IXUSR);
    // A bare name would be looked up on PATH; the file is the one given.
    const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    SpawnDetached({target, param});
  } else {
    SpawnDetached({"xdg-open", path});
  }
}
