#include "platform/posix/system/PosixSystem.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/system/Encoding.h"
#include "textconv/Ascii.h"

extern char** environ;

namespace {
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

std::string NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// TMPDIR, else the user's cache folder ($XDG_CACHE_HOME, else ~/.cache).
std::string UserTempFolder() {
  if (std::string tmpdir = NonEmptyEnv("TMPDIR"); !tmpdir.empty()) return tmpdir;
  if (std::string cache = NonEmptyEnv("XDG_CACHE_HOME"); !cache.empty() && cache.front() == '/') return cache;
  std::string home = NonEmptyEnv("HOME");
  if (home.empty()) {
    if (const passwd* user = getpwuid(geteuid()); user != nullptr && user->pw_dir != nullptr) home = user->pw_dir;
  }
  if (home.empty()) return {};
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home == "/" ? "/.cache" : home + "/.cache";
}

enum class Kind { Script, Binary, Document };

Kind KindOf(int fd) {
  unsigned char head[4] = {};
  const ssize_t n = pread(fd, head, sizeof head, 0);
  if (n >= 2 && head[0] == '#' && head[1] == '!') return Kind::Script;
  if (n == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') return Kind::Binary;
  return Kind::Document;
}

// A regular file of the effective user's that nobody else may write.
bool OwnRegularFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Starts argv detached: a grandchild in a session of its own, so it outlives
// the installer and never becomes its zombie. With a program descriptor the
// grandchild runs exactly that file (fexecve), whatever its name now names.
void SpawnDetached(const std::vector<std::string>& args, int program = -1, bool script = false) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      // The installer's sockets and pipes stay behind with it; the program's
      // descriptor moves to 3. A script's interpreter opens it again through
      // /dev/fd, so it must outlive the exec; a binary's need not.
      int first = 3;
      if (program >= 0) {
        if (program != 3 && dup2(program, 3) < 0) _exit(127);
        fcntl(3, F_SETFD, script ? 0 : FD_CLOEXEC);
        first = 4;
      }
      if (close_range(static_cast<unsigned>(first), ~0U, 0) != 0) {
        for (int fd = first; fd < 1024; ++fd) close(fd);
      }
      if (program >= 0) {
        fexecve(3, argv.data(), environ);
      } else {
        execvp(argv[0], argv.data());
      }
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
    if (!SameIgnoringAsciiCase(std::string_view(*e, n), name)) continue;
    // An exact spelling wins over another case of the same name.
    if (found == nullptr || std::strncmp(*e, name.c_str(), n) == 0) found = eq + 1;
  }
  if (found != nullptr) {
    value = Utf8ToAnsi(found);
    return true;
  }
  const AnsiText key = AsciiLowerText(name);
  if (key == "temp") {
    // Windows' TEMP is the user's own; so is this, never the shared /tmp.
    const std::string folder = UserTempFolder();
    if (folder.empty()) return false;
    value = Utf8ToAnsi(folder);
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

bool TPosixSystem::ForceDirectories(const AnsiText& path, bool shared) {
  // No Windows file name holds a "?". Here one stands for a letter that
  // Windows-1250 lacks (a TEMP with Cyrillic letters), and a folder named
  // "?" would not be the one meant: the folder is refused, as on Windows.
  if (path.find('?') != AnsiText::npos) return false;
  std::string p = AnsiToUtf8(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  for (std::size_t i = 1; i <= p.size(); ++i) {
    if (i != p.size() && p[i] != '/') continue;
    const std::string part = p.substr(0, i);
    // Parents as the user's umask has them; the folder itself for the user
    // alone, or readable by all when shared, whatever the umask allows.
    const mode_t mode = i != p.size() ? 0777 : shared ? 0755 : 0700;
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TPosixSystem::IsPrivateFolder(const AnsiText& path) {
  // Without its trailing slash, which would make lstat follow a link.
  std::string p = AnsiToUtf8(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st {};
  if (lstat(p.c_str(), &st) != 0) return false;
  // A link of someone else's could be pointed elsewhere at any time.
  if (S_ISLNK(st.st_mode) && (st.st_uid != geteuid() || stat(p.c_str(), &st) != 0)) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool TPosixSystem::FileExists(const AnsiText& path) {
  // The name itself, as Windows sees a link: a link to a file, even a
  // dangling one, counts as a file, so that it is deleted as an old copy.
  struct stat st {};
  return lstat(AnsiToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool TPosixSystem::DeleteFile(const AnsiText& path) { return unlink(AnsiToUtf8(path).c_str()) == 0; }

std::int64_t TPosixSystem::FileSize(const AnsiText& path) {
  struct stat st {};
  if (stat(AnsiToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool TPosixSystem::RenameFile(const AnsiText& from, const AnsiText& to) {
  return std::rename(AnsiToUtf8(from).c_str(), AnsiToUtf8(to).c_str()) == 0;
}

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

std::int64_t TPosixSystem::UtcNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

namespace {
class TPosixHeldFile : public IHeldFile {
 public:
  TPosixHeldFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TPosixHeldFile() override { close(fd_); }
  TPosixHeldFile(const TPosixHeldFile&) = delete;
  TPosixHeldFile& operator=(const TPosixHeldFile&) = delete;

  std::int64_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = read(fd_, buffer, size);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

  // A program is made executable for its owner (it was just downloaded, as
  // Windows would run it) and started from this descriptor; anything else is
  // handed to the desktop's opener.
  void ShellExecuteOpen(const AnsiText& parameters) override {
    const std::string param = AnsiToUtf8(parameters);
    const Kind kind = KindOf(fd_);
    if (kind == Kind::Document) {
      SpawnDetached({"xdg-open", path_});
      return;
    }
    struct stat st {};
    if (fstat(fd_, &st) == 0) fchmod(fd_, st.st_mode | S_IXUSR);
    SpawnDetached({path_, param}, fd_, kind == Kind::Script);
  }

 private:
  int fd_;
  std::string path_;
};
}  // namespace

std::unique_ptr<IHeldFile> TPosixSystem::HoldFile(const AnsiText& path) {
  const std::string p = AnsiToUtf8(path);
  // Not blocking: a pipe planted under the name must not hang the open.
  const int fd = open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !OwnRegularFile(st) || fcntl(fd, F_SETFL, 0) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixHeldFile>(fd, p);
}

std::FILE* TPosixSystem::CreateTargetFile(const std::string& name, std::int64_t keep) {
  // Not emptied by the open: a hard link to a file of the user's would lose
  // its contents before the checks below could refuse it. A file to continue
  // must be there already.
  const int fd =
      open(name.c_str(), O_WRONLY | (keep > 0 ? 0 : O_CREAT) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return nullptr;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0;
  if (ok && (!OwnRegularFile(st) || st.st_nlink != 1 || st.st_size < keep)) {
    errno = EPERM;
    ok = false;
  }
  if (!ok || fcntl(fd, F_SETFL, 0) != 0 || ftruncate(fd, keep) != 0 || lseek(fd, keep, SEEK_SET) != keep) {
    const int error = errno;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}
