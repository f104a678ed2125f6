// A server that accepts the connection and never answers: the request gives
// up after the connection wait (90 s) and leaves nothing behind.
#include "fault_fixture.h"
#include "status_recorder.h"

namespace stanvex::testing {
namespace {

class NoAnswerTest : public FaultTest {};

TEST_F(NoAnswerTest, SilentServerFailsAfterTheConnectionWait) {
  FtpServerOptions options;
  options.silent = true;
  Serve(options);
  StatusRecorder recorder;
  BeforeRequest();
  EXPECT_EQ(Fetch("sima"), -1);
  ASSERT_FALSE(recorder.Headings().empty());
  EXPECT_EQ(recorder.Headings().back(), "Error in FTPConnect");
  EXPECT_EQ(LastError(),
            "Error Unable to connect to FTP Server. The Server could be down or you may not have "
            "an internet connection. FTP Server = ftp://" +
                server_->Address() + "/simz");
  ExpectNothingLeaked();
}

}  // namespace
}  // namespace stanvex::testing
