#include "signal_choice.h"

#include <gtest/gtest.h>

#include "rinex_text.h"

namespace {

using rin2obn::ObsEpoch;
using rin2obn::ObsReader;
using rin2obn::SignalChoice;
using rin2obn::SlotSignals;
using rin2obn::TextLineSource;
using namespace rinex_text;

const std::vector<std::string> kGpsTypes = {"C1C", "C1W", "C2W", "C2X", "L1C", "L2W",
                                            "L2X", "S1C", "S2W", "S2X"};

// Values of one satellite line: 1 where present, blank where not.
std::vector<Value> Present(const std::vector<std::string>& codes) {
  std::vector<Value> values;
  for (const std::string& type : kGpsTypes) {
    bool present = false;
    for (const std::string& code : codes) present = present || code == type;
    values.push_back({present ? 1.0 : 0.0, ' ', ' '});
  }
  return values;
}

TEST(SignalChoice, EachSlotTakesThePreferredSignalThatIsTrackedMostOfTheFile) {
  std::string text = Obs3HeaderText({{'G', kGpsTypes}, {'E', {"C1X"}}});
  for (int e = 0; e < 4; ++e) {
    text += Epoch3Line(e, 0.0, 0, 4);
    // G05: semi-codeless L2 in three epochs of four: it stays the choice.
    text += Satellite3Line("G05", Present(e == 0 ? std::vector<std::string>{"C1C", "L1C", "C2X", "L2X", "S2X"}
                                                 : std::vector<std::string>{"C1C", "L1C", "C2W", "C2X", "L2W", "L2X", "S1C", "S2W", "S2X"}));
    // G06: semi-codeless in one epoch only; L2X is taken. No C1C: C1W is
    // the L1 range, marked as P code.
    text += Satellite3Line("G06", Present(e == 2 ? std::vector<std::string>{"C1W", "C2W", "C2X", "L2W", "L2X", "S2X"}
                                                 : std::vector<std::string>{"C1W", "C2X", "L2X", "S2X"}));
    text += Satellite3Line("E05", {{1.0, ' ', ' '}});  // not GPS: not counted
    text += Satellite3Line("G40", Present({"C1C"}));  // beyond the GPS numbers
  }
  TextLineSource source(text);
  ObsReader reader(source);
  ASSERT_TRUE(reader.ReadHeader()) << reader.error();
  SignalChoice choice;
  ObsEpoch epoch;
  while (reader.NextEpoch(epoch) == ObsReader::kEpoch) choice.Count(reader.header(), epoch);
  choice.Choose();

  const SlotSignals g05 = choice.For(reader.header(), 5);
  EXPECT_EQ(g05.l1Phase, 4);     // L1C
  EXPECT_EQ(g05.l1Range, 0);     // C1C
  EXPECT_FALSE(g05.l1RangeIsP);
  EXPECT_EQ(g05.l2Phase, 5);     // L2W
  EXPECT_EQ(g05.l2Range, 2);     // C2W
  EXPECT_EQ(g05.l1Strength, 7);  // S1C
  EXPECT_EQ(g05.l2Strength, 8);  // S2W
  EXPECT_EQ(choice.ChosenCode(5, 1), "L2W");
  EXPECT_EQ(choice.MostChosenCode(0), "L1C");  // G06 has none

  const SlotSignals g06 = choice.For(reader.header(), 6);
  EXPECT_EQ(g06.l1Phase, -1);
  EXPECT_EQ(g06.l1Range, 1);  // C1W
  EXPECT_TRUE(g06.l1RangeIsP);
  EXPECT_EQ(g06.l1Strength, -1);  // no S1W in the list
  EXPECT_EQ(g06.l2Phase, 6);      // L2X
  EXPECT_EQ(g06.l2Range, 3);      // C2X
  EXPECT_EQ(g06.l2Strength, 9);   // S2X

  const SlotSignals none = choice.For(reader.header(), 7);  // never seen
  EXPECT_EQ(none.l1Range, -1);
  EXPECT_EQ(none.l2Phase, -1);
  EXPECT_EQ(choice.For(reader.header(), 40).l1Range, -1);
}

}  // namespace
