// Class factories: TComObjectFactory makes the objects of one class and
// counts its references in the server; TTypedComObjectFactory takes the
// class's name and description from the type library; TAutoObjectFactory
// adds the class's dispatch interface, through which late-bound calls reach
// its objects. Factories belong to the factory list and live until their
// server goes: Release never destroys one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Platform.h"
#include "common/ComPtr.h"
#include "common/ErrorConversion.h"
#include "server/ClassManager.h"

namespace tellavo::server {

class TComObject;
class TComServer;

// Only Internal changes anything in-process: such a class is not registered.
enum class Instancing : uint8_t { Internal = 0, SingleInstance = 1, MultiInstance = 2 };

enum class ThreadingModel : uint8_t { Single = 0, Apartment = 1, Free = 2, Both = 3, Neutral = 4 };

// The "ThreadingModel" registry text; empty for Single, which writes none.
std::u16string_view ThreadingModelText(ThreadingModel model);

// The text of the message box shown when an object cannot be made: the
// message with a full stop added unless it is empty or already ends in a
// full stop, a blank, a control character or one of "!\"#$%&'()*+,-".
std::u16string CreationErrorText(std::u16string_view message);

inline constexpr char16_t kCreationErrorCaption[] = u"Tellavo Error";

class TComObjectFactory : public IClassFactory {
public:
  virtual ~TComObjectFactory();
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  // Count the references in the server's factory count.
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  TComServer& ComServer() const { return server_; }
  const CLSID& ClassID() const { return classId_; }
  const std::u16string& ClassName() const { return className_; }
  const std::u16string& Description() const { return description_; }
  // The interface named in error objects of the class's methods.
  const IID& ErrorIID() const { return errorIid_; }
  Instancing GetInstancing() const { return instancing_; }
  ThreadingModel GetThreadingModel() const { return threadingModel_; }
  bool ShowErrors() const { return showErrors_; }
  // The implementing class's name, as error messages about the class give it.
  const std::u16string& ImplementingClass() const { return implementingClass_; }
  // Server name "." class name, fixed when the factory is made; empty when
  // the class has no name.
  const std::u16string& ProgID() const { return progId_; }

protected:
  // Makes an object of the implementing class, aggregated when the
  // controller is not null.
  using Creator = TComObject* (*)(TComObjectFactory& factory, IUnknown* controller);

  struct ClassIdentity {
    std::u16string implementingClass;
    CLSID classId;
    std::u16string className;
    std::u16string description;
  };

  TComObjectFactory(TComServer& server, Creator creator, ClassIdentity identity,
                    Instancing instancing, ThreadingModel threadingModel);

  void SetErrorIID(const IID& iid) { errorIid_ = iid; }

private:
  TComServer& server_;
  Creator creator_;
  std::u16string implementingClass_;
  CLSID classId_;
  std::u16string className_;
  std::u16string description_;
  std::u16string progId_;
  IID errorIid_;
  Instancing instancing_;
  bool showErrors_ = true;
  ThreadingModel threadingModel_;
};

class TTypedComObjectFactory : public TComObjectFactory {
public:
  // The type information of the class (the coclass).
  ITypeInfo* ClassInfo() const { return classInfo_.Get(); }

protected:
  // Loads the server's type library and reads the class's name and
  // description from it; raises EOleError when the library does not
  // describe the class and EOleSysError when it cannot be read.
  TTypedComObjectFactory(TComServer& server, Creator creator, std::u16string implementingClass,
                         const CLSID& classId, Instancing instancing,
                         ThreadingModel threadingModel);

private:
  struct ClassDescription {
    ComPtr<ITypeInfo> info;
    ClassIdentity identity;
  };
  static ClassDescription Describe(TComServer& server, std::u16string implementingClass,
                                   const CLSID& classId);
  TTypedComObjectFactory(TComServer& server, Creator creator, ClassDescription description,
                         Instancing instancing, ThreadingModel threadingModel);

  ComPtr<ITypeInfo> classInfo_;
};

class TAutoObjectFactory : public TTypedComObjectFactory {
public:
  // Makes the factory of the automation class T, a TAutoObject, and puts it
  // at the head of the factory list; raises EOleError or EOleSysError when
  // the type library does not fit the class.
  template <class T>
  static TAutoObjectFactory& Create(TComServer& server, std::u16string implementingClass,
                                    const CLSID& classId, Instancing instancing,
                                    ThreadingModel threadingModel) {
    Creator creator = [](TComObjectFactory& factory, IUnknown* controller) -> TComObject* {
      return new T(static_cast<TAutoObjectFactory&>(factory), controller);
    };
    std::unique_ptr<TComObjectFactory> factory(
        new TAutoObjectFactory(server, creator, &T::Implements, std::move(implementingClass),
                               classId, instancing, threadingModel));
    return static_cast<TAutoObjectFactory&>(ComClassManager().AddFactory(std::move(factory)));
  }

  // The type information of the class's default interface, which drives
  // late-bound calls.
  ITypeInfo* DispTypeInfo() const { return dispTypeInfo_.Get(); }
  // The class's default source interface; GUID_NULL and null when it has none.
  const IID& EventIID() const { return eventIid_; }
  ITypeInfo* EventTypeInfo() const { return eventTypeInfo_.Get(); }
  // What the error object of a failed method of the class carries; made
  // once, so that a method's guard needs no memory of its own.
  const ErrorSource& MethodErrorSource() const { return methodErrorSource_; }

private:
  using Implements = bool (*)(REFIID iid);

  TAutoObjectFactory(TComServer& server, Creator creator, Implements implements,
                     std::u16string implementingClass, const CLSID& classId, Instancing instancing,
                     ThreadingModel threadingModel);

  ComPtr<ITypeInfo> dispTypeInfo_;
  IID eventIid_ = GUID_NULL;
  ComPtr<ITypeInfo> eventTypeInfo_;
  ErrorSource methodErrorSource_;
};

} // namespace tellavo::server
