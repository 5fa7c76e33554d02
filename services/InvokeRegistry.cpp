#include "services/InvokeRegistry.h"

#include <algorithm>

#include "common/SameText.h"

namespace tellavo {

namespace {

// The name mapped for `declared`, or `declared` itself when there is none.
std::u16string ExternalName(const std::vector<TExternalName>& map, std::u16string_view declared) {
  for (const auto& entry : map)
    if (SameText(entry.declared, declared))
      return entry.external;
  return std::u16string(declared);
}

std::u16string NthListedAction(std::u16string_view actions, int index) {
  if (actions.empty() || index < 0)
    return {};
  const char16_t separator = actions.front();
  size_t begin = 1;
  for (int i = 0; i < index; ++i) {
    begin = actions.find(separator, begin);
    if (begin == std::u16string_view::npos)
      return {};
    ++begin;
  }
  const size_t end = std::min(actions.find(separator, begin), actions.size());
  return std::u16string(actions.substr(begin, end - begin));
}

} // namespace

TPortTypeRegistration* TInvokableClassRegistry::Find(const TIntfMetaData& portType) {
  for (auto& registration : registrations_)
    if (registration.portType == &portType)
      return &registration;
  return nullptr;
}

const TPortTypeRegistration* TInvokableClassRegistry::FindByGUID(const GUID& iid) const {
  for (const auto& registration : registrations_)
    if (registration.iid == iid)
      return &registration;
  return nullptr;
}

template <class Step>
void TInvokableClassRegistry::Update(const TIntfMetaData& portType, Step step) {
  std::lock_guard guard(lock_);
  if (auto* registration = Find(portType))
    step(*registration);
}

void TInvokableClassRegistry::RegisterInterface(const TIntfMetaData& portType,
                                                std::u16string_view nameSpace,
                                                std::u16string_view wsdlEncoding) {
  std::lock_guard guard(lock_);
  if (Find(portType) != nullptr)
    return;
  TPortTypeRegistration registration;
  registration.portType = &portType;
  registration.iid = portType.iid;
  registration.name = portType.name;
  registration.unitName = portType.unitName;
  if (nameSpace.empty()) {
    registration.nameSpace = u"urn:";
    registration.nameSpace += portType.unitName;
    registration.nameSpace += u'-';
    registration.nameSpace += portType.name;
  } else {
    registration.nameSpace = nameSpace;
  }
  registration.wsdlEncoding = wsdlEncoding;
  registration.flags.Include(TIntfFlag::ifHasNamespace);
  registrations_.push_back(std::move(registration));
}

void TInvokableClassRegistry::RegisterDefaultSOAPAction(const TIntfMetaData& portType,
                                                        std::u16string_view action) {
  Update(portType, [action](TPortTypeRegistration& registration) {
    registration.soapAction = action;
    registration.flags.Include(TIntfFlag::ifHasDefaultAction);
  });
}

void TInvokableClassRegistry::RegisterAllSOAPActions(const TIntfMetaData& portType,
                                                     std::u16string_view actions) {
  Update(portType, [actions](TPortTypeRegistration& registration) {
    registration.soapAction = actions;
    registration.flags.Include(TIntfFlag::ifAllActionsListed);
  });
}

void TInvokableClassRegistry::RegisterInvokeOptions(const TIntfMetaData& portType,
                                                    TIntfFlags options) {
  Update(portType, [options](TPortTypeRegistration& registration) {
    registration.flags.IncludeAll(options);
  });
}

void TInvokableClassRegistry::RegisterExternalMethName(const TIntfMetaData& portType,
                                                       std::u16string_view declared,
                                                       std::u16string_view external) {
  Update(portType, [&](TPortTypeRegistration& registration) {
    registration.methodNames.push_back({std::u16string(declared), std::u16string(external)});
  });
}

void TInvokableClassRegistry::RegisterExternalParamName(const TIntfMetaData& portType,
                                                        std::u16string_view method,
                                                        std::u16string_view declared,
                                                        std::u16string_view external) {
  Update(portType, [&](TPortTypeRegistration& registration) {
    registration.paramNames.push_back(
        {std::u16string(method), {std::u16string(declared), std::u16string(external)}});
  });
}

const TIntfMetaData* TInvokableClassRegistry::GetInterfaceByGUID(const GUID& iid) const {
  std::lock_guard guard(lock_);
  const auto* registration = FindByGUID(iid);
  return registration != nullptr ? registration->portType : nullptr;
}

std::u16string TInvokableClassRegistry::GetNamespaceByGUID(const GUID& iid) const {
  std::lock_guard guard(lock_);
  const auto* registration = FindByGUID(iid);
  return registration != nullptr ? registration->nameSpace : std::u16string();
}

TIntfFlags TInvokableClassRegistry::GetIntfInvokeOptions(const GUID& iid) const {
  std::lock_guard guard(lock_);
  const auto* registration = FindByGUID(iid);
  return registration != nullptr ? registration->flags : TIntfFlags();
}

std::u16string TInvokableClassRegistry::GetMethExternalName(const TIntfMetaData& portType,
                                                            std::u16string_view method) const {
  std::lock_guard guard(lock_);
  const auto* registration = FindByGUID(portType.iid);
  if (registration == nullptr)
    return std::u16string(method);
  return ExternalName(registration->methodNames, method);
}

std::u16string TInvokableClassRegistry::GetParamExternalName(const TIntfMetaData& portType,
                                                             std::u16string_view method,
                                                             std::u16string_view param) const {
  std::lock_guard guard(lock_);
  const auto* registration = FindByGUID(portType.iid);
  if (registration == nullptr)
    return std::u16string(param);
  for (const auto& entry : registration->paramNames)
    if (SameText(entry.method, method) && SameText(entry.name.declared, param))
      return entry.name.external;
  return std::u16string(param);
}

std::u16string TInvokableClassRegistry::GetActionURIOfInfo(const TIntfMetaData& portType,
                                                           std::u16string_view method,
                                                           int methodIndex) const {
  std::lock_guard guard(lock_);
  const auto* registration = FindByGUID(portType.iid);
  if (registration == nullptr)
    return {};
  if (registration->flags.Contains(TIntfFlag::ifHasDefaultAction)) {
    std::u16string action = registration->soapAction;
    const size_t at = action.find(kOperationNamePlaceholder);
    if (!method.empty() && at != std::u16string::npos)
      action.replace(at, kOperationNamePlaceholder.size(), method);
    return action;
  }
  if (registration->flags.Contains(TIntfFlag::ifAllActionsListed))
    return NthListedAction(registration->soapAction, methodIndex);
  std::u16string action = registration->nameSpace;
  action += u'#';
  action += method;
  return action;
}

std::vector<TPortTypeRegistration> TInvokableClassRegistry::Registrations() const {
  std::lock_guard guard(lock_);
  return {registrations_.begin(), registrations_.end()};
}

TInvokableClassRegistry& InvRegistry() {
  static TInvokableClassRegistry registry;
  return registry;
}

} // namespace tellavo
