#include "server/TypeInfo.h"

#include "common/Bstr.h"
#include "common/ErrorConversion.h"
#include "common/UniqueHandle.h"
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
  UniqueHandle<LPOLESTR, CoTaskMemFree> text;
  OleCheck(StringFromCLSID(guid, text.Out()));
  return FromWide(text.Get());
}

std::u16string TypeLibName(ITypeLib* library) {
  BStr name;
  OleCheck(library->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr));
  return name.Text();
}

} // namespace tellavo::server
