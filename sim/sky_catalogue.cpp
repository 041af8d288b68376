#include "sim/sky_catalogue.h"

#include <array>
#include <cmath>

namespace qlm::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// One Messier object: its number, the NGC number it also has (0: none), position (J2000) and name.
struct Messier {
  int m;
  int ngc;
  double ra_hours;
  double dec_deg;
  const char* name;
};

constexpr const char* kGlobular = "Globular Cluster";
constexpr const char* kOpen = "Open Cluster";
constexpr const char* kGalaxy = "Galaxy";

constexpr std::array<Messier, 110> kMessier = {{
    {1, 1952, 5.5756, 22.0145, "Crab Nebula"},
    {2, 7089, 21.5578, -0.8233, kGlobular},
    {3, 5272, 13.7033, 28.3833, kGlobular},
    {4, 6121, 16.3931, -26.5256, kGlobular},
    {5, 5904, 15.3092, 2.0808, kGlobular},
    {6, 6405, 17.6722, -32.2533, "Butterfly Cluster"},
    {7, 6475, 17.8975, -34.7833, "Ptolemy Cluster"},
    {8, 6523, 18.0603, -24.3869, "Lagoon Nebula"},
    {9, 6333, 17.3197, -18.5161, kGlobular},
    {10, 6254, 16.9525, -4.0994, kGlobular},
    {11, 6705, 18.8514, -6.2700, "Wild Duck Cluster"},
    {12, 6218, 16.7872, -1.9486, kGlobular},
    {13, 6205, 16.6947, 36.4603, "Hercules Cluster"},
    {14, 6402, 17.6267, -3.2458, kGlobular},
    {15, 7078, 21.4994, 12.1669, kGlobular},
    {16, 6611, 18.3133, -13.8167, "Eagle Nebula"},
    {17, 6618, 18.3406, -16.1767, "Omega Nebula"},
    {18, 6613, 18.3328, -17.1017, kOpen},
    {19, 6273, 17.0439, -26.2678, kGlobular},
    {20, 6514, 18.0397, -23.0300, "Trifid Nebula"},
    {21, 6531, 18.0703, -22.4900, kOpen},
    {22, 6656, 18.6067, -23.9033, "Sagittarius Cluster"},
    {23, 6494, 17.9483, -19.0300, kOpen},
    {24, 6603, 18.2833, -18.4833, "Sagittarius Star Cloud"},
    {25, 0, 18.5297, -19.1150, kOpen},
    {26, 6694, 18.7550, -9.3833, kOpen},
    {27, 6853, 19.9933, 22.7211, "Dumbbell Nebula"},
    {28, 6626, 18.4092, -24.8697, kGlobular},
    {29, 6913, 20.3992, 38.5083, kOpen},
    {30, 7099, 21.6728, -23.1789, kGlobular},
    {31, 224, 0.7123, 41.2692, "Andromeda Galaxy"},
    {32, 221, 0.7117, 40.8653, kGalaxy},
    {33, 598, 1.5642, 30.6603, "Triangulum Galaxy"},
    {34, 1039, 2.7017, 42.7617, kOpen},
    {35, 2168, 6.1483, 24.3333, kOpen},
    {36, 1960, 5.6050, 34.1400, kOpen},
    {37, 2099, 5.8717, 32.5533, kOpen},
    {38, 1912, 5.4783, 35.8483, kOpen},
    {39, 7092, 21.5300, 48.4333, kOpen},
    {40, 0, 12.3700, 58.0833, "Double Star"},
    {41, 2287, 6.7667, -20.7500, kOpen},
    {42, 1976, 5.5881, -5.3911, "Orion Nebula"},
    {43, 1982, 5.5919, -5.2672, "De Mairan's Nebula"},
    {44, 2632, 8.6733, 19.6667, "Beehive Cluster"},
    {45, 0, 3.7900, 24.1167, "Pleiades"},
    {46, 2437, 7.6961, -14.8100, kOpen},
    {47, 2422, 7.6100, -14.4833, kOpen},
    {48, 2548, 8.2300, -5.7500, kOpen},
    {49, 4472, 12.4964, 8.0006, kGalaxy},
    {50, 2323, 7.0450, -8.3833, kOpen},
    {51, 5194, 13.4981, 47.1953, "Whirlpool Galaxy"},
    {52, 7654, 23.4133, 61.5933, kOpen},
    {53, 5024, 13.2153, 18.1692, kGlobular},
    {54, 6715, 18.9175, -30.4783, kGlobular},
    {55, 6809, 19.6664, -30.9622, kGlobular},
    {56, 6779, 19.2764, 30.1836, kGlobular},
    {57, 6720, 18.8931, 33.0292, "Ring Nebula"},
    {58, 4579, 12.6286, 11.8181, kGalaxy},
    {59, 4621, 12.7006, 11.6469, kGalaxy},
    {60, 4649, 12.7278, 11.5528, kGalaxy},
    {61, 4303, 12.3653, 4.4736, kGalaxy},
    {62, 6266, 17.0203, -30.1122, kGlobular},
    {63, 5055, 13.2636, 42.0292, "Sunflower Galaxy"},
    {64, 4826, 12.9456, 21.6828, "Black Eye Galaxy"},
    {65, 3623, 11.3156, 13.0922, kGalaxy},
    {66, 3627, 11.3375, 12.9917, kGalaxy},
    {67, 2682, 8.8550, 11.8167, kOpen},
    {68, 4590, 12.6578, -26.7433, kGlobular},
    {69, 6637, 18.5231, -32.3492, kGlobular},
    {70, 6681, 18.7203, -32.2919, kGlobular},
    {71, 6838, 19.8964, 18.7792, kGlobular},
    {72, 6981, 20.8911, -12.5411, kGlobular},
    {73, 6994, 20.9833, -12.6333, "Asterism"},
    {74, 628, 1.6117, 15.7833, kGalaxy},
    {75, 6864, 20.1014, -21.9214, kGlobular},
    {76, 650, 1.7053, 51.5753, "Little Dumbbell Nebula"},
    {77, 1068, 2.7111, -0.0133, kGalaxy},
    {78, 2068, 5.7794, 0.0500, "Reflection Nebula"},
    {79, 1904, 5.4031, -24.5242, kGlobular},
    {80, 6093, 16.2839, -22.9750, kGlobular},
    {81, 3031, 9.9258, 69.0653, "Bode's Galaxy"},
    {82, 3034, 9.9311, 69.6797, "Cigar Galaxy"},
    {83, 5236, 13.6167, -29.8656, "Southern Pinwheel Galaxy"},
    {84, 4374, 12.4175, 12.8869, kGalaxy},
    {85, 4382, 12.4233, 18.1875, kGalaxy},
    {86, 4406, 12.4367, 12.9458, kGalaxy},
    {87, 4486, 12.5136, 12.3911, "Virgo A"},
    {88, 4501, 12.5331, 14.4203, kGalaxy},
    {89, 4552, 12.5942, 12.5564, kGalaxy},
    {90, 4569, 12.6139, 13.1628, kGalaxy},
    {91, 4548, 12.5908, 14.4961, kGalaxy},
    {92, 6341, 17.2853, 43.1367, kGlobular},
    {93, 2447, 7.7417, -23.8667, kOpen},
    {94, 4736, 12.8481, 41.1200, kGalaxy},
    {95, 3351, 10.7325, 11.7036, kGalaxy},
    {96, 3368, 10.7794, 11.8200, kGalaxy},
    {97, 3587, 11.2467, 55.0189, "Owl Nebula"},
    {98, 4192, 12.2300, 14.9003, kGalaxy},
    {99, 4254, 12.3139, 14.4164, kGalaxy},
    {100, 4321, 12.3819, 15.8225, kGalaxy},
    {101, 5457, 14.0536, 54.3492, "Pinwheel Galaxy"},
    {102, 5866, 15.1086, 55.7631, "Spindle Galaxy"},
    {103, 581, 1.5564, 60.6500, kOpen},
    {104, 4594, 12.6664, -11.6231, "Sombrero Galaxy"},
    {105, 3379, 10.7969, 12.5817, kGalaxy},
    {106, 4258, 12.3158, 47.3039, kGalaxy},
    {107, 6171, 16.5422, -13.0536, kGlobular},
    {108, 3556, 11.1919, 55.6739, kGalaxy},
    {109, 3992, 11.9600, 53.3744, kGalaxy},
    {110, 205, 0.6728, 41.6853, kGalaxy},
}};

// NGC objects beyond those of the Messier list.
struct Ngc {
  int ngc;
  double ra_hours;
  double dec_deg;
  const char* name;
};
constexpr Ngc kMoreNgc[] = {
    {253, 0.7925, -25.2883, "Sculptor Galaxy"},
    {7000, 20.9881, 44.5289, "North America Neb"},
    {7293, 22.4939, -20.8372, "Helix Nebula"},
};

// Mean orbital elements at J2000 and their rates per Julian century, for the mean ecliptic and equinox
// of J2000: semi-major axis (au), eccentricity, inclination, mean longitude, longitude of perihelion and
// of the ascending node (degrees). Valid from 1800 to 2050.
struct Elements {
  double a, e, i, l, peri, node;
};
struct Orbit {
  int star_number;
  const char* name;
  Elements at_j2000;
  Elements per_century;
};
constexpr Orbit kEarth = {903,
                          "Earth",
                          {1.00000261, 0.01671123, -0.00001531, 100.46457166, 102.93768193, 0.0},
                          {0.00000562, -0.00004392, -0.01294668, 35999.37244981, 0.32327364, 0.0}};
constexpr Orbit kPlanets[] = {
    {901,
     "Mercury",
     {0.38709927, 0.20563593, 7.00497902, 252.25032350, 77.45779628, 48.33076593},
     {0.00000037, 0.00001906, -0.00594749, 149472.67411175, 0.16047689, -0.12534081}},
    {902,
     "Venus",
     {0.72333566, 0.00677672, 3.39467605, 181.97909950, 131.60246718, 76.67984255},
     {0.00000390, -0.00004107, -0.00078890, 58517.81538729, 0.00268329, -0.27769418}},
    {904,
     "Mars",
     {1.52371034, 0.09339410, 1.84969142, -4.55343205, -23.94362959, 49.55953891},
     {0.00001847, 0.00007882, -0.00813131, 19140.30268499, 0.44441088, -0.29257343}},
    {905,
     "Jupiter",
     {5.20288700, 0.04838624, 1.30439695, 34.39644051, 14.72847983, 100.47390909},
     {-0.00011607, -0.00013253, -0.00183714, 3034.74612775, 0.21252668, 0.20469106}},
    {906,
     "Saturn",
     {9.53667594, 0.05386179, 2.48599187, 49.95424423, 92.59887831, 113.66242448},
     {-0.00125060, -0.00050991, 0.00193609, 1222.49362201, -0.41897216, -0.28867794}},
    {907,
     "Uranus",
     {19.18916464, 0.04725744, 0.77263783, 313.23810451, 170.95427630, 74.01692503},
     {-0.00196176, -0.00004397, -0.00242939, 428.48202785, 0.40805281, 0.04240589}},
    {908,
     "Neptune",
     {30.06992276, 0.00859048, 1.77004347, -55.12002969, 44.96476227, 131.78422574},
     {0.00026291, 0.00005105, 0.00035372, 218.45945325, -0.32241464, -0.00508664}},
    {909,
     "Pluto",
     {39.48211675, 0.24882730, 17.14001206, 238.92903833, 224.06891629, 110.30393684},
     {-0.00031596, 0.00005170, 0.00004818, 145.20780515, -0.04062942, -0.01183482}},
};

struct Vector {
  double x, y, z;
};

// Heliocentric ecliptic position (au) of a body `t` Julian centuries after J2000.
Vector heliocentric(const Orbit& o, double t) {
  const Elements& e0 = o.at_j2000;
  const Elements& r = o.per_century;
  const double a = e0.a + r.a * t;
  const double e = e0.e + r.e * t;
  const double inc = (e0.i + r.i * t) * kDeg;
  const double l = e0.l + r.l * t;
  const double peri = e0.peri + r.peri * t;
  const double node = (e0.node + r.node * t) * kDeg;
  const double arg = peri * kDeg - node;  // argument of perihelion
  const double mean = std::remainder(l - peri, 360.0) * kDeg;
  // Kepler's equation by Newton's method: a few steps reach far below an arcsecond.
  double ecc_anomaly = mean + e * std::sin(mean);
  for (int k = 0; k < 8; ++k)
    ecc_anomaly -= (ecc_anomaly - e * std::sin(ecc_anomaly) - mean) / (1.0 - e * std::cos(ecc_anomaly));
  const double xp = a * (std::cos(ecc_anomaly) - e);
  const double yp = a * std::sqrt(1.0 - e * e) * std::sin(ecc_anomaly);
  const double cw = std::cos(arg), sw = std::sin(arg);
  const double cn = std::cos(node), sn = std::sin(node);
  const double ci = std::cos(inc), si = std::sin(inc);
  return {(cw * cn - sw * sn * ci) * xp + (-sw * cn - cw * sn * ci) * yp,
          (cw * sn + sw * cn * ci) * xp + (-sw * sn + cw * cn * ci) * yp, sw * si * xp + cw * si * yp};
}

std::string ngcName(int number, const char* name) {
  return "NGC" + std::to_string(number) + " " + name;
}

}  // namespace

std::optional<SkyObject> planetPosition(int star_number, std::time_t when) {
  for (const Orbit& o : kPlanets) {
    if (o.star_number != star_number) continue;
    const double julian_day = static_cast<double>(when) / 86400.0 + 2440587.5;
    const double t = (julian_day - 2451545.0) / 36525.0;
    const Vector p = heliocentric(o, t);
    const Vector earth = heliocentric(kEarth, t);
    const double x = p.x - earth.x, y = p.y - earth.y, z = p.z - earth.z;
    const double obliquity = 23.43928 * kDeg;
    const double ye = y * std::cos(obliquity) - z * std::sin(obliquity);
    const double ze = y * std::sin(obliquity) + z * std::cos(obliquity);
    double ra = std::atan2(ye, x) / kDeg / 15.0;
    if (ra < 0) ra += 24.0;
    return SkyObject{o.name, ra, std::atan2(ze, std::hypot(x, ye)) / kDeg};
  }
  return std::nullopt;
}

std::optional<SkyObject> libraryObject(char kind, int number, std::time_t when) {
  if (kind == 's') return planetPosition(number, when);
  if (kind == 'm') {
    if (number < 1 || number > static_cast<int>(kMessier.size())) return std::nullopt;
    const Messier& m = kMessier[static_cast<std::size_t>(number - 1)];
    return SkyObject{"M" + std::to_string(m.m) + " " + m.name, m.ra_hours, m.dec_deg};
  }
  if (number <= 0) return std::nullopt;
  for (const Messier& m : kMessier)
    if (m.ngc == number) return SkyObject{ngcName(number, m.name), m.ra_hours, m.dec_deg};
  for (const Ngc& n : kMoreNgc)
    if (n.ngc == number) return SkyObject{ngcName(number, n.name), n.ra_hours, n.dec_deg};
  return std::nullopt;
}

}  // namespace qlm::sim
