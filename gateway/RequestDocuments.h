// The request documents: the small XML texts that the Gateway methods pass
// to the services as their one string argument, and the folding of message
// texts (FoldText). Values are escaped so that every document is well-formed and no
// value can add markup; a value or message holding a character that XML cannot
// carry fails the build with EXMLDocError, which names it.
#pragma once

#include <string>
#include <string_view>

#include "gateway/MessageBasket.h"

namespace tellavo {

// Escapes a value for element content: < and > always, & unless it already
// starts a well-formed reference (&amp; &lt; &gt; &quot; &apos; &#digits;
// &#xhex;), so that values escaped by the caller pass unchanged.
std::u16string EscapeValue(std::u16string_view value);

std::u16string BuildGetOriginatorsDocument(std::u16string_view username,
                                           std::u16string_view password,
                                           std::u16string_view vendor_id);

std::u16string BuildGetStatusDocument(std::u16string_view username, std::u16string_view password,
                                      std::u16string_view packet_id, std::u16string_view vendor_id);

std::u16string BuildReport2DateDocument(std::u16string_view username, std::u16string_view password,
                                        std::u16string_view date1, std::u16string_view date2,
                                        std::u16string_view vendor_id);

// The two sending documents share one structure and differ in their root.
enum class SendDocumentKind { SendSms, SendConcat };

struct SendArguments {
  std::u16string_view username;
  std::u16string_view password;
  std::u16string_view originator;
  std::u16string_view senddate;
  std::u16string_view vendor_id;
};

std::u16string BuildSendDocument(SendDocumentKind kind, const SendArguments& arguments,
                                 const TBasketLists& basket);

} // namespace tellavo
