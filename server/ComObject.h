// The automation object base: TComObject gives an object its identity
// (reference count, aggregation, error-information support),
// TTypedComObject its class information and TAutoObject<Dual> late binding
// of the dual interface Dual through the type library. An automation class
// derives from TAutoObject<Dual>, implements Dual's methods and runs each
// method body through SafeCall.
#pragma once

#include <atomic>
#include <utility>

#include "Platform.h"
#include "common/ErrorConversion.h"
#include "gateway/Tellavo_TLB.h"
#include "server/ObjectFactory.h"

namespace tellavo::server {

// The identifier of a dual interface that an automation class implements.
template <class Dual> struct DualInterface;

template <> struct DualInterface<IGateway> { static constexpr const IID& Id = IID_IGateway; };

class TComObject : public ISupportErrorInfo {
public:
  virtual ~TComObject();
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  // S_OK for every interface that the object answers, S_FALSE otherwise.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  TComObjectFactory& Factory() const { return factory_; }
  LONG RefCount() const { return refCount_.load(); }

  // The object's own (non-delegating) identity, which is what an aggregating
  // outer object holds.
  HRESULT InnerQuery(REFIID iid, void** object);
  ULONG InnerAddRef();
  // Destroys the object when the count reaches 0.
  ULONG InnerRelease();

  // The interfaces that the class answers, without an object.
  static bool Implements(REFIID iid);

protected:
  // Counts the object in its server; the count stays 1 until the factory has
  // finished construction, so that nothing done meanwhile destroys it.
  TComObject(TComObjectFactory& factory, IUnknown* controller);

  // The object's interface for iid, the class's own first, then those of its
  // bases; null if it has none. Adds no reference.
  virtual IUnknown* FindInterface(REFIID iid);

  // The IUnknown functions of every interface but the inner unknown: the
  // controller's when aggregated, else the object's own.
  HRESULT DelegatingQueryInterface(REFIID iid, void** object);
  ULONG DelegatingAddRef();
  ULONG DelegatingRelease();

private:
  friend class TComObjectFactory;
  void EndConstruction() { refCount_.store(0); }

  class NonDelegatingUnknown final : public IUnknown {
  public:
    explicit NonDelegatingUnknown(TComObject& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      return owner_.InnerQuery(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.InnerAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.InnerRelease(); }

  private:
    TComObject& owner_;
  };

  IUnknown* controller_; // the outer object when aggregated; held without a reference
  TComObjectFactory& factory_;
  std::atomic<LONG> refCount_{1};
  NonDelegatingUnknown inner_{*this};
};

class TTypedComObject : public TComObject, public IProvideClassInfo {
public:
  // The type information of the object's class (the coclass).
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;

  static bool Implements(REFIID iid);

protected:
  TTypedComObject(TTypedComObjectFactory& factory, IUnknown* controller)
      : TComObject(factory, controller) {}

  IUnknown* FindInterface(REFIID iid) override;
  TTypedComObjectFactory& TypedFactory() const {
    return static_cast<TTypedComObjectFactory&>(Factory());
  }
};

// The IDispatch functions of an automation object, driven by its factory's
// dispatch type information; `instance` is the object's dual interface.
HRESULT DispatchTypeInfoCount(UINT* count);
HRESULT DispatchTypeInfo(const TAutoObjectFactory& factory, UINT index, ITypeInfo** info);
HRESULT DispatchIDsOfNames(const TAutoObjectFactory& factory, LPOLESTR* names, UINT count,
                           DISPID* dispIds);
HRESULT DispatchInvoke(const TAutoObjectFactory& factory, void* instance, DISPID dispId, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

template <class Dual> class TAutoObject : public TTypedComObject, public Dual {
public:
  TAutoObject(TAutoObjectFactory& factory, IUnknown* controller)
      : TTypedComObject(factory, controller) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return DelegatingQueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return DelegatingAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DelegatingRelease(); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return DispatchTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return DispatchTypeInfo(AutoFactory(), index, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* dispIds) override {
    return DispatchIDsOfNames(AutoFactory(), names, count, dispIds);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override {
    return DispatchInvoke(AutoFactory(), static_cast<Dual*>(this), dispId, flags, params, result,
                          excepInfo, argErr);
  }

  static bool Implements(REFIID iid) {
    return IsEqualGUID(iid, DualInterface<Dual>::Id) || IsEqualGUID(iid, IID_IDispatch) ||
           TTypedComObject::Implements(iid);
  }

protected:
  IUnknown* FindInterface(REFIID iid) override {
    if (IsEqualGUID(iid, DualInterface<Dual>::Id))
      return static_cast<Dual*>(this);
    if (IsEqualGUID(iid, IID_IDispatch))
      return static_cast<IDispatch*>(static_cast<Dual*>(this));
    return TTypedComObject::FindInterface(iid);
  }

  TAutoObjectFactory& AutoFactory() const { return static_cast<TAutoObjectFactory&>(Factory()); }

  // The guard around a method body: an exception that leaves it becomes the
  // method's HRESULT and the thread's error object.
  template <class Body> HRESULT SafeCall(Body&& body) {
    return Guard(AutoFactory().MethodErrorSource(), std::forward<Body>(body));
  }
};

} // namespace tellavo::server
