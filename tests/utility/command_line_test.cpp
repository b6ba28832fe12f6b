#include "updater/core/command_line.h"

#include <gtest/gtest.h>

#include "platform/process.h"

namespace vornix {
namespace {

// The command line the program receives, as a started program sees it.
RunOptions Parse(std::vector<std::string> words) {
  return ParseCommandLine(JoinCommandLine(words));
}

TEST(CommandLineNoArguments, PathWithoutBlankHasNoSelector) {
  const RunOptions o = Parse({"/opt/vornix/VornixUpdate"});
  EXPECT_FALSE(o.hasSelector);
  EXPECT_FALSE(o.m_quiet || o.m_restart || o.m_appStart);
}

TEST(CommandLineNoArguments, PathWithBlankGivesItsTailAsSelector) {
  const RunOptions o = Parse({"/opt/Arvel Apps/VornixUpdate"});
  ASSERT_TRUE(o.hasSelector);
  // The path arrives quoted; its tail after the blank keeps the closing quote.
  EXPECT_EQ(o.m_selector, "Apps/VornixUpdate\"");
}

TEST(CommandLineOptions, ServiceStartLine) {
  const RunOptions o = Parse({"/opt/vornix/VornixUpdate", "ALL", "quiet", "restart"});
  EXPECT_EQ(o.m_selector, "ALL");
  EXPECT_TRUE(o.m_quiet);
  EXPECT_TRUE(o.m_restart);
  EXPECT_FALSE(o.m_appStart);
}

TEST(CommandLineOptions, OptionWordBeforeSelector) {
  const RunOptions o = Parse({"VornixUpdate", "quiet", "qorax"});
  EXPECT_EQ(o.m_selector, "qorax");
  EXPECT_TRUE(o.m_quiet);
  EXPECT_FALSE(o.m_restart || o.m_appStart);
}

TEST(CommandLineOptions, AppStartIsFoundAndRestartIsNot) {
  const RunOptions o = Parse({"VornixUpdate", "appstart", "vornet"});
  EXPECT_EQ(o.m_selector, "vornet");
  EXPECT_TRUE(o.m_appStart);
  EXPECT_FALSE(o.m_restart);
}

TEST(CommandLineOptions, CapitalisedWordIsNotAnOptionAndBecomesSelector) {
  const RunOptions o = Parse({"VornixUpdate", "ALL", "QUIET"});
  EXPECT_EQ(o.m_selector, "QUIET");
  EXPECT_FALSE(o.m_quiet);
}

TEST(CommandLineOptions, WordInsideLongerWordIsCutOut) {
  const RunOptions o = Parse({"VornixUpdate", "abcquietdef"});
  EXPECT_TRUE(o.m_quiet);
  EXPECT_EQ(o.m_selector, "abcdef");
}

TEST(CommandLineOptions, TwoPlainWordsTakeTheSecond) {
  const RunOptions o = Parse({"VornixUpdate", "qorax", "vornet"});
  EXPECT_EQ(o.m_selector, "vornet");
}

TEST(CommandLineOptions, RestartTwiceIsRemovedTwice) {
  const RunOptions o = Parse({"VornixUpdate", "restart", "qorax", "restart"});
  EXPECT_TRUE(o.m_restart);
  EXPECT_EQ(o.m_selector, "qorax");
}

TEST(CommandLineOptions, OnlyOptionWordsLeaveTheProgramPathAlone) {
  // "VornixUpdate quiet" loses "quiet", and with it the last blank: no selector.
  const RunOptions o = Parse({"VornixUpdate", "quiet"});
  EXPECT_TRUE(o.m_quiet);
  EXPECT_FALSE(o.hasSelector);
}

TEST(CommandLineOptions, RestartCutFirstCanJoinWords) {
  // Cutting "restart" out of "prerestartquiet" leaves "prequiet", from which "quiet" goes too.
  const RunOptions o = Parse({"VornixUpdate", "prerestartquiet"});
  EXPECT_TRUE(o.m_restart);
  EXPECT_TRUE(o.m_quiet);
  EXPECT_EQ(o.m_selector, "pre");
}

TEST(CommandLineOptions, SelectorKeepsOwnCase) {
  const RunOptions o = Parse({"VornixUpdate", "all"});
  EXPECT_EQ(o.m_selector, "all");
}

}  // namespace
}  // namespace vornix
