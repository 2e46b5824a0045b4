#include "app/KeyListing.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "foundation/Language.h"
#include "platform/Registry.h"

namespace kst {
namespace {

class KeyListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QFile file(dir_.filePath("Lang0409.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[TEXT]\nIDS_KEYBOARD_A=A\nUnknown Key: %03x=Unknown Key: %03x\n");
  }

  QTemporaryDir dir_;
};

TEST_F(KeyListingTest, ListsEveryRowWithItsCodesAndName) {
  Registry registry(dir_.filePath("registry.reg"));
  Language language(registry, dir_.path(), [] { return std::uint16_t{1033}; });
  QString text;
  QTextStream out(&text);
  WriteLanguageLine(out, language);
  WriteKeyListing(out, language);
  out.flush();

  const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + 256);
  EXPECT_EQ(lines[0], QStringLiteral("Language 0x0409 English (United States)"));
  EXPECT_EQ(lines[1 + 0], QStringLiteral("0x000 0x000 0x00 Unknown Key: 000"));
  EXPECT_EQ(lines[1 + 30], QStringLiteral("0x01E 0x01E 0x04 A"));
  EXPECT_EQ(lines[1 + 0x55], QStringLiteral("0x055 0x055 0x00 Unknown Key: 055"));
  EXPECT_EQ(lines[1 + 156], QStringLiteral("0x11C 0x09C 0x58 #Error"));
  EXPECT_EQ(lines[1 + 255], QStringLiteral("0x17F 0x0FF 0x00 Unknown Key: 17f"));
}

TEST(LanguageNameTest, SupportedAndOther) {
  EXPECT_EQ(LanguageName(2052), QStringLiteral("Chinese (Simplified)"));
  EXPECT_EQ(LanguageName(1028), QStringLiteral("Chinese (Traditional)"));
  EXPECT_EQ(LanguageName(1031), QStringLiteral("unsupported language"));
}

}  // namespace
}  // namespace kst
