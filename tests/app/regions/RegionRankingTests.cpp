// The ranking rules: stable canonical sort by country name, the best region among the nearest (or
// all), the saturating score, and the renamed copy that goes first.
#include "app/controllers/RegionRanking.h"
#include "tests/app/regions/RegionTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using regiontest::ids;
using regiontest::names;
using regiontest::regions;
using regiontest::Sample;
namespace rr = region_ranking;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(RegionRankingTest, NearestWithTheSmallestScoreGoesFirstRenamed) {
    auto list =
        regions({{1, "Spain", false, 10, 0}, {2, "Austria", true, 900, 40}, {3, "Poland", true, 800, 10}});
    EXPECT_TRUE(rr::rank(list));
    EXPECT_EQ(names(list), (std::vector<std::string>{"Optimal region\nPoland", "Austria", "Spain"}));
    EXPECT_EQ(ids(list), (std::vector<int64_t>{3, 2, 1}));
    EXPECT_EQ(list[0].server_domain, "r3.vpn.example") << "every other field is copied unchanged";
    EXPECT_EQ(list[0].distance, 800);
}

TEST(RegionRankingTest, SortIsStableCaseSensitiveAndCanonical) {
    auto list = regions({{1, "b"}, {2, "B"}, {3, "a"}, {4, "B"}});
    rr::sortByCountryName(list);
    EXPECT_EQ(ids(list), (std::vector<int64_t>{2, 4, 3, 1}))
        << "upper case first; equal names keep reply order";

    // "é" precomposed and as "e" + combining acute are the same name: reply order decides.
    auto accents =
        regions({{1, "Re\u0301union"}, {2, "R\u00e9union"}, {3, "Rf"}, {4, "Re\u0301union"}, {5, "Rz"}});
    rr::sortByCountryName(accents);
    EXPECT_EQ(ids(accents), (std::vector<int64_t>{3, 5, 1, 2, 4})) << "U+00E9 sorts after every ASCII letter";
}

TEST(RegionRankingTest, EarliestOfEqualScoresWinsAfterSorting) {
    auto list =
        regions({{1, "Italy", true, 50, 50}, {2, "France", true, 90, 10}, {3, "Greece", true, 100, 0}});
    rr::rank(list);
    EXPECT_EQ(list[0].id, 2) << "France sorts first among the equal scores";
    EXPECT_EQ(names(list)[1], "Greece");
}

TEST(RegionRankingTest, MissingDistanceCountsAsTheLargest) {
    auto list = regions({{1, "Austria", true, std::nullopt, 0}, {2, "Belgium", true, kMax - 100, 50}});
    EXPECT_EQ(rr::score(list[0]), kMax);
    EXPECT_EQ(rr::score(list[1]), kMax - 50);
    EXPECT_EQ(list[*rr::bestRegion(list).index].id, 2);

    auto none = regions({{1, "Chile", true, std::nullopt, 5}, {2, "Brazil", true, std::nullopt, 1}});
    rr::rank(none);
    EXPECT_EQ(none[0].id, 2) << "all without distance: scores saturate equal, the first sorted wins";
}

TEST(RegionRankingTest, ScoreSaturatesAtBothEnds) {
    auto list = regions({{1, "A", false, kMax - 1, 10}, {2, "B", false, std::nullopt, -5}});
    EXPECT_EQ(rr::score(list[0]), kMax);
    EXPECT_EQ(rr::score(list[1]), kMax - 5) << "a negative load still lowers a missing distance";
    list[0].distance = std::numeric_limits<int64_t>::min() + 3;
    list[0].load_percentage = -10;
    EXPECT_EQ(rr::score(list[0]), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(rr::bestRegion(list).index, 0u);
}

TEST(RegionRankingTest, WithoutNearestTheBestIsChosenAmongAll) {
    auto list =
        regions({{1, "Norway", false, 300, 0}, {2, "Denmark", false, 500, 0}, {3, "Estonia", false, 100, 1}});
    EXPECT_FALSE(rr::rank(list));
    EXPECT_EQ(names(list), (std::vector<std::string>{"Optimal region\nEstonia", "Denmark", "Norway"}));
}

TEST(RegionRankingTest, SingleEmptyAndDuplicateIds) {
    auto single = regions({{7, "Japan", false, std::nullopt, 0}});
    EXPECT_FALSE(rr::rank(single));
    EXPECT_EQ(names(single), (std::vector<std::string>{"Optimal region\nJapan"}));

    std::vector<VPNRegion> empty;
    rr::Best best = rr::bestRegion(empty);
    EXPECT_FALSE(best.index);
    EXPECT_FALSE(best.anyNearest);

    auto dup = regions({{5, "Peru", true, 1, 1}, {6, "Chile", false, 9, 9}, {5, "Peru", false, 500, 0}});
    rr::rank(dup);
    EXPECT_EQ(ids(dup), (std::vector<int64_t>{5, 6}))
        << "every record with the best id goes; only the copy stays";
    EXPECT_EQ(dup[0].country_name, "Optimal region\nPeru");
}

} // namespace
