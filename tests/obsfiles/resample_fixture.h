// Shared set-up of the resampling tests: a scratch working directory that is
// the current directory, the three input files, and the status messages the
// host would receive.
#ifndef STANVEX_TESTS_OBSFILES_RESAMPLE_FIXTURE_H
#define STANVEX_TESTS_OBSFILES_RESAMPLE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/request_state.h"
#include "base/status_channel.h"
#include "obsfiles/obs_status.h"
#include "obsfiles/resample.h"
#include "platform/platform.h"
#include "synthetic_obn.h"
#include "test_support.h"

namespace stanvex::testing {

inline std::vector<StatusRecord>& SentStatus() {
  static std::vector<StatusRecord> sent;
  return sent;
}

inline void STANVEX_CALL CaptureStatus(StatusRecord* record) { SentStatus().push_back(*record); }

class ResampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    ResetObsStatusForTesting();
    SentStatus().clear();
    RegisteredCallBack.store(&CaptureStatus);
    ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
  }
  void TearDown() override { ResetObsStatusForTesting(); }

  // Writes in.obn (with in.nvb and in.sta) from file.
  void WriteInput(const SynthFile& file) {
    ASSERT_TRUE(WriteSynthFile("in.obn", file));
    WriteFile("in.nvb", "$EPHREC nav\n");
    WriteFile("in.sta", "Marker name: TEST\n");
  }

  std::vector<StatusRecord> Sent(int32_t code) const {
    std::vector<StatusRecord> found;
    for (const StatusRecord& r : SentStatus())
      if (r.code == code) found.push_back(r);
    return found;
  }

  static std::vector<double> Times(const SynthFile& f) {
    std::vector<double> times;
    for (const SynthEpoch& e : f.epochs) times.push_back(+e.position.time);
    return times;
  }

  // Keeps result for Error(); 0 for a success, -1 for a failure.
  int Keep(const Result& result) {
    last_ = result;
    return result.ok ? 0 : -1;
  }
  const char* Error() const { return last_.message; }

  ScratchDir dir_;
  CurrentDirGuard restore_;
  Result last_;
};

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_OBSFILES_RESAMPLE_FIXTURE_H
