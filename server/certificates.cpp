#include "certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/file_util.h"

namespace sandbox {
namespace {

namespace fs = std::filesystem;

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

KeyPtr newKey() { return KeyPtr(EVP_EC_gen("P-256"), EVP_PKEY_free); }

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

CertPtr newCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long days,
                const std::string& altNames = {}) {
  CertPtr cert(X509_new(), X509_free);
  if (!cert) return cert;
  X509_set_version(cert.get(), 2);
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("qvad sandbox"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* self = issuer ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(self));
  bool ok = addExtension(cert.get(), self, NID_subject_key_identifier, "hash");
  if (issuer) {
    ok = ok && addExtension(cert.get(), self, NID_authority_key_identifier, "keyid:always") &&
         addExtension(cert.get(), self, NID_basic_constraints, "critical,CA:FALSE") &&
         addExtension(cert.get(), self, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
         addExtension(cert.get(), self, NID_ext_key_usage, "serverAuth") &&
         addExtension(cert.get(), self, NID_subject_alt_name, altNames.c_str());
  } else {
    ok = ok && addExtension(cert.get(), self, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
         addExtension(cert.get(), self, NID_key_usage, "critical,keyCertSign,cRLSign");
  }
  if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) == 0) return CertPtr(nullptr, X509_free);
  return cert;
}

bool writePEM(const std::string& path, X509* cert, EVP_PKEY* key) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!bio) return false;
  bool ok = cert ? PEM_write_bio_X509(bio.get(), cert) == 1
                 : PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  // Keys are private to the sandbox's user; certificates are for anyone to trust.
  return ok && n > 0 && qvad::writeFileAtomically(path, std::string_view(data, static_cast<std::size_t>(n)), key ? 0600 : 0644);
}

CertPtr readCert(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return CertPtr(nullptr, X509_free);
  CertPtr c(PEM_read_X509(f, nullptr, nullptr, nullptr), X509_free);
  std::fclose(f);
  return c;
}

KeyPtr readKey(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return KeyPtr(nullptr, EVP_PKEY_free);
  KeyPtr k(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr), EVP_PKEY_free);
  std::fclose(f);
  return k;
}

bool validForADay(X509* cert) {
  return cert && X509_cmp_time(X509_get0_notAfter(cert), nullptr) > 0 &&
         X509_cmp_timeframe(nullptr, X509_get0_notBefore(cert), nullptr) >= 0 &&
         [&] {
           time_t tomorrow = time(nullptr) + 24 * 3600;
           return X509_cmp_time(X509_get0_notAfter(cert), &tomorrow) > 0;
         }();
}

}  // namespace

CertificatePaths ensureCertificates(const std::string& stateDir, std::string& error, const std::string& certName) {
  CertificatePaths p{stateDir + "/ca.pem", stateDir + "/server.pem", stateDir + "/server.key"};
  const std::string caKeyPath = stateDir + "/ca.key";
  error.clear();

  CertPtr ca = readCert(p.caCert);
  KeyPtr caKey = readKey(caKeyPath);
  if (!ca || !caKey || !validForADay(ca.get())) {
    caKey = newKey();
    ca = caKey ? newCert(caKey.get(), "qvad sandbox CA", nullptr, nullptr, 3650) : CertPtr(nullptr, X509_free);
    if (!ca || !writePEM(caKeyPath, nullptr, caKey.get()) || !writePEM(p.caCert, ca.get(), nullptr)) {
      error = "cannot make the CA in " + stateDir;
      return p;
    }
    std::error_code ec;
    fs::remove(p.serverCert, ec);  // a new CA needs a new server certificate
  }

  CertPtr server = readCert(p.serverCert);
  KeyPtr serverKey = readKey(p.serverKey);
  const std::string name = certName.empty() ? "127.0.0.1" : certName;
  // A certificate made for other names is made again.
  const bool forLoopback = server && X509_check_ip_asc(server.get(), "127.0.0.1", 0) == 1;
  const bool forName = server && (certName.empty() ? forLoopback
                                                   : !forLoopback && X509_check_host(server.get(), name.c_str(),
                                                                                     name.size(), 0, nullptr) == 1);
  if (!server || !serverKey || !forName || !validForADay(server.get()) || X509_verify(server.get(), caKey.get()) != 1) {
    serverKey = newKey();
    const std::string altNames = certName.empty() ? "IP:127.0.0.1,DNS:localhost" : "DNS:" + certName;
    server = serverKey ? newCert(serverKey.get(), name.c_str(), ca.get(), caKey.get(), 397, altNames)
                       : CertPtr(nullptr, X509_free);
    if (!server || !writePEM(p.serverKey, nullptr, serverKey.get()) || !writePEM(p.serverCert, server.get(), nullptr)) {
      error = "cannot make the server certificate in " + stateDir;
    }
  }
  return p;
}

}  // namespace sandbox
