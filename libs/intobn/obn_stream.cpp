#include "obn_stream.h"
#include "platform/platform.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>

namespace intobn {

using stanvex::ObnHeader;
using stanvex::ObnMeasurementRecord;
using stanvex::ObnPositionRecord;

namespace {

std::string Format(const char* format, const char* path, double time) {
  char text[600];
  std::snprintf(text, sizeof text, format, path, time);
  return text;
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

Outcome ReadObn(const char* path, ObnHeader& header, std::vector<InputEpoch>& epochs,
                const std::function<bool()>& keepGoing, const char* stopText) {
  FilePtr file(stanvex::platform::OpenForReading(path));
  if (!file) return Outcome::Failure(std::string("Error: File ") + path + " not found");
  if (std::fread(&header, sizeof header, 1, file.get()) != 1)
    return Outcome::Failure(std::string("Error: Unable to read header from ") + path);
  if (header.size != stanvex::kObnHeaderSize)
    return Outcome::Failure(std::string("Error: Invalid header size in ") + path);
  const int channels = header.maxChannels;
  epochs.clear();
  double weeks = 0.0;
  double previous = 0.0;
  for (;;) {
    if (!keepGoing()) return Outcome::Failure(stopText);
    InputEpoch epoch;
    if (std::fread(&epoch.position, sizeof epoch.position, 1, file.get()) != 1) break;
    const ObnPositionRecord& p = epoch.position;
    if (p.size != stanvex::kObnPositionSize)
      return Outcome::Failure(Format("Error: Bad position record in %s after epoch %.1lf", path,
                                     epochs.empty() ? 0.0 : epochs.back().position.time));
    if (p.count < 0 || p.count > channels || !std::isfinite(p.time))
      return Outcome::Failure(Format("Error: Bad measurement count in %s at epoch %.1lf", path,
                                     p.time));
    epoch.satellites.resize(static_cast<size_t>(p.count));
    if (p.count > 0 &&
        std::fread(epoch.satellites.data(), sizeof(ObnMeasurementRecord),
                   static_cast<size_t>(p.count), file.get()) != static_cast<size_t>(p.count))
      return Outcome::Failure(Format("Error: Pre-mature end of file in %s at epoch %.1lf", path,
                                     p.time));
    for (const ObnMeasurementRecord& m : epoch.satellites)
      if (m.size != stanvex::kObnMeasurementSize)
        return Outcome::Failure(Format("Error: Bad measurement record in %s at epoch %.1lf",
                                       path, p.time));
    if (!epochs.empty() && p.time < previous - kSecondsPerWeek / 2) weeks += kSecondsPerWeek;
    previous = p.time;
    epoch.time = p.time + weeks;
    epochs.push_back(std::move(epoch));
  }
  return Outcome{};
}

ObnWriter::~ObnWriter() { Discard(); }

Outcome ObnWriter::Create(const char* path, const char* headerName, int8_t carriedByte,
                          int8_t maxChannels, float interval) {
  Discard();
  stream_ = stanvex::platform::CreateNewFile(path);
  if (!stream_) return Outcome::Failure(std::string("Error: Unable to open ") + path + " for writing");
  path_ = path;
  maxChannels_ = maxChannels;
  ObnHeader header;
  std::memset(&header, 0, sizeof header);
  header.size = stanvex::kObnHeaderSize;
  std::memcpy(&header.version, &stanvex::kObnVersionBits, sizeof header.version);
  header.carriedByte = carriedByte;
  header.maxChannels = maxChannels;
  const std::time_t now = std::time(nullptr);
  if (const std::tm* local = std::localtime(&now)) {
    header.month = static_cast<int16_t>(local->tm_mon);
    header.day = static_cast<int16_t>(local->tm_mday);
    header.year = static_cast<int16_t>(local->tm_year);
    header.hour = static_cast<int16_t>(local->tm_hour);
    header.minute = static_cast<int16_t>(local->tm_min);
    header.second = static_cast<int16_t>(local->tm_sec);
  }
  header.interval = interval;
  std::strncpy(header.fileName, headerName, sizeof header.fileName - 1);
  if (std::fwrite(&header, sizeof header, 1, stream_) != 1) {
    Discard();
    return Outcome::Failure(std::string("Error: Unable to write to ") + path);
  }
  return Outcome{};
}

Outcome ObnWriter::Write(const ObnPositionRecord& position, const ObnMeasurementRecord* satellites,
                         int count) {
  if (count < 0 || count > maxChannels_)
    return Outcome::Failure(Format("Error: Too many measurements for %s at epoch %.1lf",
                                   path_.c_str(), position.time));
  ObnPositionRecord p = position;
  p.size = stanvex::kObnPositionSize;
  p.count = static_cast<int8_t>(count);
  bool written = std::fwrite(&p, sizeof p, 1, stream_) == 1;
  for (int k = 0; written && k < count; ++k) {
    ObnMeasurementRecord m = satellites[k];
    m.size = stanvex::kObnMeasurementSize;
    written = std::fwrite(&m, sizeof m, 1, stream_) == 1;
  }
  if (!written)
    return Outcome::Failure(Format("Error: Unable to write to %s (disk full). Epoch %.1lf",
                                   path_.c_str(), position.time));
  return Outcome{};
}

Outcome ObnWriter::Finish() {
  std::FILE* stream = stream_;
  stream_ = nullptr;
  if (stream == nullptr) return Outcome::Failure("Error: no output file");
  const bool flushed = std::fflush(stream) == 0;
  const bool closed = std::fclose(stream) == 0;
  if (!flushed || !closed) {
    stanvex::platform::DeleteFile(path_.c_str());
    return Outcome::Failure("Error: Unable to write to " + path_ + " (disk full)");
  }
  return Outcome{};
}

void ObnWriter::Discard() {
  if (stream_ == nullptr) return;
  std::fclose(stream_);
  stream_ = nullptr;
  stanvex::platform::DeleteFile(path_.c_str());
}

Outcome CopyWholeFile(const char* source, const char* target) {
  FilePtr in(stanvex::platform::OpenForReading(source));
  if (!in) return Outcome::Failure(std::string("Error: File ") + source + " not found");
  const std::string temporary = std::string(target) + ".part";
  FilePtr out(stanvex::platform::CreateNewFile(temporary.c_str()));
  if (!out) return Outcome::Failure(std::string("Error: Unable to open ") + target + " for writing");
  char buffer[16384];
  size_t got;
  bool ok = true;
  while (ok && (got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
    ok = std::fwrite(buffer, 1, got, out.get()) == got;
  ok = ok && !std::ferror(in.get());
  ok = (std::fclose(out.release()) == 0) && ok;
  if (ok) {
    ok = stanvex::platform::MoveFile(temporary.c_str(), target);
  }
  if (!ok) {
    stanvex::platform::DeleteFile(temporary.c_str());
    return Outcome::Failure(std::string("Error: Unable to write to ") + target);
  }
  return Outcome{};
}

std::string WithExtension(const std::string& path, const char* extension) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return path + extension;
  return path.substr(0, dot) + extension;
}

}  // namespace intobn
