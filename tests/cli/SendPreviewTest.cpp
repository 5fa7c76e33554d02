// tellavo send --dry-run: the client's preview of a send, which needs no
// account, no module and no gateway.
#include <gtest/gtest.h>

#include <fstream>

#include "TellavoProcess.h"
#include "support/Json.h"

namespace tellavo::test {
namespace {

// No module can be loaded from here: a preview that tried would fail.
const std::vector<std::string> kDryRun{"send", "--dry-run", "--module", "/nonexistent/module"};

std::vector<std::string>
Messages(std::vector<std::string> options,
         const std::vector<std::pair<std::string, std::string>>& messages) {
  for (const auto& [number, text] : messages) {
    options.insert(options.end(), {"--to", number, "--text", text});
  }
  return options;
}

std::vector<std::string> Json() {
  std::vector<std::string> args = kDryRun;
  args.push_back("--json");
  return args;
}

TEST(SendPreview, BasketsAndPartsAtTheBoundsWithTotals) {
  const std::string emoji = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units
  std::string emojis;
  for (int i = 0; i < 80; ++i)
    emojis += emoji;
  const TellavoRun run = RunTellavo(Messages(Json(), {{"1", std::string(160, 'a')},
                                                      {"2", std::string(161, 'a')},
                                                      {"3", std::string(612, 'a')},
                                                      {"4", std::string(613, 'a')},
                                                      {"5", emojis}}));
  EXPECT_EQ(run.status, 1) << "a message is dropped";
  const auto lines = run.OutJson();
  ASSERT_EQ(lines.size(), 6u) << run.out << run.err;
  const struct {
    long long length;
    const char* basket;
    const char* encoding;
    long long parts;
  } expected[] = {{160, "short", "GSM 7-bit", 1},
                  {161, "long", "GSM 7-bit", 2},
                  {612, "long", "GSM 7-bit", 4},
                  {613, "dropped", "GSM 7-bit", 0},
                  {160, "short", "UCS-2", 3}};
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i].at("number"), std::to_string(i + 1));
    EXPECT_EQ(lines[i].at("length"), expected[i].length);
    EXPECT_EQ(lines[i].at("units"), expected[i].length);
    EXPECT_EQ(lines[i].at("basket"), expected[i].basket);
    EXPECT_EQ(lines[i].at("encoding"), expected[i].encoding);
    EXPECT_EQ(lines[i].at("parts"), expected[i].parts);
  }
  EXPECT_EQ(lines[4].at("text"), emojis);
  const JsonValue& totals = lines[5].at("totals");
  EXPECT_EQ(totals.at("short").at("messages"), 2);
  EXPECT_EQ(totals.at("short").at("parts"), 4);
  EXPECT_TRUE(totals.at("short").at("refused").is_null());
  EXPECT_EQ(totals.at("long").at("messages"), 2);
  EXPECT_EQ(totals.at("long").at("parts"), 6);
  EXPECT_EQ(totals.at("dropped").at("messages"), 1);
  EXPECT_EQ(run.err, "");
}

TEST(SendPreview, TurkishTextIsShownFoldedAndCountedAsTheGatewayGetsIt) {
  const TellavoRun run =
      RunTellavo(Messages(Json(), {{"5550000001", "\xC5\x9E"
                                                  "eker & \xC3\x87"
                                                  "ay <1> \xC4\xB1\xC4\x9F"}, // Şeker & Çay <1> ığ
                                   {"5550000002", "\xC3\xA2"
                                                  "b {x}"},             // âb {x}
                                   {"5550000003", "[\xE2\x82\xAC]"}})); // [€]
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = run.OutJson();
  ASSERT_EQ(lines.size(), 4u);
  // Folding leaves only letters of the GSM alphabet (Ç is one of them).
  EXPECT_EQ(lines[0].at("text"), "Seker & \xC3\x87"
                                 "ay <1> ig");
  EXPECT_EQ(lines[0].at("encoding"), "GSM 7-bit");
  EXPECT_EQ(lines[0].at("units"), 18);
  // â is not folded and has no place in it.
  EXPECT_EQ(lines[1].at("encoding"), "UCS-2");
  EXPECT_EQ(lines[1].at("units"), 6);
  EXPECT_EQ(lines[2].at("encoding"), "GSM 7-bit");
  EXPECT_EQ(lines[2].at("length"), 3);
  EXPECT_EQ(lines[2].at("units"), 6);
}

TEST(SendPreview, PlainOutputForPeopleNeedsNoAccountAndReadsCsv) {
  TempFolder folder;
  const std::string csv = folder.Path("messages.csv");
  std::ofstream(csv, std::ios::binary) << "5550000001,\"two\nlines\"\n"
                                       << "5550000002," << std::string(200, 'x') << "\n";
  std::vector<std::string> args = kDryRun;
  args.insert(args.end(), {"--csv", csv});
  const TellavoRun run = RunTellavo(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "5550000001: short, 9 characters, GSM 7-bit, 1 SMS part\n"
                     "  two\n"
                     "  lines\n"
                     "5550000002: long, 200 characters, GSM 7-bit, 2 SMS parts\n"
                     "  " +
                         std::string(200, 'x') +
                         "\n"
                         "short: 1 message in 1 SMS part\n"
                         "long: 1 message in 2 SMS parts\n"
                         "dropped: 0 messages over 612 characters\n");
}

TEST(SendPreview, ABasketTheModuleWouldRefuseFailsThePreview) {
  const TellavoRun run =
      RunTellavo(Messages(kDryRun, {{"5550000001", "fine"}, {"5550000002", "bell\x07"}}));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("tellavo: the short basket would not be sent: "), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("message 2 in the basket holds the character U+0007 at position 5"),
            std::string::npos)
      << run.err;

  const TellavoRun json =
      RunTellavo(Messages(Json(), {{"5550000001", std::string(200, 'x') + "\x07"}}));
  EXPECT_EQ(json.status, 1);
  const auto lines = json.OutJson();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].at("totals").at("long").at("refused").get<std::string>().find("U+0007"),
            std::string::npos);
}

TEST(SendPreview, JsonGoesOnlyWithDryRun) {
  const TellavoRun run =
      RunTellavo({"send", "--json", "--originator", "X", "--to", "5550000001", "--text", "hi"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--json goes with --dry-run"), std::string::npos) << run.err;
}

} // namespace
} // namespace tellavo::test
