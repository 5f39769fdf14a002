#include <gtest/gtest.h>

#include "sender/command_line.h"

namespace kst {
namespace {

using TKind = TCommandLineRequest::TKind;

TEST(ParseCommandLine, ComputerNameIsLowerCasedAndTrimmed) {
  auto r = ParseCommandLine("\"C:\\Program Files\\Kestrune\\kestrune.exe\" /Office-PC");
  EXPECT_EQ(r.Kind, TKind::Computer);
  EXPECT_EQ(r.Argument, "office-pc");
  r = ParseCommandLine("kestrune.exe / Office PC  \t");
  EXPECT_EQ(r.Kind, TKind::Computer);
  EXPECT_EQ(r.Argument, "office pc");  // inner blanks stay
}

TEST(ParseCommandLine, AllInAnyCase) {
  EXPECT_EQ(ParseCommandLine("kestrune.exe /all!").Kind, TKind::All);
  EXPECT_EQ(ParseCommandLine("kestrune.exe /ALL!").Kind, TKind::All);
  EXPECT_EQ(ParseCommandLine("kestrune.exe /all! ").Kind, TKind::All);
  EXPECT_EQ(ParseCommandLine("kestrune.exe /all!x").Kind, TKind::Computer);
}

TEST(ParseCommandLine, OneRunServesOneArgument) {
  const auto r = ParseCommandLine("kestrune.exe /pc1 /pc2");
  EXPECT_EQ(r.Kind, TKind::Computer);
  EXPECT_EQ(r.Argument, "pc1 /pc2");  // names no computer: the warning follows
}

TEST(ParseCommandLine, MissingOrMisplacedSlashAsksForUsage) {
  EXPECT_EQ(ParseCommandLine("kestrune.exe office-pc").Kind, TKind::Usage);
  EXPECT_EQ(ParseCommandLine("kestrune.exe /").Kind, TKind::Usage);  // "/" is the last character
  EXPECT_EQ(ParseCommandLine("/all!").Kind, TKind::Usage);           // "/" is the first character
  EXPECT_EQ(ParseCommandLine("").Kind, TKind::Usage);
}

TEST(ParseCommandLine, SlashInProgramPathStartsTheArgument) {
  const auto r = ParseCommandLine("C:/Tools/kestrune.exe /pc1");
  EXPECT_EQ(r.Kind, TKind::Computer);
  EXPECT_EQ(r.Argument, "tools/kestrune.exe /pc1");
}

TEST(ParseCommandLine, QuotedArgumentLosesItsClosingQuote) {
  auto r = ParseCommandLine("kestrune.exe \"/Lab PC\"");
  EXPECT_EQ(r.Kind, TKind::Computer);
  EXPECT_EQ(r.Argument, "lab pc");
  EXPECT_EQ(ParseCommandLine("\"C:\\Program Files\\kestrune.exe\" \"/all!\" ").Kind, TKind::All);
  // A quote that nothing before the "/" opened belongs to the name.
  EXPECT_EQ(ParseCommandLine("\"C:\\kestrune.exe\" /pc\"").Argument, "pc\"");
}

TEST(CommandLineTexts, UsageAndNotFound) {
  const std::string usage = UsageText();
  EXPECT_EQ(usage.substr(0, 29), "Kestrune command line mode:\r\n");
  EXPECT_NE(usage.find("\r\n   /all! - sends magic packets to all listed computers."), std::string::npos);
  EXPECT_EQ(usage.back(), '.');
  EXPECT_EQ(NotFoundText("office pc"), "Computer office pc not found in the list.\r\n\r\n" + usage);
}

}  // namespace
}  // namespace kst
