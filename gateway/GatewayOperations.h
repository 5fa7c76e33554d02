// What the IGateway methods do, apart from the COM call frame: each returns
// the text that the method hands back in `retvalue`. A failed exchange is
// caught here, reported to the event log and turned into a result code.
#pragma once

#include <string>
#include <string_view>

#include "gateway/RequestDocuments.h"

namespace tellavo {

// The exchange failed and no answer text arrived.
inline constexpr std::u16string_view kResultExchangeFailed = u"-1";
// The basket to be sent is empty.
inline constexpr std::u16string_view kResultBasketEmpty = u"-2";

// The account's originators, each followed by a line feed.
std::u16string GetInfo(std::u16string_view username, std::u16string_view password,
                       std::u16string_view vendor_id);

// The service's status text of one sent message, as it comes.
std::u16string GetMsgStatus(std::u16string_view username, std::u16string_view password,
                            std::u16string_view packet_id, std::u16string_view vendor_id);

// The service's report between two dates, as it comes.
std::u16string GetMsgStatusToDate(std::u16string_view username, std::u16string_view password,
                                  std::u16string_view date1, std::u16string_view date2,
                                  std::u16string_view vendor_id);

// Sends the short basket (SendSms) or the long basket (SendConcat) through
// the prepaid or the regular sending service, as the account's credit check
// decides, and returns the message identifier that the service assigns.
std::u16string SendBasket(SendDocumentKind kind, const SendArguments& arguments);

} // namespace tellavo
