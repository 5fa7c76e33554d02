// The identifiers of the Tellavo type library: library Tellavo 2.0, the dual
// interface IGateway and the coclass Gateway.
#pragma once

#include "Platform.h"

namespace tellavo {

inline constexpr GUID LIBID_Tellavo{
    0xF9D49477, 0x8E41, 0x44EF, {0xA9, 0x35, 0xC2, 0xB3, 0xA9, 0x26, 0x07, 0x5D}};
inline constexpr GUID IID_IGateway{
    0xA5BEFD19, 0xDBEE, 0x4DC7, {0x93, 0x5A, 0xA4, 0xEE, 0x27, 0xB2, 0xC5, 0xDD}};
inline constexpr GUID CLSID_Gateway{
    0x30382C13, 0x28EC, 0x4B56, {0xA4, 0x2C, 0x71, 0x72, 0x63, 0x6B, 0x22, 0x6B}};

inline constexpr WORD TellavoMajorVersion = 2;
inline constexpr WORD TellavoMinorVersion = 0;

// DISPIDs of the IGateway methods, in slot order.
inline constexpr DISPID DISPID_getinfo = 201;
inline constexpr DISPID DISPID_addtosmsbasket = 202;
inline constexpr DISPID DISPID_clearsmsbasket = 203;
inline constexpr DISPID DISPID_getmsgstatus = 204;
inline constexpr DISPID DISPID_getmsgstatustodate = 205;
inline constexpr DISPID DISPID_sendsms = 206;
inline constexpr DISPID DISPID_sendsmsconcat = 207;

// Dual interface: the three IUnknown and four IDispatch functions, then the
// seven methods. Every argument is an input BSTR; `retvalue` is the result.
struct IGateway : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE getinfo(BSTR username, BSTR password, BSTR vendor_id,
                                            BSTR* retvalue) = 0;
  virtual HRESULT STDMETHODCALLTYPE addtosmsbasket(BSTR msg, BSTR gsm, BSTR* retvalue) = 0;
  virtual HRESULT STDMETHODCALLTYPE clearsmsbasket() = 0;
  virtual HRESULT STDMETHODCALLTYPE getmsgstatus(BSTR username, BSTR password, BSTR packet_id,
                                                 BSTR vendor_id, BSTR* retvalue) = 0;
  virtual HRESULT STDMETHODCALLTYPE getmsgstatustodate(BSTR username, BSTR password, BSTR date1,
                                                       BSTR date2, BSTR vendor_id,
                                                       BSTR* retvalue) = 0;
  virtual HRESULT STDMETHODCALLTYPE sendsms(BSTR username, BSTR password, BSTR originator,
                                            BSTR senddate, BSTR vendor_id, BSTR* retvalue) = 0;
  virtual HRESULT STDMETHODCALLTYPE sendsmsconcat(BSTR username, BSTR password, BSTR originator,
                                                  BSTR senddate, BSTR vendor_id,
                                                  BSTR* retvalue) = 0;

protected:
  ~IGateway() = default;
};

} // namespace tellavo
