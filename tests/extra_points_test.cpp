// The stretch planner of the extra points, on its own: directions, distances, steps, speed, course
// and increments from the two ends of a stretch.
#include "motion/extra_points.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();  // no course: it is kept
constexpr AxisDirection kUp = AxisDirection::kUp;
constexpr AxisDirection kDown = AxisDirection::kDown;
constexpr AxisDirection kStill = AxisDirection::kNone;

TEST(StretchPlan, GivesTheStepsCourseSpeedAndIncrementsOfAStretch) {
  const struct {
    const char* what;
    GeoPoint from, to;
    double stepMetres, periodSeconds;
    AxisDirection latitude, longitude;
    // North and east distance, latitude and longitude step (metres), speed, course, latitude and
    // longitude increment.
    double expected[8];
  } cases[] = {
      // clang-format off
      {"the worked example", {50, 8}, {50.002, 8.003}, 100, 1, kUp, kUp,
       {222.4968, 333.9576, 55.4456, 129.4748, 780.0472, 49.4210, 7.74903e-4, 1.16383e-3}},
      {"south-east, with the target's cosine", {50, 8}, {49.998, 8.003}, 100, 1, kDown, kUp,
       {222.4968, 333.9576, 55.4456, 129.4640, 780.0472, 130.5814, 7.74839e-4, 1.16374e-3}},
      {"along a parallel", {50, 8}, {50, 8.003}, 100, 1, kStill, kUp,
       {0, 333.9576, 1, 155.5724, 649.1655, 90, 1.39753e-5, 1.39842e-3}},
      {"along a meridian", {50, 8}, {49.998, 8}, 100, 1, kDown, kStill,
       {222.4968, 0, 100, 1, 432.5017, 180, 1.39748e-3, 8.98889e-6}},
      {"a negative step, half a second", {50, 8}, {50.002, 8.003}, -5, 0.5, kUp, kUp,
       {222.4968, 333.9576, 1, 1, 1560.0944, 26.5651, 1.39759e-5, 8.98889e-6}},
      {"across the equator and the prime meridian", {-0.001, -0.002}, {0.001, 0.002}, 100, 1, kUp,
       kUp, {222.4968, 445.2768, 44.6986, 89.4541, 967.5957, 45.0182, 4.01535e-4, 8.04093e-4}},
      {"no length: the course is kept", {50, 8}, {50, 8}, 100, 1, kStill, kStill,
       {0, 0, 1, 1, 0, kNone, 1.39753e-5, 8.98889e-6}},
      // Distances whose squares underflow give a length of 0: a step formed with it is 1 metre,
      // never infinite, and the course is that of two 1-metre steps.
      {"a length that underflows", {1e-170, 1e-170}, {2e-170, 2e-170}, 100, 1, kUp, kUp,
       {0, 0, 1, 1, 0, 26.5651, 8.98318e-6, 8.98889e-6}},
      // clang-format on
  };
  for (const auto& c : cases) {
    const StretchPlan plan = PlanStretch(c.from, c.to, c.stepMetres, c.periodSeconds);
    ASSERT_TRUE(plan.filled) << c.what;
    EXPECT_EQ(plan.latitudeDirection, c.latitude) << c.what;
    EXPECT_EQ(plan.longitudeDirection, c.longitude) << c.what;
    const double course = plan.courseDegrees ? *plan.courseDegrees : kNone;
    const double got[] = {plan.northMetres,         plan.eastMetres, plan.latitudeStepMetres,
                          plan.longitudeStepMetres, plan.speedKnots, course};
    for (int i = 0; i < 6; ++i) {
      if (std::isnan(c.expected[i]) || std::isnan(got[i])) {
        EXPECT_EQ(std::isnan(c.expected[i]), std::isnan(got[i])) << c.what << ", value " << i;
      } else {
        EXPECT_NEAR(got[i], c.expected[i], 1e-3) << c.what << ", value " << i;
      }
    }
    EXPECT_NEAR(plan.latitudeIncrement / c.expected[6], 1, 1e-5) << c.what;
    EXPECT_NEAR(plan.longitudeIncrement / c.expected[7], 1, 1e-5) << c.what;
  }
}

TEST(StretchPlan, LeavesStretchesToAbsentOrImpossibleEndsUnfilled) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    GeoPoint from, to;
  } cases[] = {{{50, 8}, {0, 8}},     {{50, 8}, {50, 0}},    {{50, 8}, {95, 8}},
               {{50, -181}, {50, 8}}, {{50, 8}, {50, -inf}}, {{kNone, 8}, {50, 8}}};
  for (const auto& c : cases) {
    EXPECT_FALSE(PlanStretch(c.from, c.to, 100, 1).filled)
        << c.from.latitude << "," << c.from.longitude << " to " << c.to.latitude << ","
        << c.to.longitude;
  }
}

}  // namespace
}  // namespace wayloom
