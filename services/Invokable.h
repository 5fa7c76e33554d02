// What the system knows about a port type: its identity, its operations and
// their parameters. A proxy bound to a port type drives every call from this
// description.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"
#include "services/SmallSet.h"

namespace tellavo {

// Base of every port type. Its three IUnknown slots come first, so the first
// operation of a port type has slot 3.
struct IInvokable : IUnknown {
protected:
  ~IInvokable() = default;
};

inline constexpr int kFirstOperationSlot = 3;

enum class TParamFlag { pfIn, pfOut, pfConst };
using TParamFlags = TSmallSet<TParamFlag>;

struct TParamMetaData {
  TParamFlags flags;
  std::u16string_view name;
  std::u16string_view typeName;

  // Output-only parameters are not written into a request.
  bool IsOutputOnly() const {
    return flags.Contains(TParamFlag::pfOut) && !flags.Contains(TParamFlag::pfIn);
  }
};

struct TMethodMetaData {
  std::u16string_view name;
  std::vector<TParamMetaData> params;
  std::u16string_view resultType;
};

class THTTPRIO;

// The typed call entry points of one port type, made for a proxy when it
// binds; each operation forwards to the proxy's generic invocation.
class TInvokableEntryPoints {
public:
  virtual ~TInvokableEntryPoints() = default;
  virtual IInvokable* Interface() = 0;
};

using TMakeEntryPoints = std::unique_ptr<TInvokableEntryPoints> (*)(THTTPRIO& rio);

struct TIntfMetaData {
  std::u16string name;
  std::u16string_view unitName;
  GUID iid;
  std::vector<TMethodMetaData> methods;
  // Null for port types that are registered for description only and that
  // no proxy serves.
  TMakeEntryPoints makeEntryPoints = nullptr;
};

} // namespace tellavo
