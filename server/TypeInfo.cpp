#include "server/TypeInfo.h"

#include <memory>

#include "common/Bstr.h"
#include "common/ErrorConversion.h"
#include "common/WideText.h"

namespace tellavo::server {

TypeLibAttributes::TypeLibAttributes(ITypeLib* library) : library_(library) {
  OleCheck(library_->GetLibAttr(&attributes_));
}

TypeLibAttributes::~TypeLibAttributes() {
  library_->ReleaseTLibAttr(attributes_);
}

TypeAttributes::TypeAttributes(ITypeInfo* info) : info_(info) {
  OleCheck(info_->GetTypeAttr(&attributes_));
}

TypeAttributes::~TypeAttributes() {
  info_->ReleaseTypeAttr(attributes_);
}

std::u16string GuidText(REFGUID guid) {
  struct TaskMemFree {
    void operator()(OLECHAR* text) const { CoTaskMemFree(text); }
  };
  LPOLESTR raw = nullptr;
  OleCheck(StringFromCLSID(guid, &raw));
  const std::unique_ptr<OLECHAR, TaskMemFree> text(raw);
  return FromWide(text.get());
}

std::u16string TypeLibName(ITypeLib* library) {
  BStr name;
  OleCheck(library->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr));
  return name.Text();
}

} // namespace tellavo::server
