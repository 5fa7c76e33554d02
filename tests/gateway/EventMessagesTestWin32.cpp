// The module's message table, as the event log's viewer uses it: the entry's
// identifier formatted with its one insertion string gives exactly that
// string, whatever it holds and however long it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Platform.h"
#include "common/Utf.h"
#include "gateway/EventLogReport.h"

namespace tellavo {
namespace {

class EventMessages : public testing::Test {
protected:
  void SetUp() override {
    // The build gives the path with forward slashes, which the loader does not take.
    std::wstring path = TELLAVO_MODULE_FILE;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override { FreeLibrary(module_); }

  // Message `id` in `language` with the one insertion string, as the viewer
  // formats an entry.
  std::u16string Formatted(DWORD id, const std::u16string& insertion, DWORD language = 0) const {
    const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion.c_str())};
    WCHAR* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                           FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       module_, id, language, reinterpret_cast<WCHAR*>(&buffer), 0,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    EXPECT_TRUE(length != 0 || insertion.empty()) << "error " << GetLastError();
    std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
    LocalFree(buffer);
    return text;
  }

  HMODULE module_ = nullptr;
};

TEST_F(EventMessages, TheReportedEntryShowsExactlyItsText) {
  const std::u16string texts[] = {
      u"ESOAPHTTPException Not Found (404) - 'https://gateway.tellavo.example/x.asmx'", u"",
      u"two\r\nlines\n", u"%1 %2 %% %n %0 and \u00e7\u011f\u0131\u015f \U0001F600",
      FitEventText(std::u16string(40000, u'x'))};
  for (const std::u16string& text : texts)
    EXPECT_EQ(Formatted(1, text), text) << Utf16ToUtf8(text.substr(0, 80));
  EXPECT_EQ(Formatted(1, u"x", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), u"x");
}

} // namespace
} // namespace tellavo
