// HTTPS with a certificate for localhost, validated by the client as Tidora's
// transport validates it.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>

#include "Support.h"

namespace tidora::server::test {
namespace {

// A self-signed certificate for DNS name localhost, written as PEM files.
bool WriteLocalhostCertificate(const std::string& certPath, const std::string& keyPath) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  if (!key || !cert) return false;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  for (auto [nid, value] : {std::pair{NID_subject_alt_name, "DNS:localhost"},
                            std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    X509_add_ext(cert.get(), ext, -1);
    X509_EXTENSION_free(ext);
  }
  if (!X509_sign(cert.get(), key.get(), EVP_sha256())) return false;

  FILE* certFile = std::fopen(certPath.c_str(), "w");
  FILE* keyFile = std::fopen(keyPath.c_str(), "w");
  bool ok = certFile && keyFile && PEM_write_X509(certFile, cert.get()) &&
            PEM_write_PrivateKey(keyFile, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  if (certFile) std::fclose(certFile);
  if (keyFile) std::fclose(keyFile);
  return ok;
}

TEST(TlsTest, ServesTheCallsOverHttpsToAClientThatValidates) {
  TempDir dir;
  ServiceConfig config;
  config.certFile = dir.Path("cert.pem");
  config.keyFile = dir.Path("key.pem");
  ASSERT_TRUE(WriteLocalhostCertificate(config.certFile, config.keyFile));
  RunningService service(dir.Path("service.db"), config);

  httplib::SSLClient client("localhost", service.Port());
  client.set_ca_cert_path(config.certFile.c_str());
  client.enable_server_certificate_verification(true);
  client.set_connection_timeout(5);
  auto init = client.Get("/api.init.php");
  ASSERT_TRUE(init) << httplib::to_string(init.error());
  EXPECT_EQ(init->body, "{}");
  auto report = client.Post("/report.php", WriteReport(SampleReport(2)), "application/json");
  ASSERT_TRUE(report);
  EXPECT_EQ(report->status, 200);
  EXPECT_EQ(service.Data().ReportCount(), 1);

  // Plain HTTP to the HTTPS port gets no answer that looks like a reply.
  auto plain = service.Client().Get("/api.init.php");
  EXPECT_FALSE(plain && plain->status == 200);
}

TEST(TlsTest, AnUnusableCertificateIsRefusedAtStart) {
  TempDir dir;
  auto opened = OpenStore(dir.Path("service.db"));
  Store& store = *opened;
  ServiceConfig config;
  config.certFile = dir.Path("missing.pem");
  config.keyFile = dir.Path("missing.key");
  EXPECT_THROW(Service(store, config), std::runtime_error);
}

}  // namespace
}  // namespace tidora::server::test
