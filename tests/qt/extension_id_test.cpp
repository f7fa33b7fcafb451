// The built-in extension identifier is the one the manifest's public key gives:
// the first 16 bytes of the key's SHA-256, each hex digit 0–f written a–p.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "navegador/host.hpp"

namespace sonvia {
namespace {

TEST(ExtensionIdentificador, SaleDeLaClaveDelManifiesto) {
  QFile archivo(QStringLiteral(SONVIA_DIR_EXTENSION "/manifest.json"));
  ASSERT_TRUE(archivo.open(QIODevice::ReadOnly));
  const auto manifiesto = QJsonDocument::fromJson(archivo.readAll()).object();
  const auto clave = QByteArray::fromBase64(manifiesto.value("key").toString().toLatin1(),
                                            QByteArray::AbortOnBase64DecodingErrors);
  ASSERT_GT(clave.size(), 256);  // a DER SubjectPublicKeyInfo of an RSA key, not a stub
  const auto hex = QCryptographicHash::hash(clave, QCryptographicHash::Sha256).toHex().left(32);
  std::string identificador;
  for (const char c : hex) {
    identificador += static_cast<char>('a' + (c <= '9' ? c - '0' : c - 'a' + 10));
  }
  EXPECT_EQ(identificador, Host::kIdExtension);
}

}  // namespace
}  // namespace sonvia
