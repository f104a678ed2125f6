// Our internet library over HTTPS and with logins: trust settings,
// certificate failures, HTTP answers carried into the completion's error
// code, the single sign-on login flow with netrc and cookies, stalled
// transfers and the partial file. Against the loopback HTTPS and FTP servers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "ftp_fixture.h"
#include "https_fixture.h"
#include "netrc.h"
#include "requests.h"
#include "test_support.h"
#include "wininet_api.h"

namespace {

using stanvex::testing::Exists;
using stanvex::testing::FtpServer;
using stanvex::testing::FtpServerOptions;
using stanvex::testing::HttpsServer;
using stanvex::testing::HttpsServerOptions;
using stanvex::testing::ReadFile;
using stanvex::testing::ScratchDir;
using stanvex::testing::TestCertificates;
using stanvex::testing::WriteFile;

// Completions seen by the status handler.
struct Completions {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<INTERNET_ASYNC_RESULT> results;
};
Completions* seen = nullptr;

void WININET_CALL HttpsHandler(HINTERNET, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
  if (status != INTERNET_STATUS_REQUEST_COMPLETE || length < sizeof(INTERNET_ASYNC_RESULT)) return;
  std::lock_guard<std::mutex> lock(seen->mutex);
  seen->results.push_back(*static_cast<INTERNET_ASYNC_RESULT*>(info));
  seen->changed.notify_all();
}

// Sets an environment variable for the length of a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) saved_ = old, had_ = true;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_, saved_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

class WininetHttpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TestCertificates::Get().ok()) << TestCertificates::Get().error();
    seen = &completions_;
    std::filesystem::create_directories(root_.path() + "/pub");
    content_ = ReadFile(stanvex::testing::SharedData("compress/brdc2800.15n.Z"));
    ASSERT_FALSE(content_.empty());
    WriteFile(root_.path() + "/pub/a.Z", content_);
    WriteFile(root_.path() + "/pub/b.Z", content_);
    ::unsetenv("CURL_CA_BUNDLE");
    ::unsetenv("SSL_CERT_DIR");
    ::setenv("SSL_CERT_FILE", TestCertificates::Get().Authority().c_str(), 1);
    // No netrc of the machine's user takes part unless a test writes one.
    ::setenv("NETRC", home_.File("netrc").c_str(), 1);
    OpenSession();
  }
  void TearDown() override {
    if (session_ != nullptr) InternetCloseHandle(session_);
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("NETRC");
    seen = nullptr;
  }

  void OpenSession() {
    if (session_ != nullptr) InternetCloseHandle(session_);
    session_ = InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                             INTERNET_FLAG_ASYNC);
    ASSERT_NE(session_, nullptr);
    InternetSetStatusCallback(session_, HttpsHandler);
  }

  INTERNET_ASYNC_RESULT WaitForNext(size_t before) {
    std::unique_lock<std::mutex> lock(completions_.mutex);
    bool arrived = completions_.changed.wait_for(lock, std::chrono::seconds(60), [&] {
      return completions_.results.size() > before;
    });
    EXPECT_TRUE(arrived);
    return arrived ? completions_.results.back() : INTERNET_ASYNC_RESULT{0, 0xFFFFFFFF};
  }

  size_t Count() {
    std::lock_guard<std::mutex> lock(completions_.mutex);
    return completions_.results.size();
  }

  // Connects; the connection handle, or null with *error set.
  HINTERNET Connect(const std::string& address, const char* user = nullptr,
                    const char* password = nullptr, DWORD* error = nullptr) {
    size_t before = Count();
    HINTERNET answer = InternetConnectA(session_, address.c_str(), 0, user, password,
                                        INTERNET_SERVICE_FTP, 0, 1);
    EXPECT_EQ(answer, nullptr);
    INTERNET_ASYNC_RESULT result = WaitForNext(before);
    if (error != nullptr) *error = result.dwError;
    return reinterpret_cast<HINTERNET>(result.dwResult);
  }

  // Fetches remote into local; 0 on success, else the completion's error.
  DWORD Get(HINTERNET connection, const char* remote, const std::string& local) {
    size_t before = Count();
    EXPECT_FALSE(FtpGetFileA(connection, remote, local.c_str(), 0, FILE_ATTRIBUTE_NORMAL,
                             FTP_TRANSFER_TYPE_BINARY, 2));
    INTERNET_ASYNC_RESULT result = WaitForNext(before);
    return result.dwResult != 0 ? 0 : result.dwError;
  }

  void WriteNetrc(const std::string& text) { WriteFile(home_.File("netrc"), text); }

  Completions completions_;
  HINTERNET session_ = nullptr;
  ScratchDir root_;
  ScratchDir local_;
  ScratchDir home_;
  std::string content_;
};

TEST_F(WininetHttpsTest, PrivateAuthorityFromEachConventionalVariable) {
  HttpsServerOptions options;
  options.root = root_.path();
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  const auto& certificates = TestCertificates::Get();
  // SSL_CERT_DIR wants the hashed names OpenSSL looks certificates up by.
  ScratchDir hashed;
  std::filesystem::copy_file(certificates.Authority(), hashed.File("ca.pem"));
  ASSERT_EQ(std::system(("openssl rehash '" + hashed.path() + "' >/dev/null 2>&1").c_str()), 0);
  ::unsetenv("SSL_CERT_FILE");

  DWORD error = 0;
  EXPECT_EQ(Connect(server.Url(), nullptr, nullptr, &error), nullptr) << "system store only";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
  const std::pair<const char*, std::string> settings[] = {
      {"SSL_CERT_FILE", certificates.Authority()},
      {"CURL_CA_BUNDLE", certificates.Authority()},
      {"SSL_CERT_DIR", hashed.path()}};
  for (const auto& [name, value] : settings) {
    ScopedEnv trust(name, value);
    HINTERNET connection = Connect(server.Url());
    ASSERT_NE(connection, nullptr) << name;
    std::string local = local_.File(std::string(name) + ".Z");
    EXPECT_EQ(Get(connection, "/pub/a.Z", local), 0u) << name;
    EXPECT_TRUE(ReadFile(local) == content_) << name;
    InternetCloseHandle(connection);
  }
}

TEST_F(WininetHttpsTest, CertificateFailuresAreTheirOwnCauseAndSendNothing) {
  const std::pair<const char*, DWORD> cases[] = {
      {"untrusted", ERROR_INTERNET_INVALID_CA}, {"wrongname", ERROR_INTERNET_SEC_CERT_CN_INVALID}};
  for (const auto& [certificate, expected] : cases) {
    HttpsServerOptions options;
    options.root = root_.path();
    options.certificate = certificate;
    HttpsServer server(options);
    ASSERT_TRUE(server.running()) << server.error();
    DWORD error = 0;
    EXPECT_EQ(Connect(server.Url(), "alice", "s3cret", &error), nullptr) << certificate;
    EXPECT_EQ(error, expected) << certificate;
    EXPECT_EQ(server.CountLog("GET "), 0) << certificate;
    EXPECT_EQ(server.CountContaining("s3cret"), 0) << certificate;
  }
}

// FtpFindFirstFileA over HTTPS is a HEAD: a file's size, a missing one, a
// redirect followed, a login page and a refusal by their causes; no body is
// fetched.
TEST_F(WininetHttpsTest, FindFirstFileAsksByHead) {
  HttpsServerOptions options;
  options.root = root_.path();
  options.html = {"/pub/page"};
  options.status = {{"/pub/denied", 403}};
  options.redirects = {{"/pub/moved", "/pub/b.Z"}};
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  HINTERNET connection = Connect(server.Url());
  ASSERT_NE(connection, nullptr);
  const std::pair<const char*, DWORD> cases[] = {
      {"/pub/a.Z", 0},
      {"/pub/moved", 0},
      {"/pub/none.Z", ERROR_NO_MORE_FILES},
      {"/pub/page", ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"/pub/denied", ERROR_ACCESS_DENIED}};
  for (const auto& [path, expected] : cases) {
    WIN32_FIND_DATAA data{};
    size_t before = Count();
    EXPECT_EQ(FtpFindFirstFileA(connection, path, &data, 0, 3), nullptr);
    INTERNET_ASYNC_RESULT result = WaitForNext(before);
    EXPECT_EQ(result.dwError, expected) << path;
    if (expected != 0) continue;
    EXPECT_EQ(data.nFileSizeLow, content_.size()) << path;
    EXPECT_TRUE(InternetCloseHandle(reinterpret_cast<HINTERNET>(result.dwResult)));
  }
  EXPECT_EQ(server.CountLog("GET "), 0);
  EXPECT_EQ(server.CountLog("HEAD /pub/b.Z"), 1);
}

TEST_F(WininetHttpsTest, AnswersCarryTheirCauseAndLeaveNoFile) {
  HttpsServerOptions options;
  options.root = root_.path();
  options.user = "alice:s3cret";
  options.status = {{"/pub/401*", 401}, {"/pub/403*", 403}, {"/pub/500*", 500}};
  options.html = {"/pub/page*"};
  options.bigHeaders = {{"/pub/longline*", 200 * 1024, 200 * 1024},
                        {"/pub/manylines*", 400 * 1024, 1024}};
  options.drops = {{"/pub/b.Z", 100}};
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  HINTERNET connection = Connect(server.Url(), "alice", "s3cret");
  ASSERT_NE(connection, nullptr);
  std::string local = local_.File("day.Z");
  ASSERT_EQ(Get(connection, "/pub/a.Z", local), 0u);
  EXPECT_TRUE(ReadFile(local) == content_);
  EXPECT_EQ(server.CountLog("AUTH alice:s3cret"), 1) << "basic login over HTTPS";

  WriteFile(local, "previous");
  const std::pair<const char*, DWORD> cases[] = {
      {"/pub/401.Z", ERROR_INTERNET_INCORRECT_PASSWORD},
      {"/pub/403.Z", ERROR_ACCESS_DENIED},
      {"/pub/none.Z", ERROR_INTERNET_ITEM_NOT_FOUND},
      {"/pub/500.Z", ERROR_INTERNET_EXTENDED_ERROR},
      {"/pub/page.Z", ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"/pub/longline.Z", ERROR_HTTP_INVALID_HEADER},
      {"/pub/manylines.Z", ERROR_HTTP_INVALID_HEADER},
      {"/pub/b.Z", ERROR_INTERNET_CONNECTION_ABORTED}};
  for (const auto& [remote, expected] : cases) {
    EXPECT_EQ(Get(connection, remote, local), expected) << remote;
    EXPECT_EQ(ReadFile(local), "previous") << remote;
    EXPECT_FALSE(Exists(local + ".part")) << remote;
  }

  // A wrong password is a refused login.
  HINTERNET wrong = Connect(server.Url(), "alice", "guess");
  ASSERT_NE(wrong, nullptr) << "the TLS connection itself is made";
  EXPECT_EQ(Get(wrong, "/pub/a.Z", local), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));
}

TEST_F(WininetHttpsTest, RedirectsStayWithinHttpsAndNeverTakeALoginFromTheAddress) {
  HttpsServerOptions options;
  options.root = root_.path();
  HttpsServer probe(options);  // only for a free port to name in the redirects
  ASSERT_TRUE(probe.running()) << probe.error();
  std::string self = "127.0.0.1:" + std::to_string(probe.port());
  probe.Stop();
  options.bind = self;
  options.redirects = {{"/pub/plain*", "http://" + self + "/pub/a.Z"},
                       {"/pub/inline*", "https://mallory:pw@" + self + "/pub/a.Z"},
                       {"/pub/loop*", "/pub/loop.Z"},
                       {"/pub/moved*", "https://" + self + "/pub/a.Z"}};
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  HINTERNET connection = Connect(server.Url());
  ASSERT_NE(connection, nullptr);
  std::string local = local_.File("x.Z");
  EXPECT_EQ(Get(connection, "/pub/plain.Z", local),
            static_cast<DWORD>(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR));
  EXPECT_EQ(Get(connection, "/pub/inline.Z", local),
            static_cast<DWORD>(ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION));
  EXPECT_EQ(Get(connection, "/pub/loop.Z", local), static_cast<DWORD>(ERROR_HTTP_REDIRECT_FAILED));
  EXPECT_FALSE(Exists(local));
  EXPECT_EQ(server.CountLog("GET /pub/a.Z"), 0);
  ASSERT_EQ(Get(connection, "/pub/moved.Z", local), 0u);
  EXPECT_TRUE(ReadFile(local) == content_) << "the redirect's own text is not kept";
}

// The pattern of single sign-on archives: the data host (127.0.0.1) sends
// the client to a login host (127.0.0.2) that wants basic authentication,
// sets a cookie and sends it back; the data host sets its session cookie.
TEST_F(WininetHttpsTest, LoginHostGetsItsNetrcLoginAndOnlyIt) {
  HttpsServerOptions options;
  options.root = root_.path();
  options.loginBind = "127.0.0.2";
  options.loginUser = "bob:l0gin-pw";
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  WriteNetrc("# a comment line\nmachine other.invalid login x password y\n"
             "machine 127.0.0.2\n  login bob\n  password \"l0gin-pw\"\n");

  // The data host was given its own account: it gets that, the login host
  // gets its netrc login, and neither the other's.
  HINTERNET connection = Connect(server.Url(), "alice", "data-pw");
  ASSERT_NE(connection, nullptr);
  std::string local = local_.File("a.Z");
  ASSERT_EQ(Get(connection, "/pub/a.Z", local), 0u);
  EXPECT_TRUE(ReadFile(local) == content_);
  EXPECT_EQ(server.CountContaining("l0gin-pw"), 0) << "the data host never sees the login";
  EXPECT_EQ(server.CountContaining("data-pw", /*loginHost=*/true), 0);
  EXPECT_EQ(server.CountContaining("AUTH bob:l0gin-pw", true), 1);
  EXPECT_EQ(server.CountLog("COOKIE data_session="), 1);

  // The session's cookies make the second file a plain request.
  ASSERT_EQ(Get(connection, "/pub/b.Z", local_.File("b.Z")), 0u);
  EXPECT_EQ(server.CountContaining("GET /authorize", true), 1);
  InternetCloseHandle(connection);
  // A new session starts without cookies and logs in again.
  OpenSession();
  connection = Connect(server.Url());
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(Get(connection, "/pub/b.Z", local_.File("c.Z")), 0u);
  EXPECT_EQ(server.CountContaining("GET /authorize", true), 2);
  EXPECT_EQ(server.CountContaining("AUTH"), server.CountContaining("AUTH alice:data-pw"))
      << "the data host gets alice's login only, and none without an account";
  EXPECT_EQ(server.CountContaining("AUTH", true), 2) << "netrc's login for the login host";

  // Without a netrc entry for the login host the login is refused.
  WriteNetrc("machine 127.0.0.1 login carol password data-only\n");
  OpenSession();
  connection = Connect(server.Url());
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(Get(connection, "/pub/a.Z", local_.File("d.Z")),
            static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));
  EXPECT_FALSE(Exists(local_.File("d.Z")));
  EXPECT_EQ(server.CountContaining("data-only", true), 0);
  EXPECT_EQ(server.CountContaining("AUTH carol:data-only"), 1) << "netrc for the data host itself";
}

// Comment lines and keywords without their values never give one host's
// netrc login to another: 127.0.0.1 redirects to 127.0.0.2. A netrc file that
// cannot give a host's login fails the request before that host hears of it.
TEST_F(WininetHttpsTest, NetrcNeverGivesOneEntrysLoginToAnotherHost) {
  HttpsServerOptions options;
  options.root = root_.path();
  options.bind = "127.0.0.2";
  HttpsServer other(options);
  ASSERT_TRUE(other.running()) << other.error();
  options.bind = "127.0.0.1";
  options.redirects = {{"/pub/r*", other.Url() + "/pub/a.Z"}};
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  const std::string own = "machine 127.0.0.1 login n1 password p1\n";
  const struct {
    const char* name;
    std::string netrc;
    DWORD error;
  } cases[] = {
      {"comment", own + "#machine 127.0.0.2 login n2 password p2\n", 0},
      {"password last", "machine 127.0.0.2 login n2 password\n" + own, ERROR_BAD_CONFIGURATION},
      {"login last", "machine 127.0.0.2 login\n" + own, ERROR_BAD_CONFIGURATION},
      {"account last", "machine 127.0.0.2 login n2 password p2 account\n" + own,
       ERROR_BAD_CONFIGURATION},
      {"too large", own + std::string(stanvex::wininet::kMaxNetrcBytes, ' '),
       ERROR_FILE_TOO_LARGE}};
  HINTERNET connection = Connect(server.Url());
  ASSERT_NE(connection, nullptr);
  for (const auto& each : cases) {
    WriteNetrc(each.netrc);
    EXPECT_EQ(Get(connection, "/pub/r.Z", local_.File("r.Z")), each.error) << each.name;
  }
  EXPECT_EQ(server.CountContaining("AUTH n1:p1"), 4);
  EXPECT_EQ(server.CountContaining("AUTH"), 4) << "127.0.0.1 gets its own login only";
  EXPECT_EQ(other.CountContaining("AUTH"), 0);
  EXPECT_EQ(other.CountLog("GET "), 1) << "only where its entry is a comment";
}

TEST_F(WininetHttpsTest, NetrcLoginForAnFtpHostThatWasGivenNoAccount) {
  FtpServerOptions options;
  options.root = root_.path();
  options.noAnonymous = true;
  options.users = {"dora:ftp-pw"};
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  WriteNetrc("machine 127.0.0.1 login dora password ftp-pw\n");
  HINTERNET connection = Connect(server.Address());
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(Get(connection, "/pub/a.Z", local_.File("a.Z")), 0u);
  EXPECT_EQ(server.CountLog("USER dora"), 1);
  // An account given with the request wins over netrc.
  DWORD error = 0;
  EXPECT_EQ(Connect(server.Address(), "eve", "other", &error), nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));
  EXPECT_EQ(server.CountLog("USER eve"), 1);
}

TEST_F(WininetHttpsTest, FtpsChecksTheCertificateBeforeAnyLogin) {
  const auto& certificates = TestCertificates::Get();
  WriteNetrc("machine 127.0.0.1 login dora password ftp-pw\n");
  for (const char* certificate : {"server", "untrusted"}) {
    FtpServerOptions options;
    options.root = root_.path();
    options.noAnonymous = true;
    options.users = {"dora:ftp-pw"};
    options.tlsCertificateFile = certificates.Certificate(certificate);
    options.tlsKeyFile = certificates.Key(certificate);
    FtpServer server(options);
    ASSERT_TRUE(server.running()) << server.error();
    DWORD error = 0;
    HINTERNET connection = Connect("ftps://" + server.Address(), nullptr, nullptr, &error);
    if (std::string(certificate) == "untrusted") {
      EXPECT_EQ(connection, nullptr);
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
      EXPECT_EQ(server.CountLog("USER"), 0) << "no login before the certificate is trusted";
      continue;
    }
    ASSERT_NE(connection, nullptr) << error;
    EXPECT_EQ(server.CountLog("AUTH "), 1);
    EXPECT_EQ(server.CountLog("USER dora"), 1) << "netrc login over FTPS";
    // A whole file over the protected data connection, twice on one login.
    for (const char* name : {"a.Z", "b.Z"}) {
      const std::string local = local_.File(name);
      EXPECT_EQ(Get(connection, (std::string("/pub/") + name).c_str(), local), 0u) << name;
      EXPECT_EQ(ReadFile(local), content_) << name;
    }
    EXPECT_EQ(server.CountLog("PROT P"), 1) << "data protected once per login";
    EXPECT_EQ(server.CountLog("USER "), 1);
    InternetCloseHandle(connection);
    EXPECT_EQ(Connect("ftps://" + server.Address(), "dora", "wrong", &error), nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));
  }
}

TEST_F(WininetHttpsTest, TransferThatTricklesFailsAsTimedOut) {
  ScopedEnv seconds("STANVEX_STALL_SECONDS", "2");
  ScopedEnv rate("STANVEX_STALL_BYTES_PER_SECOND", "300");
  FtpServerOptions ftp_options;
  ftp_options.root = root_.path();
  ftp_options.trickleBytesPerSecond = 40;
  FtpServer ftp(ftp_options);
  ASSERT_TRUE(ftp.running()) << ftp.error();
  HttpsServerOptions https_options;
  https_options.root = root_.path();
  https_options.trickleBytesPerSecond = 40;
  HttpsServer https(https_options);
  ASSERT_TRUE(https.running()) << https.error();
  for (const std::string& address : {ftp.Address(), https.Url()}) {
    HINTERNET connection = Connect(address);
    ASSERT_NE(connection, nullptr) << address;
    auto start = std::chrono::steady_clock::now();
    std::string local = local_.File("slow.Z");
    EXPECT_EQ(Get(connection, "/pub/a.Z", local), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT))
        << address;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << address;
    EXPECT_FALSE(Exists(local));
    EXPECT_FALSE(Exists(local + ".part"));
    InternetCloseHandle(connection);
  }
}

TEST_F(WininetHttpsTest, PartialFileIsNeverOpenedThroughALink) {
  HttpsServerOptions options;
  options.root = root_.path();
  HttpsServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  std::string victim = home_.File("victim");
  WriteFile(victim, "precious");
  std::string local = local_.File("a.Z");
  ASSERT_EQ(::symlink(victim.c_str(), (local + ".part").c_str()), 0);
  HINTERNET connection = Connect(server.Url());
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(Get(connection, "/pub/a.Z", local), 0u);
  EXPECT_EQ(ReadFile(victim), "precious");
  struct stat info;
  ASSERT_EQ(::lstat(local.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_TRUE(ReadFile(local) == content_);

  // A link under the final name is replaced, its target untouched.
  ASSERT_EQ(::unlink(local.c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), local.c_str()), 0);
  ASSERT_EQ(Get(connection, "/pub/b.Z", local), 0u);
  EXPECT_EQ(ReadFile(victim), "precious");
  ASSERT_EQ(::lstat(local.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(Netrc, EntriesTokensAndMacros) {
  using stanvex::wininet::FindNetrcLogin;
  using stanvex::wininet::NetrcLogin;
  using stanvex::wininet::NetrcLookup;
  const std::string text =
      "default login anyone password anything\n"
      "macdef init\nmachine evil login x password y\n\n"
      "machine Data.Example.org login \"u s\\\"er\" account acct password p1\n"
      "machine data.example.org login second password p2\n"
      "machine nopass.example.org login only\n";
  NetrcLogin login;
  const NetrcLookup kFound = NetrcLookup::kFound;
  ASSERT_EQ(FindNetrcLogin(text.data(), text.size(), "data.example.org", &login), kFound);
  EXPECT_EQ(login.login, "u s\"er");
  EXPECT_EQ(login.password, "p1") << "the first entry of a host, any case";
  ASSERT_EQ(FindNetrcLogin(text.data(), text.size(), "nopass.example.org", &login), kFound);
  EXPECT_EQ(login.login, "only");
  EXPECT_EQ(login.password, "");
  const NetrcLookup kNone = NetrcLookup::kNoEntry;
  EXPECT_EQ(FindNetrcLogin(text.data(), text.size(), "evil", &login), kNone) << "inside a macro";
  EXPECT_EQ(FindNetrcLogin(text.data(), text.size(), "elsewhere.org", &login), kNone)
      << "a default entry names no host";
  EXPECT_EQ(FindNetrcLogin(text.data(), text.size() - 20, "nopass.example.org", &login), kNone)
      << "cut before its login";

  // Comments are whole lines; a quoted keyword is a value; a keyword
  // without its value spoils its own entry only.
  const struct {
    std::string text;
    NetrcLookup lookup;
    const char* password;
  } cases[] = {
      {"  #machine h login x password y\nmachine h login a password a#b\n", kFound, "a#b"},
      {"machine h login a password \"machine\"\n", kFound, "machine"},
      {"macdef\n\nmachine h login a password p\n", kFound, "p"},
      {"machine h login a account macdef m\n\nmachine h login b password q\n",
       NetrcLookup::kUnusableEntry, ""},
      {"machine h password tok\n", kFound, "tok"},  // a bearer token's entry
      // A quote left open never takes the next lines, nor a control character a header.
      {"machine h login a password \"open\nmachine x login b password s3\n",
       NetrcLookup::kUnusableEntry, ""},
      {"machine h login a password \"p\x01q\"\n", NetrcLookup::kUnusableEntry, ""}};
  for (const auto& each : cases) {
    login = NetrcLogin();
    EXPECT_EQ(FindNetrcLogin(each.text.data(), each.text.size(), "h", &login), each.lookup)
        << each.text;
    EXPECT_EQ(login.password, each.password) << each.text;
  }
}

TEST(BodyStart, WebPagesAreToldFromData) {
  using stanvex::wininet::BodyStart;
  using stanvex::wininet::ClassifyBodyStart;
  auto kind = [](const std::string& text) { return ClassifyBodyStart(text.data(), text.size()); };
  EXPECT_EQ(kind("\xEF\xBB\xBF \r\n\t<!DocType HTML>"), BodyStart::kWebPage);
  EXPECT_EQ(kind("<HTML lang=en>"), BodyStart::kWebPage);
  EXPECT_EQ(kind("  <!doc"), BodyStart::kUndecided);
  EXPECT_EQ(kind("   "), BodyStart::kUndecided);
  EXPECT_EQ(kind("<?xml version"), BodyStart::kData);
  EXPECT_EQ(kind("\x1f\x9d\x90"), BodyStart::kData);
  EXPECT_EQ(kind("     2.11           OBSERVATION DATA"), BodyStart::kData);
}

}  // namespace
