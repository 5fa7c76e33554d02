// tellavo send: queues messages given on the command line or in a CSV file
// and sends them, short and long ones each with their own method.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "common/Utf.h"
#include "gateway/MessageBasket.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/Csv.h"
#include "tools/tellavo/FreedMemory.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewaySession.h"
#include "tools/tellavo/QueueProgress.h"
#include "tools/tellavo/SendPreview.h"

namespace tellavo::cli {
namespace {

constexpr OptionDefinition kToOption{"to", true};
constexpr OptionDefinition kTextOption{"text", true};
constexpr OptionDefinition kCsvOption{"csv", true};
constexpr OptionDefinition kDryRunOption{"dry-run", false};
constexpr OptionDefinition kJsonOption{"json", false};
constexpr OptionDefinition kSendOptions[] = {
    kModuleOption,     kUserOption, kPasswordOption, kPasswordStdinOption, kVendorOption,
    kOriginatorOption, kDateOption, kToOption,       kTextOption,          kCsvOption,
    kDryRunOption,     kJsonOption, kTraceOption};
constexpr std::string_view kStandardInput = "-";

struct Message {
  std::u16string number;
  std::u16string text;
};

std::string ReadCsvFile(const std::string& path) {
  if (path == kStandardInput)
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw EUsageError("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// --to and --text pairs in order, then the records of the CSV file.
std::vector<Message> CollectMessages(const ParsedOptions& options) {
  const std::vector<std::string> numbers = options.Values(kToOption.name);
  const std::vector<std::string> texts = options.Values(kTextOption.name);
  if (numbers.size() != texts.size())
    throw EUsageError("every --to needs its --text");
  std::vector<Message> messages;
  for (size_t i = 0; i < numbers.size(); ++i)
    messages.push_back({Utf8ToUtf16(numbers[i]), Utf8ToUtf16(texts[i])});
  if (const auto csv = options.Value(kCsvOption.name)) {
    if (*csv == kStandardInput && PasswordFromStdin(options) && !options.Has(kDryRunOption.name))
      throw EUsageError("the password and the CSV file cannot both come from standard input");
    // Each record is let go once it is a message, so that a large file is
    // not held twice.
    for (CsvRecord& record : ReadCsv(ReadCsvFile(*csv))) {
      if (record.fields.size() != 2)
        throw EUsageError("CSV line " + std::to_string(record.line) +
                          ": expected number,text (quote a text that holds a comma)");
      messages.push_back({Utf8ToUtf16(record.fields[0]), Utf8ToUtf16(record.fields[1])});
      record.fields = {};
    }
  }
  if (messages.empty())
    throw EUsageError("no messages: give --to NUMBER --text TEXT or --csv FILE");
  return messages;
}

// One basket of a send: how it is sent and named, and what became of it.
struct Basket {
  std::u16string_view method;
  std::string_view label;
  size_t count = 0;
  BasketFate fate = BasketFate::NotSent;
};

// Sends a basket that holds messages, printing its message identifier when
// it got one.
void SendBasket(GatewaySession& session, Basket& basket,
                const std::vector<std::u16string>& arguments) {
  if (basket.count == 0)
    return;
  const SentBasket sent = session.Send(basket.method, arguments);
  basket.fate = sent.fate;
  if (sent.fate == BasketFate::Sent)
    std::cout << basket.label << ": " << Utf16ToUtf8(sent.messageId) << '\n' << std::flush;
}

// The exit status of a send, and when something went out or may have but not
// everything did, what went out and what to check before sending again.
int SendStatus(const Basket (&baskets)[2], size_t dropped) {
  bool anyOut = false;
  bool allSent = dropped == 0;
  for (const Basket& basket : baskets) {
    if (basket.count == 0)
      continue;
    anyOut = anyOut || basket.fate != BasketFate::NotSent;
    allSent = allSent && basket.fate == BasketFate::Sent;
  }
  if (allSent)
    return kExitOk;
  if (!anyOut)
    return kExitFailed;
  std::cerr << "tellavo: some messages went out or may have; sending them all again may send "
               "some twice:\n";
  for (const Basket& basket : baskets) {
    if (basket.count == 0)
      continue;
    std::cerr << "  " << basket.label << " (" << basket.count << "): ";
    if (basket.fate == BasketFate::Sent)
      std::cerr << "sent, its message identifier is printed\n";
    else if (basket.fate == BasketFate::NotSent)
      std::cerr << "not sent; these may be sent again\n";
    else
      std::cerr << "the gateway may have accepted them; check with 'tellavo report' (the gateway's "
                   "getmsgstatustodate) before sending them again\n";
  }
  if (dropped > 0)
    std::cerr << "  dropped (" << dropped << "): never sent, too long to send\n";
  return kExitCheckBeforeRetry;
}

int RunSend(const Command& self, const Args& args) {
  const ParsedOptions options = ParseOptions(args, kSendOptions);
  if (ShowHelp(self, options))
    return kExitOk;
  if (!options.positionals.empty())
    throw EUsageError("send takes its messages from --to/--text or --csv");
  const bool dryRun = options.Has(kDryRunOption.name);
  if (options.Has(kJsonOption.name) && !dryRun)
    throw EUsageError("--json goes with --dry-run");
  // A dry run needs no account: the password is not read.
  const Credentials account = dryRun ? Credentials{} : ReadCredentials(options);
  std::vector<Message> messages = CollectMessages(options);
  if (dryRun) {
    SendPreview preview(options.Has(kJsonOption.name));
    for (const Message& message : messages)
      preview.Add(message.number, message.text);
    return preview.Finish();
  }

  GatewaySession session(options);
  if (!session.Ask(u"clearsmsbasket", {}))
    return kExitFailed;
  size_t shortCount = 0, longCount = 0, dropped = 0;
  QueueProgress progress(messages.size(), StandardErrorIsTerminal(), std::cerr);
  // A queued message is let go, and the list after the last one: the module
  // holds them now.
  for (Message& message : messages) {
    progress.Step();
    // Counted in UTF-16 units, as the basket counts them.
    const size_t length = message.text.size();
    if (length > kLongTextLimit) {
      ++dropped;
      progress.Clear();
      std::cerr << "tellavo: dropped the message to " << Utf16ToUtf8(message.number) << ": "
                << length << " characters, at most " << kLongTextLimit << " can be sent\n";
      continue;
    }
    ++(length > kShortTextLimit ? longCount : shortCount);
    if (!session.Ask(u"addtosmsbasket", {message.text, message.number}))
      return kExitFailed;
    message = {};
  }
  progress.Clear();
  messages = std::vector<Message>();
  ReturnFreedMemory();
  std::cout << "queued " << shortCount << " short, " << longCount << " long; dropped " << dropped
            << " over " << kLongTextLimit << " characters\n"
            << std::flush;
  if (shortCount == 0 && longCount == 0) {
    std::cerr << "tellavo: nothing to send\n";
    return kExitFailed;
  }
  const std::vector<std::u16string> sending{account.user, account.password,
                                            OptionText(options, kOriginatorOption.name),
                                            OptionText(options, kDateOption.name), account.vendor};
  Basket baskets[] = {{u"sendsms", "short", shortCount}, {u"sendsmsconcat", "long", longCount}};
  for (Basket& basket : baskets)
    SendBasket(session, basket, sending);
  return SendStatus(baskets, dropped);
}

} // namespace

const Command kSendCommand{
    "send",
    "queue messages and send them",
    {"Usage: tellavo send [OPTION ...] --originator NAME\n"
     "                    (--to NUMBER --text TEXT ... | --csv FILE)\n"
     "       tellavo send --dry-run [--json] (--to NUMBER --text TEXT ... | --csv FILE)\n"
     "\n"
     "Empties the message basket, queues every message (addtosmsbasket), then sends\n"
     "the short ones (up to 160 characters) with sendsms and the long ones (161 to\n"
     "612) with sendsmsconcat, and prints the message identifier of each:\n"
     "  queued 2 short, 1 long; dropped 0 over 612 characters\n"
     "  short: 1000001\n"
     "  long: 1000002\n"
     "Characters are counted in UTF-16 units, so a character outside the Basic\n"
     "Multilingual Plane (an emoji) counts two. A longer message cannot be sent: it\n"
     "is reported and dropped, the others are sent, and the exit status is 3.\n"
     "While the messages are queued, a terminal on standard error shows how many.\n"
     "\n"
     "Options:\n"
     "  --to NUMBER --text TEXT  one message; repeat the pair for more\n"
     "  --csv FILE           messages from a CSV file (- for standard input), one\n"
     "                       number,text per line, UTF-8; quote a text that holds\n"
     "                       commas, quotes or line breaks: \"Hello, \"\"you\"\"\"\n"
     "  --originator NAME    the sender name, one of the account's originators\n"
     "  --date DATE          when to send, passed on as written; empty: now\n"
     "  --dry-run            send nothing and need no account: show each message as\n"
     "                       the gateway will read it (Turkish letters folded), its\n"
     "                       length, its basket (short, long or dropped), its\n"
     "                       encoding (GSM 7-bit, where ^ { } \\ [ ~ ] | and the euro\n"
     "                       sign count two, else UCS-2) and its SMS parts (160 or\n"
     "                       70 in one, 153 or 67 each when concatenated), then the\n"
     "                       totals of each basket; exit status 1 when a message\n"
     "                       would be dropped or a basket refused\n"
     "  --json               with --dry-run: one JSON object per message, then\n"
     "                       {\"totals\": ...}\n",
     kAccountOptionsHelp,
     "\n"
     "Exit status, which tells a script whether sending again is safe:\n"
     "  0  every message went out; the identifier of each basket is printed\n"
     "  1  nothing went out (no connection, the request did not reach the gateway\n"
     "     whole, the gateway refused, nothing to send): sending again is safe\n"
     "  2  a wrong command line or CSV file; nothing was sent\n"
     "  3  something went out or may have: one basket went out and the other not,\n"
     "     a message was dropped while the others went out, or the gateway took a\n"
     "     request without a readable answer. Do not send everything again: what\n"
     "     went out is printed, and standard error says what to check first with\n"
     "     'tellavo report' (getmsgstatustodate).\n"
     "The outcome of a failed send is read from the event-log entry of this process's\n"
     "own call. On Windows that is its entry in the Application log; when it cannot\n"
     "be read back (Wine's event log keeps nothing), a failed send counts as 3.\n"},
    RunSend};

} // namespace tellavo::cli
