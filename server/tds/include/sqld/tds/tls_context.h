#pragma once

// The server's TLS identity and settings, shared by every session: a
// certificate and key read from PEM files, or a self-signed certificate made
// at start for the names localhost and 127.0.0.1. Built once on the main
// thread; read-only afterwards, so sessions may use it from any thread.

#include <memory>
#include <optional>
#include <string>

struct ssl_ctx_st;

namespace tessel::sqld::tds {

// How the server answers a client's encryption request in PRELOGIN.
//  Off:      encryption on request; a client that can encrypt still has its
//            login encrypted (its password never crosses in clear).
//  On:       everything encrypted for a client that can encrypt.
//  Required: as On, and a client that cannot encrypt is refused.
//  Strict:   TDS 8.0 only: TLS before any TDS; every other client is refused.
enum class EncryptMode { Off, On, Required, Strict };

std::optional<EncryptMode> parseEncryptMode(const std::string& text);
const char* encryptModeName(EncryptMode mode);

class TlsContext {
 public:
  // Reads a PEM certificate (chain) and its private key; throws
  // std::runtime_error naming the file and the reason.
  static std::shared_ptr<TlsContext> fromFiles(const std::string& certFile,
                                               const std::string& keyFile);
  // A fresh key and a self-signed certificate, valid for a year.
  static std::shared_ptr<TlsContext> selfSigned();
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  ssl_ctx_st* native() const { return ctx_; }
  // The certificate's SHA-256 fingerprint, as colon-separated hex pairs.
  const std::string& fingerprint() const { return fingerprint_; }
  // The certificate in PEM, for clients that are to trust it.
  const std::string& certificatePem() const { return pem_; }

 private:
  TlsContext();
  void finish();

  ssl_ctx_st* ctx_ = nullptr;
  std::string fingerprint_;
  std::string pem_;
};

}  // namespace tessel::sqld::tds
