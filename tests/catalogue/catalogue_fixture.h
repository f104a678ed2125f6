// Catalogue texts and a loaded-catalogue fixture for the catalogue tests.
#ifndef STANVEX_TESTS_CATALOGUE_FIXTURE_H
#define STANVEX_TESTS_CATALOGUE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/request_state.h"
#include "stanvex.h"
#include "test_support.h"

namespace stanvex::testing {

inline std::string StationBlock(const std::string& name, const std::string& serv,
                                const std::string& lat = "34 15 22.5 N",
                                const std::string& lon = "117 0 0 W") {
  return "Station {\n sName: " + name + "\n lat: " + lat + "\n lon: " + lon +
         "\n ht: 100.5\n serv: " + serv + "\n}\n";
}

inline std::string ServiceBlock(const std::string& id, const std::string& extra = "") {
  return "Service {\n ServId: " + id + "\n ftpAd: ftp.example.net\n oFile: /a/%y/%o.Z\n" +
         " nFile: /a/%y/%n.Z\n Ftype: Z\n" + extra + "}\n";
}

// Records every status the library sends.
struct StatusLog {
  static std::vector<StatusRecord>& Records() {
    static std::vector<StatusRecord> records;
    return records;
  }
  static void STANVEX_CALL Receive(StatusRecord* record) { Records().push_back(*record); }
  static bool Saw(int32_t code, const std::string& text) {
    for (const StatusRecord& r : Records())
      if (r.code == code && text == r.text) return true;
    return false;
  }
};

// A scratch catalogue directory, a fresh library state and a host record.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    StatusLog::Records().clear();
    SetCallBack(&StatusLog::Receive);
    Reset();
  }
  void TearDown() override {
    vClearMem(&record);
    SetCallBack(nullptr);
  }
  void Reset() {
    record = Serv_Sta{};
    record.iServiceSize = 1041;
    record.iStationSize = 98;
  }
  void WriteUser(const std::string& text) { WriteFile(dir.File("user.dwn"), text); }
  void WriteMaker(const std::string& text) { WriteFile(dir.File("manufact.dwn"), text); }
  int Load() {
    return iInitalizeNEW(const_cast<char*>(dir.path().c_str()), work.path().c_str(), &record);
  }
  std::string Error() {
    char text[512];
    iGetLastError(text);
    return text;
  }

  ScratchDir dir;
  ScratchDir work;
  Serv_Sta record{};
};

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_CATALOGUE_FIXTURE_H
