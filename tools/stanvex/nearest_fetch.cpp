#include "nearest_fetch.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "arguments.h"
#include "command.h"
#include "platform/child_process.h"
#include "platform/platform.h"
#include "private_folder.h"
#include "station_choice.h"
#include "station_view.h"
#include "transfer/availability.h"

namespace stanvex::cli {
namespace {

// Stations looked at, nearest first, at most.
constexpr int kMostCandidates = 64;
// Lines of a failed retrieval's output kept for its reason.
constexpr size_t kReasonLines = 3;

std::atomic<bool> nearest_stopping{false};

void StopNearest(int) {
  nearest_stopping = true;
  StopFtpProcessing();  // ends the availability questions in flight
}

struct Candidate {
  StationRecord* station = nullptr;
  std::string name;
  size_t line = 0;  // in the view
  enum class State { kWaiting, kRunning, kDelivered, kSkipped, kFailed } state = State::kWaiting;
  std::string outcome;  // what the summary says of it
  // The availability of its window, once asked.
  bool asked = false;
  bool hasData = true;
  std::string lacking;
  std::unique_ptr<platform::ChildProcess> child;
  std::string partial;              // output after its last line end
  std::vector<std::string> recent;  // its last lines
  std::string delivered;
  bool ended = false;
  int status = 0;
  bool kept = false;  // its undelivered files are in the private folder
  bool passedOver = false;  // its name was delivered under another service
};

std::string Label(const StationRecord& station) {
  char text[64];
  std::snprintf(text, sizeof text, "%-8s %9.3f km", StationName(station).c_str(),
                station.distance / 1000.0);
  return text;
}

// The availability questions of one round of stations, on a thread of its
// own so that the retrievals' output is read meanwhile.
class AvailabilityRound {
 public:
  AvailabilityRound(std::vector<StationToAsk> stations, std::vector<size_t> candidates,
                    int32_t start, int32_t end, double interval)
      : stations_(std::move(stations)), candidates_(std::move(candidates)) {
    thread_ = std::thread([this, start, end, interval] {
      result_ = AskAvailability(stations_, start, end, interval, AskingMode::kUntilDecided,
                                &answers_, &days_);
      done_ = true;
    });
  }
  ~AvailabilityRound() { thread_.join(); }
  AvailabilityRound(const AvailabilityRound&) = delete;
  AvailabilityRound& operator=(const AvailabilityRound&) = delete;

  bool done() const { return done_.load(); }
  const Result& result() const { return result_; }
  const std::vector<size_t>& candidates() const { return candidates_; }
  // The first day of stations_[index] known to be without data, and why;
  // "" when none is (a day whose question failed is left to the retrieval).
  std::string Lacking(size_t index) const {
    for (const DayVerdict& day : days_)
      if (day.station == static_cast<int32_t>(index) && !day.hasData && day.decided)
        return "no data for " + DayText(day.day) + ": " + day.why;
    return "";
  }

 private:
  std::vector<StationToAsk> stations_;
  std::vector<size_t> candidates_;
  std::vector<FileAnswer> answers_;
  std::vector<DayVerdict> days_;
  Result result_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class NearestRun {
 public:
  NearestRun(const NearestFetchRequest& request, std::vector<StationRecord*> stations,
             const std::string& loginFile, const std::string& temporary, bool hasPassword)
      : request_(request),
        loginFile_(loginFile),
        temporary_(temporary),
        hasPassword_(hasPassword),
        view_(stderr, platform::IsTerminal(2), request.quiet) {
    for (StationRecord* station : stations) {
      candidates_.emplace_back();
      candidates_.back().station = station;
      candidates_.back().name = StationName(*station);
    }
    start_ = static_cast<int32_t>(ParseTime(request.from));
    end_ = static_cast<int32_t>(ParseTime(request.to));
  }

  // Runs until N are delivered, none is left or a stop; true when stopped.
  bool Run() {
    while (!nearest_stopping) {
      StartMore();
      TakeAvailability();
      for (Candidate& candidate : candidates_)
        if (candidate.state == Candidate::State::kRunning) Follow(&candidate);
      view_.Draw();
      if (Finished()) {
        // Questions still open concern stations already settled.
        if (round_) StopFtpProcessing();
        round_.reset();
        return false;
      }
      platform::SleepMilliseconds(20);
    }
    StopChildren();
    for (Candidate& candidate : candidates_) {
      if (!candidate.child) continue;
      if (candidate.state == Candidate::State::kRunning)
        Settle(&candidate, Candidate::State::kFailed, "stopped");
    }
    round_.reset();
    return true;
  }

  int delivered() const { return delivered_; }
  bool keptFiles() const {
    for (const Candidate& candidate : candidates_)
      if (candidate.kept) return true;
    return false;
  }

  void PrintSummary() const {
    for (const Candidate& candidate : candidates_) {
      if (candidate.state == Candidate::State::kWaiting) continue;
      std::printf("%s  %s\n", Label(*candidate.station).c_str(), candidate.outcome.c_str());
    }
  }

 private:
  int Running() const {
    int running = 0;
    for (const Candidate& candidate : candidates_)
      running += candidate.state == Candidate::State::kRunning ? 1 : 0;
    return running;
  }

  // Stops every retrieval, gives them all kStopGraceMilliseconds to end
  // (their output read meanwhile, so none blocks on a full pipe), kills
  // those still running and waits for every one.
  void StopChildren() {
    for (Candidate& candidate : candidates_)
      if (candidate.child) candidate.child->Stop();
    const uint32_t started = platform::TickCount();
    for (bool running = true; running;) {
      running = false;
      for (Candidate& candidate : candidates_) {
        if (!candidate.child) continue;
        std::string dropped;
        candidate.child->ReadAvailable(&dropped);
        int status = 0;
        running = running || !candidate.child->Ended(&status);
      }
      if (!running || platform::TickCount() - started >= platform::kStopGraceMilliseconds) break;
      platform::SleepMilliseconds(20);
    }
    for (Candidate& candidate : candidates_) {
      if (!candidate.child) continue;
      candidate.child->Kill();
      candidate.child->Wait();
    }
  }

  bool LoginFor(const StationRecord& station) const {
    return hasPassword_ && LoginGoesTo(station, request_.user, request_.service);
  }

  std::vector<std::string> ChildArguments(const Candidate& candidate) const {
    std::vector<std::string> arguments = {
        platform::OwnProgramPath(), "fetch", "--catalogue", request_.catalogue,
        "--station", candidate.name, "--service", StationService(*candidate.station),
        "--from", request_.from, "--to", request_.to, "--dest", request_.destination};
    arguments.insert(arguments.end(), request_.passedOn.begin(), request_.passedOn.end());
    if (LoginFor(*candidate.station)) {
      if (!request_.user.empty()) arguments.insert(arguments.end(), {"--user", request_.user});
      arguments.insert(arguments.end(), {"--password-file", loginFile_});
    }
    return arguments;
  }

  // A waiting station that may start now: its name is neither delivered
  // nor running under another service (its files would carry that name).
  // One whose name was delivered is passed over for good; one whose name is
  // running waits, to be tried should that one be skipped or fail.
  bool Startable(Candidate* candidate) {
    if (candidate->state != Candidate::State::kWaiting || candidate->passedOver) return false;
    const auto holder = names_.find(candidate->name);
    if (holder == names_.end()) return true;
    candidate->passedOver = holder->second == Candidate::State::kDelivered;
    return false;
  }

  // Starts the nearest startable stations while fewer than N are delivered
  // or running and fewer than `jobs` run.
  void StartMore() {
    std::vector<StationToAsk> asking;
    std::vector<size_t> indices;
    for (size_t index = 0; index < candidates_.size() &&
                           delivered_ + Running() < request_.count && Running() < request_.jobs;
         ++index) {
      Candidate& candidate = candidates_[index];
      if (!Startable(&candidate)) continue;
      names_[candidate.name] = Candidate::State::kRunning;
      candidate.line = view_.Add(Label(*candidate.station));
      candidate.child = std::make_unique<platform::ChildProcess>();
      std::string error;
      // Every temporary folder of the retrieval lies in ours; a password
      // reaches it through the login file only.
      if (!candidate.child->Start(ChildArguments(candidate),
                                  {"TMPDIR=" + temporary_, "TMP=" + temporary_,
                                   "TEMP=" + temporary_, "STANVEX_PASSWORD"},
                                  &error)) {
        Settle(&candidate, Candidate::State::kFailed, "failed: " + error);
        continue;
      }
      candidate.state = Candidate::State::kRunning;
      view_.Tell(candidate.line, "started");
      const bool login = LoginFor(*candidate.station);
      asking.push_back({candidate.station,
                        login && !request_.user.empty() ? request_.user.c_str() : nullptr,
                        login ? request_.password.c_str() : nullptr});
      indices.push_back(index);
    }
    for (size_t i = 0; i < indices.size(); ++i) {
      waiting_.push_back(asking[i]);
      waitingIndices_.push_back(indices[i]);
    }
    if (!round_ && !waiting_.empty()) {
      round_ = std::make_unique<AvailabilityRound>(std::move(waiting_), std::move(waitingIndices_),
                                                   start_, end_, request_.interval);
      waiting_.clear();
      waitingIndices_.clear();
    }
  }

  // Takes a finished round's answers: a station without data is stopped.
  void TakeAvailability() {
    if (!round_ || !round_->done()) return;
    const bool answered = round_->result().ok;
    if (!answered && !cannotAskTold_) {
      cannotAskTold_ = true;
      std::fprintf(stderr, "warning: %s; stations are fetched without being checked first\n",
                   round_->result().message);
    }
    const std::vector<size_t>& indices = round_->candidates();
    for (size_t i = 0; i < indices.size(); ++i) {
      Candidate& candidate = candidates_[indices[i]];
      candidate.asked = true;
      candidate.lacking = answered ? round_->Lacking(i) : "";
      candidate.hasData = candidate.lacking.empty();
      if (!candidate.hasData && candidate.state == Candidate::State::kRunning && !candidate.ended)
        candidate.child->Stop();
    }
    round_.reset();
  }

  void Settle(Candidate* candidate, Candidate::State state, const std::string& outcome) {
    candidate->state = state;
    candidate->outcome = outcome;
    if (state == Candidate::State::kDelivered) ++delivered_;
    // A name skipped or failed here may still be served by another service.
    if (state == Candidate::State::kDelivered)
      names_[candidate->name] = state;
    else
      names_.erase(candidate->name);
    view_.Tell(candidate->line, outcome);
  }

  // Reads a running station's output and settles it once it has ended and
  // its availability is known.
  void Follow(Candidate* candidate) {
    std::string text;
    const bool more = candidate->child->ReadAvailable(&text);
    candidate->partial += text;
    for (size_t end; (end = candidate->partial.find('\n')) != std::string::npos;) {
      std::string line = candidate->partial.substr(0, end);
      candidate->partial.erase(0, end + 1);
      if (line.empty()) continue;
      if (line.rfind("delivered ", 0) == 0) candidate->delivered = line.substr(10);
      if (line.find("the files that were not delivered are in") != std::string::npos)
        candidate->kept = true;
      candidate->recent.push_back(line);
      if (candidate->recent.size() > kReasonLines) candidate->recent.erase(candidate->recent.begin());
      // Plain lines leave out the retrieval's indented details.
      if (view_.redraws() || line[0] != ' ') view_.Tell(candidate->line, line);
    }
    if (!candidate->ended && !more) candidate->ended = candidate->child->Ended(&candidate->status);
    if (!candidate->ended) return;
    if (candidate->status == 0) {
      Settle(candidate, Candidate::State::kDelivered, "delivered " + candidate->delivered);
    } else if (!candidate->asked) {
      return;  // skipped or failed: its availability tells
    } else if (!candidate->hasData) {
      Settle(candidate, Candidate::State::kSkipped, "skipped: " + candidate->lacking);
    } else {
      std::string reason;
      for (const std::string& line : candidate->recent) reason += (reason.empty() ? "" : " ") + line;
      Settle(candidate, Candidate::State::kFailed, "failed: " + reason);
    }
  }

  bool Finished() const {
    if (delivered_ >= request_.count) return Running() == 0;
    if (Running() != 0 || round_ || !waiting_.empty()) return false;
    for (const Candidate& candidate : candidates_)
      if (candidate.state == Candidate::State::kWaiting && !candidate.passedOver &&
          names_.count(candidate.name) == 0)
        return false;
    return true;
  }

  const NearestFetchRequest& request_;
  std::string loginFile_;
  std::string temporary_;
  bool hasPassword_;
  StationView view_;
  std::vector<Candidate> candidates_;
  // The names delivered or running, and which of the two.
  std::map<std::string, Candidate::State> names_;
  int delivered_ = 0;
  int32_t start_ = 0;
  int32_t end_ = 0;
  std::unique_ptr<AvailabilityRound> round_;
  std::vector<StationToAsk> waiting_;  // started, their availability not asked yet
  std::vector<size_t> waitingIndices_;
  bool cannotAskTold_ = false;
};

// Removes the login file once the retrievals no longer read it: at once
// after the run, and on every way out (a kept folder never keeps it).
class LoginFileRemoval {
 public:
  explicit LoginFileRemoval(std::string path) : path_(std::move(path)) {}
  ~LoginFileRemoval() { Remove(); }
  LoginFileRemoval(const LoginFileRemoval&) = delete;
  LoginFileRemoval& operator=(const LoginFileRemoval&) = delete;
  void Remove() {
    if (!path_.empty()) platform::DeleteFile(path_.c_str());
    path_.clear();
  }

 private:
  std::string path_;
};

// Writes the password into a new file of the private folder, for the
// stations' retrievals to read (--password-file): never on a command line.
std::string WriteLoginFile(const PrivateFolder& folder, const std::string& password) {
  const std::string path = folder.File("login");
  std::FILE* file = platform::CreateOwnerOnlyFile(path.c_str());
  if (file == nullptr) throw CommandFailure{"cannot write the file " + path};
  const bool written = std::fputs((password + "\n").c_str(), file) >= 0;
  if (std::fclose(file) != 0 || !written) throw CommandFailure{"cannot write the file " + path};
  return path;
}

}  // namespace

void RunNearestFetch(const NearestFetchRequest& request) {
  if (request.count < 1) throw CommandFailure{"--nearest needs a number of stations of 1 or more"};
  if (request.jobs < 1) throw CommandFailure{"--jobs needs a number of 1 or more"};
  ParseTime(request.from);
  ParseTime(request.to);
  RequireServiceForUser(request.user, request.service);
  nearest_stopping = false;
  std::signal(SIGINT, StopNearest);
  std::signal(SIGTERM, StopNearest);
  struct SignalReset {
    ~SignalReset() {
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGTERM, SIG_DFL);
    }
  } signalReset;

  PrivateFolder folder("stanvex-nearest-");
  const std::string staged = StageCatalogue(request.catalogue, folder);
  ScopedCatalogue catalogue(staged, folder.path());
  std::vector<StationRecord*> stations = NearestStations(
      request.latitude, request.longitude, request.maxKm, kMostCandidates, request.service);
  if (stations.empty()) throw CommandFailure{"no station within " + KmText(request.maxKm) + " km"};
  bool anyToken = false;
  for (const StationRecord* station : stations) anyToken |= TakesToken(*station);
  bool hasPassword = false;
  NearestFetchRequest resolved = request;
  resolved.password = ResolvePassword(
      {request.user, request.passwordGiven, request.password, request.passwordFile, anyToken},
      &hasPassword);
  const std::string loginFile = hasPassword ? WriteLoginFile(folder, resolved.password) : "";
  LoginFileRemoval loginRemoval(loginFile);
  const std::string temporary = folder.File("tmp");
  if (!platform::MakeDirectory(temporary.c_str()))
    throw CommandFailure{"cannot make the folder " + temporary};

  NearestRun run(resolved, stations, loginFile, temporary, hasPassword);
  const bool stopped = run.Run();
  loginRemoval.Remove();  // every retrieval has ended
  run.PrintSummary();
  if (stopped) throw CommandFailure{"stopped: every retrieval was ended"};
  if (run.keptFiles()) {
    folder.Keep();
    std::fprintf(stderr, "the files that were not delivered are in %s\n", folder.path().c_str());
  }
  if (run.delivered() < request.count)
    throw CommandFailure{"only " + std::to_string(run.delivered()) + " of " +
                         std::to_string(request.count) +
                         " stations were delivered: no other station within " +
                         KmText(request.maxKm) + " km has data for the window"};
}

}  // namespace stanvex::cli
