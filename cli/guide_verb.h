#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include <CLI/CLI.hpp>

#include "guiding/guider.h"

namespace qlm {

// The camera found, the telescope port chosen and the guider guide star picked as the guider panel's
// pick does (mask radius): at `star`, or at the brightest star of a first guider frame whose centroid
// window fits. False after the message when there is no camera or no star.
bool pickGuiderStarForVerb(const std::optional<std::pair<int, int>>& star, std::ostream& err);

// --algorithm classic|predictive: the guide algorithm of this run (the stored choice is not changed).
CLI::Option* addAlgorithmOption(CLI::App* sub, std::string& algorithm);

// --log-format csv|phd2: the form of the run's guide log.
CLI::Option* addLogFormatOption(CLI::App* sub, GuideLogFormat& format);

}  // namespace qlm
