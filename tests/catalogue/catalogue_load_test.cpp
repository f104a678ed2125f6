#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue_fixture.h"
#include "platform/platform.h"

namespace stanvex {
namespace {

using testing::CatalogueTest;
using testing::ReadFile;
using testing::ScratchDir;
using testing::ServiceBlock;
using testing::StationBlock;
using testing::StatusLog;
using testing::WriteFile;

// ---- joining the catalogue files -------------------------------------------

// Which files ConcatenateTwoASCIIFiles joined, or -1 when it failed.
int32_t Concatenate(const char* first, const char* second, const char* output) {
  int32_t joined = 0;
  return ConcatenateTwoASCIIFiles(first, second, output, &joined).ok ? joined : -1;
}

// The loaded catalogue as RequireLoadedCatalogue gives it; null when none,
// with the reason in why when given.
Serv_Sta* Loaded(std::string* why = nullptr) {
  Serv_Sta* catalogue = nullptr;
  Result required = RequireLoadedCatalogue(&catalogue);
  if (why != nullptr) *why = required.message;
  return catalogue;
}

TEST(ConcatenateTwoASCIIFiles, ResultTellsWhichFilesWereJoined) {
  ScratchDir d;
  std::string a = d.File("a"), b = d.File("b"), out = d.File("out");
  EXPECT_EQ(Concatenate(a.c_str(), b.c_str(), out.c_str()), 0);
  EXPECT_FALSE(testing::Exists(out));
  WriteFile(a, "first\n");
  EXPECT_EQ(Concatenate(a.c_str(), b.c_str(), out.c_str()), 1);
  EXPECT_EQ(ReadFile(out), "first\n");
  WriteFile(b, "second\n");
  EXPECT_EQ(Concatenate(a.c_str(), b.c_str(), out.c_str()), 3);
  EXPECT_EQ(ReadFile(out), "first\nsecond\n");
  platform::DeleteFile(a.c_str());
  EXPECT_EQ(Concatenate(a.c_str(), b.c_str(), out.c_str()), 2);
  EXPECT_EQ(ReadFile(out), "second\n");
}

TEST(ConcatenateTwoASCIIFiles, MissingFinalNewlinesAreAdded) {
  ScratchDir d;
  std::string a = d.File("a"), b = d.File("b"), out = d.File("out");
  WriteFile(a, "A {\n x: 1\n}");
  WriteFile(b, "B {\n y: 2\n}");
  EXPECT_EQ(Concatenate(a.c_str(), b.c_str(), out.c_str()), 3);
  EXPECT_EQ(ReadFile(out), "A {\n x: 1\n}\nB {\n y: 2\n}\n");
  WriteFile(a, "");
  EXPECT_EQ(Concatenate(a.c_str(), b.c_str(), out.c_str()), 3);
  EXPECT_EQ(ReadFile(out), "B {\n y: 2\n}\n");
}

TEST(ConcatenateTwoASCIIFiles, LongLinesAndNulBytesPassUnchanged) {
  ScratchDir d;
  std::string a = d.File("a"), out = d.File("out");
  std::string text = std::string(1200, 'q') + "\n" + std::string("x\0y\n", 4);
  WriteFile(a, text);
  EXPECT_EQ(Concatenate(a.c_str(), d.File("none").c_str(), out.c_str()), 1);
  EXPECT_EQ(ReadFile(out), text);
}

TEST(ConcatenateTwoASCIIFiles, UncreatableOutputIsMinusOne) {
  ScratchDir d;
  std::string a = d.File("a");
  WriteFile(a, "x\n");
  EXPECT_EQ(Concatenate(a.c_str(), a.c_str(), d.File("no/such/out").c_str()), -1);
}

// ---- loading ----------------------------------------------------------------

TEST_F(CatalogueTest, LoadsStationsAndServices) {
  WriteMaker(ServiceBlock("SCIGN", " dFile: /a/%y/%d.Z\n color: Red\n") +
             StationBlock("bbry", "scign", "34 15 22.5 S", "116 52 30 w") + ServiceBlock("EMPTY"));
  WriteUser(StationBlock("\"Big Bear\"", "SCIGN"));
  ASSERT_EQ(Load(), 0) << Error();
  ASSERT_EQ(+record.iNumStations, 2);
  ASSERT_EQ(+record.iNumServices, 2);
  EXPECT_EQ(+record.iServiceSize, 0);  // the host sets the sizes again
  EXPECT_EQ(+record.iStationSize, 0);

  const StationRecord& s = record.pStations[0];  // "bbry" sorts before "Big`Bea"
  EXPECT_STREQ(s.sName, "bbry");
  // The quoted name keeps its back-quote and is cut to the field's 7 characters.
  EXPECT_STREQ(record.pStations[1].sName, "Big`Bea");
  EXPECT_DOUBLE_EQ(s.lat, -(22.5 / 3600 + 15.0 / 60 + 34));
  EXPECT_NEAR(s.lat, -34.25625, 1e-12);
  EXPECT_NEAR(s.lon, -116.875, 1e-12);
  EXPECT_EQ(+s.latHem, 'S');
  EXPECT_FLOAT_EQ(s.height, 100.5f);
  EXPECT_STREQ(s.serv, "scign");

  const ServiceRecord& scign = record.pServices[0];
  EXPECT_STREQ(scign.ServId, "SCIGN");
  EXPECT_STREQ(scign.oFile, "/a/%y/%o.Z");
  EXPECT_EQ(+scign.hasDFile, 1);
  EXPECT_STREQ(scign.dFile, "/a/%y/%d.Z");
  EXPECT_STREQ(scign.Ftype, "Z");
  EXPECT_STREQ(scign.color, "red");
  EXPECT_STREQ(scign.servIcon, "dnld_red_serv_icon");
  EXPECT_EQ(+scign.stationCount, 2);
  EXPECT_EQ(+scign.firstStation, 0);
  const ServiceRecord& empty = record.pServices[1];
  EXPECT_EQ(+empty.hasDFile, 0);
  EXPECT_STREQ(empty.color, "magenta");
  EXPECT_STREQ(empty.servIcon, "dnld_magenta_serv_icon");
  EXPECT_STREQ(empty.staIcon, "dnld_magenta_sta_icon");
  EXPECT_EQ(+empty.stationCount, 0);

  EXPECT_STREQ(WorkingDirectory, work.path().c_str());
  char cwd[256];
  ASSERT_TRUE(platform::GetCurrentDir(cwd, sizeof cwd));
  EXPECT_STREQ(SavedDirectory, cwd);
  EXPECT_TRUE(StatusLog::Saw(STATUS_TEXT, "Initalize Starting"));
  EXPECT_EQ(FindService("scign"), &record.pServices[0]);
  EXPECT_EQ(FindService("IGS"), nullptr);
}

TEST_F(CatalogueTest, BlockMissingARequiredKeyIsNotStored) {
  std::string no_ht = "Station {\n sName: noht\n lat: 1 0 0 N\n lon: 1 0 0 E\n serv: S\n}\n";
  std::string no_ftp = "Service {\n ServId: T\n oFile: o\n nFile: n\n Ftype: Z\n}\n";
  WriteUser(no_ht + StationBlock("good", "S") + no_ftp + ServiceBlock("S"));
  ASSERT_EQ(Load(), 0) << Error();
  // Skipped blocks still count; their slots are left empty (and the empty
  // station sorts first).
  ASSERT_EQ(+record.iNumStations, 2);
  EXPECT_STREQ(record.pStations[0].sName, "");
  EXPECT_STREQ(record.pStations[1].sName, "good");
  EXPECT_STREQ(record.pServices[0].ServId, "S");
  EXPECT_STREQ(record.pServices[1].ServId, "");
}

TEST_F(CatalogueTest, OverlongFieldTextsAreCut) {
  std::string serv(40, 's');
  std::string color(20, 'C');
  WriteUser(StationBlock("abcdefghij", serv) + ServiceBlock(serv, " color: " + color + "\n"));
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_STREQ(record.pStations[0].sName, "abcdefg");
  EXPECT_EQ(std::string(record.pStations[0].serv), std::string(31, 's'));
  EXPECT_EQ(std::string(record.pServices[0].color), std::string(16, 'c'));
  EXPECT_EQ(std::string(record.pServices[0].servIcon),
            "dnld_" + std::string(16, 'c') + "_serv_icon");
  EXPECT_EQ(+record.pServices[0].stationCount, 1);
}

// Values longer than their fields, and lines longer than 254 characters, are
// reported with the line of their block in the file the user wrote; a block
// with such a line is left out whole and not counted.
TEST_F(CatalogueTest, OverlongValuesAndLinesAreReportedWithTheirLine) {
  const std::string x5000(5000, 'x');
  auto service = [](const std::string& id, const std::string& address, const std::string& type,
                    const std::string& more) {
    return "Service {\n ServId: " + id + "\n ftpAd: " + address +
           "\n oFile: /o\n nFile: /n\n Ftype: " + type + "\n" + more + "}\n";
  };
  struct Case {
    const char* name;
    std::string maker, user;
    std::string stations, services;  // names in array order, joined by ","
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {"names cut to 7 characters", ServiceBlock("S"),
       StationBlock("abcdefgh1", "S") + StationBlock("abcdefgh2", "S"), "abcdefg,abcdefg", "S",
       {"Station abcdefgh1 (user.dwn line 1): its sName is longer than 7 characters; cut to "
        "abcdefg",
        "Station abcdefgh2 (user.dwn line 8): its sName is longer than 7 characters; cut to "
        "abcdefg",
        "Station abcdefg appears twice in the catalogue (services S and S); the first, of "
        "service S, is used"}},
      {"long line in a station", ServiceBlock("S"),
       StationBlock("ok", "S") + "Station {\n sName: long\n note: " + x5000 + x5000 +
           "\n lat: 1 0 0 N\n lon: 1 0 0 E\n ht: 1\n serv: S\n}\n",
       "ok", "S",
       {"user.dwn line 10 is longer than 254 characters; the Station block of user.dwn line 8 "
        "is left out"}},
      {"block opened by the rest of a long line", "",
       ServiceBlock("S") + "; " + std::string(251, 'x') + " Station {\n sName: evil\n" +
           " lat: 1 0 0 N\n lon: 1 0 0 E\n ht: 1\n serv: S\n}\n" + StationBlock("ok", "S"),
       "ok", "S",
       {"user.dwn line 8 is longer than 254 characters; the Station block of user.dwn line 8 "
        "is left out"}},
      {"5000-character address", "", service("S", x5000, "Z", "") + ServiceBlock("T") +
                                         StationBlock("ok", "T"),
       "ok", "T",
       {"user.dwn line 3 is longer than 254 characters; the Service block of user.dwn line 1 "
        "is left out"}},
      {"addresses, types and colours too long for their fields", "",
       service("S", std::string(200, 'a'), "Z", " color: " + std::string(20, 'C') + "\n") +
           service("T", "t", "gzipped", "") + StationBlock("ok", "T"),
       "ok", "S,T",
       {"Service S (user.dwn line 1): its address (ftpAd) is longer than 127 characters; the "
        "service can not be used",
        "Service S (user.dwn line 1): its color is longer than 16 characters; cut to " +
            std::string(16, 'c'),
        "Service T (user.dwn line 9): its Ftype is longer than 4 characters; cut to gzip"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StatusLog::Records().clear();
    WriteMaker(c.maker);
    WriteUser(c.user);
    Reset();
    ASSERT_EQ(Load(), 0) << Error();
    std::string stations, services;
    for (int32_t i = 0; i < record.iNumStations; ++i)
      stations += (i > 0 ? "," : "") + std::string(record.pStations[i].sName);
    for (int32_t i = 0; i < record.iNumServices; ++i)
      services += (i > 0 ? "," : "") + std::string(record.pServices[i].ServId);
    EXPECT_EQ(stations, c.stations) << "no nameless station at 0, 0";
    EXPECT_EQ(services, c.services);
    for (const std::string& report : c.reports)
      EXPECT_TRUE(StatusLog::Saw(STATUS_TEXT, report)) << report;
    vClearMem(&record);
  }
}

TEST_F(CatalogueTest, OlderCombinedFileIsLoadedWhenNoInputExists) {
  WriteFile(dir.File("combined.dwn"), StationBlock("old1", "S") + ServiceBlock("S"));
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_STREQ(record.pStations[0].sName, "old1");
}

TEST_F(CatalogueTest, Loads8192StationsButNotMore) {
  std::string services = ServiceBlock("S");
  std::string stations;
  for (int i = 0; i < 8192; ++i) stations += StationBlock("s" + std::to_string(i), "S");
  WriteMaker(services + stations);
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_EQ(+record.iNumStations, 8192);
  EXPECT_EQ(+record.pServices[0].stationCount, 8192);
  vClearMem(&record);

  WriteUser(StationBlock("one_more", "S"));
  Reset();
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Too many stations in the input file " + dir.File("combined.dwn"));
  EXPECT_TRUE(StatusLog::Saw(STATUS_ERROR, "Error in Initalization"));
}

TEST_F(CatalogueTest, CountFailuresNameTheCombinedFile) {
  std::string combined = dir.File("combined.dwn");
  WriteUser(ServiceBlock("S"));
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "NO stations found in the input file " + combined);

  WriteUser(StationBlock("a", "S"));
  Reset();
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "NO services found in the input file " + combined);

  std::string services;
  for (int i = 0; i < 33; ++i) services += ServiceBlock("S" + std::to_string(i));
  WriteUser(StationBlock("a", "S") + services);
  Reset();
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Too many services in the input file " + combined);
  // The record is cleared but the catalogue is not usable.
  EXPECT_EQ(+record.pStations, nullptr);
  EXPECT_EQ(Loaded(), nullptr);
}

TEST_F(CatalogueTest, RecordChecksFailBeforeAnythingChanges) {
  WriteUser(StationBlock("a", "S") + ServiceBlock("S"));
  EXPECT_EQ(iInitalizeNEW(const_cast<char*>(dir.path().c_str()), work.path().c_str(), nullptr), -1);
  EXPECT_EQ(Error(), "The Serv_Sta struct has not been initalized");
  EXPECT_TRUE(StatusLog::Saw(STATUS_ERROR, "Error in Initalization"));

  record.iServiceSize = 1040;
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Error invalid structure size for service struct Stanvex.dll ");
  record.iServiceSize = 1041;
  record.iStationSize = 97;
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Error invalid structure size for station struct Stanvex.dll");
  EXPECT_EQ(LoadedCatalogue, nullptr);
}

TEST_F(CatalogueTest, SecondLoadNeedsTheSizesSetAgain) {
  WriteUser(StationBlock("a", "S") + ServiceBlock("S"));
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Error invalid structure size for service struct Stanvex.dll ");
  // The first load stays usable.
  EXPECT_EQ(Loaded(), &record);
  record.iServiceSize = 1041;
  record.iStationSize = 98;
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(Loaded(), &record);
}

// A failed load leaves the host's record as it was (sizes, counts and
// arrays), whether it was fresh or held a catalogue, so that the host's retry
// with the same record works once the catalogue is mended.
TEST_F(CatalogueTest, FailedLoadLeavesTheRecordForTheRetry) {
  const std::string combined = dir.File("combined.dwn");
  const std::string good = StationBlock("a", "S") + ServiceBlock("S");
  struct Case {
    const char* name;
    std::string user, error;
  } const cases[] = {
      {"no station", ServiceBlock("S"), "NO stations found in the input file " + combined},
      {"no service", StationBlock("a", "S"), "NO services found in the input file " + combined},
  };
  for (const Case& c : cases) {
    for (bool loaded_before : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (loaded_before ? ", record loaded before" : ""));
      Reset();
      if (loaded_before) {
        WriteUser(good);
        ASSERT_EQ(Load(), 0) << Error();
        record.iServiceSize = 1041;
        record.iStationSize = 98;
      }
      const Serv_Sta before = record;
      WriteUser(c.user);
      EXPECT_EQ(Load(), -1);
      EXPECT_EQ(Error(), c.error);
      EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << "the record is as it was";
      if (loaded_before) {
        EXPECT_STREQ(record.pStations[0].sName, "a") << "its arrays are kept";
      }
      EXPECT_EQ(Loaded(), nullptr);
      WriteUser(good);
      EXPECT_EQ(Load(), 0) << Error();
      EXPECT_EQ(Loaded(), &record);
      vClearMem(&record);
    }
  }
}

TEST_F(CatalogueTest, FileFailuresNeedNoStatusRecord) {
  // Nothing to join and no older combined file.
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Error Unable to OPEN Input File " + dir.File("combined.dwn"));

  StatusLog::Records().clear();
  ResetLibraryStateForTesting();
  SetCallBack(&StatusLog::Receive);
  WriteUser("x\n");
  platform::MakeDirectory(dir.File("combined.dwn").c_str());
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Could not open temporary file '" + dir.File("combined.dwn") + "'");
  EXPECT_TRUE(StatusLog::Records().empty());

  std::string long_dir(250, 'd');
  EXPECT_EQ(iInitalizeNEW(long_dir.data(), "", &record), -1);
  EXPECT_EQ(Error(), "Path is too long " + long_dir);
}

// A host callback that throws stands in for an allocation failing inside the
// load: the exception ends the load as a failure and never reaches the host.
void STANVEX_CALL ThrowOnStart(StatusRecord* record) {
  StatusLog::Receive(record);
  if (record->code == STATUS_TEXT) throw std::bad_alloc();
}

TEST_F(CatalogueTest, ExceptionDuringTheLoadIsItsFailure) {
  WriteUser(StationBlock("a", "S") + ServiceBlock("S"));
  SetCallBack(&ThrowOnStart);
  EXPECT_EQ(Load(), -1);
  EXPECT_EQ(Error(), "Error iInitalizeNEW ran out of memory");
  EXPECT_TRUE(StatusLog::Saw(STATUS_ERROR, "Error in Initalization"));
  SetCallBack(&StatusLog::Receive);
  EXPECT_EQ(Load(), 0);
}

TEST_F(CatalogueTest, ClearedCatalogueIsNoLongerUsed) {
  WriteUser(StationBlock("a", "S") + ServiceBlock("S"));
  ASSERT_EQ(Load(), 0);
  ASSERT_NE(FindService("S"), nullptr);
  vClearMem(&record);
  EXPECT_EQ(FindService("S"), nullptr);
  std::string why;
  EXPECT_EQ(Loaded(&why), nullptr);
  EXPECT_EQ(why, "Error no station catalogue is loaded. Call iInitalizeNEW first");
  vClearMem(&record);  // a second release does nothing

  // A record the library did not fill is never released.
  StationRecord host_station{};
  Serv_Sta foreign{1041, 98, &host_station, nullptr, 1, 0};
  vClearMem(&foreign);
  vClearMem(nullptr);
}

TEST_F(CatalogueTest, HostChangingTheCountsMakesTheCatalogueUnusable) {
  WriteUser(StationBlock("a", "S") + ServiceBlock("S"));
  ASSERT_EQ(Load(), 0);
  record.iNumStations = 5000;
  EXPECT_EQ(Loaded(), nullptr);
  record.iNumStations = 1;
  EXPECT_EQ(Loaded(), &record);
}

}  // namespace
}  // namespace stanvex
