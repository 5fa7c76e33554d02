// The message tables of the event source, as the event log's viewer uses
// them: the module's, where the entry's identifier formatted with its one
// insertion string gives exactly that string, whatever it holds and however
// long it is; and the category file's, where the entry's category gives its
// name.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Platform.h"
#include "common/HandlesWin32.h"
#include "common/LoadedLibrary.h"
#include "common/Utf.h"
#include "common/WideText.h"
#include "gateway/EventLogReport.h"

namespace tellavo {
namespace {

class EventMessages : public testing::Test {
protected:
  void SetUp() override {
    module_ = Loaded(TELLAVO_MODULE_FILE);
    categories_ = Loaded(TELLAVO_CATEGORIES_FILE);
  }

  static LoadedLibrary Loaded(std::wstring path) {
    // The build gives the path with forward slashes, which the loader does not take.
    std::replace(path.begin(), path.end(), L'/', L'\\');
    LoadedLibrary module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_TRUE(module.Valid()) << GetLastError();
    return module;
  }

  // Message `id` of the module in `language` with the one insertion string,
  // as the viewer formats an entry.
  std::u16string Formatted(DWORD id, const std::u16string& insertion, DWORD language = 0) const {
    return Formatted(module_.Get(), id, insertion, language);
  }
  static std::u16string Formatted(HMODULE module, DWORD id, const std::u16string& insertion,
                                  DWORD language = 0) {
    const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion.c_str())};
    LocalMemory<WCHAR*> buffer;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                           FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       module, id, language, reinterpret_cast<WCHAR*>(buffer.Out()), 0,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    EXPECT_TRUE(length != 0 || insertion.empty()) << "error " << GetLastError();
    return FromWide(buffer.Get(), length);
  }

  LoadedLibrary module_;
  LoadedLibrary categories_;
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

// Every entry has category 1: the Category column shows its name, not the
// entry's own message with its insertion left empty ("%1").
TEST_F(EventMessages, TheEntriesCategoryHasAName) {
  EXPECT_EQ(Formatted(categories_.Get(), 1, u""), u"Gateway call");
  EXPECT_EQ(Formatted(categories_.Get(), 1, u"", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            u"Gateway call");
}

} // namespace
} // namespace tellavo
