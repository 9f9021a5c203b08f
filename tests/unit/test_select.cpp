// ringpick's distance of an event from the reference point: the exact
// coincidence rule (radians and depth compared as 32-bit floats) in front of
// hypo_distance.
#include <bit>
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "select.h"

namespace {

enum class Want : uint8_t {
    zero,     // the coincidence rule: exactly 0 km, no formula
    formula,  // hypo_distance from the reference's degrees, bit for bit
};

struct Row {
    const char* what;
    float ref_lat, ref_lon, ref_dep;  // reference, degrees and km
    float lat, lon, dep;              // event, degrees and km
    Want want;
};

// At latitude 38 the formula rounds its cosine term for two points at one
// place past 1 and gives NaN, so a coincidence shows only through the rule.
// 120 and 120.000008 are neighbouring 32-bit floats whose products with
// DEG_TO_RAD are the same float: equal in radians, unequal in degrees.
const Row ROWS[] = {
    {"same place and depth", 38.0f, 120.0f, 20.0f, 38.0f, 120.0f, 20.0f, Want::zero},
    {"equal in radians only", 38.0f, 120.0f, 20.0f, 38.0f, 120.000008f, 20.0f, Want::zero},
    {"negative zeros", 0.0f, -0.0f, 10.0f, -0.0f, 0.0f, 10.0f, Want::zero},
    {"another depth", 38.0f, 120.0f, 20.0f, 38.0f, 120.0f, 35.0f, Want::formula},
    {"next latitude", 38.0f, 120.0f, 20.0f, 38.0000038f, 120.0f, 20.0f, Want::formula},
    {"NaN depth on both", 38.0f, 120.0f, NAN, 38.0f, 120.0f, NAN, Want::formula},
    {"NaN latitude on both", NAN, 120.0f, 20.0f, NAN, 120.0f, 20.0f, Want::formula},
    {"elsewhere", 38.0f, 120.0f, 20.0f, 36.5f, 121.25f, 10.0f, Want::formula},
};

TEST(PickDistance, CoincidenceRuleBeforeTheFormula) {
    for (const Row& r : ROWS) {
        SCOPED_TRACE(r.what);
        SelectionParameters p{};
        p.ref_lat = r.ref_lat;
        p.ref_lon = r.ref_lon;
        p.ref_dep = r.ref_dep;
        p.search_radius = 100.0f;
        const SelectionRun run = start_selection(p);
        CatalogEvent ev{};
        ev.lat = r.lat;
        ev.lon = r.lon;
        ev.dep = r.dep;
        const float got = pick_distance(run, ev);
        const float formula = hypo_distance(r.ref_lat, r.ref_lon, r.ref_dep, r.lat, r.lon, r.dep);
        if (r.want == Want::zero) {
            EXPECT_EQ(std::bit_cast<uint32_t>(got), 0u) << got;
        } else if (std::isnan(formula)) {
            EXPECT_TRUE(std::isnan(got)) << got;
        } else {
            EXPECT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(formula)) << got << " vs " << formula;
        }
    }
}

// The rows above only tell the rule from the formula where the formula does
// not give 0 for the same place; check that the fixture still has that.
TEST(PickDistance, FixtureFormulaIsNotZeroAtTheSamePlace) {
    const float d = hypo_distance(38.0f, 120.0f, 20.0f, 38.0f, 120.000008f, 20.0f);
    EXPECT_FALSE(d == 0.0f) << d;
}

}  // namespace
