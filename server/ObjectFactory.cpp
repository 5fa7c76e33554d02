#include "server/ObjectFactory.h"

#include "common/Bstr.h"
#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/VisibleDesktop.h"
#include "common/WideText.h"
#include "server/ComObject.h"
#include "server/ComServer.h"
#include "server/TypeInfo.h"

namespace tellavo::server {

namespace {

constexpr char16_t kTypeInfoMissing[] = u"Type information missing for class %s";
constexpr char16_t kIncorrectTypeInfo[] = u"Incorrect type information for class %s";
constexpr char16_t kDispatchMissing[] = u"Dispatch interface missing from class %s";

constexpr UINT kCreationErrorStyle = MB_OK | MB_ICONSTOP | MB_SETFOREGROUND;

// Only where a user can see it: on a desktop nobody sees, the box would
// hold the creating thread for ever.
void ShowCreationError(const Exception& exception) {
  if (!DesktopIsVisible())
    return;
  try {
    const std::u16string text = CreationErrorText(exception.Message());
    MessageBoxW(nullptr, Wide(text), Wide(kCreationErrorCaption), kCreationErrorStyle);
  } catch (...) {
    // The creation fails all the same; the box is only a courtesy.
  }
}

// The first interface that the class implements whose flags, reduced to
// default and source, are `wanted`; null if none.
ComPtr<ITypeInfo> ImplementedType(ITypeInfo* classInfo, INT wanted) {
  const WORD count = TypeAttributes(classInfo)->cImplTypes;
  for (UINT index = 0; index < count; ++index) {
    INT flags = 0;
    OleCheck(classInfo->GetImplTypeFlags(index, &flags));
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != wanted)
      continue;
    HREFTYPE reference = 0;
    OleCheck(classInfo->GetRefTypeOfImplType(index, &reference));
    ComPtr<ITypeInfo> type;
    OleCheck(classInfo->GetRefTypeInfo(reference, type.Out()));
    return type;
  }
  return nullptr;
}

} // namespace

std::u16string_view ThreadingModelText(ThreadingModel model) {
  switch (model) {
  case ThreadingModel::Single:
    return {};
  case ThreadingModel::Apartment:
    return u"Apartment";
  case ThreadingModel::Free:
    return u"Free";
  case ThreadingModel::Both:
    return u"Both";
  case ThreadingModel::Neutral:
    return u"Neutral";
  }
  return {};
}

std::u16string CreationErrorText(std::u16string_view message) {
  std::u16string text(message);
  if (!text.empty() && text.back() > u'.')
    text += u'.';
  return text;
}

TComObjectFactory::TComObjectFactory(TComServer& server, Creator creator, ClassIdentity identity,
                                     Instancing instancing, ThreadingModel threadingModel)
    : server_(server), creator_(creator), implementingClass_(std::move(identity.implementingClass)),
      classId_(identity.classId), className_(std::move(identity.className)),
      description_(std::move(identity.description)),
      progId_(className_.empty() ? std::u16string() : server_.ServerName() + u"." + className_),
      errorIid_(IID_IUnknown), instancing_(instancing), threadingModel_(threadingModel) {}

TComObjectFactory::~TComObjectFactory() = default;

HRESULT TComObjectFactory::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TComObjectFactory::AddRef() {
  return static_cast<ULONG>(server_.CountFactory(true));
}

ULONG TComObjectFactory::Release() {
  return static_cast<ULONG>(server_.CountFactory(false));
}

HRESULT TComObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && !IsEqualGUID(iid, IID_IUnknown))
    return CLASS_E_NOAGGREGATION;
  std::unique_ptr<TComObject> created;
  try {
    created.reset(creator_(*this, outer));
  } catch (const Exception& exception) {
    if (showErrors_)
      ShowCreationError(exception);
    return BoundaryCode(Boundary::Creation, &exception);
  } catch (...) {
    return BoundaryCode(Boundary::Creation, nullptr);
  }
  created->EndConstruction();
  const HRESULT result = created->InnerQuery(iid, object);
  // An object that no reference holds (the interface was refused) goes now.
  if (created->RefCount() != 0)
    static_cast<void>(created.release());
  return result;
}

HRESULT TComObjectFactory::LockServer(BOOL lock) {
  const HRESULT result = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  server_.CountObject(lock != FALSE);
  return result;
}

TTypedComObjectFactory::TTypedComObjectFactory(TComServer& server, Creator creator,
                                               std::u16string implementingClass,
                                               const CLSID& classId, Instancing instancing,
                                               ThreadingModel threadingModel)
    : TTypedComObjectFactory(server, creator,
                             Describe(server, std::move(implementingClass), classId), instancing,
                             threadingModel) {}

TTypedComObjectFactory::TTypedComObjectFactory(TComServer& server, Creator creator,
                                               ClassDescription description, Instancing instancing,
                                               ThreadingModel threadingModel)
    : TComObjectFactory(server, creator, std::move(description.identity), instancing,
                        threadingModel),
      classInfo_(std::move(description.info)) {}

TTypedComObjectFactory::ClassDescription
TTypedComObjectFactory::Describe(TComServer& server, std::u16string implementingClass,
                                 const CLSID& classId) {
  ClassDescription description;
  if (server.TypeLib()->GetTypeInfoOfGuid(classId, description.info.Out()) != S_OK)
    throw EOleError(Format(kTypeInfoMissing, {implementingClass}));
  BStr name, text;
  OleCheck(
      description.info->GetDocumentation(MEMBERID_NIL, name.Out(), text.Out(), nullptr, nullptr));
  description.identity = {std::move(implementingClass), classId, name.Text(), text.Text()};
  return description;
}

TAutoObjectFactory::TAutoObjectFactory(TComServer& server, Creator creator, Implements implements,
                                       std::u16string implementingClass, const CLSID& classId,
                                       Instancing instancing, ThreadingModel threadingModel)
    : TTypedComObjectFactory(server, creator, std::move(implementingClass), classId, instancing,
                             threadingModel) {
  dispTypeInfo_ = ImplementedType(ClassInfo(), IMPLTYPEFLAG_FDEFAULT);
  if (!dispTypeInfo_)
    throw EOleError(Format(kIncorrectTypeInfo, {ImplementingClass()}));
  const IID dispIid = TypeAttributes(dispTypeInfo_.Get())->guid;
  if (!implements(dispIid))
    throw EOleError(Format(kDispatchMissing, {ImplementingClass()}));
  SetErrorIID(dispIid);
  methodErrorSource_ = {dispIid, ProgID(), ComServer().HelpFileName()};
  eventTypeInfo_ = ImplementedType(ClassInfo(), IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  if (eventTypeInfo_)
    eventIid_ = TypeAttributes(eventTypeInfo_.Get())->guid;
}

} // namespace tellavo::server
