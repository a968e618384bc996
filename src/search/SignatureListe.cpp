// Ed25519 through OpenSSL's EVP interface: the signature covers the whole
// message (no prehash), so a list on disk is verified in one call over its
// bytes, mapped rather than read into memory. The search instead hashes the
// list as it arrives and ends the check with libsodium's curve arithmetic.
#include "search/SignatureListe.h"

#include <QFile>
#include <cstring>
#include <memory>
#include <openssl/evp.h>
#include <sodium.h>

namespace {

const unsigned char* Octets(QByteArrayView v) { return reinterpret_cast<const unsigned char*>(v.data()); }

// True when the 32 little-endian bytes are below the order of the group,
// L = 2^252 + 27742317777372353535851937790883648493: an S at or above it
// would make a second valid signature out of every signature.
bool SousOrdre(const unsigned char* s) {
    static constexpr unsigned char L[32] = {
        0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};
    for (int i = 31; i >= 0; --i)
        if (s[i] != L[i])
            return s[i] < L[i];
    return false;
}

} // namespace

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

QByteArray PrefixeEd25519(QByteArrayView cle, QByteArrayView signature) {
    if (cle.size() != 32 || signature.size() != 64)
        return {};
    return signature.first(32).toByteArray() + cle.toByteArray();
}

bool ConclutEd25519(QByteArrayView cle, QByteArrayView signature, QByteArrayView hachage) {
    if (cle.size() != 32 || signature.size() != 64 || hachage.size() != 64 || sodium_init() < 0)
        return false;
    const unsigned char* R = Octets(signature);
    const unsigned char* S = R + 32;
    if (!SousOrdre(S))
        return false;
    unsigned char k[32], sB[32], kA[32], calcule[32];
    crypto_core_ed25519_scalar_reduce(k, Octets(hachage));
    // R' = [S]B - [k]A must be R, byte for byte. The scalar products refuse a
    // zero scalar, a point off the curve or of small order: none is part of
    // a signature made by a real key.
    return crypto_scalarmult_ed25519_base_noclamp(sB, S) == 0 &&
           crypto_scalarmult_ed25519_noclamp(kA, k, Octets(cle)) == 0 &&
           crypto_core_ed25519_sub(calcule, sB, kA) == 0 && std::memcmp(calcule, R, 32) == 0;
}

bool DecodeSignature(QByteArrayView texte, QByteArray& signature) {
    return DecodeBase64Strict(texte, signature) && signature.size() == 64;
}

VerdictSignature VerifieSignatureListe(QByteArrayView cle, QByteArrayView texteSignature,
                                       const QString& cheminListe) {
    QByteArray signature;
    if (!DecodeSignature(texteSignature, signature))
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
