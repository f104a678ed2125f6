#include "platform_shim.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#include <wincrypt.h>
#endif

namespace stanvex::wininet {

#if defined(_WIN32)

int ReplaceFileByRename(const char* from, const char* to) {
  if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  DWORD error = ::GetLastError();
  errno = (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) ? ENOSPC
          : (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? ENOENT
                                                                               : EACCES;
  return -1;
}

std::string LocalPathOfFileUrl(const std::string& urlPath) {
  if (urlPath.size() >= 3 && urlPath[0] == '/' &&
      std::isalpha(static_cast<unsigned char>(urlPath[1])) && urlPath[2] == ':')
    return urlPath.substr(1);
  return urlPath;
}

const char* HostsFilePath() {
  static const std::string path = [] {
    const char* root = std::getenv("SystemRoot");
    return std::string(root != nullptr ? root : "C:\\Windows") + "\\System32\\drivers\\etc\\hosts";
  }();
  return path.c_str();
}

namespace {

// The certificates of the current user's "ROOT" store (which includes the
// machine's) in PEM, read once.
const std::string& RootAuthoritiesPem() {
  static std::once_flag once;
  static std::string pem;
  std::call_once(once, [] {
    HCERTSTORE store = ::CertOpenSystemStoreA(0, "ROOT");
    if (store == nullptr) return;
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = ::CertEnumCertificatesInStore(store, certificate)) != nullptr) {
      DWORD length = 0;
      if (!::CryptBinaryToStringA(certificate->pbCertEncoded, certificate->cbCertEncoded,
                                  CRYPT_STRING_BASE64HEADER, nullptr, &length))
        continue;
      std::string text(length, '\0');
      if (!::CryptBinaryToStringA(certificate->pbCertEncoded, certificate->cbCertEncoded,
                                  CRYPT_STRING_BASE64HEADER, &text[0], &length))
        continue;
      text.resize(length);
      pem += text;
    }
    ::CertCloseStore(store, 0);
  });
  return pem;
}

}  // namespace

void ApplyPlatformTlsOptions(CURL* easy) {
  const std::string& pem = RootAuthoritiesPem();
  // An empty store gives an empty list: every server is then refused.
  struct curl_blob authorities;
  authorities.data = const_cast<char*>(pem.data());
  authorities.len = pem.size();
  authorities.flags = CURL_BLOB_COPY;
  curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &authorities);
  curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
}

long CertificateVerdict(CURL*, const char* reason) {
  // OpenSSL's "unable to get local issuer certificate", for a chain that
  // Windows could not build or would not trust.
  constexpr long kUntrustedChain = 20;
  return std::strstr(reason, "CertGetCertificateChain") != nullptr ||
                 std::strstr(reason, "remote certificate context") != nullptr
             ? kUntrustedChain
             : 0;
}

#else

void ApplyPlatformTlsOptions(CURL*) {}

long CertificateVerdict(CURL* easy, const char*) {
  long result = 0;
  curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &result);
  return result;
}

int ReplaceFileByRename(const char* from, const char* to) { return std::rename(from, to); }

std::string LocalPathOfFileUrl(const std::string& urlPath) { return urlPath; }

const char* HostsFilePath() { return "/etc/hosts"; }

#endif

}  // namespace stanvex::wininet
