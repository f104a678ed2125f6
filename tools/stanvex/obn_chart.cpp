#include "obn_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "base/gps_time.h"
#include "command.h"
#include "obsfiles/obn_file.h"

namespace stanvex::cli {

namespace {

struct ChartFileCloser {
  void operator()(ObnFile* file) const { CloseObn(file); }
};

// Every appearance of one satellite, in chart seconds.
struct SatelliteEpochs {
  std::vector<double> times;
  std::vector<double> lossOfLock;
};

// The usual step between the sorted epoch times: their median step, so that
// a few gaps or a wrong header do not change it; the header's interval for a
// file of one epoch.
double UsualStep(const std::vector<double>& times, float headerInterval) {
  std::vector<double> steps;
  for (size_t i = 1; i < times.size(); ++i)
    if (times[i] - times[i - 1] > 1e-3) steps.push_back(times[i] - times[i - 1]);
  if (steps.empty())
    return std::isfinite(headerInterval) && headerInterval > 0 ? headerInterval : 1.0;
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  return steps[steps.size() / 2];
}

// True when the sorted epoch times hold one strictly between after and before.
bool HasEpochBetween(const std::vector<double>& times, double after, double before) {
  auto next = std::upper_bound(times.begin(), times.end(), after + 1e-6);
  return next != times.end() && *next < before - 1e-6;
}

SatelliteTrack BuildTrack(int prn, SatelliteEpochs& seen, const std::vector<double>& epochTimes,
                          double interval) {
  SatelliteTrack track;
  track.prn = prn;
  std::sort(seen.times.begin(), seen.times.end());
  double start = seen.times.front(), previous = start;
  auto closeSpan = [&](double next) {
    track.spans.push_back({start, previous + interval});
    if (next - previous - interval < kTrackGapSeconds &&
        HasEpochBetween(epochTimes, previous, next))
      track.gaps.push_back({previous + interval, next});
  };
  for (double t : seen.times) {
    if (t - previous > kTrackBreakIntervals * interval) {
      closeSpan(t);
      start = t;
    }
    previous = t;
  }
  track.spans.push_back({start, previous + interval});
  track.lossOfLock = std::move(seen.lossOfLock);
  std::sort(track.lossOfLock.begin(), track.lossOfLock.end());
  return track;
}

// One side of a --missing span: seconds of the day of "H:MM" or "HH:MM"
// (*clock set), else GPS seconds. False when it is neither.
bool ParseMissingSide(const std::string& text, double* seconds, bool* clock) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  const size_t colon = text.find(':');
  *clock = colon != std::string::npos;
  if (*clock) {
    int hours = -1, minutes = -1, used = 0;
    if ((colon != 1 && colon != 2) || text.size() != colon + 3 ||
        std::sscanf(text.c_str(), "%2d:%2d%n", &hours, &minutes, &used) != 2 ||
        static_cast<size_t>(used) != text.size() || hours > 24 || minutes < 0 || minutes > 59 ||
        (hours == 24 && minutes != 0))
      return false;
    *seconds = hours * 3600.0 + minutes * 60.0;
    return true;
  }
  char* end = nullptr;
  *seconds = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(*seconds);
}

}  // namespace

ObnChart ReadObnChart(const std::string& path) {
  ObnFile* opened = nullptr;
  const Result open = OpenObnForRead(path.c_str(), kObnBufferSize, &opened);
  if (!open.ok) throw CommandFailure{open.message};
  std::unique_ptr<ObnFile, ChartFileCloser> file(opened);
  ObnChart chart;
  const size_t slash = path.find_last_of("/\\");
  chart.name = slash == std::string::npos ? path : path.substr(slash + 1);

  std::vector<double> epochTimes;
  std::map<int, SatelliteEpochs> seen;
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  double previousOfWeek = 0, weekOffset = 0;
  bool started = false;
  for (;;) {
    const Result read = ReadObnEpoch(file.get(), &position, measurements);
    if (read.AtEnd()) break;
    const bool timeUsable =
        std::isfinite(position.time) && position.time >= 0 && position.time <= kSecondsPerWeek;
    if (!read.ok || !timeUsable) {
      ++chart.damaged;
      if (position.size != kObnPositionSize) break;  // the next record cannot be found
      continue;
    }
    if (!started) {
      started = true;
      chart.week = position.week;
      chart.dayStartOfWeek = std::floor(position.time / kSecondsPerDay) * kSecondsPerDay;
    } else if (position.time < previousOfWeek - kSecondsPerWeek / 2) {
      weekOffset += kSecondsPerWeek;  // over the end of the GPS week
    }
    previousOfWeek = position.time;
    const double t = position.time + weekOffset - chart.dayStartOfWeek;
    if (t < 0 || t >= kLongestChartSeconds) {
      ++chart.damaged;
      continue;
    }
    ++chart.epochs;
    epochTimes.push_back(t);
    if (position.flags & 1u) {
      ++chart.solutions;
      const size_t hour = static_cast<size_t>(t / 3600.0);
      if (chart.solutionsPerHour.size() <= hour) chart.solutionsPerHour.resize(hour + 1, 0);
      ++chart.solutionsPerHour[hour];
    }
    for (int i = 0; i < position.count && i < kObnReaderRoom; ++i) {
      SatelliteEpochs& satellite = seen[measurements[i].prn];
      satellite.times.push_back(t);
      if (measurements[i].lockFlags & (kObnL1LossOfLock | kObnL2LossOfLock))
        satellite.lossOfLock.push_back(t);
    }
  }
  if (chart.epochs == 0) {
    std::string reason = "Error: " + path + " has no epoch to plot";
    if (chart.damaged > 0) reason += " (" + std::to_string(chart.damaged) + " damaged)";
    throw CommandFailure{reason};
  }

  std::sort(epochTimes.begin(), epochTimes.end());
  chart.first = epochTimes.front();
  chart.last = epochTimes.back();
  chart.interval = UsualStep(epochTimes, file->header.interval);
  for (size_t i = 1; i < epochTimes.size(); ++i)
    if (epochTimes[i] - epochTimes[i - 1] > kNoDataIntervals * chart.interval)
      chart.noData.push_back({epochTimes[i - 1] + chart.interval, epochTimes[i]});
  for (auto& [prn, epochs] : seen)
    chart.satellites.push_back(BuildTrack(prn, epochs, epochTimes, chart.interval));
  return chart;
}

void AddMissingFile(ObnChart* chart, const std::string& text) {
  const std::string usage = "invalid --missing " + text +
                            ": give START-END as HH:MM-HH:MM of the file's first day or as GPS "
                            "seconds";
  const size_t dash = text.find('-');
  double start = 0, end = 0;
  bool startClock = false, endClock = false;
  if (dash == std::string::npos || !ParseMissingSide(text.substr(0, dash), &start, &startClock) ||
      !ParseMissingSide(text.substr(dash + 1), &end, &endClock) || startClock != endClock)
    throw CommandFailure{usage};
  if (startClock) {
    if (start >= kSecondsPerDay || end == start) throw CommandFailure{usage};
    if (end < start) end += kSecondsPerDay;  // runs past midnight
  } else {
    if (chart->week <= 0)
      throw CommandFailure{"invalid --missing " + text + ": " + chart->name +
                           " carries no GPS week, give the span as HH:MM-HH:MM"};
    if (end <= start) throw CommandFailure{usage + " (END after START)"};
    const double origin =
        chart->week * static_cast<double>(kSecondsPerWeek) + chart->dayStartOfWeek;
    start -= origin;
    end -= origin;
  }
  // The days the file covers, from 00:00 of its first day to 24:00 of its last.
  const double lastDayEnd = (std::floor(chart->last / kSecondsPerDay) + 1) * kSecondsPerDay;
  if (end <= 0 || start >= lastDayEnd)
    throw CommandFailure{"invalid --missing " + text + ": it lies outside the days of " +
                         chart->name + " (00:00 to " + ChartClock(lastDayEnd, true) + ")"};
  ChartSpan span{std::max(start, 0.0), std::min(end, lastDayEnd)};
  std::vector<ChartSpan>& spans = chart->missingFiles;
  spans.push_back(span);
  std::sort(spans.begin(), spans.end(),
            [](const ChartSpan& a, const ChartSpan& b) { return a.start < b.start; });
  std::vector<ChartSpan> merged;
  for (const ChartSpan& s : spans) {
    if (!merged.empty() && s.start <= merged.back().end)
      merged.back().end = std::max(merged.back().end, s.end);
    else
      merged.push_back(s);
  }
  spans = std::move(merged);
}

std::string ChartClock(double chartSeconds, bool endOfSpan) {
  long whole = std::lround(chartSeconds);
  // The end of a span at midnight reads "24:00" of the day it ends.
  const bool midnightEnd = endOfSpan && whole > 0 && whole % kSecondsPerDay == 0;
  if (midnightEnd) --whole;
  const long days = whole / kSecondsPerDay,
             ofDay = midnightEnd ? kSecondsPerDay : whole % kSecondsPerDay;
  char text[48];
  if (ofDay % 60 == 0)
    std::snprintf(text, sizeof text, "%02ld:%02ld", ofDay / 3600, ofDay / 60 % 60);
  else
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", ofDay / 3600, ofDay / 60 % 60,
                  ofDay % 60);
  return days > 0 ? text + ("+" + std::to_string(days) + "d") : std::string(text);
}

std::string ChartDate(const ObnChart& chart, double chartSeconds) {
  if (chart.week <= 0) return std::string();
  const double gps =
      chart.week * static_cast<double>(kSecondsPerWeek) + chart.dayStartOfWeek + chartSeconds;
  if (!(gps >= 0 && gps < 2147483647.0)) return std::string();
  GpsTime t;
  t.Clear();
  t.seconds = static_cast<int32_t>(gps);
  t.ComputeFromSeconds();
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

}  // namespace stanvex::cli
