// Module handles and paths, the system library names, and GUID texts.
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "Platform.h"
#include "common/Utf.h"
#include "gateway/Tellavo_TLB.h"

namespace {

namespace fs = std::filesystem;

std::u16string Wide(const std::string& text) {
  return tellavo::Utf8ToUtf16(text);
}

TEST(GuidTextTest, ClassIdentifiersAreBracedUpperCase) {
  LPOLESTR text = nullptr;
  ASSERT_EQ(S_OK, StringFromCLSID(tellavo::CLSID_Gateway, &text));
  EXPECT_EQ(u"{30382C13-28EC-4B56-A42C-7172636B226B}", std::u16string(text));
  CoTaskMemFree(text);

  OLECHAR buffer[39];
  EXPECT_EQ(39, StringFromGUID2(tellavo::LIBID_Tellavo, buffer, 39));
  EXPECT_EQ(u"{F9D49477-8E41-44EF-A935-C2B3A926075D}", std::u16string(buffer));
  EXPECT_EQ(0, StringFromGUID2(tellavo::LIBID_Tellavo, buffer, 38));

  CLSID read{};
  ASSERT_EQ(S_OK, CLSIDFromString(u"{a5befd19-dbee-4dc7-935a-a4ee27b2c5dd}", &read));
  EXPECT_TRUE(read == tellavo::IID_IGateway);
  for (const char16_t* bad :
       {u"", u"{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5D}", u"{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DDX",
        u"{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD}x", u"{A5BEFD19+DBEE-4DC7-935A-A4EE27B2C5DD}"})
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(bad, &read)) << tellavo::Utf16ToUtf8(bad);
}

TEST(ModuleTest, ModuleOfAnAddressNamesThisProgram) {
  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(&Wide), &module));
  OLECHAR path[4096];
  const DWORD n = GetModuleFileNameW(module, path, 4096);
  const std::u16string program = fs::read_symlink("/proc/self/exe").u16string();
  EXPECT_EQ(program, std::u16string(path, n));
  EXPECT_EQ(n, GetModuleFileNameW(nullptr, path, 4096));

  // Too small a buffer: truncated, terminated, the buffer size answered.
  OLECHAR small[5];
  SetLastError(0);
  EXPECT_EQ(5u, GetModuleFileNameW(module, small, 5));
  EXPECT_EQ(program.substr(0, 4), std::u16string(small));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
}

TEST(ModuleTest, SystemLibraryNamesStandForThePlatformLibrary) {
  HMODULE oleaut = LoadLibraryW(u"OLEAUT32.DLL");
  ASSERT_NE(nullptr, oleaut);
  EXPECT_EQ(oleaut, LoadLibraryW(u"oleaut32"));
  EXPECT_EQ(reinterpret_cast<void (*)()>(&UnRegisterTypeLib),
            reinterpret_cast<void (*)()>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
  EXPECT_EQ(nullptr, GetProcAddress(oleaut, "GetLongPathNameW"));
  EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
  HMODULE kernel = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(0, u"KERNEL32", &kernel));
  EXPECT_EQ(reinterpret_cast<void (*)()>(&GetLongPathNameW),
            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetLongPathNameW")));

  OLECHAR path[4096];
  const DWORD n = GetModuleFileNameW(oleaut, path, 4096);
  EXPECT_TRUE(std::u16string(path, n).ends_with(u"/libtellavoplatform.so"))
      << tellavo::Utf16ToUtf8(std::u16string(path, n));
  EXPECT_TRUE(FreeLibrary(oleaut));

  EXPECT_EQ(nullptr, LoadLibraryW(u"no-such-library.so"));
  EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST(ModuleTest, OtherLibrariesLoadThroughTheDynamicLoader) {
  OLECHAR platform[4096];
  ASSERT_GT(GetModuleFileNameW(LoadLibraryW(u"OLE32.DLL"), platform, 4096), 0u);
  HMODULE module = LoadLibraryW(platform);
  ASSERT_NE(nullptr, module);
  OLECHAR path[4096];
  const DWORD n = GetModuleFileNameW(module, path, 4096);
  EXPECT_EQ(std::u16string(platform), std::u16string(path, n));
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(PathTest, LongFormIsAbsoluteAndShortFormUnchanged) {
  const fs::path dir = fs::temp_directory_path() / "oleplatform path test";
  fs::create_directories(dir);
  std::ofstream(dir / "module.so") << "x";
  const std::u16string messy = Wide((dir / ".." / dir.filename() / "." / "module.so").string());
  const std::u16string clean = Wide((dir / "module.so").string());

  OLECHAR buffer[1024];
  EXPECT_EQ(clean.size(), GetLongPathNameW(messy.c_str(), buffer, 1024));
  EXPECT_EQ(clean, std::u16string(buffer));
  EXPECT_EQ(clean.size() + 1, GetLongPathNameW(messy.c_str(), buffer, 4));
  EXPECT_EQ(clean.size(), GetShortPathNameW(clean.c_str(), buffer, 1024));
  EXPECT_EQ(clean, std::u16string(buffer));

  EXPECT_EQ(0u, GetLongPathNameW(u"/no/such/file", buffer, 1024));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  fs::remove_all(dir);
}

} // namespace
