// A platform table that makes named file writes fail, for the tests of what
// a full disk does to a step: installed while the object lives.
#ifndef STANVEX_TESTS_FAILING_FILES_H
#define STANVEX_TESTS_FAILING_FILES_H

#include <string>

namespace stanvex::testing {

class FailingFiles {
 public:
  enum Fault {
    // The next `count` creations (CreateNewFile, CopyToNewFile, a copy's
    // temporary file) and renames whose target path ends with suffix fail as
    // on a full disk.
    kRefuseName,
    // The next `count` files created whose path ends with suffix are made but
    // take no data: every write to them fails, as on a disk that fills after
    // the file was made.
    kRefuseContent,
  };
  FailingFiles(const std::string& suffix, Fault fault, int count = 1);
  ~FailingFiles();
  FailingFiles(const FailingFiles&) = delete;
  FailingFiles& operator=(const FailingFiles&) = delete;
};

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_FAILING_FILES_H
