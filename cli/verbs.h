#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace qlm {

// One verb of the command-line tool: its name, a one-line usage text and the function that runs it
// with the words after the verb. The platform is installed and the program started before it runs.
struct CliVerb {
  const char* name;
  const char* usage;
  int (*run)(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
             std::ostream& err);
};

const std::vector<CliVerb>& cliVerbs();

int runProcessVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                   std::ostream& err);
int runRenderVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                  std::ostream& err);
int runInfoVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                std::ostream& err);

int runSettingsVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                    std::ostream& err);
int runReadoutVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                   std::ostream& err);
int runCaptureVerb(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                   std::ostream& err);
int runHistogramWords(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                      std::ostream& err);
int runPlotWords(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                 std::ostream& err);
int runPhotometryWords(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                       std::ostream& err);
int runStarWords(const std::vector<std::string>& words, const CliOptions& options, std::ostream& out,
                 std::ostream& err);

}  // namespace qlm
