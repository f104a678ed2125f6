// A catalogue server that accepts the connection and never answers: the
// connection wait gives up after 90 seconds and names the server.
#include <gtest/gtest.h>

#include <string>

#include "base/last_error.h"
#include "base/request_state.h"
#include "ftp_fixture.h"
#include "result_codes.h"
#include "status_recorder.h"
#include "test_support.h"
#include "transfer/download.h"

namespace stanvex {
namespace {

using testing::ZeroOrMinusOne;

TEST(ConnectTimeout, SilentServerFailsAfterTheConnectionWait) {
  ResetLibraryStateForTesting();
  testing::ScratchDir root;
  testing::FtpServerOptions options;
  options.root = root.path();
  options.silent = true;
  testing::FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  SetCatalogueServerForTesting(server.Address().c_str());
  testing::StatusRecorder recorder;
  testing::ScratchDir destination;
  EXPECT_EQ(ZeroOrMinusOne(DownloadCatalogueFile(LibraryTransferLink(),
                                                 destination.File("manufact.dwn").c_str())),
            -1);
  EXPECT_EQ(std::string(LastErrorText),
            "Error Unable to connect to FTP Server. The Server could be down or you may not have "
            "an internet connection. FTP Server = " +
                server.Address());
  EXPECT_EQ(recorder.Count(STATUS_ERROR, "Error in FTPConnect"), 1);
  EXPECT_FALSE(testing::Exists(destination.File("manufact.dwn")));
  SetCatalogueServerForTesting(nullptr);
}

}  // namespace
}  // namespace stanvex
