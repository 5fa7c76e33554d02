// The hive file: its location, the lock, whole-file reads and replacements,
// and the transactions that group a thread's calls into one replacement.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileDescriptor.h"
#include "Registry.h"
#include "RegistryHive.h"

namespace tellavo::platform {
namespace {

// Every account reads the registrations of the hive it uses.
constexpr mode_t kHiveMode = 0644;

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0)
    return home;
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

// The lock file beside the hive, locked while the object lives; the system
// lets go of it when the process ends, however it ends.
class LockFile {
public:
  LockFile(const std::string& path, bool exclusive) : fd_(OpenFile(path, exclusive)) {
    if (fd_.Get() < 0)
      return;
    while (flock(fd_.Get(), exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        fd_.reset();
        return;
      }
    }
  }
  bool Held() const { return fd_.Get() >= 0; }

private:
  // The lock is never taken through a link, and a writer takes only a
  // regular file of its own: in a folder that other accounts may write, a
  // lock file planted by one of them would let it hold every writer off or
  // point the open at a file of the writer's. A reader may share a lock
  // file that it cannot write; one that cannot open it reads unlocked,
  // which the atomic replacement of the hive makes safe.
  static int OpenFile(const std::string& path, bool exclusive) {
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor fd(open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0600));
    if (!fd.Valid())
      return exclusive ? -1 : open(path.c_str(), O_RDONLY | kFlags);
    struct stat info {};
    if (exclusive &&
        (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()))
      return -1;
    return fd.Release();
  }

  FileDescriptor fd_;
};

// Reads the hive file; a missing file is an empty hive.
LSTATUS Load(const std::string& path, RegistryHive& hive) {
  const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0)
    return errno == ENOENT ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return ERROR_ACCESS_DENIED;
    if (n == 0)
      break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return hive.Parse(text) ? ERROR_SUCCESS : ERROR_BADDB;
}

// Writes the whole hive to a file beside it, makes it durable, then puts it
// in the hive's place: a reader, or a process that dies on the way, finds
// either the old hive or the new one. Callers hold the exclusive lock, which
// makes the temporary file theirs alone: what stands at its name is left
// over from a writer that died, or was planted there, and goes (a link
// itself, never its target); the file is then made new and private, and
// readable by all only once it is whole. Where it cannot go (another
// account's, in a folder with the sticky bit), the hive stays as it was.
LSTATUS Save(const std::string& path, const RegistryHive& hive) {
  const std::string temporary = path + ".tmp";
  unlink(temporary.c_str());
  FileDescriptor fd(
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.Get() < 0)
    return ERROR_ACCESS_DENIED;
  const bool complete =
      hive.Serialize([&](std::string_view piece) { return WriteAll(fd.Get(), piece); }) &&
      fchmod(fd.Get(), kHiveMode) == 0 && fsync(fd.Get()) == 0;
  if (close(fd.Release()) != 0 || !complete || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return ERROR_ACCESS_DENIED;
  }
  // The rename itself lasts once the folder is on disk.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const FileDescriptor directory(
      open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.Get() >= 0)
    fsync(directory.Get());
  return ERROR_SUCCESS;
}

LSTATUS PrepareFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  return error ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

} // namespace

// The hive of a thread's open transaction: locked and read at the first call
// that needs it, written back at the commit if any change succeeded.
struct HiveTransaction {
  std::string path;
  std::unique_ptr<LockFile> lock;
  RegistryHive hive;
  bool changed = false;

  LSTATUS Begin() {
    if (lock != nullptr)
      return ERROR_SUCCESS;
    path = HivePath();
    if (const LSTATUS status = PrepareFolder(path); status != ERROR_SUCCESS)
      return status;
    auto held = std::make_unique<LockFile>(path + ".lock", true);
    if (!held->Held())
      return ERROR_ACCESS_DENIED;
    if (const LSTATUS status = Load(path, hive); status != ERROR_SUCCESS) {
      hive = RegistryHive();
      return status;
    }
    lock = std::move(held);
    return ERROR_SUCCESS;
  }
};

namespace {

thread_local HiveTransaction* openTransaction = nullptr;

} // namespace

std::string HivePath() {
  if (const char* path = std::getenv(REGISTRY_HIVE_VARIABLE); path != nullptr && *path != 0)
    return path;
  const char* data = std::getenv("XDG_DATA_HOME");
  const std::string base =
      data != nullptr && *data == '/' ? std::string(data) : HomeDirectory() + "/.local/share";
  return base + "/" REGISTRY_HIVE_FOLDER "/registry.hive";
}

LSTATUS ReadHive(const std::function<LSTATUS(RegistryHive&)>& read) {
  if (HiveTransaction* transaction = openTransaction) {
    if (const LSTATUS status = transaction->Begin(); status != ERROR_SUCCESS)
      return status;
    return read(transaction->hive);
  }
  const std::string path = HivePath();
  RegistryHive hive;
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::path(path).parent_path(), error)) {
    const LockFile lock(path + ".lock", false);
    if (const LSTATUS status = Load(path, hive); status != ERROR_SUCCESS)
      return status;
  }
  return read(hive);
}

LSTATUS ChangeHive(const std::function<LSTATUS(RegistryHive&)>& change) {
  if (HiveTransaction* transaction = openTransaction) {
    if (const LSTATUS status = transaction->Begin(); status != ERROR_SUCCESS)
      return status;
    const LSTATUS status = change(transaction->hive);
    transaction->changed = transaction->changed || status == ERROR_SUCCESS;
    return status;
  }
  const std::string path = HivePath();
  if (const LSTATUS status = PrepareFolder(path); status != ERROR_SUCCESS)
    return status;
  const LockFile lock(path + ".lock", true);
  if (!lock.Held())
    return ERROR_ACCESS_DENIED;
  RegistryHive hive;
  if (const LSTATUS status = Load(path, hive); status != ERROR_SUCCESS)
    return status;
  if (const LSTATUS status = change(hive); status != ERROR_SUCCESS)
    return status;
  return Save(path, hive);
}

} // namespace tellavo::platform

using tellavo::platform::HiveTransaction;
using tellavo::platform::openTransaction;

RegistryTransaction::RegistryTransaction() {
  if (openTransaction == nullptr) {
    state_ = std::make_unique<HiveTransaction>();
    openTransaction = state_.get();
  }
}

RegistryTransaction::~RegistryTransaction() {
  if (state_ != nullptr && openTransaction == state_.get())
    openTransaction = nullptr;
}

LSTATUS RegistryTransaction::Commit() {
  if (state_ == nullptr)
    return ERROR_SUCCESS;
  openTransaction = nullptr;
  const std::unique_ptr<HiveTransaction> ending = std::move(state_);
  return ending->changed ? tellavo::platform::Save(ending->path, ending->hive) : ERROR_SUCCESS;
}
