// The registry of remotable types: which native type stands for which XML
// schema type in which namespace. The services register their string type
// here; reading and writing plain string parameters does not consult it.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tellavo {

struct TRemotableTypeRegistration {
  std::u16string typeName;
  std::u16string nameSpace;
  std::u16string xmlName;
  friend bool operator==(const TRemotableTypeRegistration&,
                         const TRemotableTypeRegistration&) = default;
};

class TRemotableTypeRegistry {
public:
  // Registering the same type under the same XML name again changes nothing.
  void RegisterXSInfo(std::u16string_view typeName, std::u16string_view nameSpace,
                      std::u16string_view xmlName);
  std::vector<TRemotableTypeRegistration> Registrations() const;

private:
  mutable std::mutex lock_;
  std::vector<TRemotableTypeRegistration> registrations_;
};

// The registry of the process.
TRemotableTypeRegistry& RemTypeRegistry();

} // namespace tellavo
