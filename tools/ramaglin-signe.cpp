// The service's side of signed lists: makes an Ed25519 key pair and signs a
// list file, so that Le Ramaglin accepts the list only as the service wrote it.
//   ramaglin-signe cle CLE_PRIVEE          new key pair; prints CLE_PUBLIQUE_LISTE=...
//   ramaglin-signe publique CLE_PRIVEE     prints the public key again
//   ramaglin-signe signe CLE_PRIVEE LISTE  writes LISTE.sig
//   ramaglin-signe verifie CLE LISTE       checks LISTE.sig against the public key
#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "search/SignatureListe.h"

namespace {

using Cle = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

int Echec(const char* texte, const QString& detail = QString()) {
    std::fprintf(stderr, "ramaglin-signe : %s%s\n", texte, qPrintable(detail));
    return 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage :\n"
                 "  ramaglin-signe cle CLE_PRIVEE          crée une paire de clés Ed25519\n"
                 "  ramaglin-signe publique CLE_PRIVEE     affiche la clé publique\n"
                 "  ramaglin-signe signe CLE_PRIVEE LISTE  écrit la signature LISTE.sig\n"
                 "  ramaglin-signe verifie CLE LISTE       vérifie LISTE.sig (CLE : la clé publique)\n");
    return 2;
}

bool LitFichier(const QString& chemin, QByteArray& contenu) {
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    contenu = f.readAll();
    return f.error() == QFileDevice::NoError;
}

Cle LitClePrivee(const QString& chemin) {
    QByteArray pem;
    if (!LitFichier(chemin, pem))
        return Cle(nullptr, &EVP_PKEY_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())),
                                                  &BIO_free);
    Cle cle(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr,
            &EVP_PKEY_free);
    if (cle && EVP_PKEY_get_id(cle.get()) != EVP_PKEY_ED25519)
        cle.reset();
    return cle;
}

// "CLE_PUBLIQUE_LISTE=" and the base64 of the 32 raw bytes, as the service's
// parameter file takes it.
bool AfficheClePublique(EVP_PKEY* cle) {
    unsigned char brute[32];
    size_t taille = sizeof brute;
    if (EVP_PKEY_get_raw_public_key(cle, brute, &taille) != 1 || taille != sizeof brute)
        return false;
    const QByteArray texte =
        QByteArray(reinterpret_cast<const char*>(brute), int(taille)).toBase64();
    std::printf("CLE_PUBLIQUE_LISTE=%s\n", texte.constData());
    return std::fflush(stdout) == 0;
}

int CreeCle(const QString& chemin) {
    EVP_PKEY* brute = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), &EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &brute) != 1)
        return Echec("la clé n'a pas pu être créée.");
    Cle cle(brute, &EVP_PKEY_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), cle.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1)
        return Echec("la clé n'a pas pu être écrite.");
    char* donnees = nullptr;
    const long taille = BIO_get_mem_data(bio.get(), &donnees);
    // Readable by its owner only from the moment it exists; an existing file
    // (an older key) is never replaced.
    QFile sortie(chemin);
    if (!sortie.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return Echec(QFile::exists(chemin) ? "le fichier existe déjà, il n'est pas remplacé : "
                                           : "impossible de créer ",
                     chemin);
    if (sortie.write(donnees, taille) != taille || !sortie.flush()) {
        sortie.remove();
        return Echec("impossible d'écrire la clé privée dans ", chemin);
    }
    return AfficheClePublique(cle.get()) ? 0 : 1;
}

int Signe(const QString& cheminCle, const QString& cheminListe) {
    Cle cle = LitClePrivee(cheminCle);
    if (!cle)
        return Echec("clé privée Ed25519 illisible : ", cheminCle);
    QByteArray liste;
    if (!LitFichier(cheminListe, liste))
        return Echec("liste illisible : ", cheminListe);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned char signature[64];
    size_t taille = sizeof signature;
    static const unsigned char rien = 0;
    const auto* message =
        liste.isEmpty() ? &rien : reinterpret_cast<const unsigned char*>(liste.constData());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, cle.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature, &taille, message, size_t(liste.size())) != 1)
        return Echec("la signature n'a pas pu être calculée.");
    const QByteArray texte =
        QByteArray(reinterpret_cast<const char*>(signature), int(taille)).toBase64() + '\n';
    QSaveFile sortie(cheminListe + QStringLiteral(".sig"));
    if (!sortie.open(QIODevice::WriteOnly) || sortie.write(texte) != texte.size() ||
        !sortie.commit())
        return Echec("impossible d'écrire ", cheminListe + QStringLiteral(".sig"));
    return 0;
}

int Verifie(const QString& texteCle, const QString& cheminListe) {
    QString nue = texteCle;
    if (nue.startsWith(QStringLiteral("CLE_PUBLIQUE_LISTE=")))
        nue = nue.mid(19);
    QByteArray cle;
    if (!DecodeClePublique(nue, cle))
        return Echec("clé publique invalide (base64 de 32 octets attendu).");
    QByteArray signature;
    if (!LitFichier(cheminListe + QStringLiteral(".sig"), signature))
        return Echec("signature illisible : ", cheminListe + QStringLiteral(".sig"));
    switch (VerifieSignatureListe(cle, signature, cheminListe)) {
    case VerdictSignature::Valide: std::printf("signature valide\n"); return 0;
    case VerdictSignature::Illisible: return Echec("signature illisible : ", cheminListe + ".sig");
    case VerdictSignature::Fausse: break;
    }
    return Echec("la signature ne correspond pas à cette clé et à cette liste.");
}

} // namespace

int main(int argc, char** argv) {
    const QString commande = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto arg = [&](int i) { return QString::fromLocal8Bit(argv[i]); };
    if (commande == QLatin1String("cle") && argc == 3)
        return CreeCle(arg(2));
    if (commande == QLatin1String("publique") && argc == 3) {
        Cle cle = LitClePrivee(arg(2));
        if (!cle)
            return Echec("clé privée Ed25519 illisible : ", arg(2));
        return AfficheClePublique(cle.get()) ? 0 : 1;
    }
    if (commande == QLatin1String("signe") && argc == 4)
        return Signe(arg(2), arg(3));
    if (commande == QLatin1String("verifie") && argc == 4)
        return Verifie(arg(2), arg(3));
    return Usage();
}
