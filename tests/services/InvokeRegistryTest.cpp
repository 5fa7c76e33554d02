#include <gtest/gtest.h>

#include "services/GetOriginatorsWebService.h"
#include "services/GetReport2DateWebService.h"
#include "services/GetStatusWebService.h"
#include "services/InvokeRegistry.h"
#include "services/SendSMSPrepaidWebService.h"
#include "services/SendSMSWebService.h"
#include "services/ServiceBindings.h"
#include "services/ServiceConfig.h"

using namespace tellavo;

namespace {

std::u16string NS(std::u16string_view suffix) {
  return std::u16string(ServiceNamespace) + std::u16string(suffix);
}

const TIntfMetaData& TestPortType() {
  static const TIntfMetaData portType{
      u"SampleSoap",
      u"SampleUnit",
      {0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 6, 6, 7, 7}},
      {{u"first", {{{TParamFlag::pfIn}, u"xml", u"string"}}, u"string"},
       {u"second", {}, u"string"},
       {u"third", {}, u"string"}},
  };
  return portType;
}

} // namespace

TEST(InvokeRegistry, BindingsRegisterOnceInStartupOrder) {
  TInvokableClassRegistry registry;
  TRemotableTypeRegistry types;
  RegisterServiceBindings(registry, types);
  RegisterServiceBindings(registry, types);

  const auto registrations = registry.Registrations();
  ASSERT_EQ(registrations.size(), 15u);
  const std::u16string_view expected[][2] = {
      {u"GetOriginatorsSoap", u"GetOriginatorsWebService"},
      {u"GetOriginatorsHttpGet", u"GetOriginatorsWebService"},
      {u"GetOriginatorsHttpPost", u"GetOriginatorsWebService"},
      {u"GetReport2DateSoap", u"GetReport2DateWebService"},
      {u"GetReport2DateHttpGet", u"GetReport2DateWebService"},
      {u"GetReport2DateHttpPost", u"GetReport2DateWebService"},
      {u"GetStatusSoap", u"GetStatusWebService"},
      {u"GetStatusHttpGet", u"GetStatusWebService"},
      {u"GetStatusHttpPost", u"GetStatusWebService"},
      {u"SendSMSSoap", u"SendSMSPrepaidWebService"},
      {u"SendSMSHttpGet", u"SendSMSPrepaidWebService"},
      {u"SendSMSHttpPost", u"SendSMSPrepaidWebService"},
      {u"SendSMSSoap", u"SendSMSWebService"},
      {u"SendSMSHttpGet", u"SendSMSWebService"},
      {u"SendSMSHttpPost", u"SendSMSWebService"},
  };
  const TIntfFlags soapFlags{TIntfFlag::ifHasNamespace, TIntfFlag::ifHasDefaultAction,
                             TIntfFlag::ifDocument};
  const TIntfFlags httpFlags{TIntfFlag::ifHasNamespace, TIntfFlag::ifHasDefaultAction};
  for (size_t i = 0; i < registrations.size(); ++i) {
    const auto& registration = registrations[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(registration.name, expected[i][0]);
    EXPECT_EQ(registration.unitName, expected[i][1]);
    EXPECT_EQ(registration.nameSpace, ServiceNamespace);
    EXPECT_EQ(registration.wsdlEncoding, u"utf-8");
    const bool soap = i % 3 == 0;
    EXPECT_EQ(registration.flags, soap ? soapFlags : httpFlags);
    if (!soap) {
      EXPECT_EQ(registration.soapAction, u"");
    }
    EXPECT_TRUE(registration.methodNames.empty() && registration.paramNames.empty());
  }
  EXPECT_EQ(registrations[0].soapAction, NS(u"getOriginators"));
  EXPECT_EQ(registrations[9].soapAction, NS(u"%operationName%"));
  EXPECT_EQ(registrations[12].iid, registrations[9].iid);

  const auto typeRecords = types.Registrations();
  ASSERT_EQ(typeRecords.size(), 1u);
  EXPECT_EQ(typeRecords[0],
            (TRemotableTypeRegistration{u"string_", std::u16string(ServiceNamespace), u"string"}));
}

TEST(InvokeRegistry, LookupsByIdentifierAnswerFromFirstRegistration) {
  TInvokableClassRegistry registry;
  TRemotableTypeRegistry types;
  RegisterServiceBindings(registry, types);

  EXPECT_EQ(registry.GetInterfaceByGUID(IID_SendSMSSoap), &SendSMSPrepaidBinding().SoapPortType());
  EXPECT_EQ(registry.GetInterfaceByGUID(IID_GetStatusSoap), &GetStatusBinding().SoapPortType());
  EXPECT_EQ(registry.GetNamespaceByGUID(IID_GetReport2DateSoap), ServiceNamespace);
  EXPECT_TRUE(
      registry.GetIntfInvokeOptions(IID_GetOriginatorsSoap).Contains(TIntfFlag::ifDocument));

  EXPECT_EQ(registry.GetInterfaceByGUID(TestPortType().iid), nullptr);
  EXPECT_EQ(registry.GetNamespaceByGUID(TestPortType().iid), u"");
  EXPECT_TRUE(registry.GetIntfInvokeOptions(TestPortType().iid).Empty());
  EXPECT_EQ(registry.GetActionURIOfInfo(TestPortType(), u"first", 0), u"");
}

TEST(InvokeRegistry, ActionsOfTheFiveServices) {
  TInvokableClassRegistry registry;
  TRemotableTypeRegistry types;
  RegisterServiceBindings(registry, types);
  auto action = [&](const TServiceBinding& binding, int index) {
    const TIntfMetaData& portType = binding.SoapPortType();
    const auto& method = portType.methods.at(static_cast<size_t>(index));
    return registry.GetActionURIOfInfo(portType,
                                       registry.GetMethExternalName(portType, method.name), index);
  };
  EXPECT_EQ(action(GetOriginatorsBinding(), 0), NS(u"getOriginators"));
  EXPECT_EQ(action(GetReport2DateBinding(), 0), NS(u"getReport2Date"));
  EXPECT_EQ(action(GetStatusBinding(), 0), NS(u"getStatus"));
  for (const TServiceBinding* binding : {&SendSMSPrepaidBinding(), &SendSMSBinding()}) {
    EXPECT_EQ(action(*binding, 0), NS(u"sendSMS"));
    EXPECT_EQ(action(*binding, 1), NS(u"sendConcat"));
  }
  // A fixed action never takes the operation name; a pattern without one
  // keeps its placeholder.
  EXPECT_EQ(registry.GetActionURIOfInfo(GetOriginatorsBinding().SoapPortType(), u"other", 3),
            NS(u"getOriginators"));
  EXPECT_EQ(registry.GetActionURIOfInfo(SendSMSBinding().SoapPortType(), u"", 0),
            NS(u"%operationName%"));
}

TEST(InvokeRegistry, ActionRulesWithoutDefaultAction) {
  TInvokableClassRegistry registry;
  const TIntfMetaData& portType = TestPortType();
  registry.RegisterInterface(portType, u"", u"utf-8");
  EXPECT_EQ(registry.GetNamespaceByGUID(portType.iid), u"urn:SampleUnit-SampleSoap");
  EXPECT_EQ(registry.GetActionURIOfInfo(portType, u"first", 0), u"urn:SampleUnit-SampleSoap#first");

  registry.RegisterAllSOAPActions(portType, u"|urn:a|urn:b");
  EXPECT_EQ(registry.GetActionURIOfInfo(portType, u"first", 0), u"urn:a");
  EXPECT_EQ(registry.GetActionURIOfInfo(portType, u"second", 1), u"urn:b");
  EXPECT_EQ(registry.GetActionURIOfInfo(portType, u"third", 2), u"");

  // A default action takes precedence, and only its first placeholder is replaced.
  registry.RegisterDefaultSOAPAction(portType, u"x/%operationName%/%operationName%");
  EXPECT_EQ(registry.GetActionURIOfInfo(portType, u"first", 0), u"x/first/%operationName%");
}

TEST(InvokeRegistry, ExternalNamesMatchIgnoringCase) {
  TInvokableClassRegistry registry;
  const TIntfMetaData& portType = TestPortType();
  registry.RegisterInterface(portType, u"urn:t", u"utf-8");
  EXPECT_EQ(registry.GetMethExternalName(portType, u"first"), u"first");
  EXPECT_EQ(registry.GetParamExternalName(portType, u"first", u"xml"), u"xml");

  registry.RegisterExternalMethName(portType, u"FIRST", u"First-Op");
  registry.RegisterExternalParamName(portType, u"first", u"XML", u"document");
  EXPECT_EQ(registry.GetMethExternalName(portType, u"first"), u"First-Op");
  EXPECT_EQ(registry.GetMethExternalName(portType, u"second"), u"second");
  EXPECT_EQ(registry.GetParamExternalName(portType, u"First", u"xml"), u"document");
  EXPECT_EQ(registry.GetParamExternalName(portType, u"second", u"xml"), u"xml");
}
