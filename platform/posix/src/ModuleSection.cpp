// Reads a module's type library section straight from its file: the file
// is parsed as data, never loaded, so naming any file runs no code of it.
// Only modules of this platform's own class and byte order count.
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileDescriptor.h"
#include "TypeLibData.h"

namespace tellavo::platform {
namespace {

constexpr std::string_view SectionName = ".typelib";

// The largest type library section read; a library of a few interfaces
// takes a few kilobytes.
constexpr uint64_t MaxSectionSize = 16 * 1024 * 1024;

class File {
public:
  explicit File(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

  bool IsRegular() const {
    struct stat status {};
    if (!fd_.Valid() || fstat(fd_.Get(), &status) != 0 || !S_ISREG(status.st_mode))
      return false;
    size_ = static_cast<uint64_t>(status.st_size);
    return true;
  }

  // Reads exactly `size` bytes at `offset`; false past the end of the file.
  bool ReadAt(uint64_t offset, void* target, uint64_t size) const {
    if (offset > size_ || size > size_ - offset)
      return false;
    auto* bytes = static_cast<char*>(target);
    while (size > 0) {
      const ssize_t n = pread(fd_.Get(), bytes, size, static_cast<off_t>(offset));
      if (n <= 0)
        return false;
      bytes += n;
      offset += static_cast<uint64_t>(n);
      size -= static_cast<uint64_t>(n);
    }
    return true;
  }

  template <class T> bool ReadAt(uint64_t offset, T& value) const {
    return ReadAt(offset, &value, sizeof value);
  }

  std::string ReadText(uint64_t offset, uint64_t size) const {
    std::string text(size, '\0');
    return ReadAt(offset, text.data(), size) ? text : std::string();
  }

private:
  FileDescriptor fd_;
  mutable uint64_t size_ = 0;
};

bool IsNativeModule(const Elf64_Ehdr& header) {
  return std::string_view(reinterpret_cast<const char*>(header.e_ident), SELFMAG) == ELFMAG &&
         header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == ELFDATA2LSB &&
         header.e_shentsize == sizeof(Elf64_Shdr);
}

} // namespace

std::string ReadTypeLibrarySection(const std::string& path) {
  const File file(path);
  Elf64_Ehdr header{};
  if (!file.IsRegular() || !file.ReadAt(0, header) || !IsNativeModule(header))
    return {};
  const auto sectionAt = [&](uint64_t index, Elf64_Shdr& section) {
    return file.ReadAt(header.e_shoff + index * sizeof(Elf64_Shdr), section);
  };
  Elf64_Shdr names{};
  if (header.e_shstrndx == SHN_UNDEF || !sectionAt(header.e_shstrndx, names) ||
      names.sh_size > MaxSectionSize)
    return {};
  const std::string nameTable = file.ReadText(names.sh_offset, names.sh_size);
  for (uint64_t index = 1; index < header.e_shnum; ++index) {
    Elf64_Shdr section{};
    if (!sectionAt(index, section))
      return {};
    if (section.sh_name >= nameTable.size() ||
        std::string_view(nameTable.c_str() + section.sh_name) != SectionName)
      continue;
    if (section.sh_type != SHT_PROGBITS || section.sh_size > MaxSectionSize)
      return {};
    return file.ReadText(section.sh_offset, section.sh_size);
  }
  return {};
}

} // namespace tellavo::platform
