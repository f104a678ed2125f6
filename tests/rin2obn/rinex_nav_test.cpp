#include "rinex_nav.h"

#include <gtest/gtest.h>

#include "fields.h"
#include "gnss_time.h"
#include "real_data.h"
#include "rinex_text.h"
#include "test_support.h"

namespace {

using rin2obn::Ephemeris;
using rin2obn::NavReader;
using rin2obn::TextLineSource;
using rinex_text::Header;

std::string NavHeader() {
  return Header("     2.11           N: GPS NAV DATA", "RINEX VERSION / TYPE") +
         Header("    0.7451D-08 -0.1490D-07 -0.5960D-07  0.1192D-06", "ION ALPHA") +
         Header("    0.9011D+05 -0.6554D+05 -0.1311D+06  0.4588D+06", "ION BETA") +
         Header("", "END OF HEADER");
}

// A record of PRN 1 from a 2021 navigation file, written with four exponent
// letters and a last line of two fields.
const char kRecord[] =
    " 1 21  1  1  2  0  0.0 7.874774746600D-04-5.911715561520d-12 0.000000000000E+00\n"
    "    5.200000000000e+01-7.362500000000D+01 4.318037039040D-09 2.893520298160D-02\n"
    "   -3.784894943240D-06 1.022444642150D-02 1.076608896260D-06 5.153693731310D+03\n"
    "    4.392000000000D+05-2.048909664150D-08-8.087355908090D-01 1.639127731320D-07\n"
    "    9.827409334590D-01 3.673750000000D+02 8.219747770630D-01-8.439637433360D-09\n"
    "   -3.007268045700D-10 1.000000000000D+00 2.138000000000D+03 0.000000000000D+00\n"
    "    2.000000000000D+00 0.000000000000D+00 5.122274160390D-09 5.200000000000D+01\n"
    "    4.329780000000D+05 4.000000000000D+00\n";

TEST(RinexNavReader, ReadsFixedFieldsWithEveryExponentLetterAndTheShortLastLine) {
  TextLineSource source(NavHeader() + kRecord);
  NavReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  ASSERT_TRUE(reader.header().haveIon);
  EXPECT_DOUBLE_EQ(reader.header().ionAlpha[1], -0.1490e-07);
  EXPECT_DOUBLE_EQ(reader.header().ionBeta[3], 0.4588e+06);
  Ephemeris e;
  ASSERT_TRUE(reader.Next(e));
  EXPECT_EQ(e.prn, 1);
  EXPECT_EQ(e.tocYear, 2021);
  EXPECT_EQ(e.tocHour, 2);
  EXPECT_DOUBLE_EQ(e.af0, 7.874774746600e-04);
  EXPECT_DOUBLE_EQ(e.af1, -5.911715561520e-12);  // fields without a blank between them
  EXPECT_DOUBLE_EQ(e.iode, 52.0);
  EXPECT_DOUBLE_EQ(e.sqrtA, 5.153693731310e+03);
  EXPECT_DOUBLE_EQ(e.toe, 439200.0);
  EXPECT_DOUBLE_EQ(e.omegaDot, -8.439637433360e-09);
  EXPECT_DOUBLE_EQ(e.accuracy, 2.0);
  EXPECT_DOUBLE_EQ(e.tgd, 5.122274160390e-09);
  EXPECT_DOUBLE_EQ(e.transmitTime, 432978.0);
  EXPECT_DOUBLE_EQ(e.fitInterval, 4.0);
  EXPECT_EQ(e.fullWeek, 2138);
  EXPECT_DOUBLE_EQ(e.toeSeconds, 2138 * 604800.0 + 439200.0);
  EXPECT_DOUBLE_EQ(e.tocSeconds, rin2obn::GpsSecondsFromCalendar(2021, 1, 1, 2, 0, 0.0));
  EXPECT_FALSE(reader.Next(e));
}

TEST(RinexNavReader, WeekWrittenModulo1024BecomesTheContinuousWeek) {
  std::string record = kRecord;
  record.replace(record.find("2.138000000000D+03"), 18, "9.000000000000D+01");  // 2138 - 2048
  TextLineSource source(NavHeader() + record);
  NavReader reader(source);
  ASSERT_TRUE(reader.ReadHeader());
  Ephemeris e;
  ASSERT_TRUE(reader.Next(e));
  EXPECT_EQ(e.fullWeek, 2138);
}

TEST(RinexNavReader, ToeAcrossTheWeekBoundaryFromTocGetsTheNextWeek) {
  // toc Saturday 23:59:44 at the end of week 2138; toe 0 of week 2139, with
  // the week written as 2138.
  std::string record = kRecord;
  record.replace(0, 22, " 1 21  1  2 23 59 44.0");
  record.replace(record.find("4.392000000000D+05"), 18, "0.000000000000D+00");
  TextLineSource source(NavHeader() + record);
  NavReader reader(source);
  ASSERT_TRUE(reader.ReadHeader());
  Ephemeris e;
  ASSERT_TRUE(reader.Next(e));
  EXPECT_EQ(e.fullWeek, 2139);
  EXPECT_NEAR(e.toeSeconds - e.tocSeconds, 16.0, 1e-6);
}

TEST(RinexNavReader, CutRecordEndsTheFileAndDamagedStartLinesAreSkipped) {
  std::string record = kRecord;
  std::string cut = record.substr(0, record.find("   -3.007268045700D-10"));
  TextLineSource source(NavHeader() + "not a record line\n" + record + cut);
  std::vector<std::string> events;
  NavReader reader(source, [&](const std::string& e) { events.push_back(e); });
  ASSERT_TRUE(reader.ReadHeader());
  Ephemeris e;
  EXPECT_TRUE(reader.Next(e));
  EXPECT_FALSE(reader.Next(e));
  EXPECT_EQ(events.size(), 2u);  // the skipped line and the cut record
}

TEST(RinexNavReader, RejectsObservationAndGlonassFiles) {
  for (const char* type : {"     2.11           OBSERVATION DATA    G",
                           "     2.11           G: GLONASS NAV DATA"}) {
    TextLineSource source(Header(type, "RINEX VERSION / TYPE") + Header("", "END OF HEADER"));
    NavReader reader(source);
    EXPECT_FALSE(reader.ReadHeader()) << type;
  }
}

}  // namespace

namespace {

TEST(RinexFields, RealFieldsParseOnlyWithinTheirColumns) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"  1.5D+02", true, 150.0},      {"-.5e-1", true, -0.05},
      {"+7", true, 7.0},               {"0.125000000000d-01", true, 0.0125},
      {"1.0D+999", false, 0.0},        {"1.0D", false, 0.0},
      {"abc", false, 0.0},             {"      ", false, 0.0},
      {"12 4", false, 0.0},
  };
  for (const Case& c : cases) {
    double value = -1.0;
    EXPECT_EQ(rin2obn::ParseReal(c.text, 0, 40, value), c.ok) << c.text;
    EXPECT_DOUBLE_EQ(value, c.value) << c.text;
  }
  double value = 0.0;
  // Columns past the line's end read as blank; the field stops at its width.
  EXPECT_FALSE(rin2obn::ParseReal("12", 5, 3, value));
  EXPECT_TRUE(rin2obn::ParseReal("123456", 1, 3, value));
  EXPECT_DOUBLE_EQ(value, 234.0);
  int integer = 0;
  EXPECT_TRUE(rin2obn::ParseInt(" -12", 0, 4, integer));
  EXPECT_EQ(integer, -12);
  EXPECT_FALSE(rin2obn::ParseInt(" 1.2", 0, 4, integer));
}

}  // namespace

namespace {

// The same PRN 1 record as a RINEX 3 record: four-digit year, columns
// shifted by one.
const char kRecord3[] =
    "G01 2021 01 01 02 00 00 7.874774746600e-04-5.911715561520e-12 0.000000000000e+00\n"
    "     5.200000000000e+01-7.362500000000e+01 4.318037039040e-09 2.893520298160e-02\n"
    "    -3.784894943240e-06 1.022444642150e-02 1.076608896260e-06 5.153693731310e+03\n"
    "     4.392000000000e+05-2.048909664150e-08-8.087355908090e-01 1.639127731320e-07\n"
    "     9.827409334590e-01 3.673750000000e+02 8.219747770630e-01-8.439637433360e-09\n"
    "    -3.007268045700e-10 1.000000000000e+00 2.138000000000e+03 0.000000000000e+00\n"
    "     2.000000000000e+00 0.000000000000e+00 5.122274160390e-09 5.200000000000e+01\n"
    "     4.329780000000e+05 4.000000000000e+00\n";

// A GLONASS record of RINEX 3.05 (four orbit lines) and a Galileo record.
const char kOtherSystems3[] =
    "R01 2021 01 01 00 15 00 7.305294275284e-06-0.000000000000e+00 5.184000000000e+05\n"
    "     2.051218896484e+04-9.885606765747e-01 2.793967723846e-09 0.000000000000e+00\n"
    "     1.273344482422e+04-5.559444427490e-01-3.725290298462e-09 1.000000000000e+00\n"
    "     8.218795898438e+03 3.327781677246e+00 9.313225746155e-10 0.000000000000e+00\n"
    "                         .999999999999e+09 1.500000000000e+01\n"
    "E07 2021 01 01 00 10 00-4.333594592754e-04-8.498091741186e-12 0.000000000000e+00\n"
    "     1.000000000000e+00 1.000000000000e+00 1.000000000000e+00 1.000000000000e+00\n";

void ExpectPrnOneValues(const Ephemeris& e) {
  EXPECT_EQ(e.prn, 1);
  EXPECT_EQ(e.tocYear, 2021);
  EXPECT_EQ(e.tocHour, 2);
  EXPECT_DOUBLE_EQ(e.af0, 7.874774746600e-04);
  EXPECT_DOUBLE_EQ(e.af2, 0.0);
  EXPECT_DOUBLE_EQ(e.iode, 52.0);
  EXPECT_DOUBLE_EQ(e.sqrtA, 5.153693731310e+03);
  EXPECT_DOUBLE_EQ(e.toe, 439200.0);
  EXPECT_EQ(e.fullWeek, 2138);
  EXPECT_DOUBLE_EQ(e.tgd, 5.122274160390e-09);
  EXPECT_DOUBLE_EQ(e.fitInterval, 4.0);
  EXPECT_DOUBLE_EQ(e.spare1, 0.0);
}

TEST(RinexNavReader, VersionThreeMixedFileGivesItsGpsRecordsAndIonosphere) {
  std::string text =
      Header("     3.05           NAVIGATION DATA     MIXED", "RINEX VERSION / TYPE") +
      Header("GAL    8.6000e+01 -2.3438e-01 -3.3875e-03  0.0000E+00", "IONOSPHERIC CORR") +
      Header("GPSA   1.1176e-08 -7.4506e-09 -5.9605e-08  1.1921E-07", "IONOSPHERIC CORR") +
      Header("GPSB   1.1674e+05 -2.2938e+05 -1.3107e+05  1.0486E+06", "IONOSPHERIC CORR") +
      Header("", "END OF HEADER");
  std::string second = kRecord3;
  second.replace(0, 3, "G32");
  // A GPS record cut by the next record is skipped; the next one is whole.
  const std::string cut = std::string(kRecord3).substr(0, 3 * 81);
  text += kOtherSystems3 + std::string(kRecord3) + cut + kOtherSystems3 + second;
  TextLineSource source(text);
  std::vector<std::string> events;
  NavReader reader(source, [&](const std::string& e) { events.push_back(e); });
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  ASSERT_TRUE(reader.header().haveIon);
  EXPECT_DOUBLE_EQ(reader.header().ionAlpha[0], 1.1176e-08);
  EXPECT_DOUBLE_EQ(reader.header().ionBeta[3], 1.0486e+06);
  Ephemeris e;
  ASSERT_TRUE(reader.Next(e));
  ExpectPrnOneValues(e);
  ASSERT_TRUE(reader.Next(e));
  EXPECT_EQ(e.prn, 32);
  EXPECT_DOUBLE_EQ(e.transmitTime, 432978.0);
  EXPECT_FALSE(reader.Next(e));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].find("cut short"), std::string::npos);
}

TEST(RinexNavReader, VersionFourTakesGpsLnavRecordsAndTheFirstLnavIonosphere) {
  std::string text = Header("     4.00           NAVIGATION DATA     M", "RINEX VERSION / TYPE") +
                     Header("    18    18  1929     7", "LEAP SECONDS") +
                     Header("", "END OF HEADER");
  text += "> EPH G01 CNAV\n" + std::string(kRecord3) +
          "    -3.492459654808e-10-2.532033249736e-09 7.188646122813e-09 7.275957614183e-09\n";
  text += "> STO G20 LNAV\n    2023 03 14 16 51 12 GPUT                                  UTC(USNO)\n";
  text += "> ION G12 LNAV\n"
          "    2023 03 12 00 08 54 3.259629011154e-08 7.450580596924e-09-1.788139343262e-07\n"
          "     0.000000000000e+00 1.351680000000e+05 0.000000000000e+00-2.621440000000e+05\n"
          "     1.310720000000e+05\n";
  text += "> ION G21 LNAV\n"
          "    2023 03 12 01 08 54 9.000000000000e-08 7.450580596924e-09-1.192092895508e-07\n"
          "     0.000000000000e+00 1.331200000000e+05 0.000000000000e+00-2.621440000000e+05\n"
          "     1.310720000000e+05\n";
  text += "> EPH E07 INAV\n" + std::string(kOtherSystems3).substr(std::string(kOtherSystems3).find("E07"));
  text += "> EPH G01 LNAV\n" + std::string(kRecord3);
  TextLineSource source(text);
  NavReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  EXPECT_FALSE(reader.header().haveIon);
  Ephemeris e;
  ASSERT_TRUE(reader.Next(e));
  ExpectPrnOneValues(e);
  EXPECT_FALSE(reader.Next(e));
  ASSERT_TRUE(reader.header().haveIon);
  EXPECT_DOUBLE_EQ(reader.header().ionAlpha[0], 3.259629011154e-08);
  EXPECT_DOUBLE_EQ(reader.header().ionAlpha[3], 0.0);
  EXPECT_DOUBLE_EQ(reader.header().ionBeta[0], 1.351680000000e+05);
  EXPECT_DOUBLE_EQ(reader.header().ionBeta[3], 1.310720000000e+05);
}

TEST(RinexNavReader, RealVersionThreeAndFourFilesGiveEveryGpsEphemeris) {
  ASSERT_TRUE(stanvex::testing::HaveSharedData());
  stanvex::testing::ScratchDir dir;
  const struct {
    const char* name;
    int gpsRecords;
  } files[] = {{"rinex3/BRDC00IGS_R_20220010000_01D_MN.rnx.gz", 422},
               {"rinex3/BRD400DLR_S_20230710000_01D_MN.rnx.gz", 428}};
  for (const auto& file : files) {
    const std::string path = dir.File("nav.rnx");
    ASSERT_TRUE(real_data::Gunzip(stanvex::testing::SharedData(file.name), path));
    TextLineSource source(stanvex::testing::ReadFile(path));
    int skipped = 0;
    NavReader reader(source, [&](const std::string&) { ++skipped; });
    ASSERT_TRUE(reader.ReadHeader()) << file.name << ": " << reader.error();
    Ephemeris e;
    int count = 0;
    while (reader.Next(e)) {
      ++count;
      EXPECT_GT(e.sqrtA, 5000.0);
      EXPECT_GE(e.prn, 1);
      EXPECT_LE(e.prn, 32);
      EXPECT_LT(std::fabs(e.toeSeconds - e.tocSeconds), 7200.0 + 1.0) << e.prn;
    }
    EXPECT_EQ(count, file.gpsRecords) << file.name;
    EXPECT_EQ(skipped, 0) << file.name;
    EXPECT_TRUE(reader.header().haveIon) << file.name;
  }
}

TEST(RinexNavReader, RejectsVersionThreeFilesOfAnotherSystem) {
  TextLineSource source(Header("     3.04           NAVIGATION DATA     R", "RINEX VERSION / TYPE") +
                        Header("", "END OF HEADER"));
  NavReader reader(source);
  EXPECT_FALSE(reader.ReadHeader());
  EXPECT_NE(reader.error().find("system 'R'"), std::string::npos);
}

}  // namespace
