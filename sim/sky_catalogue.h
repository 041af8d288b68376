#pragma once
#include <ctime>
#include <optional>
#include <string>

namespace qlm::sim {

// The object library of the simulated mount, as a real mount's handset holds it: the whole Messier
// list, the NGC objects that list names (and a few more), and the planets computed for a date.

// One object: the name the mount answers to "#:LI#" and where it stands (RA hours 0-24, Dec degrees).
struct SkyObject {
  std::string name;
  double ra_hours = 0.0;
  double dec_deg = 0.0;
};

// kind 'm' (Messier 1-110), 'c' (NGC) or 's' (star: the planets 901 Mercury to 909 Pluto, 903 being
// the Earth's own number and so empty). Planets are placed for the calendar time `when` (seconds
// since the epoch, UT). Nothing for a number the library lacks.
std::optional<SkyObject> libraryObject(char kind, int number, std::time_t when);

// Geocentric RA and Dec (equinox J2000) of a planet by its star number at `when`, from mean orbital
// elements and their rates: within a few arcminutes from 1800 to 2050. Nothing for other numbers.
std::optional<SkyObject> planetPosition(int star_number, std::time_t when);

}  // namespace qlm::sim
