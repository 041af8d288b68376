#include <gtest/gtest.h>

#include <string>

#include "platform/messages.h"
#include "support/test_home.h"

namespace qlm {
namespace {

struct MessageCase {
  int number;
  const char* text;
};

class MessageTableTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageTableTest, ShowsTheFixedTextCaptionedWithTheProgramName) {
  test::TestPlatform p;
  ShowMessage(GetParam().number, "ignored unless 50");
  ASSERT_EQ(p.ui.calls().size(), 1u);
  const UiCall& c = p.ui.calls()[0];
  EXPECT_EQ(c.kind, "message");
  EXPECT_EQ(c.caption, "QLM_T4_USB");
  EXPECT_EQ(c.text, GetParam().text);
  EXPECT_EQ(c.buttons, MessageButtons::Ok);
  EXPECT_EQ(c.icon, MessageIcon::None);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageTableTest,
    ::testing::Values(
        MessageCase{1, "Warning!\nNo INI file found, please set defaults..."},
        MessageCase{4,
                    "Sorry. Guide star lost.\n\nStar may have moved more than 10 pixels, or has different "
                    "intensity to previous reading (+/-5%)"},
        MessageCase{12, "You didn't choose a valid PK or suitable FITs File"},
        MessageCase{22, "Sorry, chosen Darkframe is not an PK File"},
        MessageCase{23, "Unable to load INI file, please delete and try again"},
        MessageCase{27, "Unable to load INI file, please delete and try again"},
        MessageCase{30,
                    "Sorry, Merging only available in standard Geometry. Ensure Image is not stretched to "
                    "fit window or in PL geometry."},
        MessageCase{33, "Sorry. Cannot Pick Star in ths display mode"},
        MessageCase{40,
                    "Sorry, you must first load an autosaved file to start the sequence, or there are no "
                    "more files"},
        MessageCase{68, "Sorry, there is no 4x4 or 3x3 unexpanded binned image to save"},
        // Numbers without a text show an empty box.
        MessageCase{0, ""}, MessageCase{3, ""}, MessageCase{60, ""}, MessageCase{69, ""}, MessageCase{-1, ""},
        MessageCase{65535, ""}));

TEST(Messages, TableHoldsEveryNumberTheProgramUses) {
  for (int n : {1,  2,  4,  5,  7,  8,  9,  10, 11, 12, 13, 14, 16, 17, 18, 22, 23, 24, 25,
                26, 27, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 40, 51, 52, 53, 55, 59, 68}) {
    EXPECT_FALSE(messageText(n).empty()) << n;
  }
  EXPECT_TRUE(messageText(50).empty());
}

TEST(Messages, FiftyShowsTheCallersTextUpTo255Characters) {
  test::TestPlatform p;
  ShowMessage(50, "Sorry, No camera found on USB");
  ShowMessage(50, "");
  ShowMessage(50, std::string(300, 'a'));
  ShowMessage(50);
  const auto texts = p.ui.messageTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Sorry, No camera found on USB");
  EXPECT_EQ(texts[1], "");
  EXPECT_EQ(texts[2], std::string(255, 'a'));
  EXPECT_EQ(texts[3], "");
  for (const auto& c : p.ui.calls())
    EXPECT_EQ(c.caption, "QLM_T4_USB");
}

}  // namespace
}  // namespace qlm
