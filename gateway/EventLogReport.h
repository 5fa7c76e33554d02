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

// `text` followed by `tail` as they fit into one entry: whole when they fit,
// else `text` cut and the marker put after it, so that `tail` stays whole and
// the whole is kMaxEventTextLength long at most.
std::u16string FitEventText(std::u16string_view text, std::u16string_view tail = {});

// Writes one entry whose one insertion string is `text`, cut to fit; answers the
// platform's success flag. The source is registered for this entry only. The
// entry's data is the writing process's identifier (32 bits, little-endian),
// by which a process tells its own entries from other processes'.
BOOL WriteEventLog(WORD eventType, WORD category, DWORD eventId, std::u16string_view text,
                   std::u16string_view tail = {});

// The entry for a failure that a Gateway method caught: an error of
// category 1 and identifier 1, with the class name, a blank and the message;
// then, when given, a line break and `outcome`, which no cut takes away.
void ReportFailure(const Exception& failure, std::u16string_view outcome = {});

} // namespace tellavo
