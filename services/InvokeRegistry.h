// The port-type registry: one record per registered port type, in
// registration order. Proxies bind through it and the SOAP converter takes
// namespaces, names and actions from it. The service bindings fill it once at
// start-up; every registration step and every look-up holds the one lock.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "services/Invokable.h"
#include "services/SmallSet.h"

namespace tellavo {

// In a default SOAP action, stands for the name of the operation called.
inline constexpr std::u16string_view kOperationNamePlaceholder = u"%operationName%";

enum class TIntfFlag {
  ifHasNamespace,
  ifHasDefaultAction,
  ifDocument,
  ifLiteral,
  ifAllActionsListed,
  ifHasUDDIInfo,
};
using TIntfFlags = TSmallSet<TIntfFlag>;

struct TExternalName {
  std::u16string declared;
  std::u16string external;
};

struct TExternalParamName {
  std::u16string method;
  TExternalName name;
};

struct TPortTypeRegistration {
  const TIntfMetaData* portType = nullptr;
  GUID iid{};
  std::u16string name;
  std::u16string unitName;
  std::u16string nameSpace;
  std::u16string wsdlEncoding;
  std::u16string soapAction;
  TIntfFlags flags;
  std::vector<TExternalName> methodNames;
  std::vector<TExternalParamName> paramNames;
};

class TInvokableClassRegistry {
public:
  // Adds the port type unless this very port type is already registered. An
  // empty namespace becomes "urn:" + module name + "-" + port type name.
  void RegisterInterface(const TIntfMetaData& portType, std::u16string_view nameSpace,
                         std::u16string_view wsdlEncoding);
  // The action for every operation; "%operationName%" in it stands for the
  // operation's external name.
  void RegisterDefaultSOAPAction(const TIntfMetaData& portType, std::u16string_view action);
  // One action per operation, in operation order, each preceded by the
  // separator character that the text starts with.
  void RegisterAllSOAPActions(const TIntfMetaData& portType, std::u16string_view actions);
  void RegisterInvokeOptions(const TIntfMetaData& portType, TIntfFlags options);
  void RegisterExternalMethName(const TIntfMetaData& portType, std::u16string_view declared,
                                std::u16string_view external);
  void RegisterExternalParamName(const TIntfMetaData& portType, std::u16string_view method,
                                 std::u16string_view declared, std::u16string_view external);

  // Look-ups by interface identifier answer from the first registration with
  // that identifier, in registration order.
  const TIntfMetaData* GetInterfaceByGUID(const GUID& iid) const;
  std::u16string GetNamespaceByGUID(const GUID& iid) const;
  TIntfFlags GetIntfInvokeOptions(const GUID& iid) const;

  std::u16string GetMethExternalName(const TIntfMetaData& portType,
                                     std::u16string_view method) const;
  std::u16string GetParamExternalName(const TIntfMetaData& portType, std::u16string_view method,
                                      std::u16string_view param) const;
  // The SOAP action of an operation, given by its external name and its
  // position among the port type's operations; an empty name leaves a
  // "%operationName%" placeholder as it is.
  std::u16string GetActionURIOfInfo(const TIntfMetaData& portType, std::u16string_view method,
                                    int methodIndex) const;

  // A copy of every registration, in registration order.
  std::vector<TPortTypeRegistration> Registrations() const;

private:
  TPortTypeRegistration* Find(const TIntfMetaData& portType);
  const TPortTypeRegistration* FindByGUID(const GUID& iid) const;
  // Runs a registration step on the port type's record, if it is registered.
  template <class Step> void Update(const TIntfMetaData& portType, Step step);

  mutable std::mutex lock_;
  std::deque<TPortTypeRegistration> registrations_;
};

// The registry of the process.
TInvokableClassRegistry& InvRegistry();

} // namespace tellavo
