#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "sim/mount.h"
#include "sim/sky_catalogue.h"

namespace qlm::sim {
namespace {

double separationArcmin(double ra1_h, double dec1_deg, double ra2_h, double dec2_deg) {
  constexpr double d = 3.14159265358979323846 / 180.0;
  const double c = std::sin(dec1_deg * d) * std::sin(dec2_deg * d) +
                   std::cos(dec1_deg * d) * std::cos(dec2_deg * d) * std::cos((ra1_h - ra2_h) * 15.0 * d);
  return std::acos(std::min(1.0, c)) / d * 60.0;
}

struct Place {
  int star_number;
  std::time_t when;
  double ra_h;
  double dec_deg;
  double within_arcmin;
};

class PlanetTest : public ::testing::TestWithParam<Place> {};

TEST_P(PlanetTest, StandsWhereTheEphemerisPutsIt) {
  const Place& p = GetParam();
  const auto planet = planetPosition(p.star_number, p.when);
  ASSERT_TRUE(planet.has_value());
  EXPECT_LT(separationArcmin(planet->ra_hours, planet->dec_deg, p.ra_h, p.dec_deg), p.within_arcmin)
      << planet->name << " at " << planet->ra_hours << " h " << planet->dec_deg << " deg";
}

// Astrometric J2000 places of JPL Horizons at 2000-01-01 12:00 TT, and Venus at 1992-12-20 0h TD as
// an almanac gives it (apparent, of date: seven years of precession add some 6').
constexpr std::time_t kJ2000 = 946727936;
INSTANTIATE_TEST_SUITE_P(Ephemeris, PlanetTest,
                         ::testing::Values(Place{901, kJ2000, 18.1390, -24.4204, 3.0},
                                           Place{904, kJ2000, 22.0350, -13.1805, 3.0},
                                           Place{905, kJ2000, 1.5913, 8.5959, 10.0},
                                           Place{906, kJ2000, 2.5844, 12.6163, 10.0},
                                           Place{902, 724809600, 21.0782, -18.8880, 12.0}));

TEST(SkyCatalogue, PlanetsMoveWithTheDateAndJupiterMetSaturnIn2020) {
  const std::time_t conjunction = 1608573600;  // 2020-12-21 18:00 UT, the two 6' apart
  const auto jupiter = planetPosition(905, conjunction);
  const auto saturn = planetPosition(906, conjunction);
  ASSERT_TRUE(jupiter && saturn);
  EXPECT_LT(separationArcmin(jupiter->ra_hours, jupiter->dec_deg, saturn->ra_hours, saturn->dec_deg), 15.0);
  const auto later = planetPosition(905, conjunction + 180 * 86400);
  EXPECT_GT(separationArcmin(jupiter->ra_hours, jupiter->dec_deg, later->ra_hours, later->dec_deg), 600.0);
  EXPECT_FALSE(planetPosition(903, conjunction).has_value());  // the Earth's own number
  EXPECT_FALSE(libraryObject('s', 910, conjunction).has_value());
}

TEST(SkyCatalogue, HoldsEveryMessierObjectAndTheNgcNumbersItNames) {
  for (int m = 1; m <= 110; ++m) {
    const auto object = libraryObject('m', m, 0);
    ASSERT_TRUE(object.has_value()) << m;
    EXPECT_EQ(object->name.rfind("M" + std::to_string(m) + " ", 0), 0u) << object->name;
    EXPECT_TRUE(object->ra_hours >= 0 && object->ra_hours < 24 && std::abs(object->dec_deg) < 90) << m;
  }
  const auto m2 = libraryObject('m', 2, 0);
  EXPECT_LT(separationArcmin(m2->ra_hours, m2->dec_deg, 21.0 + 33.5 / 60, -(49.0 / 60)), 2.0);
  const auto ngc = libraryObject('c', 7089, 0);
  ASSERT_TRUE(ngc.has_value());
  EXPECT_EQ(ngc->name, "NGC7089 Globular Cluster");
  EXPECT_EQ(ngc->ra_hours, m2->ra_hours);
  EXPECT_EQ(libraryObject('c', 224, 0)->name, "NGC224 Andromeda Galaxy");
  for (int missing : {0, 1, 7815})
    EXPECT_FALSE(libraryObject('c', missing, 0).has_value()) << missing;
  EXPECT_FALSE(libraryObject('m', 111, 0).has_value());
}

// The mount answers from its library: a planet of its own date, and a refusal for what it lacks.
TEST(SkyCatalogue, MountSlewsToLibraryObjectsAndRefusesOthers) {
  const std::time_t start = 1608573600;
  Mount m({}, 1000, start);
  auto send = [&m](const std::string& bytes, std::uint32_t at_ms) {
    m.receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), at_ms);
  };
  auto take = [&m](std::uint32_t at_ms) {
    std::string out(64, '\0');
    out.resize(m.reply(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), at_ms));
    return out;
  };
  send("#:LS 0905##:LI#", 1000);
  EXPECT_EQ(take(1000), "Jupiter#");
  send("#:MS#", 1000);
  EXPECT_EQ(take(1000), "0");
  const auto jupiter = planetPosition(905, start);
  const std::uint32_t arrived = 1000 + 200000;
  EXPECT_NEAR(m.axesAt(arrived).ra_arcsec, jupiter->ra_hours * 54000.0, 1e-6);
  EXPECT_NEAR(m.axesAt(arrived).dec_arcsec, jupiter->dec_deg * 3600.0, 1e-6);
  send("#:LC 0001##:LI##:MS#", arrived);
  EXPECT_EQ(take(arrived), "Not in library#1Object not in library#");
}

}  // namespace
}  // namespace qlm::sim
