// One whole retrieval run again and again, its Nth open, create, write,
// rename, remove or read of the platform failing, for N = 1, 2, ... of each
// kind until the retrieval passes untouched. Three days of a station that
// publishes compact RINEX only (.Z), its navigation from the IGS service
// (zip), joined, cut, interpolated and delivered. Every run must end cleanly:
// a failure with its heading and a reason naming the file, or the very files
// of the untouched run; the destination's older files untouched or replaced
// by all three;
// nothing written outside the working folder; no descriptor left open; the
// current directory as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "platform/methods.h"
#include "platform/platform.h"
#include "sample_archive_cache.h"
#include "status_recorder.h"
#include "unz.h"

namespace fs = std::filesystem;

namespace stanvex::testing {
namespace {

enum Kind { kOpen, kCreate, kWrite, kRename, kRemove, kRead, kKindCount };
const char* const kKindNames[kKindCount] = {"open", "create", "write", "rename", "remove", "read"};

// The counting table: each wrapped entry counts its call and fails the one
// chosen call; the rest go to the system's own entries.
struct Counter {
  const platform::Methods* next = nullptr;
  platform::Methods table{};
  int calls[kKindCount] = {};
  int failKind = -1;
  int failAt = 0;
  std::string failedPath;           // the path of the failed call, "" before it
  std::string failedSource;         // a failed rename's source
  std::map<int, std::string> open;  // descriptor -> path
} counter;

bool Fail(Kind kind, const std::string& path, int error) {
  if (++counter.calls[kind] != counter.failAt || kind != counter.failKind) return false;
  counter.failedPath = path.empty() ? "?" : path;
  platform::SetLastSystemError(error);
  return true;
}

std::string PathOf(int file) {
  auto it = counter.open.find(file);
  return it != counter.open.end() ? it->second : std::string();
}

int OpenRead(const char* path) {
  if (Fail(kOpen, path, platform::AccessDeniedError())) return -1;
  int file = counter.next->openRead(path);
  if (file >= 0) counter.open[file] = path;
  return file;
}

int CreateNew(const char* path) {
  if (Fail(kCreate, path, platform::DiskFullError())) return -1;
  int file = counter.next->createNew(path);
  if (file >= 0) counter.open[file] = path;
  return file;
}

long Write(int file, const void* data, size_t size) {
  if (Fail(kWrite, PathOf(file), platform::DiskFullError())) return -1;
  return counter.next->write(file, data, size);
}

long Read(int file, void* buffer, size_t size) {
  if (Fail(kRead, PathOf(file), platform::InputOutputError())) return -1;
  return counter.next->read(file, buffer, size);
}

int Close(int file) {
  counter.open.erase(file);
  return counter.next->close(file);
}

bool Rename(const char* source, const char* target, bool replace) {
  if (Fail(kRename, target, platform::DiskFullError())) {
    counter.failedSource = source;
    return false;
  }
  return counter.next->rename(source, target, replace);
}

bool Remove(const char* path) {
  if (Fail(kRemove, path, platform::AccessDeniedError())) return false;
  return counter.next->remove(path);
}

// Installs the counting table while it lives, failing call failAt of kind.
class CountingTable {
 public:
  CountingTable(int kind, int failAt) {
    counter.next = platform::InstallMethods(nullptr);
    counter.table = *counter.next;
    counter.table.openRead = OpenRead;
    counter.table.createNew = CreateNew;
    counter.table.write = Write;
    counter.table.read = Read;
    counter.table.close = Close;
    counter.table.rename = Rename;
    counter.table.remove = Remove;
    for (int& calls : counter.calls) calls = 0;
    counter.failKind = kind;
    counter.failAt = failAt;
    counter.failedPath.clear();
    counter.failedSource.clear();
    platform::InstallMethods(&counter.table);
  }
  ~CountingTable() { platform::InstallMethods(counter.next); }
  CountingTable(const CountingTable&) = delete;
  CountingTable& operator=(const CountingTable&) = delete;
};

// Three days at 300 s of one station of the compact-only service.
std::string LoopArchive() {
  sim::ArchiveOptions options;
  options.startGps = ArchiveFirstDay();
  options.days = 3;
  options.interval = 300;
  options.seed = 13;
  for (const sim::ArchiveStation& station : sim::DefaultStations())
    if (station.station.name == "sime") options.stations.push_back(station);
  return CachedArchive("fault-loop-archive-v1", options);
}

// The archive's merged navigation files again, zipped, under igs; the
// member carries the name the day's unpacked navigation file has.
bool ZipNavigation(const std::string& archive, const std::string& igs) {
  fs::create_directories(igs);
  for (const char* day : {"3650.22n", "0010.23n", "0020.23n"}) {
    const std::string year = std::string(day).substr(5, 2) == "22" ? "2022" : "2023";
    const std::string packed = archive + "/archive/igs/pub/gps/data/daily/" + year + "/" +
                               std::string(day).substr(0, 3) + "/brdc" + day + ".Z";
    const std::string plain = igs + "/brdc" + day;
    try {
      QvUnZ_Extract(packed.c_str(), plain.c_str());
    } catch (int) {
      return false;
    }
    std::string error;
    if (!sim::WritePacked(ReadFile(plain), sim::Packing::kZip, plain + ".zip",
                          "sime" + std::string(day), sim::SimTime{}, &error))
      return false;
    fs::remove(plain);
  }
  return true;
}

// The files of folder by name, an OBN header's creation time (bytes 8 to
// 19) left out.
std::map<std::string, std::string> FilesIn(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string bytes = ReadFile(entry.path().string());
    if (entry.path().extension() == ".obn" && bytes.size() >= 20) bytes.replace(8, 12, 12, '\0');
    files[entry.path().filename().string()] = bytes;
  }
  return files;
}

// The reasons the interface fixes word for word, which name no file: a
// decoded file that cannot be written, a compact file that cannot be read
// (taken as one cut short), the cut ephemeris file that cannot be made.
bool NamesNoFileByDesign(const std::string& text) {
  for (const char* fixed : {"Error writing to disk.  Disk may be full",
                            "ERROR : format is not valid compressed rinex format",
                            "Error in compressed rinex file:  The file is trancated in the middle",
                            "Error creating file cFileOutNVB"})
    if (text == fixed) return true;
  return false;
}

void EmptyFolder(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

// An older delivery of the names a run delivers, alone in dest.
void PlaceOlderDelivery(const std::string& dest) {
  EmptyFolder(dest);
  for (const char* extension : {".obn", ".nvb", ".sta"})
    WriteFile(dest + "/sime3650" + extension, std::string("old") + extension);
}

TEST(FaultLoopTest, EveryFailingSystemCallEndsTheRetrievalCleanly) {
  const std::string archive = LoopArchive();
  ASSERT_FALSE(archive.empty()) << "the simulated archive could not be made";
  ScratchDir parent;
  const std::string work = parent.File("work"), dest = parent.File("dest");
  const std::string catalogueDir = parent.File("catalogue");
  for (const std::string& folder : {work, dest, catalogueDir}) fs::create_directories(folder);
  ASSERT_TRUE(ZipNavigation(archive, parent.File("igs")));
  WriteFile(catalogueDir + "/manufact.dwn",
            "Service {\n  ServId: SIMCRX\n  ftpAd: file://" + archive +
                "/archive/simcrx\n  oFile: /pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>o.Z\n"
                "  nFile: /pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z\n"
                "  dFile: /pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>d.Z\n  Ftype: Z\n}\n"
                "Service {\n  ServId: IGS\n  ftpAd: file://" + parent.File("igs") +
                "\n  oFile: /none\n  nFile: /brdc<JJJ>0.<yy>n.zip\n  Ftype: zip\n}\n"
                "Station {\n  sName: sime\n  lat: 40 42 46.1034 N\n  lon: 74 0 21.5127 W\n"
                "  ht: 10.55\n  serv: SIMCRX\n}\n");
  // Relative writes would land in the parent, where the snapshot sees them.
  ASSERT_EQ(::chdir(parent.path().c_str()), 0);
  Serv_Sta catalogue{};
  catalogue.iServiceSize = sizeof(ServiceRecord);
  catalogue.iStationSize = sizeof(StationRecord);
  std::vector<char> catalogueText(catalogueDir.begin(), catalogueDir.end());
  catalogueText.push_back('\0');
  ASSERT_EQ(iInitalizeNEW(catalogueText.data(), work.c_str(), &catalogue), 0);
  ASSERT_EQ(catalogue.iNumStations, 1);

  // From 02:00 of the first day to 20:00 of the third, interpolated to 150 s.
  const double start = static_cast<double>(ArchiveFirstDay() + 2 * 3600);
  const double end = static_cast<double>(ArchiveFirstDay() + 2 * 86400 + 20 * 3600);
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  const std::string home = cwd;
  struct Run {
    int result;
    std::string heading, text;
  };
  // The destination holds an older delivery of the same names, which a
  // run replaces whole or leaves as it was.
  auto retrieve = [&](int kind, int failAt) {
    EmptyFolder(work);
    PlaceOlderDelivery(dest);
    StatusRecorder recorder;
    CountingTable table(kind, failAt);
    char destText[512] = {}, delivered[512] = {};
    std::snprintf(destText, sizeof destText, "%s", dest.c_str());
    Run run{iFTP(start, end, &catalogue.pStations[0], destText, 150, delivered, nullptr, nullptr,
                 1, 0, 1),
            "", ""};
    const std::vector<std::string> headings = recorder.Headings();
    if (!headings.empty()) run.heading = headings.back();
    char text[512];
    iGetLastError(text);
    run.text = text;
    return run;
  };

  PlaceOlderDelivery(dest);
  const std::map<std::string, std::string> old = FilesIn(dest);
  const Run untouched = retrieve(-1, 0);
  ASSERT_EQ(untouched.result, 0) << untouched.text;
  const std::map<std::string, std::string> expected = FilesIn(dest);
  ASSERT_EQ(expected.size(), 3u);
  int totals[kKindCount];
  for (int kind = 0; kind < kKindCount; ++kind) totals[kind] = counter.calls[kind];

  const std::map<int, std::string> descriptors = OpenDescriptors();
  const auto outside = SnapshotTree(parent.path(), {"work", "dest"});
  int faultPoints = 0;
  int faults = 0;
  for (int kind = 0; kind < kKindCount && faults < 60; ++kind) {
    for (int n = 1; faults < 60; ++n) {
      const Run run = retrieve(kind, n);
      const std::string failed = counter.failedPath;
      if (failed.empty()) {
        // Call n was never made: the retrieval ran untouched.
        EXPECT_EQ(run.result, 0) << kKindNames[kind] << " " << n << ": " << run.text;
        EXPECT_TRUE(FilesIn(dest) == expected) << kKindNames[kind] << " " << n;
        break;
      }
      ++faultPoints;
      const std::string where = std::string(kKindNames[kind]) + " " + std::to_string(n) +
                                " of " + failed + ": " + run.heading + " / " + run.text;
      // The reason names the file of the failed call (a rename's source or
      // target; a temporary ".part" file by the name it stands for).
      auto named = [&](const std::string& path) {
        std::string name = fs::path(path).filename().string();
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0)
          name.resize(name.size() - 5);
        return !path.empty() && run.text.find(name) != std::string::npos;
      };
      const bool namesFile =
          named(failed) || named(counter.failedSource) || NamesNoFileByDesign(run.text);
      const std::map<std::string, std::string> delivered = FilesIn(dest);
      bool clean = true;
      if (run.result == 0) {
        // A failure the retrieval rightly passes over (a file it could not
        // delete, which then stays): the delivered files are the untouched
        // run's.
        std::map<std::string, std::string> placed = delivered;
        if (kind == kRemove && fs::path(failed).parent_path() == fs::path(dest))
          placed.erase(fs::path(failed).filename().string());
        clean = placed == expected;
      } else {
        clean = run.result == -1 && !run.heading.empty() && namesFile &&
                (delivered == old || delivered == expected);
      }
      clean = clean && SnapshotTree(parent.path(), {"work", "dest"}) == outside &&
              OpenDescriptors().size() == descriptors.size() && ::getcwd(cwd, sizeof cwd) &&
              home == std::string(cwd);
      if (!clean) {
        ++faults;
        std::string names;
        for (const auto& [file, bytes] : delivered)
          names += " " + file + "=" + std::to_string(bytes.size());
        ADD_FAILURE() << where << " (result " << run.result << "; destination:" << names << ")";
        ::chdir(parent.path().c_str());
      }
    }
  }
  vClearMem(&catalogue);
  ::chdir("/");
  std::printf("fault points: %d (calls of the untouched run: open %d, create %d, write %d, "
              "rename %d, remove %d, read %d)\n",
              faultPoints, totals[kOpen], totals[kCreate], totals[kWrite], totals[kRename],
              totals[kRemove], totals[kRead]);
  EXPECT_GT(faultPoints, 100);
}

}  // namespace
}  // namespace stanvex::testing
