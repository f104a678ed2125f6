// Child processes as the command line runs them: output through one pipe,
// the exit status, the environment changed for the child only, a stop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/platform.h"

namespace stanvex::platform {
namespace {

// Reads the child's output to its end and returns it; *status its status.
std::string Drain(ChildProcess* child, int* status) {
  std::string output;
  while (child->ReadAvailable(&output)) SleepMilliseconds(5);
  *status = child->Wait();
  return output;
}

TEST(ChildProcessTest, OutputStatusAndEnvironmentOfTheChildOnly) {
  ::setenv("STANVEX_CHILD_KEPT", "kept", 1);
  ::setenv("STANVEX_CHILD_GONE", "here", 1);
  const struct {
    std::string script;
    std::vector<std::string> changes;
    std::string output;
    int status;
  } cases[] = {
      {"echo out; echo err >&2; exit 3", {}, "out\nerr\n", 3},
      {"echo \"$STANVEX_CHILD_KEPT ${STANVEX_CHILD_GONE:-none} $TMPDIR\"",
       {"STANVEX_CHILD_GONE", "TMPDIR=/x/y"}, "kept none /x/y\n", 0},
      {"read line; echo \"[$line]\"", {}, "[]\n", 0},  // standard input is the null device
      {"kill -TERM $$", {}, "", 128 + 15},
  };
  for (const auto& c : cases) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", c.script}, c.changes, &error)) << error;
    int status = -1;
    EXPECT_EQ(Drain(&child, &status), c.output) << c.script;
    EXPECT_EQ(status, c.status) << c.script;
  }
  EXPECT_STREQ(std::getenv("STANVEX_CHILD_GONE"), "here") << "ours is untouched";

  ChildProcess sleeper;
  std::string error;
  ASSERT_TRUE(sleeper.Start({"/bin/sleep", "30"}, {}, &error)) << error;
  int status = 0;
  EXPECT_FALSE(sleeper.Ended(&status));
  sleeper.Stop();
  EXPECT_EQ(sleeper.Wait(), 128 + 15);
  // One that ignores the stop and floods its pipe is killed after the grace.
  ChildProcess stubborn;
  ASSERT_TRUE(stubborn.Start({"/bin/sh", "-c", "trap '' TERM; echo ready; while :; do echo x; done"},
                             {}, &error))
      << error;
  std::string ready;
  while (ready.find("ready") == std::string::npos && stubborn.ReadAvailable(&ready))
    SleepMilliseconds(5);
  EXPECT_EQ(stubborn.StopWithin(300), 128 + 9);
  ChildProcess missing;
  EXPECT_FALSE(missing.Start({"/nonexistent/program"}, {}, &error));
  EXPECT_NE(error.find("/nonexistent/program"), std::string::npos) << error;
}

}  // namespace
}  // namespace stanvex::platform
