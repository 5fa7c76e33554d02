// The built-in values of the service settings, fixed when the module is
// built; the settings in force at a call may replace them (common/Settings.h).
#pragma once

#include <string_view>

namespace tellavo {

// Serves GetOriginators, SendSMS and SendSMSPrepaid.
extern const std::u16string_view GatewayHost;
// Serves GetStatus and GetReport2Date.
extern const std::u16string_view ReportHost;
// The namespace of all five services and of every port type they register;
// it ends in "/" and the SOAP actions append the operation name to it.
extern const std::u16string_view ServiceNamespace;

} // namespace tellavo
