// The posix settings file: its syntax, the file TELLAVO_CONFIG names, and a
// change seen at the next reading.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "common/SettingsStore.h"
#include "common/Utf.h"
#include "support/Environment.h"

namespace tellavo {
namespace {

using platform::ReadSettingsStore;
using platform::SettingsStore;
using platform::StoredType;

class SettingsFileTest : public testing::Test {
protected:
  void SetUp() override {
    saved_ = test::GetEnvironment("TELLAVO_CONFIG");
    path_ = std::filesystem::temp_directory_path() /
            ("tellavo-settings-" + std::to_string(getpid()) + ".conf");
    test::SetEnvironment("TELLAVO_CONFIG", path_.string());
  }
  void TearDown() override {
    std::filesystem::remove(path_);
    test::SetEnvironment("TELLAVO_CONFIG", saved_);
  }

  void Write(const std::string& text) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
  }
  std::u16string Where(int line) const {
    return Utf8ToUtf16("file " + path_.string() + ", line " + std::to_string(line));
  }

  std::filesystem::path path_;
  std::optional<std::string> saved_;
};

TEST_F(SettingsFileTest, LinesCommentsAndBlanks) {
  Write("\xEF\xBB\xBF# a comment\n"
        "\n"
        "   # indented comment\n"
        "GatewayHost = sms.example.net\r\n"
        "\tReportHost=report.example.net   \n"
        "ServiceNamespace = http://ws.example.net/#x/\n"
        "VerifyCertificates =\n"
        "just words\n"
        "= 1");
  const SettingsStore store = ReadSettingsStore();
  EXPECT_EQ(store.failure, u"");
  EXPECT_EQ(store.origin, Utf8ToUtf16("file " + path_.string()));
  ASSERT_EQ(store.settings.size(), 6u);
  EXPECT_EQ(store.settings[0].name, u"GatewayHost");
  EXPECT_EQ(store.settings[0].text, u"sms.example.net");
  EXPECT_EQ(store.settings[0].where, Where(4));
  EXPECT_EQ(store.settings[1].name, u"ReportHost");
  EXPECT_EQ(store.settings[1].text, u"report.example.net");
  // A "#" inside a value is part of it.
  EXPECT_EQ(store.settings[2].text, u"http://ws.example.net/#x/");
  EXPECT_EQ(store.settings[3].text, u"");
  EXPECT_EQ(store.settings[3].type, StoredType::Text);
  EXPECT_EQ(store.settings[4].type, StoredType::Malformed);
  EXPECT_EQ(store.settings[4].text, u"just words");
  EXPECT_EQ(store.settings[4].where, Where(8));
  EXPECT_EQ(store.settings[5].type, StoredType::Malformed);
  EXPECT_EQ(store.settings[5].text, u"= 1");
}

TEST_F(SettingsFileTest, AChangeIsSeenAtTheNextReading) {
  Write("GatewayHost = one.example\n");
  EXPECT_EQ(ReadSettingsStore().settings.at(0).text, u"one.example");
  // Same size, so only the time stamps tell the versions apart.
  Write("GatewayHost = two.example\n");
  EXPECT_EQ(ReadSettingsStore().settings.at(0).text, u"two.example");
  std::filesystem::remove(path_);
  EXPECT_NE(ReadSettingsStore().failure.find(u"cannot be read: No such file or directory"),
            std::u16string::npos);
  Write("");
  const SettingsStore empty = ReadSettingsStore();
  EXPECT_EQ(empty.failure, u"");
  EXPECT_TRUE(empty.settings.empty());
}

TEST_F(SettingsFileTest, AFileOfOneMebibyteIsReadWholeAndALargerOneRefused) {
  // The setting on the last line shows that nothing was cut off.
  const std::string last = "GatewayHost = last.example\n";
  const size_t limit = 1 << 20;
  std::string text = "#" + std::string(limit - last.size() - 2, ' ') + "\n" + last;
  ASSERT_EQ(text.size(), limit);
  Write(text);
  const SettingsStore whole = ReadSettingsStore();
  EXPECT_EQ(whole.failure, u"");
  ASSERT_EQ(whole.settings.size(), 1u);
  EXPECT_EQ(whole.settings[0].text, u"last.example");
  EXPECT_EQ(whole.settings[0].where, Where(2));

  Write(text + "\n");
  const SettingsStore larger = ReadSettingsStore();
  EXPECT_EQ(larger.failure, Utf8ToUtf16("The settings file " + path_.string() +
                                        " cannot be read: larger than 1 MiB"));
  EXPECT_TRUE(larger.settings.empty());
}

// A name that stands but cannot be read as a regular file is a bad settings
// file, never the absence of one: a folder, a FIFO (read without blocking),
// and a link whose target is gone.
TEST_F(SettingsFileTest, ANamedFileMustBeARegularFile) {
  test::SetEnvironment("TELLAVO_CONFIG", std::filesystem::temp_directory_path().string());
  EXPECT_NE(ReadSettingsStore().failure.find(u"not a regular file"), std::u16string::npos);

  test::SetEnvironment("TELLAVO_CONFIG", path_.string());
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_NE(ReadSettingsStore().failure.find(u"not a regular file"), std::u16string::npos);
  std::filesystem::remove(path_);

  std::filesystem::create_symlink(path_.string() + ".gone", path_);
  EXPECT_EQ(ReadSettingsStore().failure,
            Utf8ToUtf16("The settings file " + path_.string() +
                        " cannot be read: a link whose target does not exist"));
}

} // namespace
} // namespace tellavo
