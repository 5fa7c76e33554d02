#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "server/ComServer.h"
#include "server/ModulePath.h"

namespace tellavo::server {
namespace {

// A system call that writes `path`, reporting a too small buffer as `style` does.
enum class Overflow { AnswersNeededSize, FillsWholeBuffer };

std::u16string Read(const std::u16string& path, Overflow style, DWORD firstSize) {
  return ReadPath(
      [&](LPWSTR buffer, DWORD size) -> DWORD {
        const auto length = static_cast<DWORD>(path.size());
        if (length < size) {
          std::copy(path.begin(), path.end(), reinterpret_cast<char16_t*>(buffer));
          buffer[length] = 0;
          return length;
        }
        if (style == Overflow::AnswersNeededSize)
          return length + 1;
        std::copy_n(path.begin(), size - 1, reinterpret_cast<char16_t*>(buffer));
        buffer[size - 1] = 0;
        return size;
      },
      firstSize);
}

TEST(ModulePath, LongPathsAreReadWhole) {
  const std::u16string path = u"/" + std::u16string(600, u'd') + u"/libtellavo.so";
  EXPECT_EQ(Read(path, Overflow::AnswersNeededSize, 261), path);
  EXPECT_EQ(Read(path, Overflow::FillsWholeBuffer, 262), path);
  EXPECT_EQ(Read(u"/a", Overflow::FillsWholeBuffer, 262), u"/a");
  EXPECT_EQ(ReadPath([](LPWSTR, DWORD) -> DWORD { return 0; }, 262), u"");
}

DWORD WINAPI FailingLongPathName(LPCWSTR, LPWSTR, DWORD) {
  return 0;
}

bool IsAbsolute(const std::u16string& path) {
#ifdef _WIN32
  return path.size() > 2 && path[1] == u':' && path[2] == u'\\';
#else
  return path.starts_with(u'/');
#endif
}

TEST(ModulePath, ProgramPathIsAbsoluteAndKeepsItsLongForm) {
  const std::u16string plain = ModulePath(nullptr, nullptr);
  EXPECT_TRUE(IsAbsolute(plain));
  EXPECT_EQ(ModulePath(nullptr, GetLongPathNameW), plain);
  EXPECT_EQ(ModulePath(nullptr, FailingLongPathName), plain);
}

TEST(ModulePath, NamesAndDirectories) {
  EXPECT_EQ(BaseNameWithoutExtension(u"C:\\Program Files\\Tellavo\\Tellavo.dll"), u"Tellavo");
  EXPECT_EQ(BaseNameWithoutExtension(u"/usr/lib/libtellavo.so"), u"libtellavo");
  EXPECT_EQ(BaseNameWithoutExtension(u"plain"), u"plain");
  EXPECT_EQ(DirectoryOf(u"C:\\Program Files\\Tellavo\\Tellavo.dll"),
            u"C:\\Program Files\\Tellavo\\");
  EXPECT_EQ(DirectoryOf(u"plain"), u"");
}

} // namespace
} // namespace tellavo::server
