// TGateway: the Gateway automation object. It holds no state of its own;
// the only state kept between calls is the process-wide message basket.
#pragma once

#include "gateway/RequestDocuments.h"
#include "gateway/Tellavo_TLB.h"
#include "server/ComObject.h"

namespace tellavo {

class TGateway final : public server::TAutoObject<IGateway> {
public:
  using TAutoObject::TAutoObject;

  HRESULT STDMETHODCALLTYPE getinfo(BSTR username, BSTR password, BSTR vendor_id,
                                    BSTR* retvalue) override;
  HRESULT STDMETHODCALLTYPE addtosmsbasket(BSTR msg, BSTR gsm, BSTR* retvalue) override;
  HRESULT STDMETHODCALLTYPE clearsmsbasket() override;
  HRESULT STDMETHODCALLTYPE getmsgstatus(BSTR username, BSTR password, BSTR packet_id,
                                         BSTR vendor_id, BSTR* retvalue) override;
  HRESULT STDMETHODCALLTYPE getmsgstatustodate(BSTR username, BSTR password, BSTR date1, BSTR date2,
                                               BSTR vendor_id, BSTR* retvalue) override;
  HRESULT STDMETHODCALLTYPE sendsms(BSTR username, BSTR password, BSTR originator, BSTR senddate,
                                    BSTR vendor_id, BSTR* retvalue) override;
  HRESULT STDMETHODCALLTYPE sendsmsconcat(BSTR username, BSTR password, BSTR originator,
                                          BSTR senddate, BSTR vendor_id, BSTR* retvalue) override;

private:
  // The call frame of every method with a result: the caller's string is
  // emptied first, the body runs inside the method guard, and its text
  // becomes a new string that the caller owns.
  template <class Body> HRESULT CallFrame(BSTR* retvalue, Body&& body);
  // sendsms and sendsmsconcat, which differ only in the basket they send.
  HRESULT Send(SendDocumentKind kind, BSTR username, BSTR password, BSTR originator, BSTR senddate,
               BSTR vendor_id, BSTR* retvalue);
};

// Creates the Gateway class factory; runs once at module start-up.
void CreateGatewayFactory();

} // namespace tellavo
