// The Tellavo type library, version 2.0: the dual interface IGateway and the
// coclass Gateway. The same facts are stated by resources/Tellavo.idl, from
// which the Windows build compiles its TYPELIB resource.
#include <array>
#include <utility>

#include "TypeLibData.h"
#include "gateway/Tellavo_TLB.h"

namespace tellavo::platform {
namespace {

template <class C, class... P> constexpr size_t ArityOf(HRESULT (STDMETHODCALLTYPE C::*)(P...)) {
  return sizeof...(P);
}

// Calls an IGateway method: all parameters but the last are the inputs, the
// last is retvalue; a method without parameters has neither.
template <auto Method> HRESULT CallGateway(void* instance, const BSTR* arguments, BSTR* retvalue) {
  auto* gateway = static_cast<IGateway*>(instance);
  constexpr size_t arity = ArityOf(Method);
  if constexpr (arity == 0) {
    return (gateway->*Method)();
  } else {
    return [&]<size_t... I>(std::index_sequence<I...>) {
      return (gateway->*Method)(arguments[I]..., retvalue);
    }
    (std::make_index_sequence<arity - 1>{});
  }
}

constexpr USHORT In = PARAMFLAG_FIN;
constexpr USHORT Retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamData getinfoParams[]{
    {u"username", In}, {u"password", In}, {u"vendor_id", In}, {u"retvalue", Retval}};
constexpr ParamData addtosmsbasketParams[]{{u"msg", In}, {u"gsm", In}, {u"retvalue", Retval}};
constexpr ParamData getmsgstatusParams[]{{u"username", In},
                                         {u"password", In},
                                         {u"packet_id", In},
                                         {u"vendor_id", In},
                                         {u"retvalue", Retval}};
constexpr ParamData getmsgstatustodateParams[]{{u"username", In},  {u"password", In},
                                               {u"date1", In},     {u"date2", In},
                                               {u"vendor_id", In}, {u"retvalue", Retval}};
// sendsms and sendsmsconcat take the same parameters.
constexpr ParamData sendParams[]{{u"username", In}, {u"password", In},  {u"originator", In},
                                 {u"senddate", In}, {u"vendor_id", In}, {u"retvalue", Retval}};

const FuncData gatewayFuncs[]{
    {DISPID_getinfo, u"getinfo", getinfoParams, CallGateway<&IGateway::getinfo>},
    {DISPID_addtosmsbasket, u"addtosmsbasket", addtosmsbasketParams,
     CallGateway<&IGateway::addtosmsbasket>},
    {DISPID_clearsmsbasket, u"clearsmsbasket", {}, CallGateway<&IGateway::clearsmsbasket>},
    {DISPID_getmsgstatus, u"getmsgstatus", getmsgstatusParams,
     CallGateway<&IGateway::getmsgstatus>},
    {DISPID_getmsgstatustodate, u"getmsgstatustodate", getmsgstatustodateParams,
     CallGateway<&IGateway::getmsgstatustodate>},
    {DISPID_sendsms, u"sendsms", sendParams, CallGateway<&IGateway::sendsms>},
    {DISPID_sendsmsconcat, u"sendsmsconcat", sendParams, CallGateway<&IGateway::sendsmsconcat>},
};

// The coclass implements the type at index 0, IGateway, as its default.
constexpr ImplTypeData gatewayImplTypes[]{{0, IMPLTYPEFLAG_FDEFAULT}};

const TypeData tellavoTypes[]{
    {u"IGateway",
     IID_IGateway,
     TKIND_INTERFACE,
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
     TellavoMajorVersion,
     TellavoMinorVersion,
     u"SMS Gateway Objesi Arayüzü",
     gatewayFuncs,
     {}},
    {u"Gateway",
     CLSID_Gateway,
     TKIND_COCLASS,
     TYPEFLAG_FCANCREATE,
     TellavoMajorVersion,
     TellavoMinorVersion,
     u"SMS Gateway Objesi",
     {},
     gatewayImplTypes},
};

const LibraryData tellavoLibrary{
    u"Tellavo", LIBID_Tellavo,          TellavoMajorVersion, TellavoMinorVersion, 0x0409, SYS_WIN32,
    0,          u"Tellavo COM API 2.0", tellavoTypes};

const LibraryData* const builtIn[]{&tellavoLibrary};

} // namespace

std::span<const LibraryData* const> BuiltInLibraries() {
  return builtIn;
}

} // namespace tellavo::platform
