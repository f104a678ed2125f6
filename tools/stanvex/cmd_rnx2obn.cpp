// stanvex rnx2obn OBS NAV [--drop-unsolved]: converts a RINEX observation file
// and its GPS navigation file into OBN, NVB and STA files beside OBS, through
// the converter library, and prints the converter's counts.
#include <cstdio>
#include <string>

#include "command.h"
#include "convert/converter_binding.h"
#include "stanvex.h"

namespace {

struct ConversionReport {
  int32_t counts[4] = {0, 0, 0, 0};
  bool done = false;
};
ConversionReport report;

void STANVEX_CALL OnStatus(StatusRecord* record) {
  if (record->code == STATUS_CONVERT_DONE) {
    report.done = true;
    report.counts[0] = record->value1;
    report.counts[1] = record->value2;
    report.counts[2] = record->value3;
    report.counts[3] = record->value4;
  } else if (record->code == STATUS_CONVERT_TEXT) {
    std::fprintf(stderr, "%s\n", record->text);
  }
}

stanvex::cli::CommandRegistration rnx2obnRegistration([](CLI::App& app) {
  auto* command = app.add_subcommand(
      "rnx2obn", "Convert a RINEX observation file and its navigation file into OBN/NVB/STA");
  auto observation = std::make_shared<std::string>();
  auto navigation = std::make_shared<std::string>();
  auto dropUnsolved = std::make_shared<bool>(false);
  command->add_option("OBS", *observation, "RINEX observation file (version 2, 3 or 4)")->required();
  command->add_option("NAV", *navigation, "RINEX navigation file (GPS or mixed; version 2, 3 or 4)")->required();
  command->add_flag("--drop-unsolved", *dropUnsolved,
                    "leave epochs without a position solution out of the OBN file");
  command->callback([observation, navigation, dropUnsolved] {
    // The binding is linked into this program: it reports through this
    // program's callback.
    SetCallBack(&OnStatus);
    char obn[stanvex::kPathSize] = "";
    const stanvex::Result converted = stanvex::ConvertRinexToObn(
        observation->c_str(), navigation->c_str(), obn, *dropUnsolved ? 1 : 0, 0, sizeof obn);
    SetCallBack(nullptr);
    if (!converted.ok) throw stanvex::cli::CommandFailure{converted.message};
    std::printf("%s\n", obn);
    std::printf("epochs read:      %d\n", report.counts[0]);
    std::printf("epochs written:   %d\n", report.counts[1]);
    std::printf("epochs solved:    %d\n", report.counts[2]);
    std::printf("ephemerides read: %d\n", report.counts[3]);
  });
});

}  // namespace
