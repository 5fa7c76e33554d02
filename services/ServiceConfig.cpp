#include "services/ServiceConfig.h"

namespace tellavo {

const std::u16string_view GatewayHost = u"" TELLAVO_GATEWAY_HOST;
const std::u16string_view ReportHost = u"" TELLAVO_REPORT_HOST;
const std::u16string_view ServiceNamespace = u"" TELLAVO_SERVICE_NAMESPACE;

} // namespace tellavo
