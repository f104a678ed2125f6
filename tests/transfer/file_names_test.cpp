// Remote file-name templates and the names of one day.
#include "transfer/file_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/last_error.h"
#include "base/request_state.h"
#include "result_codes.h"
#include "status_recorder.h"
#include "test_day.h"
#include "transfer/internet_binding.h"

namespace stanvex {
namespace {

using testing::OneOrZero;

// 3 February 2002, a Sunday: day of year 34, GPS week 1152.

GpsTime Day(int32_t seconds) {
  GpsTime day{};
  day.seconds = seconds;
  day.ComputeFromSeconds();
  return day;
}

// Expands with station "abcd"; the result or "FAILED".
std::string Expand(const char* pathTemplate, const GpsTime& day = Day(kFeb3rd2002)) {
  char output[kTemplateSize] = {};
  if (!OneOrZero(InterprutFileFormat(day, output, pathTemplate, "abcd"))) return "FAILED";
  return output;
}

class TemplateTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLibraryStateForTesting(); }
};

TEST_F(TemplateTest, WorkedExamples) {
  EXPECT_EQ(Expand("/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>o.Z"),
            "/pub/rinex/2002/034/abcd0340.02o.Z");
  EXPECT_EQ(Expand("/data/<YYYY>/<MN>/<DM>/<WEEK><D>/<XXXX><jjj>0.<yy>d.Z"),
            "/data/2002/02/03/11520/abcd0340.02d.Z");
  EXPECT_EQ(Expand("<WKRL>"), "0128");
}

TEST_F(TemplateTest, TokensAreRecognisedByTheirFirstLetters) {
  EXPECT_EQ(Expand(""), "");
  EXPECT_EQ(Expand("a>b"), "ab");
  EXPECT_EQ(Expand("<<JJJ>"), "034");
  EXPECT_EQ(Expand("<jJj><Jjj><JJJ>"), "034034034");
  EXPECT_EQ(Expand("<JJJJ>"), "034");
  EXPECT_EQ(Expand("<yyyy>"), "02");
  EXPECT_EQ(Expand("<YY>"), "FAILED");
  EXPECT_EQ(Expand("<yY>"), "FAILED");
  EXPECT_EQ(Expand("<yyyy><Yyyy>"), "FAILED") << "YYYY is upper case only";
  EXPECT_EQ(Expand("<xXxX><week><wkrl><mn><dm><d>"), "abcd1152012802030");
  EXPECT_EQ(Expand("<DAY>"), "FAILED") << "<D> only when nothing follows the letter";
}

TEST_F(TemplateTest, NumbersAreZeroPadded) {
  GpsTime day{};
  day.dayOfYear = 1;
  day.year = 1999;
  day.week = 999;
  EXPECT_EQ(Expand("<JJJ>.<yy>.<WEEK>", day), "001.99.0999");
  day.year = 2000;
  EXPECT_EQ(Expand("<yy>", day), "00");
  day.year = 2005;
  EXPECT_EQ(Expand("<yy>", day), "05");
}

TEST_F(TemplateTest, InvalidTokenNamesTokenAndTemplate) {
  stanvex::testing::StatusRecorder recorder;
  TransferChannelScope channel;
  EXPECT_EQ(Expand("/x/<HH>"), "FAILED");
  EXPECT_STREQ(LastErrorText, "HH is an invalid parameter in the string /x/<HH>");
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in InterprutFileFormat"), 1);

  char output[kTemplateSize] = {};
  EXPECT_EQ(OneOrZero(InterprutFileFormat(Day(kFeb3rd2002), output, "/a/<JJJ>/<Q>", "abcd")), 0);
  EXPECT_STREQ(output, "/a/034/") << "what was written before the failure stays";
}

TEST_F(TemplateTest, LengthLimitIs255Characters) {
  std::string longest(255, 'a');
  EXPECT_EQ(Expand(longest.c_str()), longest);
  std::string too_long(256, 'a');
  EXPECT_EQ(Expand(too_long.c_str()), "FAILED");
  EXPECT_EQ(std::string(LastErrorText), "Input string too large " + too_long);
}

// Templates placed at the very end of an allocation of their exact size, so
// that a read past the end would leave the allocation (and show under the
// address sanitizer).
TEST_F(TemplateTest, MalformedTemplatesNeverReadPastTheirEnd) {
  GpsTime day = Day(kFeb3rd2002);
  char output[kTemplateSize] = {};
  auto exact = [](const std::string& text, bool terminated) {
    size_t size = text.size() + (terminated ? 1 : 0);
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), text.c_str(), size);
    return copy;
  };
  // A catalogue field of 256 characters with no terminator.
  auto unterminated = exact(std::string(kTemplateSize, 'b'), false);
  EXPECT_EQ(OneOrZero(InterprutFileFormat(day, output, unterminated.get(), "abcd")), 0);

  std::memset(output, 0, sizeof output);
  auto unclosed = exact("/pub/<JJJ", true);
  EXPECT_EQ(OneOrZero(InterprutFileFormat(day, output, unclosed.get(), "abcd")), 0);
  EXPECT_STREQ(LastErrorText, "JJJ is an invalid parameter in the string /pub/<JJJ");

  std::memset(output, 0, sizeof output);
  EXPECT_EQ(OneOrZero(InterprutFileFormat(day, output, "<JJJJJJJJJJJJ>", "abcd")), 0)
      << "a token longer than 9 characters";
  EXPECT_STREQ(LastErrorText, "JJJJJJJJJ is an invalid parameter in the string <JJJJJJJJJJJJ>");

  auto short_station = exact("ab", true);
  std::memset(output, 0, sizeof output);
  EXPECT_EQ(OneOrZero(InterprutFileFormat(day, output, "<XXXX>", short_station.get())), 1);
  EXPECT_STREQ(output, "ab");
}

// Expands with station "zimm" and the given long name; the choices joined
// by newlines, or "FAILED".
std::string Choices(const char* pathTemplate, const char* longName = "ZIMM00CHE") {
  PathChoices choices;
  if (!OneOrZero(ExpandChoices(Day(kFeb3rd2002), pathTemplate, "zimm", longName, &choices)))
    return "FAILED";
  std::string joined;
  for (int i = 0; i < choices.count; ++i) joined += (i > 0 ? "\n" : "") + std::string(choices.paths[i]);
  return joined;
}

TEST_F(TemplateTest, LongNameTokenIsTheWholeTokenInEitherCase) {
  EXPECT_EQ(Choices("/IGS/obs/<YYYY>/<JJJ>/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_30S_MO.crx.gz"),
            "/IGS/obs/2002/034/ZIMM00CHE_R_20020340000_01D_30S_MO.crx.gz");
  EXPECT_EQ(Choices("<xxxxmrccc>"), "ZIMM00CHE");
  // Four letters are the short name whatever follows them.
  EXPECT_EQ(Choices("<XXXXM>|<XXXXMRCC>"), "zimm\nzimm");
  EXPECT_EQ(Choices("<XXXXMRCCD>"), "zimm") << "not the long-name token: read by its first four";
}

TEST_F(TemplateTest, LongNameTokenWithoutALongNameNamesTheStation) {
  testing::StatusRecorder recorder;
  bool missing = false;
  char output[kTemplateSize] = {};
  EXPECT_EQ(OneOrZero(ExpandTemplate(Day(kFeb3rd2002), output, "/o/<XXXXMRCCC>.crx", "zimm", "",
                                     &missing)),
            0);
  EXPECT_TRUE(missing);
  EXPECT_STREQ(LastErrorText,
               "Error the station zimm has no long name (lName:) for <XXXXMRCCC> in the string "
               "/o/<XXXXMRCCC>.crx");
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in InterprutFileFormat"), 0)
      << "no channel outside a download";
  EXPECT_EQ(OneOrZero(InterprutFileFormat(Day(kFeb3rd2002), output, "<XXXXMRCCC>", "zimm")), 0);
  missing = true;
  EXPECT_EQ(
      OneOrZero(ExpandTemplate(Day(kFeb3rd2002), output, "<HH>", "zimm", "ZIMM00CHE", &missing)),
      0);
  EXPECT_FALSE(missing) << "a faulty token is not a missing long name";
}

TEST_F(TemplateTest, AlternativesAreSplitAfterExpansion) {
  EXPECT_EQ(Choices("/a/<XXXXMRCCC>_R_.crx.gz|/a/<XXXXMRCCC>_S_.crx.gz"),
            "/a/ZIMM00CHE_R_.crx.gz\n/a/ZIMM00CHE_S_.crx.gz");
  EXPECT_EQ(Choices("|/a||/b|"), "/a\n/b") << "empty alternatives are left out";
  EXPECT_EQ(Choices(""), "") << "one empty path";
  EXPECT_EQ(Choices("/<XXXX>/<XXXX><JJJ>0.<yy>n.gz|/brdc<JJJ>0.<yy>n.gz"),
            "/zimm/zimm0340.02n.gz\n/brdc0340.02n.gz");
  EXPECT_EQ(Choices("a|b|c|d|e|f|g|h"), "a\nb\nc\nd\ne\nf\ng\nh");
  EXPECT_EQ(Choices("a|b|c|d|e|f|g|h|i"), "FAILED");
  EXPECT_STREQ(LastErrorText, "Error more than 8 alternatives in the string a|b|c|d|e|f|g|h|i");
}

TEST_F(TemplateTest, EachAlternativeKeepsThe127CharacterLimit) {
  // Two alternatives of 127 characters: the template (255) fits, each path fits.
  std::string a(127, 'a'), b(127, 'b');
  EXPECT_EQ(Choices((a + "|" + b).c_str()), a + "\n" + b);
  std::string c(128, 'c');
  EXPECT_EQ(Choices(("/x|" + c).c_str()), "FAILED");
  EXPECT_EQ(std::string(LastErrorText), "Input string too large /x|" + c);
  // Long names shorten their token, so a 255-character template stays in bounds.
  std::string tokens;
  while (tokens.size() + 11 <= 255) tokens += "<XXXXMRCCC>";
  std::string expanded = Choices((tokens + std::string(255 - tokens.size(), '|')).c_str());
  EXPECT_EQ(expanded, "FAILED") << "one alternative of 207 characters";
}

class DayNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    std::memset(&station_, 0, sizeof station_);
    std::memset(&service_, 0, sizeof service_);
    std::memset(&job_, 0, sizeof job_);
    std::strcpy(station_.sName, "abcd");
    std::strcpy(service_.ServId, "ABC");
    std::strcpy(service_.Ftype, "Z");
    std::strcpy(service_.oFile, "/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>o.Z");
    std::strcpy(service_.nFile, "/pub/rinex/<YYYY>/<JJJ>/<XXXX><JJJ>0.<yy>n.Z");
    job_.station = &station_;
    job_.service = &service_;
    job_.day = Day(kFeb3rd2002);
  }
  StationRecord station_;
  ServiceRecord service_;
  DayFiles job_;
};

TEST_F(DayNamesTest, AllNamesOfTheDay) {
  service_.hasDFile = 1;
  std::strcpy(service_.dFile, "/pub/crx/<XXXX><JJJ>0.<yy>d.Z");
  ASSERT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_STREQ(job_.remoteObs, "/pub/rinex/2002/034/abcd0340.02o.Z");
  EXPECT_STREQ(job_.remoteNav, "/pub/rinex/2002/034/abcd0340.02n.Z");
  EXPECT_STREQ(job_.remoteCompact, "/pub/crx/abcd0340.02d.Z");
  EXPECT_STREQ(job_.obnName, "abcd0340.obn");
  EXPECT_STREQ(job_.localObs, "abcd0340.02o.Z");
  EXPECT_STREQ(job_.localNav, "abcd0340.02n.Z");
  EXPECT_STREQ(job_.localCompact, "abcd0340.02d.Z");
  EXPECT_STREQ(job_.plainObs, "abcd0340.02o");
  EXPECT_STREQ(job_.plainNav, "abcd0340.02n");
  EXPECT_STREQ(job_.plainCompact, "abcd0340.02d");
  EXPECT_STREQ(job_.obsType, "Z");
  EXPECT_STREQ(job_.navType, "Z");
  EXPECT_STREQ(job_.compactType, "Z");
}

TEST_F(DayNamesTest, ExtensionTakesUpToThreeLettersOfTheType) {
  std::strcpy(service_.Ftype, "gz");
  ASSERT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_STREQ(job_.localObs, "abcd0340.02o.gz");
  std::strcpy(service_.Ftype, "zip");
  ASSERT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_STREQ(job_.localNav, "abcd0340.02n.zip");
  std::memcpy(service_.Ftype, "Z\x01zz", 5);  // a second letter out of range ends it
  ASSERT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_STREQ(job_.localObs, "abcd0340.02o.Z");
}

TEST_F(DayNamesTest, WithoutCompactTemplateTheCompactNamesStayEmpty) {
  ASSERT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_STREQ(job_.remoteCompact, "");
  EXPECT_STREQ(job_.localCompact, "");
  EXPECT_STREQ(job_.plainCompact, "");
}

TEST_F(DayNamesTest, BadCompactTemplateSwitchesCompactFilesOff) {
  service_.hasDFile = 1;
  std::strcpy(service_.dFile, "/x/<HH>");
  EXPECT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_EQ(static_cast<int>(service_.hasDFile), 0);
  EXPECT_STREQ(job_.remoteObs, "/pub/rinex/2002/034/abcd0340.02o.Z");
  EXPECT_STREQ(job_.localCompact, "");
}

TEST_F(DayNamesTest, BadObservationOrNavigationTemplateFails) {
  std::strcpy(service_.oFile, "/x/<HH>");
  EXPECT_EQ(OneOrZero(BuildDayFileNames(&job_)), 0);
  std::strcpy(service_.oFile, "/ok");
  std::strcpy(service_.nFile, "/x/<HH>");
  EXPECT_EQ(OneOrZero(BuildDayFileNames(&job_)), 0);
}

TEST_F(DayNamesTest, RemoteFieldsHoldTheFirstAlternativeAndLocalNamesStayShort) {
  service_.hasDFile = 1;
  std::strcpy(service_.Ftype, "gz");
  std::strcpy(service_.oFile, "/o/<XXXX><JJJ>0.<yy>o.gz|/o2/<XXXX><JJJ>0.<yy>o.gz");
  std::strcpy(service_.dFile, "/d/<XXXX>_R_<YYYY><JJJ>.crx.gz|/d/<XXXX>_S_<YYYY><JJJ>.crx.gz");
  ASSERT_EQ(OneOrZero(BuildDayFileNames(&job_)), 1);
  EXPECT_STREQ(job_.remoteObs, "/o/abcd0340.02o.gz");
  EXPECT_STREQ(job_.remoteCompact, "/d/abcd_R_2002034.crx.gz");
  EXPECT_STREQ(job_.localCompact, "abcd0340.02d.gz");
}

TEST_F(DayNamesTest, StationWithoutLongNameFailsTheDayButKeepsCompactFilesOn) {
  // The station is not in a loaded catalogue, so it has no long name.
  service_.hasDFile = 1;
  std::strcpy(service_.dFile, "/d/<XXXXMRCCC>_R_<YYYY><JJJ>0000_01D_30S_MO.crx.gz");
  EXPECT_EQ(OneOrZero(BuildDayFileNames(&job_)), 0);
  EXPECT_EQ(static_cast<int>(service_.hasDFile), 1) << "the template is not at fault";
  EXPECT_EQ(std::string(LastErrorText).rfind("Error the station abcd has no long name", 0), 0u)
      << LastErrorText;
}

TEST_F(DayNamesTest, PathTooLongForItsFieldFails) {
  std::string path(130, 'p');
  std::strcpy(service_.oFile, path.c_str());
  EXPECT_EQ(OneOrZero(BuildDayFileNames(&job_)), 0);
  EXPECT_EQ(std::string(LastErrorText), "Input string too large " + path);
}

}  // namespace
}  // namespace stanvex
