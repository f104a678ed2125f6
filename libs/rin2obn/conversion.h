// One conversion of a RINEX observation file and its GPS navigation file
// into an OBN file with its NVB and STA companions.
#ifndef STANVEX_RIN2OBN_CONVERSION_H
#define STANVEX_RIN2OBN_CONVERSION_H

#include <atomic>
#include <functional>
#include <string>

namespace rin2obn {

struct ConversionCounts {
  int epochsRead = 0;       // data epochs read (event flags 0, 1 and 6)
  int epochsWritten = 0;    // epochs written to the OBN file
  int epochsSolved = 0;     // epochs with a position solution
  int ephemeridesRead = 0;  // GPS navigation records read
};

struct ConversionSettings {
  // Leave epochs without a position solution out of the OBN file.
  bool dropUnsolved = false;
  // Notable events: a value (an epoch time or a count, 0 when none) and a text.
  std::function<void(double, const std::string&)> message;
  // Progress as count of total.
  std::function<void(int, int)> progress;
  // Polled between epochs; when it becomes true the conversion stops and fails.
  const std::atomic<bool>* abort = nullptr;
};

struct ConversionResult {
  bool ok = false;
  std::string error;  // why it failed
};

// Converts observationPath with navigationPath into obnPath and the files of
// the same name with the extensions ".nvb" and ".sta". On failure no output
// file is left behind and every file is closed.
ConversionResult ConvertRinex(const std::string& observationPath,
                              const std::string& navigationPath, const std::string& obnPath,
                              const ConversionSettings& settings, ConversionCounts& counts);

// name with the text from its last dot replaced by extension (".nvb"), or
// extension appended when the last path component has no dot.
std::string WithExtension(const std::string& name, const std::string& extension);

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_CONVERSION_H
