#include <gtest/gtest.h>

#include "common/protocol.h"

namespace vornix {
namespace {

TEST(ReadReplyField, AbsentElementIsEmpty) {
  EXPECT_EQ(ReadReplyField("", "Error", kErrorCapacity), "");
  EXPECT_EQ(ReadReplyField("no elements here", "Error", kErrorCapacity), "");
  EXPECT_EQ(ReadReplyField("<Build>1</Build>", "Error", kErrorCapacity), "");
}

TEST(ReadReplyField, FindsTheElementAmidOtherText) {
  EXPECT_EQ(ReadReplyField("<html><body>x <Error>OK</Error> y</body>", "Error", kErrorCapacity),
            "OK");
  EXPECT_EQ(ReadReplyField("<Error>OK</Error>", "Error", kErrorCapacity), "OK");
  EXPECT_EQ(ReadReplyField("<Reply>\r\n<Error>No such package</Error>\r\n</Reply>", "Error",
                           kErrorCapacity),
            "No such package");
}

TEST(ReadReplyField, DecodesTheThreeCharacterReferencesOnly) {
  EXPECT_EQ(ReadReplyField("<FileName>&#60;b&#62; &#38;</FileName>", "FileName", 128), "<b> &");
  EXPECT_EQ(ReadReplyField("<FileName>&#60;b&#62; &amp; &lt; &#39;</FileName>", "FileName", 128),
            "<b> &amp; &lt; &#39;");
}

TEST(ReadReplyField, ReferenceCountsAsOneCharacterOfCapacity) {
  EXPECT_EQ(ReadReplyField("<B>&#60;&#60;&#60;&#60;</B>", "B", 4), "<<<");
}

TEST(ReadReplyField, NameMustMatchExactlyInsideTheBrackets) {
  EXPECT_EQ(ReadReplyField("<Error code=\"1\">OK</Error>", "Error", kErrorCapacity), "");
  EXPECT_EQ(ReadReplyField("<Error >OK</Error>", "Error", kErrorCapacity), "");
  EXPECT_EQ(ReadReplyField("<error>OK</error>", "Error", kErrorCapacity), "");
  EXPECT_EQ(ReadReplyField("<ERROR>OK</ERROR>", "Error", kErrorCapacity), "");
  EXPECT_EQ(ReadReplyField("<Errors>OK</Errors>", "Error", kErrorCapacity), "");
}

TEST(ReadReplyField, ValueWithoutClosingTagRunsToTheEnd) {
  EXPECT_EQ(ReadReplyField("<Build>4.1 and the rest", "Build", kBuildCapacity), "4.1 and the rest");
  EXPECT_EQ(ReadReplyField("<Build>4.1</build>", "Build", kBuildCapacity), "4.1</build>");
}

TEST(ReadReplyField, ValueIsCutToCapacityLessOne) {
  const std::string forty = "0123456789012345678901234567890123456789";
  EXPECT_EQ(ReadReplyField("<Build>" + forty + "</Build>", "Build", kBuildCapacity),
            forty.substr(0, 31));
  EXPECT_EQ(ReadReplyField("<Build>x</Build>", "Build", 1), "");
}

TEST(ReadReplyField, ElementAtTheVeryEndNeedsOneCharacterAfterItsTag) {
  // The scan stops before an opening tag with nothing after it.
  EXPECT_EQ(ReadReplyField("<Build>", "Build", kBuildCapacity), "");
  EXPECT_EQ(ReadReplyField("<Build>7", "Build", kBuildCapacity), "7");
}

TEST(ReadReplyField, EmptyElementIsEmpty) {
  EXPECT_EQ(ReadReplyField("<Build></Build><Error>OK</Error>", "Build", kBuildCapacity), "");
}

TEST(ReadReplyField, TextEndsAtItsFirstNul) {
  EXPECT_EQ(ReadReplyField(std::string_view("<Build>12\0 34</Build>", 21), "Build", 32), "12");
}

// A second occurrence replaces the first whole: no tail of a longer earlier value remains.
TEST(ReadReplyField, LastOccurrenceWinsWhole) {
  EXPECT_EQ(ReadReplyField("<Build>123456</Build><Build>ab</Build>", "Build", kBuildCapacity),
            "ab");
  EXPECT_EQ(ReadReplyField("<Build>123456</Build><Build></Build>", "Build", kBuildCapacity), "");
}

TEST(ReplyNumber, ReadsLeadingDigitsLikeAtol) {
  EXPECT_EQ(ReplyNumber(ReadReplyField("<Time>093000</Time>", "Time", kTimeCapacity)), 93000);
  EXPECT_EQ(ReplyNumber(ReadReplyField("<Error>OK</Error>", "Time", kTimeCapacity)), 0);
  EXPECT_EQ(ReplyNumber(" 42abc"), 42);
  EXPECT_EQ(ReplyNumber("-7"), -7);
  EXPECT_EQ(ReplyNumber("abc"), 0);
  EXPECT_EQ(ReplyNumber(""), 0);
  EXPECT_EQ(ReplyNumber("16843010"), 16843010);
}

}  // namespace
}  // namespace vornix
