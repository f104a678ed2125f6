// The frame of the fault and soak tests: a scratch parent holding the
// catalogue, working and destination folders, a loopback FTP server over a
// copy-on-demand archive, and the checks every case shares (descriptors,
// files written outside the two folders, the destination left alone).
#ifndef STANVEX_TESTS_FAULTS_FAULT_FIXTURE_H
#define STANVEX_TESTS_FAULTS_FAULT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "ftp_fixture.h"
#include "stanvex.h"
#include "test_support.h"

namespace stanvex::testing {

// Every regular file below root (relative path -> size), leaving out the
// folders named in skip (relative to root).
std::map<std::string, uintmax_t> SnapshotTree(const std::string& root,
                                              const std::vector<std::string>& skip = {});

// Open descriptors of this process.
int OpenDescriptorCount();

// A free TCP port of 127.0.0.1 that nothing listens on (bound, then closed).
int UnusedLoopbackPort();

class FaultTest : public ::testing::Test {
 public:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Paths below the scratch parent.
  std::string Parent() const { return parent_.path(); }
  std::string Work() const { return parent_.path() + "/work"; }
  std::string Dest() const { return parent_.path() + "/dest"; }
  std::string CatalogueDir() const { return parent_.path() + "/catalogue"; }
  // A private copy of the archive for cases that damage files, under the
  // scratch parent (so it is part of what must not change).
  std::string CopyArchive();

  // Starts the server (over options.root, or the shared archive) and loads a
  // catalogue whose services point at it. address, when given, replaces the
  // server address in every service (e.g. a port nobody listens on).
  void Serve(FtpServerOptions options = {}, const std::string& address = "",
             const std::string& extraCatalogue = "");
  // Loads the catalogue text as manufact.dwn; returns iInitalizeNEW's result.
  int LoadCatalogue(const std::string& text);

  StationRecord* StationNamed(const char* name);
  // One request for an hour of day 1 (or the given window) into Dest().
  int Fetch(const char* station, double interval = 0, int64_t start = -1, int64_t end = -1);
  std::string LastError();

  // Takes the snapshots the checks compare against: call just before the
  // request, after the server runs and the catalogue is loaded.
  void BeforeRequest();
  // No descriptor left open, nothing written outside the working and
  // destination folders; with destinationUntouched, nothing in Dest() either.
  void ExpectNothingLeaked(bool destinationUntouched = true);

  static inline std::string archive_;
  ScratchDir parent_;
  std::unique_ptr<FtpServer> server_;
  Serv_Sta catalogue_{};
  char destText_[512] = {};
  char delivered_[512] = {};
  std::map<int, std::string> descriptorsBefore_;
  std::map<std::string, uintmax_t> outsideBefore_, destBefore_;
  std::string destOverride_;  // a destination other than Dest()
  int64_t day1_ = 0;
};

}  // namespace stanvex::testing

#endif
