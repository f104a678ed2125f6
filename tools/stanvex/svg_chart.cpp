#include "svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

namespace stanvex::cli {

namespace {

constexpr double kBarHeight = 8;          // a tracked span within its row
constexpr double kTickHeight = 12;        // a loss-of-lock tick within its row
constexpr double kSolutionsHeight = 64;   // the per-hour bar chart
constexpr double kSolutionsLabel = 12;    // room above its tallest bar for the count
constexpr size_t kLegendLineChars = 150;  // missing files listed per line
const char* const kFont = "DejaVu Sans, Arial, Helvetica, sans-serif";

// Label steps of the time axis, seconds: the finest that gives at most 24
// labels is taken.
constexpr double kLabelSteps[] = {1,     2,     5,      10,     15,     30,      60,     120,
                                  300,   600,   900,    1800,   3600,   7200,    10800,  21600,
                                  43200, 86400, 172800, 345600, 604800, 1209600, 2419200};

// Appends printf-formatted numbers and markup (never user text: that goes
// through AppendEscaped) to out.
void Append(std::string& out, const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (length > 0) out.append(buffer, std::min(static_cast<size_t>(length), sizeof buffer - 1));
}

// True when text is well-formed UTF-8 (no overlong or out-of-range lead bytes).
bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t more;
    if (lead < 0x80)
      more = 0;
    else if (lead >= 0xC2 && lead <= 0xDF)
      more = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
      more = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
      more = 3;
    else
      return false;
    if (more > text.size() - i - 1) return false;
    for (size_t k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += more + 1;
  }
  return true;
}

// Appends text as XML character data; control characters, and every byte
// above 127 when text is not UTF-8, become '?'.
void AppendEscaped(std::string& out, const std::string& text) {
  const bool utf8 = IsUtf8(text);
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += u < 0x20 || u == 0x7f || (u >= 0x80 && !utf8) ? '?' : c;
    }
  }
}

void AppendText(std::string& out, double x, double y, const char* style, const std::string& text) {
  Append(out, "<text x=\"%.1f\" y=\"%.1f\" %s>", x, y, style);
  AppendEscaped(out, text);
  out += "</text>\n";
}

struct PixelRun {
  double x0, x1;
};

class TimeScale {
 public:
  explicit TimeScale(const ChartAxis& axis) : axis_(axis) {}
  double X(double t) const {
    const double clipped = std::clamp(t, axis_.start, axis_.end);
    return kPlotLeft + (clipped - axis_.start) / (axis_.end - axis_.start) * kPlotWidth;
  }
  // The spans as pixel runs, each at least minWidth wide, joined where they
  // are less than joinBelow pixels apart.
  std::vector<PixelRun> Runs(const std::vector<ChartSpan>& spans, double minWidth,
                             double joinBelow) const {
    std::vector<PixelRun> runs;
    for (const ChartSpan& span : spans) {
      if (span.end <= axis_.start || span.start >= axis_.end) continue;
      PixelRun run{X(span.start), X(span.end)};
      if (run.x1 - run.x0 < minWidth) {
        const double centre = (run.x0 + run.x1) / 2;
        run = {centre - minWidth / 2, centre + minWidth / 2};
      }
      if (!runs.empty() && run.x0 - runs.back().x1 < joinBelow)
        runs.back().x1 = std::max(runs.back().x1, run.x1);
      else
        runs.push_back(run);
    }
    return runs;
  }

 private:
  ChartAxis axis_;
};

// One path of horizontal strokes (width: the stroke's height), one per run,
// centred on each row's y.
void AppendStrokes(std::string& out, const std::string& d, const char* colour, double height) {
  if (d.empty()) return;
  Append(out,
         "<path fill=\"none\" stroke=\"%s\" stroke-width=\"%.1f\" stroke-linecap=\"butt\" d=\"",
         colour, height);
  out += d;
  out += "\"/>\n";
}

void AppendShades(std::string& out, const TimeScale& scale, const std::vector<ChartSpan>& spans,
                  const char* colour, double top, double height) {
  for (const PixelRun& run : scale.Runs(spans, 1.0, 1.0))
    Append(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n",
           run.x0, top, run.x1 - run.x0, height, colour);
}

void AppendSwatch(std::string& out, double* x, double y, const char* colour, bool tick,
                  const char* label) {
  if (tick)
    Append(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"2\" height=\"12\" fill=\"%s\"/>\n", *x + 5,
           y - 10, colour);
  else
    Append(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"16\" height=\"10\" fill=\"%s\"/>\n", *x, y - 9,
           colour);
  AppendText(out, *x + 22, y, "font-size=\"12\" fill=\"#343a40\"", label);
  *x += 22 + 6.6 * static_cast<double>(std::string(label).size()) + 20;
}

// The tick label at t: the time of day, or the date (or "+Nd") at the
// midnights after the first; "24:00" at the end of an axis of one day.
std::string AxisLabel(const ObnChart& chart, double t, const ChartAxis& axis) {
  const long whole = std::lround(t);
  if (whole > 0 && whole % 86400 == 0 && t >= axis.end && t - axis.start <= 86400) return "24:00";
  if (whole > 0 && whole % 86400 == 0) {
    const std::string date = ChartDate(chart, t);
    return date.empty() ? "+" + std::to_string(whole / 86400) + "d" : date.substr(5);
  }
  char text[16];
  const long ofDay = whole % 86400;
  if (axis.step < 60)
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", ofDay / 3600, ofDay / 60 % 60,
                  ofDay % 60);
  else
    std::snprintf(text, sizeof text, "%02ld:%02ld", ofDay / 3600, ofDay / 60 % 60);
  return text;
}

void AppendAxis(std::string& out, const ObnChart& chart, const ChartAxis& axis,
                const TimeScale& scale, double rowsBottom) {
  const double plotHeight = rowsBottom - kPlotTop;
  const long labels = std::lround((axis.end - axis.start) / axis.step);
  for (long i = 0; i <= labels; ++i) {
    const double t = axis.start + i * axis.step, x = scale.X(t);
    Append(out,
           "<rect x=\"%.1f\" y=\"%.1f\" width=\"1\" height=\"%.1f\" fill=\"#adb5bd\" "
           "opacity=\"0.5\"/>\n",
           x - 0.5, kPlotTop, plotHeight);
    Append(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"1\" height=\"5\" fill=\"#495057\"/>\n",
           x - 0.5, rowsBottom);
    AppendText(out, x, rowsBottom + 17, "font-size=\"11\" text-anchor=\"middle\" fill=\"#343a40\"",
               AxisLabel(chart, t, axis));
  }
  // Hour ticks between the labels of a long axis.
  const double hourPixels = 3600 / (axis.end - axis.start) * kPlotWidth;
  if (axis.step > 3600 && hourPixels >= 4) {
    std::string d;
    for (double t = std::ceil(axis.start / 3600) * 3600; t <= axis.end; t += 3600)
      Append(d, "M%.1f %.1fv3", scale.X(t), rowsBottom);
    Append(out, "<path fill=\"none\" stroke=\"#495057\" stroke-width=\"1\" d=\"%s\"/>\n",
           d.c_str());
  }
  AppendText(out, kPlotLeft + kPlotWidth / 2, rowsBottom + 33,
             "font-size=\"12\" text-anchor=\"middle\" fill=\"#495057\"", "GPS time of day");
}

void AppendSatellites(std::string& out, const ObnChart& chart, const TimeScale& scale) {
  std::string bars, gaps, ticks;
  for (size_t row = 0; row < chart.satellites.size(); ++row) {
    const SatelliteTrack& track = chart.satellites[row];
    const double top = kPlotTop + static_cast<double>(row) * kRowHeight;
    const double centre = top + kRowHeight / 2;
    char label[8];
    std::snprintf(label, sizeof label, "G%02d", track.prn);
    AppendText(out, kPlotLeft - 8, centre + 3.5,
               "font-size=\"10\" font-family=\"DejaVu Sans Mono, monospace\" text-anchor=\"end\" "
               "fill=\"#343a40\"",
               label);
    for (const PixelRun& run : scale.Runs(track.spans, 1.0, 1.0))
      Append(bars, "M%.1f %.1fh%.1f", run.x0, centre, run.x1 - run.x0);
    for (const PixelRun& run : scale.Runs(track.gaps, 2.0, 0.5))
      Append(gaps, "M%.1f %.1fh%.1f", run.x0, centre, run.x1 - run.x0);
    long lastPixel = -1;
    for (double t : track.lossOfLock) {
      const double x = scale.X(t);
      if (std::lround(x) == lastPixel) continue;  // one tick a pixel
      lastPixel = std::lround(x);
      Append(ticks, "M%.1f %.1fv%.1f", x, centre - kTickHeight / 2, kTickHeight);
    }
    bars += '\n';
  }
  AppendStrokes(out, bars, kTrackedColour, kBarHeight);
  AppendStrokes(out, gaps, kTrackGapColour, kBarHeight);
  AppendStrokes(out, ticks, kLossOfLockColour, 1.5);
}

void AppendSolutions(std::string& out, const ObnChart& chart, const ChartAxis& axis,
                     const TimeScale& scale, double top) {
  AppendText(out, kPlotLeft, top - 8, "font-size=\"12\" font-weight=\"bold\" fill=\"#343a40\"",
             "Epochs with a position solution, per hour");
  const double base = top + kSolutionsHeight, tallest = kSolutionsHeight - kSolutionsLabel;
  for (long hour = std::lround(std::floor(axis.start / 3600)); hour * 3600.0 < axis.end; ++hour) {
    const double from = std::max(hour * 3600.0, axis.start);
    const double to = std::min((hour + 1) * 3600.0, axis.end);
    double x0 = scale.X(from), x1 = scale.X(to);
    if (x1 - x0 > 4) {
      x0 += 1;
      x1 -= 1;
    }
    const size_t index = static_cast<size_t>(hour);
    const int count = index < chart.solutionsPerHour.size() ? chart.solutionsPerHour[index] : 0;
    const double expected = (to - from) / chart.interval;
    const double height = tallest * std::min(1.0, count / std::max(expected, 1.0));
    if (count > 0)
      Append(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n", x0,
             base - height, x1 - x0, height, kSolutionColour);
    if (x1 - x0 >= 22)
      AppendText(out, (x0 + x1) / 2, base - height - 3,
                 "font-size=\"10\" text-anchor=\"middle\" fill=\"#343a40\"", std::to_string(count));
  }
  Append(out,
         "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
         "stroke=\"#adb5bd\"/>\n",
         kPlotLeft, top, kPlotWidth, kSolutionsHeight);
  char full[32];
  std::snprintf(full, sizeof full, "%.0f", 3600 / chart.interval);
  AppendText(out, kPlotLeft - 6, base - tallest + 4,
             "font-size=\"10\" text-anchor=\"end\" fill=\"#868e96\"", full);
  AppendText(out, kPlotLeft - 6, base, "font-size=\"10\" text-anchor=\"end\" fill=\"#868e96\"",
             "0");
}

std::string Subtitle(const ObnChart& chart) {
  std::string text = ChartDate(chart);
  if (!text.empty()) text += " | ";
  char numbers[256];
  std::snprintf(numbers, sizeof numbers,
                " GPS | interval %g s | %ld epochs, %ld with a position solution | %zu satellites",
                std::round(chart.interval * 1000) / 1000, chart.epochs, chart.solutions,
                chart.satellites.size());
  text += ChartClock(chart.first) + " to " + ChartClock(chart.last) + numbers;
  if (chart.damaged > 0) text += " | " + std::to_string(chart.damaged) + " damaged epochs left out";
  return text;
}

}  // namespace

ChartAxis ChooseChartAxis(const ObnChart& chart) {
  double start = chart.first, end = chart.last + chart.interval;
  for (const ChartSpan& span : chart.missingFiles) {
    start = std::min(start, span.start);
    end = std::max(end, span.end);
  }
  ChartAxis axis{start, end, kLabelSteps[std::size(kLabelSteps) - 1]};
  for (double step : kLabelSteps) {
    if ((end - start) / step <= 24) {
      axis.step = step;
      break;
    }
  }
  // Rounded out to whole steps, but not for an epoch a hair past a step
  // (receivers' clocks put epochs slightly off the grid).
  const double slack = axis.step / 100;
  axis.start = std::floor((start + slack) / axis.step) * axis.step;
  axis.end = std::max(axis.start + axis.step, std::ceil((end - slack) / axis.step) * axis.step);
  return axis;
}

std::string DrawChartSvg(const ObnChart& chart) {
  const ChartAxis axis = ChooseChartAxis(chart);
  const TimeScale scale(axis);
  const size_t rows = std::max<size_t>(chart.satellites.size(), 1);
  const double rowsBottom = kPlotTop + static_cast<double>(rows) * kRowHeight;
  const double solutionsTop = rowsBottom + 62;

  // The missing files, listed below the chart.
  std::vector<std::string> missingLines;
  for (const ChartSpan& span : chart.missingFiles) {
    const std::string item = ChartClock(span.start) + "-" + ChartClock(span.end, true);
    if (missingLines.empty() || missingLines.back().size() + item.size() > kLegendLineChars)
      missingLines.push_back(missingLines.empty() ? "Missing files (GPS time): " + item : item);
    else
      missingLines.back() += ", " + item;
  }
  const double height = solutionsTop + kSolutionsHeight + 14 + 16.0 * missingLines.size();

  std::string out;
  Append(out,
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
         "viewBox=\"0 0 %.0f %.0f\" font-family=\"%s\">\n",
         kSvgWidth, height, kSvgWidth, height, kFont);
  Append(out, "<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", kSvgWidth, height);
  AppendText(out, kPlotLeft, 26, "font-size=\"17\" font-weight=\"bold\" fill=\"#212529\"",
             chart.name);
  AppendText(out, kPlotLeft, 46, "font-size=\"12\" fill=\"#495057\"", Subtitle(chart));
  double x = kPlotLeft;
  AppendSwatch(out, &x, 68, kTrackedColour, false, "tracked");
  AppendSwatch(out, &x, 68, kLossOfLockColour, true, "loss of lock");
  AppendSwatch(out, &x, 68, kTrackGapColour, false, "gap in track");
  AppendSwatch(out, &x, 68, kNoDataColour, false, "no data");
  AppendSwatch(out, &x, 68, kMissingFileColour, false, "missing file");

  for (size_t row = 1; row < rows; row += 2)
    Append(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#f1f3f5\"/>\n",
           kPlotLeft, kPlotTop + static_cast<double>(row) * kRowHeight, kPlotWidth, kRowHeight);
  // Both the satellites and the solutions are shaded where data are missing.
  auto shade = [&](double top, double bandHeight) {
    AppendShades(out, scale, chart.noData, kNoDataColour, top, bandHeight);
    AppendShades(out, scale, chart.missingFiles, kMissingFileColour, top, bandHeight);
  };
  shade(kPlotTop, rowsBottom - kPlotTop);
  shade(solutionsTop, kSolutionsHeight);
  AppendAxis(out, chart, axis, scale, rowsBottom);
  AppendSatellites(out, chart, scale);
  Append(out,
         "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
         "stroke=\"#adb5bd\"/>\n",
         kPlotLeft, kPlotTop, kPlotWidth, rowsBottom - kPlotTop);
  AppendSolutions(out, chart, axis, scale, solutionsTop);
  for (size_t i = 0; i < missingLines.size(); ++i)
    AppendText(out, kPlotLeft, solutionsTop + kSolutionsHeight + 24 + 16.0 * i,
               "font-size=\"12\" fill=\"#343a40\"", missingLines[i]);
  out += "</svg>\n";
  return out;
}

}  // namespace stanvex::cli
