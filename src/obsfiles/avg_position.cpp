#include "obsfiles/avg_position.h"

#include <cmath>
#include <cstring>

#include "base/paths.h"
#include "base/text.h"
#include "obsfiles/nvb_file.h"
#include "obsfiles/obn_file.h"
#include "stanvex.h"

namespace stanvex {

double SowToGpsSeconds(double secondsOfWeek, int32_t referenceWeek, double referenceSeconds) {
  constexpr double kWeek = 604800.0;
  constexpr double kHalfWeekTolerance = 300000.0;
  double week = referenceWeek;
  if (referenceWeek < 500) week += 1024;
  if (referenceSeconds == 0.0) week += 1;
  const double difference = secondsOfWeek - referenceSeconds;
  if (std::fabs(difference) < kHalfWeekTolerance) return secondsOfWeek + week * kWeek;
  if (difference < 0) return secondsOfWeek + (week + 1) * kWeek;
  return secondsOfWeek + (week - 1) * kWeek;
}

Result AverageObnPosition(const char* path, ObnAverage* average) {
  *average = ObnAverage{};
  ObnFile* file = nullptr;
  Result opened = OpenObnForRead(path, kObnBufferSize, &file);
  if (!opened.ok) return opened;

  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  double sum1 = 0.0, sum2 = 0.0;
  long positions = 0;
  bool haveSpan = false;
  double firstTime = 0.0, lastTime = 0.0;
  // A damaged epoch does not end the scan: its position record is taken as read.
  while (!ReadObnEpoch(file, &position, measurements, kObnReaderRoom).AtEnd()) {
    if (position.count > 3) {
      if (!haveSpan) firstTime = position.time;
      lastTime = position.time;
      haveSpan = true;
    }
    if ((position.flags & 1u) != 0 && (position.position1 != 0.0 || position.position2 != 0.0)) {
      sum1 += position.position1;
      sum2 += position.position2;
      ++positions;
    }
  }
  CloseObn(file);

  // Zeros would read as a position on the equator.
  if (positions == 0)
    return Result::Failure(nullptr,
                           "Error the file %s holds no epoch with a position solution: it has no "
                           "average position",
                           path);
  average->position1 = sum1 / static_cast<double>(positions);
  average->position2 = sum2 / static_cast<double>(positions);
  if (!haveSpan) return Result::Success();

  char nvbName[kPathSize];
  if (std::strlen(path) + 4 >= kPathSize) return Result::Success();
  CopyText(nvbName, sizeof nvbName, path);
  ReplaceExtension(nvbName, ".nvb");
  int32_t week = 0;
  double referenceSeconds = 0.0;
  if (!GetNvbReference(nvbName, &week, &referenceSeconds).ok) return Result::Success();
  average->start = SowToGpsSeconds(firstTime, week, referenceSeconds);
  average->end = SowToGpsSeconds(lastTime, week, referenceSeconds);
  average->spanValid = true;
  return Result::Success();
}

}  // namespace stanvex
