#include "http/cookies.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

struct MergeCase {
  std::string name;
  std::string oldCookies;
  std::string newCookies;
  std::string merged;
  std::string newAfter;  // the caller's new-cookie variable on return
};

void PrintTo(const MergeCase& row, std::ostream* out) {
  *out << row.name;
}

class MergeCookiesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, MergesAndWritesBothVariables) {
  const MergeCase& c = GetParam();
  Text oldCookies(c.oldCookies);
  Text newCookies(c.newCookies);
  const Text merged = MergeCookies(oldCookies, newCookies);
  EXPECT_EQ(merged.bytes(), c.merged);
  EXPECT_EQ(oldCookies.bytes(), c.merged);
  EXPECT_EQ(newCookies.bytes(), c.newAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeCookiesTest,
    ::testing::Values(
        MergeCase{"NewValueWins_newFirst", "a=1; b=2", "b=3", "b=3; a=1", "b=3"},
        MergeCase{"DeletedDropsOutAndKeepsOldOut", "a=1; b=2", "b=deleted", "a=1", "b=deleted"},
        MergeCase{"OldDeletedDropsOut", "a=deleted; c=4", "", "c=4", ""},
        MergeCase{"ExactRepeat", "a=1", "a=1", "a=1", "a=1"},
        MergeCase{"NewPiecesOfOneNameAllStay", "a=1", "a=2;a=3", "a=2; a=3", "a=2;a=3"},
        MergeCase{"FirstOldPieceOfANameWins", "a=1;a=5", "", "a=1", ""},
        MergeCase{"BlanksRemovedEverywhere", "", "x = 1; y=2", "x=1; y=2", "x=1;y=2"},
        MergeCase{"IdeographicSpaceRemoved", "", "k=\xA1\xA1v", "k=v", "k=v"},
        MergeCase{"BothEmpty", "", "", "", ""},
        MergeCase{"OneEmptyPieceSurvives", "", "a=1;;b=2", "a=1; ; b=2", "a=1;;b=2"},
        MergeCase{"SecondEmptyPieceIsARepeat", "", "a=1;;b=2;;c=3", "a=1; ; b=2; c=3",
                  "a=1;;b=2;;c=3"},
        MergeCase{"TrailingSeparatorGivesNoPiece", "z=0;", "a=1;", "a=1; z=0", "a=1;"},
        MergeCase{"NamesCompareWithCase", "A=1", "a=2", "a=2; A=1", "a=2"},
        MergeCase{"PieceWithoutEqualsIsAllName", "flag; b=1", "flag", "flag; b=1", "flag"}),
    [](const auto& row) { return row.param.name; });

TEST(CookieNameTest, TrimmedTextBeforeFirstEquals) {
  EXPECT_EQ(CookieName(" sid =a=b").bytes(), "sid");
  EXPECT_EQ(CookieName("flag").bytes(), "flag");
  EXPECT_EQ(CookieName("=v").bytes(), "");
}

TEST(RemoveDuplicatePiecesTest, KeepsFirstOfWholeRepeatsOnly) {
  EXPECT_EQ(RemoveDuplicatePieces("", "; ").bytes(), "");
  EXPECT_EQ(RemoveDuplicatePieces("a=1; a=2; a=1", "; ").bytes(), "a=1; a=2");
}

TEST(IndexOfTextTest, CountsFromOne) {
  const TextArray list = {"x", "y", "y"};
  EXPECT_EQ(IndexOfText(list, "y"), 2);
  EXPECT_EQ(IndexOfText(list, "z"), kNotFound);
}

}  // namespace
}  // namespace tessaly
