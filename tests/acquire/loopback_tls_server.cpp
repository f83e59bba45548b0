#ifndef _WIN32
#include "loopback_tls_server.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <stdexcept>

namespace altivane::test {

namespace {

constexpr int kIoTimeoutSeconds = 5;

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) throw std::runtime_error("certificate extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

// issuer none: self-signed.
X509* MakeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, bool authority,
                      long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 2 * 86400);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
  X509* signer = issuer ? issuer : cert;
  AddExtension(cert, signer, NID_subject_key_identifier, "hash");
  if (authority) {
    AddExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert, signer, NID_basic_constraints, "CA:FALSE");
    AddExtension(cert, signer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    AddExtension(cert, signer, NID_ext_key_usage, "serverAuth");
  }
  if (issuer) AddExtension(cert, signer, NID_authority_key_identifier, "keyid:always");
  X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256());
  return cert;
}

std::string Pem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(size));
  BIO_free(bio);
  return text;
}

std::string Pem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(size));
  BIO_free(bio);
  return text;
}

}  // namespace

TestTlsIdentity TestTlsIdentity::Make(bool selfSigned) {
  EVP_PKEY* caKey = EVP_EC_gen("P-256");
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!caKey || !key) throw std::runtime_error("key generation");
  X509* ca = MakeCertificate(caKey, "Altivane test authority", nullptr, nullptr, true, 1);
  X509* cert = selfSigned ? MakeCertificate(key, "localhost", nullptr, nullptr, false, 2)
                          : MakeCertificate(key, "localhost", ca, caKey, false, 2);
  TestTlsIdentity identity{Pem(ca), Pem(cert), Pem(key)};
  X509_free(cert);
  X509_free(ca);
  EVP_PKEY_free(key);
  EVP_PKEY_free(caKey);
  return identity;
}

struct LoopbackTlsServer::Context {
  SSL_CTX* ctx = nullptr;
  ~Context() {
    if (ctx) SSL_CTX_free(ctx);
  }
};

LoopbackTlsServer::LoopbackTlsServer(const TestTlsIdentity& identity, LoopbackHttpServer::Handler handler)
    : m_Context(std::make_unique<Context>()), m_Handler(std::move(handler)) {
  m_Context->ctx = SSL_CTX_new(TLS_server_method());
  BIO* certBio = BIO_new_mem_buf(identity.certPem.data(), static_cast<int>(identity.certPem.size()));
  X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
  BIO_free(certBio);
  BIO* keyBio = BIO_new_mem_buf(identity.keyPem.data(), static_cast<int>(identity.keyPem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  BIO_free(keyBio);
  const bool ok = m_Context->ctx && cert && key && SSL_CTX_use_certificate(m_Context->ctx, cert) == 1 &&
                  SSL_CTX_use_PrivateKey(m_Context->ctx, key) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!ok) throw std::runtime_error("TLS server set-up");
  m_Listen = ListenOnLoopback(m_Port);
  if (m_Listen == kNoSocket) throw std::runtime_error("cannot listen on loopback");
  m_Thread = std::thread([this] { Run(); });
}

LoopbackTlsServer::~LoopbackTlsServer() {
  m_Stopping.store(true);
  const LoopbackSocket wake = ConnectToLoopback(m_Port);
  m_Thread.join();
  if (wake != kNoSocket) CloseSocket(wake);
  CloseSocket(m_Listen);
}

std::vector<SeenRequest> LoopbackTlsServer::Requests() const {
  std::lock_guard lock(m_Mutex);
  return m_Requests;
}

void LoopbackTlsServer::Run() {
  for (;;) {
    const LoopbackSocket connection = AcceptFrom(m_Listen);
    if (m_Stopping.load()) {
      if (connection != kNoSocket) CloseSocket(connection);
      return;
    }
    if (connection == kNoSocket) continue;
    Serve(connection);
    CloseSocket(connection);
  }
}

void LoopbackTlsServer::Serve(LoopbackSocket connection) {
  // A client that gives up in the handshake (a certificate it refuses) must not hold the loop.
  timeval timeout{kIoTimeoutSeconds, 0};
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  SSL* ssl = SSL_new(m_Context->ctx);
  SSL_set_fd(ssl, connection);
  if (SSL_accept(ssl) != 1) {
    ERR_clear_error();
    SSL_free(ssl);
    return;
  }
  std::string data;
  while (data.find("\r\n\r\n") == std::string::npos) {
    char chunk[4096];
    const int got = SSL_read(ssl, chunk, sizeof chunk);
    if (got <= 0) {
      ERR_clear_error();
      SSL_free(ssl);
      return;
    }
    data.append(chunk, static_cast<std::size_t>(got));
  }
  SeenRequest request;
  std::size_t pos = data.find("\r\n");
  const std::string line = data.substr(0, pos);
  const auto space1 = line.find(' ');
  const auto space2 = line.find(' ', space1 + 1);
  request.method = line.substr(0, space1);
  request.target = line.substr(space1 + 1, space2 - space1 - 1);
  pos += 2;
  for (;;) {
    const auto end = data.find("\r\n", pos);
    if (end == pos || end == std::string::npos) break;
    const std::string header = data.substr(pos, end - pos);
    const auto colon = header.find(':');
    if (colon != std::string::npos) {
      std::string value = header.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      request.headers.emplace_back(header.substr(0, colon), value);
    }
    pos = end + 2;
  }
  {
    std::lock_guard lock(m_Mutex);
    m_Requests.push_back(request);
  }
  const std::string answer = m_Handler(request);
  std::size_t sent = 0;
  while (sent < answer.size()) {
    const int wrote = SSL_write(ssl, answer.data() + sent, static_cast<int>(answer.size() - sent));
    if (wrote <= 0) break;
    sent += static_cast<std::size_t>(wrote);
  }
  SSL_shutdown(ssl);
  ERR_clear_error();
  SSL_free(ssl);
}

}  // namespace altivane::test
#endif
