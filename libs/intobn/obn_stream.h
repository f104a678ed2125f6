// The interpolation library's own OBN input and output: the whole input is
// read into memory, the output written sequentially.
#ifndef STANVEX_LIBS_INTOBN_OBN_STREAM_H
#define STANVEX_LIBS_INTOBN_OBN_STREAM_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "interpolator.h"
#include "obn_format.h"

namespace intobn {

// Success, or a failure with its message (file and epoch named).
struct Outcome {
  bool ok = true;
  std::string message;
  static Outcome Failure(std::string text) { return Outcome{false, std::move(text)}; }
};

// Reads every epoch of path. Times become continuous across the end of a GPS
// week (a time that falls back by more than half a week starts a new week).
// keepGoing is asked after every epoch; false ends the read with a failure
// whose text is stopText. A damaged record fails with its position named.
Outcome ReadObn(const char* path, stanvex::ObnHeader& header, std::vector<InputEpoch>& epochs,
                const std::function<bool()>& keepGoing, const char* stopText);

// Writes an OBN file. The file is complete only after Finish() succeeds.
class ObnWriter {
 public:
  ObnWriter() = default;
  ~ObnWriter();
  ObnWriter(const ObnWriter&) = delete;
  ObnWriter& operator=(const ObnWriter&) = delete;

  // Creates path with a header: the given carriedByte, maxChannels and
  // interval, headerName as its fileName and the current local time.
  Outcome Create(const char* path, const char* headerName, int8_t carriedByte,
                 int8_t maxChannels, float interval);
  Outcome Write(const stanvex::ObnPositionRecord& position,
                const stanvex::ObnMeasurementRecord* satellites, int count);
  Outcome Finish();
  // Closes and deletes a file not finished.
  void Discard();

 private:
  std::FILE* stream_ = nullptr;
  std::string path_;
  int maxChannels_ = stanvex::kObnWriterChannels;
};

// Copies source to target through a temporary file beside target.
Outcome CopyWholeFile(const char* source, const char* target);

// path with its extension (after the last dot of the last component)
// replaced by extension (".nvb"), or appended when it has none.
std::string WithExtension(const std::string& path, const char* extension);

}  // namespace intobn

#endif  // STANVEX_LIBS_INTOBN_OBN_STREAM_H
