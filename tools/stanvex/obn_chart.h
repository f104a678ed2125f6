// What the chart of an OBN file shows, read from the file: when each
// satellite was tracked, where its track broke or lost lock, where the file
// has no epoch at all, which spans the caller knows were missing files, and
// how many epochs of each hour carry a position solution.
//
// Times on the chart ("chart seconds") count from 00:00 GPS of the day of the
// file's first epoch; a file that runs into the next days (or over the end
// of the GPS week) continues past 86400.
#ifndef STANVEX_TOOLS_OBN_CHART_H
#define STANVEX_TOOLS_OBN_CHART_H

#include <cstdint>
#include <string>
#include <vector>

namespace stanvex::cli {

// A satellite is tracked on while it is absent for at most this many
// intervals; a longer absence breaks its track.
constexpr double kTrackBreakIntervals = 1.5;
// A stretch of more than this many intervals between two epochs of the file
// is shown as "no data".
constexpr double kNoDataIntervals = 4.0;
// A break in a satellite's track shorter than this, while the file has epochs,
// is marked as a gap; longer ones are the satellite setting and rising again.
constexpr double kTrackGapSeconds = 900.0;
// Epochs later than this after 00:00 of the first day are taken as damaged,
// which bounds the chart of a file whose times are garbage.
constexpr double kLongestChartSeconds = 31.0 * 86400.0;

struct ChartSpan {
  double start;  // chart seconds
  double end;    // chart seconds, after start
};

struct SatelliteTrack {
  int prn = 0;                     // GPS PRN
  std::vector<ChartSpan> spans;    // tracked: from its first epoch to one interval after its last
  std::vector<ChartSpan> gaps;     // short breaks between spans at which the file has epochs
  std::vector<double> lossOfLock;  // epochs whose record has an L1 or L2 loss-of-lock bit
};

struct ObnChart {
  std::string name;            // the file's name without its folder
  double interval = 0;         // seconds: the usual step between epochs
  int32_t week = 0;            // GPS week of the first epoch, 0 when the file has none
  double dayStartOfWeek = 0;   // seconds of week of chart second 0
  double first = 0, last = 0;  // first and last epoch, chart seconds
  long epochs = 0, solutions = 0, damaged = 0;
  std::vector<SatelliteTrack> satellites;  // by PRN
  std::vector<ChartSpan> noData;           // in time order
  std::vector<ChartSpan> missingFiles;     // from the caller, in time order, merged
  std::vector<int> solutionsPerHour;       // [h]: epochs with a solution from h to h+1 hours
};

// Reads the OBN file at path into a chart. Damaged epochs are counted and
// skipped (reading stops at one that loses the record boundary). Throws
// CommandFailure naming the file when it cannot be read or has no epoch.
ObnChart ReadObnChart(const std::string& path);

// Adds to chart the span text ("HH:MM-HH:MM" of the first day, the end past
// midnight when it is before the start, or "START-END" in GPS seconds),
// cut to the days the file covers. Throws CommandFailure naming the text
// when it is malformed or lies outside those days.
void AddMissingFile(ObnChart* chart, const std::string& text);

// "HH:MM" (with ":SS" when not a whole minute) of a chart second, with "+Nd"
// for the days after the first. The end of a span at midnight is "24:00" of
// the day it ends.
std::string ChartClock(double chartSeconds, bool endOfSpan = false);

// The GPS calendar date ("2005-04-02") of a chart second, or "" when the file
// carries no GPS week.
std::string ChartDate(const ObnChart& chart, double chartSeconds = 0);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_OBN_CHART_H
