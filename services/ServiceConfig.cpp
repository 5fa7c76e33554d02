#include "services/ServiceConfig.h"

#include "common/Settings.h"

namespace tellavo {

const std::u16string_view GatewayHost = Definition(SettingId::GatewayHost).builtIn;
const std::u16string_view ReportHost = Definition(SettingId::ReportHost).builtIn;
const std::u16string_view ServiceNamespace = Definition(SettingId::ServiceNamespace).builtIn;

} // namespace tellavo
