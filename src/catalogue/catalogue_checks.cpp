// Reports of catalogue entries that load but cannot be used as written, or
// are left out.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

namespace {

std::string Folded(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void ReportOneDuplicate(const std::string& name, const std::string& firstServ,
                        const std::string& otherServ) {
  char text[kTextSize];
  std::snprintf(text, sizeof text,
                "Station %s appears twice in the catalogue (services %s and %s); the first, "
                "of service %s, is used",
                name.c_str(), firstServ.c_str(), otherServ.c_str(), firstServ.c_str());
  FrameSend(STATUS_TEXT, text);
}

// Names that several services share (stations they all serve), in one
// text: how many blocks repeat a name, and how many of them each pair of
// services (the first in the array, the repeating one) has.
void ReportSharedNames(const std::map<std::pair<std::string, std::string>, int32_t>& pairs,
                       int32_t total) {
  std::vector<std::pair<int32_t, std::string>> counts;
  for (const auto& [services, count] : pairs)
    counts.push_back({count, services.first + " and " + services.second});
  std::stable_sort(counts.begin(), counts.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::string text = std::to_string(total) +
                     " station blocks repeat the name of another service's station (a station "
                     "that several services serve); a lookup by name finds the one of the "
                     "service first in alphabetical order (";
  const size_t room = kTextSize - 8;  // for ", ...)" and the terminator
  for (size_t i = 0; i < counts.size(); ++i) {
    std::string next = (i == 0 ? "" : ", ") + counts[i].second + ": " +
                       std::to_string(counts[i].first);
    if (text.size() + next.size() > room) {
      text += ", ...";
      break;
    }
    text += next;
  }
  text += ")";
  FrameSend(STATUS_TEXT, text.c_str());
}

}  // namespace

void ReportDuplicateStations(const Serv_Sta* catalogue) {
  if (catalogue == nullptr || catalogue->pStations == nullptr) return;
  std::map<std::string, int32_t> first;
  // A station that several services serve has a block in each: the names
  // that two services share are told in one text; a name given twice in one
  // service is told for each station.
  std::map<std::pair<std::string, std::string>, int32_t> pairs;
  int32_t total = 0;
  std::string onlyName;
  for (int32_t i = 0; i < catalogue->iNumStations; ++i) {
    const StationRecord& station = catalogue->pStations[i];
    std::string name = FieldText(station.sName);
    if (name.empty()) continue;  // an unfilled slot
    auto found = first.emplace(Folded(name), i);
    if (found.second) continue;
    const StationRecord& earlier = catalogue->pStations[found.first->second];
    std::string earlierServ = FieldText(earlier.serv);
    std::string serv = FieldText(station.serv);
    if (Folded(serv) == Folded(earlierServ)) {
      ReportOneDuplicate(FieldText(earlier.sName), earlierServ, serv);
      continue;
    }
    ++pairs[{earlierServ, serv}];
    ++total;
    onlyName = FieldText(earlier.sName);
  }
  if (total == 1)
    ReportOneDuplicate(onlyName, pairs.begin()->first.first, pairs.begin()->first.second);
  else if (total > 1)
    ReportSharedNames(pairs, total);
}

}  // namespace stanvex
