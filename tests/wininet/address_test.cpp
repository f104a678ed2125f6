// Server addresses, remote URLs and the gateway setting of the internet
// library.
#include "address.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "wininet_api.h"

namespace stanvex::wininet {
namespace {

std::string Base(const char* server, uint16_t port = 0) {
  ServerAddress address;
  uint32_t error = ParseServerAddress(server, port, &address);
  return error == 0 ? address.base : "error " + std::to_string(error);
}

TEST(ServerAddress, BareHostsAndSchemes) {
  EXPECT_EQ(Base("ftp.example.org"), "ftp://ftp.example.org:21");
  EXPECT_EQ(Base("ftp.example.org", 2121), "ftp://ftp.example.org:2121");
  EXPECT_EQ(Base("127.0.0.1:4021", 2121), "ftp://127.0.0.1:4021") << "the address's port wins";
  EXPECT_EQ(Base("ftp://Host/pub/"), "ftp://Host/pub");
  EXPECT_EQ(Base("FTPS://host:990"), "ftp://host:990") << "TLS is added by the scheme";
  EXPECT_EQ(Base("https://archive.example.org/data"), "https://archive.example.org/data");
  EXPECT_EQ(Base("file:///srv/archive"), "file:///srv/archive");

  ServerAddress address;
  ASSERT_EQ(ParseServerAddress("ftps://host", 0, &address), 0u);
  EXPECT_EQ(address.scheme, Scheme::kFtps);
  EXPECT_FALSE(address.bare);
}

TEST(ServerAddress, MalformedAddressesAreRefused) {
  const std::string invalid = "error " + std::to_string(ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(Base(""), invalid);
  EXPECT_EQ(Base(nullptr), invalid);
  EXPECT_EQ(Base("two words"), invalid);
  EXPECT_EQ(Base("host:"), invalid);
  EXPECT_EQ(Base("host:70000"), invalid);
  EXPECT_EQ(Base("host:21x"), invalid);
  EXPECT_EQ(Base("ftp://user@host"), invalid);
  EXPECT_EQ(Base("file://relative"), invalid);
  EXPECT_EQ(Base(std::string(2000, 'h').c_str()), invalid);
  EXPECT_EQ(Base("gopher://host"), "error " + std::to_string(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
}

TEST(ServerAddress, RemotePathsOfBareHostsReachTheServerAsGiven) {
  ServerAddress bare;
  ASSERT_EQ(ParseServerAddress("h", 0, &bare), 0u);
  EXPECT_EQ(RemoteUrl(bare, "/pub/x.Z"), "ftp://h:21//pub/x.Z");  // absolute on the server
  EXPECT_EQ(RemoteUrl(bare, "manufact.dwn"), "ftp://h:21/manufact.dwn");
  EXPECT_EQ(RemoteUrl(bare, "/a b#?%"), "ftp://h:21//a%20b%23%3F%25");

  ServerAddress based;
  ASSERT_EQ(ParseServerAddress("https://h/data", 0, &based), 0u);
  EXPECT_EQ(RemoteUrl(based, "/2002/034/x.Z"), "https://h/data/2002/034/x.Z");
  EXPECT_EQ(RemoteUrl(based, "x.Z"), "https://h/data/x.Z");
}

TEST(Gateway, UsedOnlyWhenItResolvesWithoutAskingTheNameService) {
  stanvex::testing::ScratchDir scratch;
  std::string hosts = scratch.File("hosts");
  stanvex::testing::WriteFile(hosts, "127.0.0.1 localhost\n# 10.0.0.1 ftp-gw\n");
  EXPECT_EQ(GatewayProxy("ftp-gw", hosts.c_str()), "");
  EXPECT_EQ(GatewayProxy(nullptr, hosts.c_str()), "");
  EXPECT_EQ(GatewayProxy("http=127.0.0.1:8080", hosts.c_str()), "") << "not for FTP";
  EXPECT_EQ(GatewayProxy("http=x ftp=127.0.0.1:2121", hosts.c_str()), "http://127.0.0.1:2121");
  stanvex::testing::WriteFile(hosts, "127.0.0.1 localhost\n127.0.0.2 proxy FTP-GW\n");
  EXPECT_EQ(GatewayProxy("ftp-gw", hosts.c_str()), "http://ftp-gw:80");
}

}  // namespace
}  // namespace stanvex::wininet
