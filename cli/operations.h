#pragma once
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace qlm {

// One `--op NAME[:ARG...]` of the process verb: applies the operation to the loaded frame exactly as
// its menu command does. Returns false (after writing the reason to `err`) when it cannot run.
struct CliOperation {
  int min_args = 0;
  int max_args = 0;
  std::function<bool(const std::vector<std::string>& args, std::ostream& err)> run;
};

using CliOperationTable = std::map<std::string, CliOperation>;

// The whole table; each family of operations adds its own entries.
const CliOperationTable& cliOperations();
void addFrameOperations(CliOperationTable& table);        // undo
void addDisplayOperations(CliOperationTable& table);      // mirror, flip, label
void addStretchOperations(CliOperationTable& table);      // stretches, filters, autoprocess
void addCalibrationOperations(CliOperationTable& table);  // dark, flat

// Splits "name:a:b" into its words; for "label" everything after the first ':' is one word.
std::vector<std::string> splitOperation(const std::string& text);

// A chain of `--op` texts split into words, checked before any file is touched.
using ParsedOperations = std::vector<std::vector<std::string>>;

// Splits and checks every operation; false (with the reason on `err`) for an unknown operation or a
// wrong number of arguments.
bool parseOperations(const std::vector<std::string>& ops, ParsedOperations& parsed, std::ostream& err);

// Applies the chain in order to the loaded frame; false at the first operation that cannot run.
bool applyOperations(const ParsedOperations& parsed, std::ostream& err);

// Parses a whole decimal number within [lo, hi]; false when the text is not one.
bool parseIntArg(const std::string& text, int lo, int hi, int& value);

}  // namespace qlm
