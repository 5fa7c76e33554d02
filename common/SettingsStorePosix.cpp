// The settings store on posix: "Name = value" lines in /etc/tellavo/tellavo.conf,
// or in the file that TELLAVO_CONFIG names. Blank lines and lines whose first
// character other than a blank is "#" are comments; blanks around the name and
// the value do not count.
//
// Every call looks at the file's identity (one stat); the file is read again
// only when it changed, so the cost of a call stays one system call while an
// edit holds from the next call on. File times advance in coarse steps, so
// two writes of the same size may carry the same times: a file read within
// about two seconds of its last change is read again at the next call.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "FileDescriptor.h"
#include "common/SettingsStore.h"
#include "common/Utf.h"

namespace tellavo::platform {
namespace {

constexpr const char* kDefaultFile = "/etc/tellavo/tellavo.conf";
constexpr const char* kFileVariable = "TELLAVO_CONFIG";
// A settings file is a few lines; anything far larger is a wrong file.
constexpr size_t kMaxFileBytes = 1 << 20;
constexpr std::string_view kBlanks = " \t\r";

// What tells one version of the file from another.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  timespec changed{};

  explicit FileIdentity(const struct stat& info)
      : device(info.st_dev), inode(info.st_ino), size(info.st_size), modified(info.st_mtim),
        changed(info.st_ctim) {}
  FileIdentity() = default;

  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

struct ParsedFile {
  std::string path;
  FileIdentity identity;
  // When it was read; until a second after its last change the file may
  // still change without its identity showing it.
  timespec readAt{};
  SettingsStore store;

  bool Settled() const {
    const time_t changedLast = std::max(identity.modified.tv_sec, identity.changed.tv_sec);
    return readAt.tv_sec > changedLast + 1;
  }
};

std::string_view Trim(std::string_view text) {
  const size_t start = text.find_first_not_of(kBlanks);
  if (start == std::string_view::npos)
    return {};
  return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

bool IsName(std::string_view name) {
  if (name.empty())
    return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
      return false;
  return true;
}

std::u16string Failure(const std::string& path, std::string_view what) {
  return Utf8ToUtf16("The settings file " + path + " cannot be read: " + std::string(what));
}

void Parse(std::string_view text, const std::u16string& origin, SettingsStore& store) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3);
  for (int number = 1; !text.empty(); ++number) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#')
      continue;
    StoredSetting setting;
    setting.where = origin + u", line " + Utf8ToUtf16(std::to_string(number));
    const size_t equals = line.find('=');
    const std::string_view name = Trim(line.substr(0, equals));
    if (equals == std::string_view::npos || !IsName(name)) {
      setting.type = StoredType::Malformed;
      setting.text = Utf8ToUtf16(line);
    } else {
      setting.name = Utf8ToUtf16(name);
      setting.text = Utf8ToUtf16(Trim(line.substr(equals + 1)));
    }
    store.settings.push_back(std::move(setting));
  }
}

// Reads and parses the file; the store's failure says why it could not.
// What is checked is the file opened, not the name: a name swapped for a
// FIFO or a device after it was looked at neither blocks nor is read.
SettingsStore ReadFile(const std::string& path) {
  SettingsStore store;
  store.origin = u"file " + Utf8ToUtf16(path);
  const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (!fd.Valid() || fstat(fd.Get(), &info) != 0) {
    store.failure = Failure(path, std::strerror(errno));
    return store;
  }
  if (!S_ISREG(info.st_mode)) {
    store.failure = Failure(path, "not a regular file");
    return store;
  }
  // The size is judged by what is read, not by what stat said: a file that
  // grows in between is refused whole, never parsed cut short.
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      store.failure = Failure(path, std::strerror(errno));
    if (n <= 0)
      break;
    if (text.size() + static_cast<size_t>(n) > kMaxFileBytes) {
      store.failure = Failure(path, "larger than 1 MiB");
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  if (store.failure.empty())
    Parse(text, store.origin, store);
  return store;
}

} // namespace

SettingsStore ReadSettingsStore() {
  const char* named = std::getenv(kFileVariable);
  const bool chosen = named != nullptr && *named != 0;
  const std::string path = chosen ? named : kDefaultFile;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    SettingsStore store;
    store.origin = u"file " + Utf8ToUtf16(path);
    // Without the default file every setting keeps its built-in value; a
    // file that was named must be there, and so must the target of a link
    // that stands at the default's place.
    struct stat link {};
    if (error == ENOENT && lstat(path.c_str(), &link) == 0)
      store.failure = Failure(path, "a link whose target does not exist");
    else if (chosen || error != ENOENT)
      store.failure = Failure(path, std::strerror(error));
    return store;
  }
  static std::mutex lock;
  static ParsedFile last;
  const FileIdentity identity(info);
  std::lock_guard<std::mutex> guard(lock);
  if (last.path != path || !(last.identity == identity) || !last.Settled()) {
    clock_gettime(CLOCK_REALTIME, &last.readAt);
    last.store = ReadFile(path);
    last.path = path;
    last.identity = identity;
  }
  return last.store;
}

} // namespace tellavo::platform
