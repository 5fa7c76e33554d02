#include "server/ComServer.h"

#include "common/ComPtr.h"
#include "common/ErrorConversion.h"
#include "common/WideText.h"
#include "server/ClassManager.h"
#include "server/TypeInfo.h"

namespace tellavo::server {

namespace {

std::atomic<bool> uninitializing{false};

size_t AfterLastSeparator(std::u16string_view path) {
  const size_t separator = path.find_last_of(u"\\/");
  return separator == std::u16string_view::npos ? 0 : separator + 1;
}

} // namespace

bool IsUninitializing() {
  return uninitializing.load();
}

void SetUninitializing(bool value) {
  uninitializing.store(value);
}

std::u16string_view BaseNameWithoutExtension(std::u16string_view path) {
  std::u16string_view name = path.substr(AfterLastSeparator(path));
  const size_t dot = name.find_last_of(u'.');
  return dot == std::u16string_view::npos ? name : name.substr(0, dot);
}

std::u16string_view DirectoryOf(std::u16string_view path) {
  return path.substr(0, AfterLastSeparator(path));
}

TComServer::TComServer(ModulePathSource modulePath) : modulePath_(std::move(modulePath)) {}

TComServer::~TComServer() {
  ComClassManager().DestroyFactories(*this);
  ComPtr<ITypeLib>::Attach(typeLib_.exchange(nullptr));
}

void TComServer::Abandon() {
  ComClassManager().AbandonFactories(*this);
  typeLib_.store(nullptr);
}

std::u16string TComServer::ServerName() const {
  if (ITypeLib* library = typeLib_.load())
    return TypeLibName(library);
  return std::u16string(BaseNameWithoutExtension(ServerFileName()));
}

ITypeLib* TComServer::TypeLib() {
  if (ITypeLib* library = typeLib_.load())
    return library;
  ComPtr<ITypeLib> loaded;
  OleCheck(LoadTypeLibEx(Wide(ServerFileName()), REGKIND_NONE, loaded.Out()));
  // Publish the first library loaded; a racing load that lost keeps its own
  // copy only until here, so no caller ever holds a released library.
  ITypeLib* expected = nullptr;
  if (typeLib_.compare_exchange_strong(expected, loaded.Get()))
    return loaded.Detach();
  return expected;
}

LONG TComServer::CountObject(bool created) {
  return created ? ++objectCount_ : --objectCount_;
}

LONG TComServer::CountFactory(bool created) {
  return created ? ++factoryCount_ : --factoryCount_;
}

} // namespace tellavo::server
