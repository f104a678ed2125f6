/*
 * Adds a certificate authority to the Windows "Root" store of the current
 * user, or removes it again, so that a test's loopback TLS servers are
 * trusted the way an archive's public authority is.
 *
 *   trust_ca.exe add|remove CA.der
 *
 * Exits with 0 when the store holds (add) or no longer holds (remove) it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <wincrypt.h>

int main(int argc, char **argv) {
  static BYTE der[16384];
  size_t length;
  FILE *file;
  if (argc != 3 || (strcmp(argv[1], "add") != 0 && strcmp(argv[1], "remove") != 0)) {
    fprintf(stderr, "usage: trust_ca add|remove CA.der\n");
    return 2;
  }
  file = fopen(argv[2], "rb");
  if (file == NULL) {
    fprintf(stderr, "trust_ca: cannot open %s\n", argv[2]);
    return 1;
  }
  length = fread(der, 1, sizeof der, file);
  fclose(file);
  if (length == 0 || length == sizeof der) {
    fprintf(stderr, "trust_ca: %s is empty or too long\n", argv[2]);
    return 1;
  }
  if (strcmp(argv[1], "add") == 0) {
    if (!CertAddEncodedCertificateToSystemStoreA("ROOT", der, (DWORD)length)) {
      fprintf(stderr, "trust_ca: adding failed, error %lu\n", (unsigned long)GetLastError());
      return 1;
    }
    return 0;
  }
  {
    HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    PCCERT_CONTEXT wanted =
        CertCreateCertificateContext(X509_ASN_ENCODING, der, (DWORD)length);
    PCCERT_CONTEXT found;
    int ok = 1;
    if (store == NULL || wanted == NULL) {
      fprintf(stderr, "trust_ca: cannot open the store or read the certificate\n");
      return 1;
    }
    while ((found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                               wanted, NULL)) != NULL) {
      if (!CertDeleteCertificateFromStore(found)) {
        ok = 0;
        break;
      }
    }
    CertFreeCertificateContext(wanted);
    CertCloseStore(store, 0);
    return ok ? 0 : 1;
  }
}
