// Long station names, mirror addresses and bearer tokens: kept beside the host's records,
// found by a record's place, released and replaced with the arrays.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue_fixture.h"

namespace stanvex::testing {
namespace {

std::string Station(const std::string& name, const std::string& serv, const std::string& extra) {
  return "Station {\n sName: " + name + "\n" + extra +
         " lat: 1 0 0 N\n lon: 1 0 0 E\n ht: 1\n serv: " + serv + "\n}\n";
}

const StationRecord* Named(const Serv_Sta& record, const char* name) {
  for (int32_t i = 0; i < record.iNumStations; ++i)
    if (std::string(record.pStations[i].sName) == name) return &record.pStations[i];
  return nullptr;
}

std::string LongName(const StationRecord* station) {
  const char* name = StationLongName(station);
  return name != nullptr ? name : "(none)";
}

TEST_F(CatalogueTest, LongNamesFollowTheirStationsThroughTheSort) {
  WriteMaker(ServiceBlock("ZZZ") + ServiceBlock("AAA") +
             Station("zimm", "ZZZ", " lName: ZIMM00CHE\n") +
             Station("wtzr", "AAA", " lName: wtzr00deu ; upper-cased\n") +
             Station("abcd", "ZZZ", "") +
             Station("bad1", "AAA", " lName: BAD1/0CHE\n") +
             Station("bad2", "AAA", " lName: BAD200CHE0\n"));
  ASSERT_EQ(Load(), 0) << Error();
  // Sorted: AAA's bad1, bad2, wtzr, then ZZZ's abcd, zimm.
  ASSERT_EQ(std::string(record.pStations[0].sName), "bad1");
  EXPECT_EQ(LongName(Named(record, "zimm")), "ZIMM00CHE");
  EXPECT_EQ(LongName(Named(record, "wtzr")), "WTZR00DEU");
  EXPECT_EQ(LongName(Named(record, "abcd")), "(none)");
  EXPECT_EQ(LongName(Named(record, "bad1")), "(none)") << "a slash can never name a file";
  EXPECT_EQ(LongName(Named(record, "bad2")), "(none)") << "ten characters";
  EXPECT_TRUE(StatusLog::Saw(STATUS_TEXT,
                             "Station bad1: long name ignored, 9 letters or digits expected: "
                             "BAD1/0CHE"));
  EXPECT_EQ(sizeof(StationRecord), 98u);

  // Only elements of the loaded array have long names.
  StationRecord copy = *Named(record, "zimm");
  EXPECT_EQ(StationLongName(&copy), nullptr);
  const char* inside = reinterpret_cast<const char*>(Named(record, "zimm")) + 1;
  EXPECT_EQ(StationLongName(reinterpret_cast<const StationRecord*>(inside)), nullptr);
}

TEST_F(CatalogueTest, LongNamesAreReleasedAndReplacedWithTheArrays) {
  WriteMaker(ServiceBlock("S") + Station("zimm", "S", " lName: ZIMM00CHE\n"));
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_EQ(LongName(&record.pStations[0]), "ZIMM00CHE");
  WriteMaker(ServiceBlock("S") + Station("zimm", "S", " lName: ZIMM01CHE\n"));
  Reset();
  ASSERT_EQ(Load(), 0) << Error();
  EXPECT_EQ(LongName(&record.pStations[0]), "ZIMM01CHE");
  const StationRecord* kept = &record.pStations[0];
  vClearMem(&record);
  EXPECT_EQ(StationLongName(kept), nullptr);
  record = Serv_Sta{};
}

TEST_F(CatalogueTest, FurtherAddressesOfAServiceAreMirrors) {
  std::string long_address = "ftp://" + std::string(130, 'h');
  WriteMaker(
      "Service {\n ServId: M\n ftpAd: https://first.example/a ftp://second.example \"third\" " +
      long_address +
      "\n oFile: /o\n nFile: /n\n Ftype: gz\n}\n" + ServiceBlock("ONE") +
      "Service {\n ServId: MANY\n ftpAd: a1 a2 a3 a4 a5 a6 a7 a8 a9\n ftpAd: a10 a11\n oFile: /o\n"
      " nFile: /n\n"
      " Ftype: gz\n}\n" + Station("abcd", "M", ""));
  ASSERT_EQ(Load(), 0) << Error();
  const ServiceRecord* m = &record.pServices[0];
  EXPECT_STREQ(m->ftpAd, "https://first.example/a") << "hosts see the first address";
  ASSERT_EQ(ServiceAddressCount(m), 3);
  EXPECT_STREQ(ServiceAddress(m, 0), "https://first.example/a");
  EXPECT_STREQ(ServiceAddress(m, 1), "ftp://second.example");
  EXPECT_STREQ(ServiceAddress(m, 2), "third");
  EXPECT_EQ(ServiceAddress(m, 3), nullptr);
  EXPECT_EQ(ServiceAddress(m, -1), nullptr);
  EXPECT_TRUE(StatusLog::Saw(STATUS_TEXT, "Service M: address longer than 127 characters "
                                          "ignored: " + long_address.substr(0, 64) + "..."));

  EXPECT_EQ(ServiceAddressCount(&record.pServices[1]), 1);
  const ServiceRecord* many = &record.pServices[2];
  EXPECT_STREQ(many->ftpAd, "a1");
  ASSERT_EQ(ServiceAddressCount(many), 11) << "every address, a further ftpAd line's too";
  EXPECT_STREQ(ServiceAddress(many, 8), "a9");
  EXPECT_STREQ(ServiceAddress(many, 10), "a11");

  ServiceRecord elsewhere = *m;
  EXPECT_EQ(ServiceAddressCount(&elsewhere), 1) << "a copy has only its own address";
  EXPECT_STREQ(ServiceAddress(&elsewhere, 0), "https://first.example/a");
}

// "auth: bearer" (any case) marks a service of bearer tokens; another kind
// is reported and ignored.
TEST_F(CatalogueTest, AuthBearerMarksAServiceOfTokens) {
  WriteMaker(ServiceBlock("A", " auth: bearer\n") + ServiceBlock("B", " auth: BEARER\n") +
             ServiceBlock("C", " auth: basic\n") + ServiceBlock("D") + Station("abcd", "A", ""));
  ASSERT_EQ(Load(), 0) << Error();
  const bool expected[] = {true, true, false, false};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(ServiceUsesBearerToken(&record.pServices[i]), expected[i]) << i;
  EXPECT_TRUE(StatusLog::Saw(STATUS_TEXT, "Service C: auth: basic is not known (bearer is), "
                                          "ignored"));
  ServiceRecord copy = record.pServices[0];
  EXPECT_FALSE(ServiceUsesBearerToken(&copy));
}

}  // namespace
}  // namespace stanvex::testing
