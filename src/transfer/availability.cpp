#include "transfer/availability.h"

#include <cstring>
#include <memory>

#include "base/gps_time.h"
#include "base/request_state.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "transfer/download.h"
#include "transfer/file_names.h"
#include "transfer/file_questions.h"
#include "transfer/transfer_errors.h"

namespace stanvex {
namespace {

// One file of a day: its alternatives, asked address by address of its
// service until one has it.
struct DayFile {
  AskedFile kind;
  const ServiceRecord* service;
  std::vector<std::string> paths;
  // The request's login when the file is of the station's own service (the
  // IGS archive, a third party, gets none).
  const char* user = nullptr;
  const char* password = nullptr;
  int32_t address = 0;  // the address asked next
  bool done = false;
  FileAnswer answer;
  FileQuestion question;
};

// A station's day: its names, and the files asked so far in asking order.
struct DayPlan {
  int32_t station = 0;
  const StationToAsk* asked = nullptr;
  DayFiles job{};
  std::string unnamed;  // why the day's names could not be made ("" when they were)
  std::vector<std::unique_ptr<DayFile>> files;

  bool Asked(AskedFile kind) const {
    for (const auto& file : files)
      if (file->kind == kind) return true;
    return false;
  }
  bool Present(AskedFile kind) const {
    for (const auto& file : files)
      if (file->kind == kind && file->answer.present) return true;
    return false;
  }
  // Asked and answered, and not there.
  bool Lacks(AskedFile kind) const {
    bool any = false;
    for (const auto& file : files) {
      if (file->kind != kind) continue;
      if (!file->done || file->answer.present) return false;
      any = true;
    }
    return any;
  }
};

std::vector<std::string> Paths(const PathChoices& choices) {
  std::vector<std::string> paths;
  for (int i = 0; i < choices.count; ++i) paths.emplace_back(choices.paths[i]);
  return paths;
}

void Add(DayPlan* plan, AskedFile kind, const ServiceRecord* service, int32_t fileStart,
         const PathChoices& choices) {
  auto file = std::make_unique<DayFile>();
  file->kind = kind;
  file->service = service;
  file->paths = Paths(choices);
  if (service == plan->job.service) {
    file->user = plan->asked->user;
    file->password = plan->asked->password;
  }
  file->answer.station = plan->station;
  file->answer.day = plan->job.day.seconds;
  file->answer.fileStart = fileStart;
  file->answer.kind = kind;
  file->answer.path = file->paths.empty() ? "" : file->paths.front();
  plan->files.push_back(std::move(file));
}

// The day's file of template (the service's oFile, dFile or nFile).
void AddDaily(DayPlan* plan, AskedFile kind, const char* pathTemplate) {
  PathChoices choices;
  if (DayPathChoices(plan->job, pathTemplate, &choices).ok)
    Add(plan, kind, plan->job.service, plan->job.day.seconds, choices);
}

// The sub-daily files of kind that cover the window's part of the day, as
// the retrieval chooses them.
void AddSubDaily(DayPlan* plan, AskedFile kind, const char* pathTemplate) {
  DayFiles& job = plan->job;
  ChooseSubDailyFiles(&job, kind == AskedFile::kHourly ? kHourlyFiles : kQuarterHourFiles);
  for (int32_t i = 0; i < job.subDailyCount; ++i) {
    PathChoices choices;
    if (!ExpandSubDailyChoices(SubDailyFileStart(job, i), pathTemplate, job.station->sName,
                               StationLongName(job.station), &choices)
             .ok)
      return;
    const int32_t midnight = job.day.seconds - job.day.seconds % kSecondsPerDay;
    Add(plan, kind, job.service, midnight + job.subDailyStart[i], choices);
  }
}

// The IGS service's navigation file of the day: its own template, its
// rolling one, the fixed fallback, as alternatives at its addresses.
void AddIgsNavigation(DayPlan* plan, const ServiceRecord* igs) {
  PathChoices all{};
  const char* templates[] = {igs->nFile,
                             ServiceSubDailyTemplate(igs, SubDailyTemplate::kRollingNavigation),
                             kIgsFallbackTemplate};
  for (const char* each : templates) {
    PathChoices choices;
    if (each[0] == '\0' || !ExpandChoices(plan->job.day, each, kIgsStation, nullptr, &choices).ok)
      continue;
    for (int i = 0; i < choices.count && all.count < kMaxAlternatives; ++i)
      std::memcpy(all.paths[all.count++], choices.paths[i], kDayNameSize);
  }
  if (all.count > 0) Add(plan, AskedFile::kIgsNavigation, igs, plan->job.day.seconds, all);
}

// Adds the files the day needs asked next, given the answers so far, in the
// order the retrieval fetches them; none when the day is decided.
void AddNextFiles(DayPlan* plan, AskingMode mode, double interval) {
  const ServiceRecord* service = plan->job.service;
  const char* quarter = ServiceSubDailyTemplate(service, SubDailyTemplate::kQuarterHourly);
  const char* hourly = ServiceSubDailyTemplate(service, SubDailyTemplate::kHourly);
  const char* rolling = ServiceSubDailyTemplate(service, SubDailyTemplate::kRollingNavigation);
  const bool every = mode == AskingMode::kEveryFile;
  const bool compact = service->hasDFile == 1;
  const bool quarterFirst = interval > 0 && interval < 30 && quarter[0] != '\0';
  if (quarterFirst && !plan->Asked(AskedFile::kQuarterHour))
    AddSubDaily(plan, AskedFile::kQuarterHour, quarter);
  const bool dailyWanted = every || !quarterFirst || plan->Lacks(AskedFile::kQuarterHour);
  if (dailyWanted && !plan->Asked(AskedFile::kObservation))
    AddDaily(plan, AskedFile::kObservation, service->oFile);
  if (compact && (every || plan->Lacks(AskedFile::kObservation)) &&
      !plan->Asked(AskedFile::kCompact))
    AddDaily(plan, AskedFile::kCompact, service->dFile);
  if (hourly[0] != '\0' && plan->Lacks(AskedFile::kObservation) &&
      (!compact || plan->Lacks(AskedFile::kCompact)) && !plan->Present(AskedFile::kQuarterHour) &&
      !plan->Asked(AskedFile::kHourly))
    AddSubDaily(plan, AskedFile::kHourly, hourly);

  if (!plan->Asked(AskedFile::kNavigation)) AddDaily(plan, AskedFile::kNavigation, service->nFile);
  if (rolling[0] != '\0' && plan->Lacks(AskedFile::kNavigation) &&
      !plan->Asked(AskedFile::kRollingNavigation))
    AddDaily(plan, AskedFile::kRollingNavigation, rolling);
  const ServiceRecord* igs = FindService("IGS");
  if (igs != nullptr && plan->Lacks(AskedFile::kNavigation) &&
      (rolling[0] == '\0' || plan->Lacks(AskedFile::kRollingNavigation)) &&
      !plan->Asked(AskedFile::kIgsNavigation))
    AddIgsNavigation(plan, igs);
}

void AppendNote(std::string* notes, const std::string& note) {
  if (notes->find(note) != std::string::npos) return;
  if (!notes->empty()) *notes += "; ";
  *notes += note;
}

std::string Shown(const char* address) {
  char shown[kTextSize];
  AddressWithoutLogin(address, shown, sizeof shown);
  return shown;
}

// Asks the files not yet answered, address by address of their services,
// until each is found or every address was asked.
Result AskOpenFiles(const InternetBinding& binding, std::vector<DayPlan>* plans) {
  for (;;) {
    std::vector<DayFile*> open;
    for (DayPlan& plan : *plans)
      for (auto& file : plan.files)
        if (!file->done) open.push_back(file.get());
    std::vector<FileQuestion*> questions;
    for (DayFile* file : open) {
      const char* address = ServiceAddress(file->service, file->address);
      if (address == nullptr || address[0] == '\0' || file->paths.empty()) {
        file->done = true;
        continue;
      }
      file->question = FileQuestion{};
      file->question.address = address;
      file->question.login =
          LoginForAddress(file->service, file->address, file->user, file->password);
      file->question.paths = file->paths;
      if (file->question.login.tokenWithheld) {
        char text[kTextSize];
        WithheldTokenText(file->service, address, text, sizeof text);
        AppendNote(&file->answer.note, text);
      }
      questions.push_back(&file->question);
    }
    if (questions.empty()) return Result::Success();
    Result asked = AskSideBySide(binding, questions);
    if (!asked.ok) return asked;
    for (DayFile* file : open) {
      if (file->done) continue;
      const FileQuestion& question = file->question;
      const std::string address = Shown(question.address.c_str());
      if (question.outcome == FileQuestion::Outcome::kPresent) {
        file->answer.present = true;
        file->answer.path = question.found;
        file->answer.address = address;
        file->answer.size = question.size;
        file->done = true;
        continue;
      }
      if (question.outcome == FileQuestion::Outcome::kFailed)
        AppendNote(&file->answer.note,
                   address + ": " + QuestionFailureText(question.error, question.login));
      ++file->address;
    }
  }
}

// Whether the day has observations and navigation, and if not why.
DayVerdict Verdict(const DayPlan& plan) {
  DayVerdict verdict;
  verdict.station = plan.station;
  verdict.day = plan.job.day.seconds;
  if (!plan.unnamed.empty()) {
    verdict.why = plan.unnamed;
    return verdict;
  }
  const bool observations = plan.Present(AskedFile::kObservation) ||
                            plan.Present(AskedFile::kCompact) ||
                            plan.Present(AskedFile::kQuarterHour) ||
                            plan.Present(AskedFile::kHourly);
  const bool navigation = plan.Present(AskedFile::kNavigation) ||
                          plan.Present(AskedFile::kRollingNavigation) ||
                          plan.Present(AskedFile::kIgsNavigation);
  verdict.hasData = observations && navigation;
  if (verdict.hasData) return verdict;
  std::string notes;
  for (const auto& file : plan.files)
    if (!file->answer.present && !file->answer.note.empty())
      AppendNote(&notes, file->answer.note);
  verdict.why = !observations ? "no observation file" : "no navigation file";
  verdict.why += " at any address";
  if (!notes.empty()) verdict.why += " (" + notes + ")";
  verdict.decided = notes.empty();
  return verdict;
}

// The internet library that serves every address asked, bound, with its
// question entry point.
Result BindForQuestions(const std::vector<StationToAsk>& stations, InternetBinding* binding) {
  std::vector<const char*> addresses;
  std::vector<const ServiceRecord*> services;
  for (const StationToAsk& each : stations) {
    char serv[sizeof each.station->serv + 1] = {};
    std::memcpy(serv, each.station->serv, strnlen(each.station->serv, sizeof each.station->serv));
    services.push_back(FindService(serv));
  }
  services.push_back(FindService("IGS"));
  for (const ServiceRecord* service : services) {
    if (service == nullptr) continue;
    for (int32_t i = 0; i < ServiceAddressCount(service); ++i)
      addresses.push_back(ServiceAddress(service, i));
  }
  const char* library =
      InternetLibraryForAll(addresses.data(), static_cast<int32_t>(addresses.size()));
  Result bound = BindInternetLibraryNamed(library, &Internet);
  if (!bound.ok) return bound;
  *binding = Internet;
  if (binding->FtpFindFirstFileA == nullptr)
    return Result::Failure(nullptr,
                           "Error the internet library %s cannot tell whether a file is there "
                           "without fetching it: it has no FtpFindFirstFileA",
                           library);
  return Result::Success();
}

}  // namespace

const char* AskedFileName(AskedFile kind) {
  switch (kind) {
    case AskedFile::kObservation:
      return "observation";
    case AskedFile::kCompact:
      return "compact";
    case AskedFile::kNavigation:
      return "navigation";
    case AskedFile::kRollingNavigation:
      return "rolling navigation";
    case AskedFile::kIgsNavigation:
      return "IGS navigation";
    case AskedFile::kHourly:
      return "hourly";
    case AskedFile::kQuarterHour:
      return "15-minute";
  }
  return "";
}

Result AskAvailability(const std::vector<StationToAsk>& stations, int32_t start, int32_t end,
                       double interval, AskingMode mode, std::vector<FileAnswer>* answers,
                       std::vector<DayVerdict>* days) {
  answers->clear();
  days->clear();
  // A stop asked for before belongs to no question.
  FtpStopCount = 0;
  Serv_Sta* catalogue = nullptr;
  Result loaded = RequireLoadedCatalogue(&catalogue);
  if (!loaded.ok) return loaded;
  if (start < 0 || start > end)
    return Result::Failure(nullptr, "%s",
                           "Invalid Time Range the Start time can not be larger then the end time");
  const int32_t lastCounted = end - kEndMargin;
  const int32_t dayCount =
      1 + (lastCounted < start ? 0 : lastCounted / kSecondsPerDay - start / kSecondsPerDay);
  if (dayCount > kMaxAskedDays)
    return Result::Failure(nullptr, "Error the window touches %d days; at most %d are asked",
                           dayCount, kMaxAskedDays);

  std::vector<DayPlan> plans;
  for (size_t s = 0; s < stations.size(); ++s) {
    StationRecord* station = stations[s].station;
    char serv[sizeof station->serv + 1] = {};
    std::memcpy(serv, station->serv, strnlen(station->serv, sizeof station->serv));
    ServiceRecord* service = FindService(serv);
    if (service == nullptr)
      return Result::Failure(nullptr, "Error can not find the stations service %s in the station file",
                             serv);
    for (int32_t d = 0; d < dayCount; ++d) {
      DayPlan plan;
      plan.station = static_cast<int32_t>(s);
      plan.asked = &stations[s];
      plan.job.station = station;
      plan.job.service = service;
      plan.job.day.seconds = start - start % kSecondsPerDay + d * kSecondsPerDay;
      plan.job.day.ComputeFromSeconds();
      plan.job.windowStart = start;
      plan.job.windowEnd = end;
      plan.job.interval = interval;
      Result named = BuildDayFileNames(&plan.job);
      if (!named.ok) plan.unnamed = named.message;
      plans.push_back(std::move(plan));
    }
  }

  InternetBinding binding;
  Result bound = BindForQuestions(stations, &binding);
  if (!bound.ok) return bound;
  // Rounds: each asks what the answers so far leave open.
  for (;;) {
    size_t before = 0, after = 0;
    for (DayPlan& plan : plans) {
      before += plan.files.size();
      if (plan.unnamed.empty()) AddNextFiles(&plan, mode, interval);
      after += plan.files.size();
    }
    if (after == before) break;
    Result asked = AskOpenFiles(binding, &plans);
    if (!asked.ok) return asked;
  }
  for (const DayPlan& plan : plans) {
    for (const auto& file : plan.files) answers->push_back(file->answer);
    days->push_back(Verdict(plan));
  }
  return Result::Success();
}

}  // namespace stanvex
