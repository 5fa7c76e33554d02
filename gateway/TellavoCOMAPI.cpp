#include "gateway/TellavoCOMAPI.h"

#include "common/Bstr.h"
#include "gateway/GatewayOperations.h"
#include "gateway/MessageBasket.h"
#include "server/Module.h"

namespace tellavo {

template <class Body> HRESULT TGateway::CallFrame(BSTR* retvalue, Body&& body) {
  if (retvalue == nullptr)
    return E_POINTER;
  *retvalue = nullptr;
  return SafeCall([&] { *retvalue = BStr(body()).Detach(); });
}

HRESULT TGateway::getinfo(BSTR username, BSTR password, BSTR vendor_id, BSTR* retvalue) {
  return CallFrame(retvalue, [&] {
    return GetInfo(BstrView(username), BstrView(password), BstrView(vendor_id));
  });
}

HRESULT TGateway::addtosmsbasket(BSTR msg, BSTR gsm, BSTR* retvalue) {
  return CallFrame(retvalue, [&] {
    TMessageBasket::Instance().Add(BstrView(msg), BstrView(gsm));
    return std::u16string();
  });
}

HRESULT TGateway::clearsmsbasket() {
  return SafeCall([] { TMessageBasket::Instance().Clear(); });
}

HRESULT TGateway::getmsgstatus(BSTR username, BSTR password, BSTR packet_id, BSTR vendor_id,
                               BSTR* retvalue) {
  return CallFrame(retvalue, [&] {
    return GetMsgStatus(BstrView(username), BstrView(password), BstrView(packet_id),
                        BstrView(vendor_id));
  });
}

HRESULT TGateway::getmsgstatustodate(BSTR username, BSTR password, BSTR date1, BSTR date2,
                                     BSTR vendor_id, BSTR* retvalue) {
  return CallFrame(retvalue, [&] {
    return GetMsgStatusToDate(BstrView(username), BstrView(password), BstrView(date1),
                              BstrView(date2), BstrView(vendor_id));
  });
}

HRESULT TGateway::sendsms(BSTR username, BSTR password, BSTR originator, BSTR senddate,
                          BSTR vendor_id, BSTR* retvalue) {
  return Send(SendDocumentKind::SendSms, username, password, originator, senddate, vendor_id,
              retvalue);
}

HRESULT TGateway::sendsmsconcat(BSTR username, BSTR password, BSTR originator, BSTR senddate,
                                BSTR vendor_id, BSTR* retvalue) {
  return Send(SendDocumentKind::SendConcat, username, password, originator, senddate, vendor_id,
              retvalue);
}

HRESULT TGateway::Send(SendDocumentKind kind, BSTR username, BSTR password, BSTR originator,
                       BSTR senddate, BSTR vendor_id, BSTR* retvalue) {
  return CallFrame(retvalue, [&] {
    return SendBasket(kind, {BstrView(username), BstrView(password), BstrView(originator),
                             BstrView(senddate), BstrView(vendor_id)});
  });
}

void CreateGatewayFactory() {
  server::TAutoObjectFactory::Create<TGateway>(server::ComServer(), u"TGateway", CLSID_Gateway,
                                               server::Instancing::MultiInstance,
                                               server::ThreadingModel::Apartment);
}

} // namespace tellavo
