#pragma once
// A self-signed certificate made at test time for TLS test servers: an EC key
// and an X.509 certificate naming the given subject alternative names, written
// as PEM files. The certificate is its own CA, so clients trust it by taking
// the certificate file as their CA file.

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "support/test_support.h"

namespace tessellink::test {

struct TestCertificate {
  std::filesystem::path certFile;  // also the CA file for clients
  std::filesystem::path keyFile;
};

namespace tls_detail {

inline void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

inline std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(length));
}

inline void AddExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  Check(ext != nullptr, "extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

}  // namespace tls_detail

// `altNames` in OpenSSL's form, e.g. "IP:127.0.0.1,DNS:localhost".
inline TestCertificate MakeSelfSignedCertificate(const std::filesystem::path& dir, const std::string& altNames,
                                                 const std::string& name = "test") {
  using tls_detail::Check;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  Check(key != nullptr, "key");
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  Check(cert != nullptr, "certificate");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* subject = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Test server"),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), subject);
  tls_detail::AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  tls_detail::AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
  tls_detail::AddExtension(cert.get(), NID_subject_alt_name, altNames);
  tls_detail::AddExtension(cert.get(), NID_subject_key_identifier, "hash");
  Check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signing");

  std::unique_ptr<BIO, decltype(&BIO_free)> certPem(BIO_new(BIO_s_mem()), BIO_free);
  std::unique_ptr<BIO, decltype(&BIO_free)> keyPem(BIO_new(BIO_s_mem()), BIO_free);
  Check(PEM_write_bio_X509(certPem.get(), cert.get()) == 1, "certificate PEM");
  Check(PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1, "key PEM");
  TestCertificate files{dir / (name + "-cert.pem"), dir / (name + "-key.pem")};
  WriteFile(files.certFile, tls_detail::BioText(certPem.get()));
  WriteFile(files.keyFile, tls_detail::BioText(keyPem.get()));
  return files;
}

}  // namespace tessellink::test
