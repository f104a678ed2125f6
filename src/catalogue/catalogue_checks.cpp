// Reports of catalogue entries that load but cannot be used as written, or
// are left out.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "base/block_reader.h"
#include "base/status_channel.h"
#include "base/text.h"
#include "base/text_compare.h"
#include "catalogue/catalogue.h"

namespace stanvex {

namespace {

// A fixed field as a text (it may fill its field without a terminator).
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// A value shown in a report: at most 64 characters.
std::string Shown(const std::string& value) {
  return value.size() <= 64 ? value : value.substr(0, 64) + "...";
}

}  // namespace

void ReportOverlongAddress(const ServiceRecord& service, const std::string& place) {
  char text[kTextSize];
  std::snprintf(text, sizeof text,
                "Service %s (%s): its address (ftpAd) is longer than %zu characters; the service "
                "can not be used",
                FieldText(service.ServId).c_str(), place.c_str(), sizeof service.ftpAd - 1);
  FrameSend(STATUS_TEXT, text);
}

void ReportCutValue(const char* kind, const std::string& subject, const std::string& place,
                    const char* key, size_t fieldLength, const char* kept) {
  char text[kTextSize];
  std::snprintf(text, sizeof text, "%s %s (%s): its %s is longer than %zu characters; cut to %s",
                kind, Shown(subject).c_str(), place.c_str(), key, fieldLength, kept);
  FrameSend(STATUS_TEXT, text);
}

void ReportLongLineBlocks(FILE* file, const CatalogueOrigin& origin) {
  std::unique_ptr<TextBlock> block(new TextBlock);
  BlockSource source(file);
  while (ReadBlock(&source, block.get()).ok) {
    if (block->longLine == 0) continue;
    for (const char* kind : {"Station", "Service"}) {
      if (FoldedCompare(block->name, kind, kBlockKeySize) != 0) continue;
      std::string text = DescribeLine(origin, block->longLine) +
                         " is longer than 254 characters; the " + kind + " block of " +
                         DescribeLine(origin, block->line) + " is left out";
      FrameSend(STATUS_TEXT, text.c_str());
    }
  }
  std::rewind(file);
}

const char* UnusableServiceReason(const ServiceRecord& service) {
  if (service.ftpAd[0] != '\0') return nullptr;
  return "its address (ftpAd) is longer than 127 characters";
}

void ReportDuplicateStations(const Serv_Sta* catalogue) {
  if (catalogue == nullptr || catalogue->pStations == nullptr) return;
  std::map<std::string, int32_t> first;
  for (int32_t i = 0; i < catalogue->iNumStations; ++i) {
    const StationRecord& station = catalogue->pStations[i];
    std::string name = FieldText(station.sName);
    if (name.empty()) continue;  // an unfilled slot
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto found = first.emplace(folded, i);
    if (found.second) continue;
    const StationRecord& earlier = catalogue->pStations[found.first->second];
    std::string earlierServ = FieldText(earlier.serv);
    char text[kTextSize];
    std::snprintf(text, sizeof text,
                  "Station %s appears twice in the catalogue (services %s and %s); the first, "
                  "of service %s, is used",
                  FieldText(earlier.sName).c_str(), earlierServ.c_str(),
                  FieldText(station.serv).c_str(), earlierServ.c_str());
    FrameSend(STATUS_TEXT, text);
  }
}

}  // namespace stanvex
