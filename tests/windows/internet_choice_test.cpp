// The internet library the core binds for each kind of service address on
// Windows: the system's wininet.dll for plain FTP, our svinet.dll for the
// schemes the system's FTP client cannot serve.
#include <gtest/gtest.h>

#include <cstring>

#include "base/last_error.h"
#include "result_codes.h"
#include "transfer/internet_binding.h"

namespace stanvex {
namespace {

using testing::ZeroOrMinusOne;

TEST(InternetLibraryChoice, SchemesTheSystemLibraryCannotServeGoToOurs) {
  for (const char* address : {"ftp.example.org", "127.0.0.2", "ftp://ftp.example.org/pub",
                              "FTP://host", "", "httpsx.example.org"})
    EXPECT_STREQ(InternetLibraryFor(address), "wininet.dll") << address;
  EXPECT_STREQ(InternetLibraryFor(nullptr), "wininet.dll");
  for (const char* address : {"https://data.example.gov/cors", "HTTPS://host:8443", "ftps://host",
                              "FtpS://host/base", "file:///Z:/archive/blue"})
    EXPECT_STREQ(InternetLibraryFor(address), "svinet.dll") << address;
  // A service's addresses share one session: one mirror the system library
  // cannot serve takes the whole service to ours.
  const char* ftpOnly[] = {"ftp.example.org", nullptr, "ftp://127.0.0.2:2121/pub"};
  EXPECT_STREQ(InternetLibraryForAll(ftpOnly, 3), "wininet.dll");
  const char* httpsMirror[] = {"ftp.example.org", nullptr, "https://mirror.example.org/pub"};
  EXPECT_STREQ(InternetLibraryForAll(httpsMirror, 3), "svinet.dll");
  EXPECT_STREQ(InternetLibraryForAll(httpsMirror, 2), "wininet.dll");
}

TEST(InternetLibraryChoice, BindingFollowsTheAddressAndLoadsEachLibraryOnce) {
  InternetBinding saved = Internet;
  Internet = InternetBinding{};
  ASSERT_EQ(ZeroOrMinusOne(BindInternetLibraryFor("https://localhost:8443/blue", &Internet)), 0)
      << LastErrorText;
  EXPECT_STREQ(Internet.name, "svinet.dll");
  platform::LibraryHandle own = Internet.module;
  ASSERT_NE(own, nullptr);
  ASSERT_EQ(ZeroOrMinusOne(BindInternetLibraryFor("ftp.example.org", &Internet)), 0)
      << LastErrorText;
  EXPECT_STREQ(Internet.name, "wininet.dll");
  EXPECT_NE(Internet.module, own);
  EXPECT_NE(Internet.InternetOpenA, nullptr);
  ASSERT_EQ(ZeroOrMinusOne(BindInternetLibraryFor("ftps://localhost:2121", &Internet)), 0);
  EXPECT_EQ(Internet.module, own);
  Internet = saved;
}

}  // namespace
}  // namespace stanvex
