// Ed25519 through OpenSSL's EVP interface: the signature covers the whole
// message (no prehash), so the list is verified in one call over its bytes,
// mapped rather than read into memory.
#include "search/SignatureListe.h"

#include <QFile>
#include <memory>
#include <openssl/evp.h>

bool DecodeBase64Strict(QByteArrayView texte, QByteArray& octets) {
    const QByteArray nu = texte.trimmed().toByteArray();
    if (nu.isEmpty() || nu.size() % 4 != 0)
        return false;
    auto resultat = QByteArray::fromBase64Encoding(nu, QByteArray::Base64Encoding |
                                                           QByteArray::AbortOnBase64DecodingErrors);
    // Only the canonical form: what encodes back to the very same text.
    if (!resultat || resultat.decoded.toBase64() != nu)
        return false;
    octets = std::move(resultat.decoded);
    return true;
}

bool DecodeClePublique(const QString& texte, QByteArray& cle) {
    QByteArray octets;
    if (!DecodeBase64Strict(texte.toLatin1(), octets) || octets.size() != 32 ||
        texte.toLatin1() != texte.toUtf8())
        return false;
    cle = octets;
    return true;
}

bool VerifieSignatureEd25519(QByteArrayView cle, QByteArrayView signature,
                             QByteArrayView message) {
    if (cle.size() != 32 || signature.size() != 64)
        return false;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(cle.data()),
                                    size_t(cle.size())),
        &EVP_PKEY_free);
    if (!pkey)
        return false;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
        return false;
    static const unsigned char rien = 0;
    const auto* donnees = message.empty() ? &rien
                                          : reinterpret_cast<const unsigned char*>(message.data());
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            size_t(signature.size()), donnees, size_t(message.size())) == 1;
}

VerdictSignature VerifieSignatureListe(QByteArrayView cle, QByteArrayView texteSignature,
                                       const QString& cheminListe) {
    QByteArray signature;
    if (!DecodeBase64Strict(texteSignature, signature) || signature.size() != 64)
        return VerdictSignature::Illisible;
    QFile liste(cheminListe);
    if (!liste.open(QIODevice::ReadOnly))
        return VerdictSignature::Fausse;
    const qint64 taille = liste.size();
    QByteArrayView message;
    QByteArray lu;
    if (taille > 0) {
        if (const uchar* carte = liste.map(0, taille)) {
            message = QByteArrayView(reinterpret_cast<const char*>(carte), taille);
        } else {
            lu = liste.readAll();
            if (lu.size() != taille)
                return VerdictSignature::Fausse;
            message = lu;
        }
    }
    return VerifieSignatureEd25519(cle, signature, message) ? VerdictSignature::Valide
                                                            : VerdictSignature::Fausse;
}
