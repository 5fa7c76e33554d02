// The type library that this program carries, as a module does, read back
// through LoadTypeLibEx against resources/Tellavo.idl, from which the build
// compiled it: both must state the same library. Also loading from files
// that carry no library or a damaged one.
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/Utf.h"
#include "gateway/Tellavo_TLB.h"

using tellavo::BStr;
using tellavo::ComPtr;

namespace {

std::string ReadIdl() {
  std::ifstream file(TELLAVO_IDL_PATH);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Group(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern)))
    return "<missing " + pattern + ">";
  return match[1];
}

// The attribute block [...] that precedes `keyword name`.
std::string AttributesOf(const std::string& idl, const std::string& declaration) {
  const size_t at = idl.find(declaration);
  const size_t open = idl.rfind('[', idl.rfind(']', at));
  return idl.substr(open, at - open);
}

std::string BodyOf(const std::string& idl, const std::string& declaration) {
  const size_t open = idl.find('{', idl.find(declaration));
  return idl.substr(open, idl.find("};", open) - open);
}

std::string Text(BSTR text) {
  return tellavo::Utf16ToUtf8(tellavo::BstrView(text));
}

std::string GuidText(REFGUID guid) {
  OLECHAR text[39];
  StringFromGUID2(guid, text, 39);
  return tellavo::Utf16ToUtf8(std::u16string_view(text + 1, 36));
}

std::string VersionText(WORD major, WORD minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

std::string ModulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModulePath), &module);
  OLECHAR path[4096];
  const DWORD n = GetModuleFileNameW(module, path, 4096);
  return tellavo::Utf16ToUtf8(std::u16string_view(path, n));
}

class TypeLibTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::u16string path = tellavo::Utf8ToUtf16(ModulePath());
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib_.Out()));
  }

  ComPtr<ITypeInfo> Info(UINT index) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, lib_->GetTypeInfo(index, info.Out()));
    return info;
  }

  ComPtr<ITypeLib> lib_;
  const std::string idl_ = ReadIdl();
};

TEST_F(TypeLibTest, LibraryAttributesMatchTheIdl) {
  const std::string attributes = AttributesOf(idl_, "library Tellavo\n");
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, lib_->GetLibAttr(&attr));
  EXPECT_EQ(Group(attributes, R"(uuid\(([^)]*)\))"), GuidText(attr->guid));
  EXPECT_EQ(Group(attributes, R"(version\(([^)]*)\))"),
            VersionText(attr->wMajorVerNum, attr->wMinorVerNum));
  EXPECT_EQ(std::stoul(Group(attributes, R"(lcid\(([^)]*)\))"), nullptr, 16), attr->lcid);
  EXPECT_EQ(SYS_WIN32, attr->syskind);
  lib_->ReleaseTLibAttr(attr);
  BStr name, help;
  ASSERT_EQ(S_OK, lib_->GetDocumentation(-1, name.Out(), help.Out(), nullptr, nullptr));
  EXPECT_EQ("Tellavo", Text(name.Get()));
  EXPECT_EQ(Group(attributes, R"(helpstring\("([^"]*)\"\))"), Text(help.Get()));
  EXPECT_NE(std::string::npos, idl_.find("importlib(\"stdole2.tlb\")"));
}

TEST_F(TypeLibTest, TypesMatchTheIdlInOrder) {
  const std::vector<std::pair<std::string, std::string>> declared{
      {"interface IGateway :", "IGateway"}, {"coclass Gateway\n", "Gateway"}};
  ASSERT_EQ(declared.size(), lib_->GetTypeInfoCount());
  EXPECT_LT(idl_.find(declared[0].first), idl_.find(declared[1].first));
  for (UINT i = 0; i < declared.size(); ++i) {
    const std::string attributes = AttributesOf(idl_, declared[i].first);
    ComPtr<ITypeInfo> info = Info(i);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(Group(attributes, R"(uuid\(([^)]*)\))"), GuidText(attr->guid));
    EXPECT_EQ(Group(attributes, R"(version\(([^)]*)\))"),
              VersionText(attr->wMajorVerNum, attr->wMinorVerNum));
    const WORD flags = attr->wTypeFlags;
    const TYPEKIND kind = attr->typekind;
    info->ReleaseTypeAttr(attr);
    BStr name, help;
    ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.Out(), help.Out(), nullptr, nullptr));
    EXPECT_EQ(declared[i].second, Text(name.Get()));
    EXPECT_EQ(Group(attributes, R"(helpstring\("([^"]*)\"\))"), Text(help.Get()));
    if (kind == TKIND_COCLASS) {
      EXPECT_EQ(TYPEFLAG_FCANCREATE, flags);
    } else {
      const bool dual = attributes.find("dual") != std::string::npos;
      const bool automation = attributes.find("oleautomation") != std::string::npos;
      EXPECT_TRUE(dual && automation);
      EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, flags);
    }
  }
}

TEST_F(TypeLibTest, MethodsMatchTheIdl) {
  const std::string body = BodyOf(idl_, "interface IGateway :");
  const std::regex method(R"(\[id\((\d+)\)\]\s*HRESULT\s+(\w+)\(([^)]*)\);)");
  const std::regex param(R"(\[([^\]]*)\]\s*BSTR\s*(\*?)\s*(\w+))");
  ComPtr<ITypeInfo> info = Info(0);
  UINT index = 0;
  for (auto it = std::sregex_iterator(body.begin(), body.end(), method);
       it != std::sregex_iterator(); ++it, ++index) {
    const std::string name = (*it)[2];
    SCOPED_TRACE(name);
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(index, &desc));
    EXPECT_EQ(std::stoi((*it)[1]), desc->memid);
    EXPECT_EQ(INVOKE_FUNC, desc->invkind);
    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(S_OK, info->GetNames(desc->memid, names, 8, &count));
    EXPECT_EQ(name, Text(names[0]));
    const std::string params = (*it)[3];
    UINT p = 0;
    for (auto pit = std::sregex_iterator(params.begin(), params.end(), param);
         pit != std::sregex_iterator(); ++pit, ++p) {
      ASSERT_LT(p, static_cast<UINT>(desc->cParams));
      const std::string flags = (*pit)[1];
      const bool retval = flags == "out, retval";
      EXPECT_TRUE(retval || flags == "in") << flags;
      EXPECT_EQ(retval, (*pit)[2] == "*");
      EXPECT_EQ(retval ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL : PARAMFLAG_FIN,
                desc->lprgelemdescParam[p].paramdesc.wParamFlags);
      EXPECT_EQ(retval ? VT_PTR : VT_BSTR, desc->lprgelemdescParam[p].tdesc.vt);
      EXPECT_EQ((*pit)[3], Text(names[p + 1]));
    }
    EXPECT_EQ(p, static_cast<UINT>(desc->cParams));
    EXPECT_EQ(p + 1, count);
    for (UINT n = 0; n < count; ++n)
      SysFreeString(names[n]);
    info->ReleaseFuncDesc(desc);
  }
  EXPECT_EQ(7u, index);
  FUNCDESC* desc = nullptr;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, info->GetFuncDesc(index, &desc));
}

TEST_F(TypeLibTest, CoclassHasIGatewayAsDefaultInterface) {
  EXPECT_NE(std::string::npos,
            BodyOf(idl_, "coclass Gateway\n").find("[default] interface IGateway;"));
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, lib_->GetTypeInfoOfGuid(tellavo::CLSID_Gateway, coclass.Out()));
  INT flags = 0;
  HREFTYPE ref = 0;
  ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
  ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, coclass->GetImplTypeFlags(1, &flags));
  ComPtr<ITypeInfo> gateway;
  ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, gateway.Out()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, gateway->GetTypeAttr(&attr));
  EXPECT_TRUE(attr->guid == tellavo::IID_IGateway);
  gateway->ReleaseTypeAttr(attr);
  ComPtr<ITypeInfo> missing;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib_->GetTypeInfoOfGuid(IID_IDispatch, missing.Out()));
  EXPECT_FALSE(missing);
}

TEST(LoadTypeLibExTest, FilesThatCarryNoTypeLibraryFail) {
  char textFile[] = "/tmp/oleplatform-notmodule-XXXXXX";
  const int fd = mkstemp(textFile);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(5, write(fd, "hello", 5));
  close(fd);
  OLECHAR platformPath[4096];
  ASSERT_GT(GetModuleFileNameW(LoadLibraryW(u"OLEAUT32.DLL"), platformPath, 4096), 0u);
  for (const std::u16string& path :
       {tellavo::Utf8ToUtf16(textFile), std::u16string(platformPath), std::u16string(u"/tmp"),
        std::u16string(u"/no/such/module.so")}) {
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))
        << tellavo::Utf16ToUtf8(path);
    EXPECT_EQ(nullptr, lib);
  }
  unlink(textFile);
}

// Copies of this program whose type library record is damaged in one way
// each: every one fails to load, none is read past its record.
TEST(LoadTypeLibExTest, DamagedRecordsFail) {
  std::ifstream self(ModulePath(), std::ios::binary);
  const std::string original((std::istreambuf_iterator<char>(self)), {});
  // The record: its mark, its size, then the library's GUID.
  const auto isRecord = [&](size_t at) {
    return at + 12 + sizeof(GUID) <= original.size() &&
           std::memcmp(original.data() + at + 12, &tellavo::LIBID_Tellavo, sizeof(GUID)) == 0;
  };
  size_t record = original.find("\x7FTYPELIB");
  while (record != std::string::npos && !isRecord(record))
    record = original.find("\x7FTYPELIB", record + 1);
  ASSERT_NE(std::string::npos, record);
  uint32_t size = 0;
  std::memcpy(&size, original.data() + record + 8, sizeof size);
  const auto withSize = [&](uint32_t value) {
    std::string copy = original;
    std::memcpy(copy.data() + record + 8, &value, sizeof value);
    return copy;
  };
  std::string badMagic = original;
  badMagic[record + 1] = 'X';
  // The first type's name length, made to run past the record.
  std::string longName = original;
  const size_t libraryName = record + 12 + 16 + 12;
  const size_t libraryNameLength = static_cast<unsigned char>(longName[libraryName]);
  longName[libraryName] = static_cast<char>(0xFF);
  longName[libraryName + 1] = static_cast<char>(0x7F);
  ASSERT_EQ(7u, libraryNameLength); // "Tellavo"
  char path[] = "/tmp/oleplatform-damaged-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  for (const std::string& damaged :
       {withSize(size - 1), withSize(0xFFFFFFFF), withSize(0), badMagic, longName}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY,
              LoadTypeLibEx(tellavo::Utf8ToUtf16(path).c_str(), REGKIND_NONE, &lib));
    EXPECT_EQ(nullptr, lib);
  }
  // The undamaged copy loads.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
  ComPtr<ITypeLib> lib;
  EXPECT_EQ(S_OK, LoadTypeLibEx(tellavo::Utf8ToUtf16(path).c_str(), REGKIND_NONE, lib.Out()));
  unlink(path);
}

} // namespace
