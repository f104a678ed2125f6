// The chart of an OBN file drawn as a plain SVG picture: a title, a legend,
// one row per satellite with its tracked spans as bars, gaps and loss-of-lock
// ticks on them, "no data" and missing files shaded across every row, the
// time axis in GPS time of day, and the position solutions of each hour as a
// small bar chart below.
//
// The picture's size is bounded whatever the file holds: spans, gaps and
// ticks closer than a pixel are merged, each kind drawn as one path. The same
// chart always gives the same bytes.
#ifndef STANVEX_TOOLS_SVG_CHART_H
#define STANVEX_TOOLS_SVG_CHART_H

#include <string>

#include "obn_chart.h"

namespace stanvex::cli {

// The layout, in pixels (one SVG unit is one pixel). The time axis runs from
// kPlotLeft to kPlotLeft + kPlotWidth; row r (satellites by PRN, the lowest
// first) lies from kPlotTop + r * kRowHeight, one kRowHeight high.
constexpr double kSvgWidth = 1200;
constexpr double kPlotLeft = 64;
constexpr double kPlotWidth = 1100;
constexpr double kPlotTop = 84;
constexpr double kRowHeight = 14;

// The colours of what the chart shows (all opaque).
constexpr const char* kTrackedColour = "#1c7ed6";
constexpr const char* kLossOfLockColour = "#e03131";
constexpr const char* kTrackGapColour = "#f59f00";
constexpr const char* kNoDataColour = "#ced4da";
constexpr const char* kMissingFileColour = "#e5dbff";
constexpr const char* kSolutionColour = "#2f9e44";

// The time axis: from start to end (chart seconds), labelled every step. It
// holds the file's epochs and the missing files, rounded out to whole steps.
struct ChartAxis {
  double start;
  double end;
  double step;
};
ChartAxis ChooseChartAxis(const ObnChart& chart);

// The SVG text of chart.
std::string DrawChartSvg(const ObnChart& chart);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_SVG_CHART_H
