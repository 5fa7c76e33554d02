// Reports a caught failure to the event log, source "Tellavo COM API".
#pragma once

#include <string_view>

#include "Platform.h"
#include "common/Exceptions.h"

namespace tellavo {

inline constexpr char16_t kEventSourceName[] = u"Tellavo COM API";

// Writes one entry whose one insertion string is `text`; answers the
// platform's success flag. The source is registered for this entry only.
BOOL WriteEventLog(WORD eventType, WORD category, DWORD eventId, std::u16string_view text);

// The entry for a failure that a Gateway method caught: an error of
// category 1 and identifier 1, with the class name, a blank and the message.
void ReportFailure(const Exception& failure);

} // namespace tellavo
