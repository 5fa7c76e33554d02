// Reports a caught failure to the event log, source "Tellavo COM API".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Platform.h"
#include "common/Exceptions.h"

namespace tellavo {

inline constexpr char16_t kEventSourceName[] = u"Tellavo COM API";

// The longest text one entry may carry: the event log refuses longer strings.
inline constexpr size_t kMaxEventTextLength = 31839;
// What ends a text that was cut to that length.
inline constexpr std::u16string_view kEventTextCutMarker = u"... [cut]";

// `text` as it fits into one entry: whole when it fits, else cut so that,
// with the marker appended, it is kMaxEventTextLength long at most.
std::u16string FitEventText(std::u16string_view text);

// Writes one entry whose one insertion string is `text`, cut to fit; answers the
// platform's success flag. The source is registered for this entry only.
BOOL WriteEventLog(WORD eventType, WORD category, DWORD eventId, std::u16string_view text);

// The entry for a failure that a Gateway method caught: an error of
// category 1 and identifier 1, with the class name, a blank and the message.
void ReportFailure(const Exception& failure);

} // namespace tellavo
