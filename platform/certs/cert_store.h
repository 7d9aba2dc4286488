#pragma once
// The user's certificate store: a folder with one file per certificate and its private key,
// NAME.pem (certificate followed by its key) or NAME.p12 / NAME.pfx (PKCS#12). Candidates come in
// file-name order. A file that cannot be read (bad format, wrong password) is skipped.
// Serial numbers are reported as OpenSSL's BN_bn2hex writes them, the form digital_certif holds:
// upper-case hexadecimal without separators, in whole bytes (a leading "0" when the first byte is
// below 0x10: "0A3F01"), without the "00" byte that DER puts before a high first bit (a serial
// encoded 00 80 00 00 01 is "80000001"); zero is "0".

#include <openssl/ossl_typ.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace platform::certs {

struct Candidate {
    std::string file;
    std::string serialNumber;
    std::chrono::system_clock::time_point validFrom;
    std::chrono::system_clock::time_point validTo;
    std::shared_ptr<X509> certificate;
    std::shared_ptr<EVP_PKEY> key;
};

// The store's folder: TARVELO_CERT_DIR, else "<user data folder>/tarvelo/certificates"
// ($XDG_DATA_HOME when it is an absolute path, else ~/.local/share).
std::string defaultStoreFolder();

// Reads every candidate of the folder; a missing folder gives none. `password` opens PKCS#12
// files and encrypted PEM keys (TARVELO_CERT_PASSWORD by default).
std::vector<Candidate> loadCandidates(const std::string& folder, const std::string& password);
std::vector<Candidate> loadDefaultCandidates();

}  // namespace platform::certs
