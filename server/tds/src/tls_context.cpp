#include "sqld/tds/tls_context.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

namespace tessel::sqld::tds {

namespace {

std::string opensslError() {
  unsigned long code = ERR_get_error();
  if (code == 0) return "unknown TLS library error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + opensslError());
}

// Chooses "tds/8.0" when a strict client offers it; a client offering other
// protocols only is refused, as it does not speak TDS inside TLS.
int selectAlpn(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
               unsigned int inLength, void*) {
  static const unsigned char kTds8[] = {7, 't', 'd', 's', '/', '8', '.', '0'};
  unsigned char* chosen = nullptr;
  if (SSL_select_next_proto(&chosen, outLength, kTds8, sizeof kTds8, in, inLength) !=
      OPENSSL_NPN_NEGOTIATED) {
    return SSL_TLSEXT_ERR_ALERT_FATAL;
  }
  *out = chosen;
  return SSL_TLSEXT_ERR_OK;
}

struct X509Deleter {
  void operator()(X509* x) const { X509_free(x); }
};
struct KeyDeleter {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};

}  // namespace

std::optional<EncryptMode> parseEncryptMode(const std::string& text) {
  if (text == "off") return EncryptMode::Off;
  if (text == "on") return EncryptMode::On;
  if (text == "required") return EncryptMode::Required;
  if (text == "strict") return EncryptMode::Strict;
  return std::nullopt;
}

const char* encryptModeName(EncryptMode mode) {
  switch (mode) {
    case EncryptMode::Off:
      return "off";
    case EncryptMode::On:
      return "on";
    case EncryptMode::Required:
      return "required";
    case EncryptMode::Strict:
      return "strict";
  }
  return "off";
}

TlsContext::TlsContext() {
  ctx_ = SSL_CTX_new(TLS_server_method());
  if (!ctx_) fail("cannot create a TLS context");
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  // No renegotiation and no session tickets: clients that carry the
  // handshake inside PRELOGIN stop wrapping once it is done, so nothing may
  // follow it unasked.
  SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
  SSL_CTX_set_num_tickets(ctx_, 0);
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_OFF);
  SSL_CTX_set_alpn_select_cb(ctx_, selectAlpn, nullptr);
}

TlsContext::~TlsContext() {
  SSL_CTX_free(ctx_);
}

void TlsContext::finish() {
  if (SSL_CTX_check_private_key(ctx_) != 1) fail("the private key does not match the certificate");
  X509* cert = SSL_CTX_get0_certificate(ctx_);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!cert || X509_digest(cert, EVP_sha256(), digest, &length) != 1) fail("no certificate");
  for (unsigned int i = 0; i < length; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i ? ":%02X" : "%02X", digest[i]);
    fingerprint_ += pair;
  }
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  pem_.assign(data, static_cast<std::size_t>(size));
  BIO_free(bio);
}

std::shared_ptr<TlsContext> TlsContext::fromFiles(const std::string& certFile,
                                                  const std::string& keyFile) {
  std::shared_ptr<TlsContext> c(new TlsContext());
  if (SSL_CTX_use_certificate_chain_file(c->ctx_, certFile.c_str()) != 1) {
    fail("cannot use the certificate '" + certFile + "'");
  }
  if (SSL_CTX_use_PrivateKey_file(c->ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    fail("cannot use the private key '" + keyFile + "'");
  }
  c->finish();
  return c;
}

std::shared_ptr<TlsContext> TlsContext::selfSigned() {
  std::shared_ptr<TlsContext> c(new TlsContext());
  std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
  if (!key) fail("cannot make a key");
  std::unique_ptr<X509, X509Deleter> cert(X509_new());
  X509_set_version(cert.get(), 2);
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("tessel-sqld self-signed"), -1,
                             -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, cert.get(), cert.get(), nullptr, nullptr, 0);
  const char* extensions[][2] = {{"subjectAltName", "DNS:localhost,IP:127.0.0.1"},
                                 {"basicConstraints", "critical,CA:TRUE"},
                                 {"keyUsage", "critical,digitalSignature,keyCertSign"},
                                 {"extendedKeyUsage", "serverAuth"}};
  for (const auto& [ext, value] : extensions) {
    X509_EXTENSION* e = X509V3_EXT_conf(nullptr, &v3, ext, value);
    if (!e) fail(std::string("cannot add ") + ext);
    X509_add_ext(cert.get(), e, -1);
    X509_EXTENSION_free(e);
  }
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) fail("cannot sign the certificate");
  if (SSL_CTX_use_certificate(c->ctx_, cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(c->ctx_, key.get()) != 1) {
    fail("cannot use the self-signed certificate");
  }
  c->finish();
  return c;
}

}  // namespace tessel::sqld::tds
