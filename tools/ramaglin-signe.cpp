// The service's side of signed lists: makes an Ed25519 key pair and signs a
// list file, so that Le Ramaglin accepts the list only as the service wrote it.
//   ramaglin-signe cle CLE_PRIVEE          new key pair; prints CLE_PUBLIQUE_LISTE=...
//   ramaglin-signe publique CLE_PRIVEE     prints the public key again
//   ramaglin-signe signe CLE_PRIVEE LISTE [--version N] [--expire AAAA-MM-JJ]
//                                          writes LISTE.sig; with the options,
//                                          first sets VERSION_LISTE and
//                                          EXPIRE_LISTE in the list's block
//   ramaglin-signe verifie CLE LISTE       checks LISTE.sig against the public key
#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "search/FraicheurListe.h"
#include "search/SignatureListe.h"
#include "search/TraitementListe.h"

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
                 "  ramaglin-signe signe CLE_PRIVEE LISTE [--version N] [--expire AAAA-MM-JJ]\n"
                 "                                         écrit la signature LISTE.sig\n"
                 "  ramaglin-signe verifie CLE LISTE       vérifie LISTE.sig (CLE : la clé publique)\n"
                 "\n"
                 "--version et --expire placent d'abord dans le bloc de paramètres de la liste\n"
                 "VERSION_LISTE=N (de 1 à 18 chiffres, à augmenter à chaque nouvelle liste) et\n"
                 "EXPIRE_LISTE=AAAA-MM-JJ (le dernier jour où elle est acceptée) : Le Ramaglin\n"
                 "refuse ensuite une liste plus ancienne que la dernière acceptée, ou expirée.\n");
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

// The line of `texte` from `debut`, without its end, which goes to `fin`
// (CR LF, a lone LF or a lone CR, as the search reads them; empty on a last
// line without one); `debut` moves past it.
QByteArrayView Ligne(QByteArrayView texte, qsizetype& debut, QByteArray& fin) {
    qsizetype bout = debut;
    while (bout < texte.size() && texte[bout] != '\r' && texte[bout] != '\n')
        ++bout;
    const QByteArrayView ligne = texte.sliced(debut, bout - debut);
    qsizetype apres = bout;
    if (apres < texte.size())
        apres +=
            (texte[apres] == '\r' && apres + 1 < texte.size() && texte[apres + 1] == '\n') ? 2 : 1;
    fin = texte.sliced(bout, apres - bout).toByteArray();
    debut = apres;
    return ligne;
}

// Sets the lines NAME=VALUE of `valeurs` in the list's parameter block, in
// place of any line that already sets one of those names, or in a new block
// right after the marker line when the list has none. New lines end as the
// marker line does, so the list keeps its line ends. False when the list does
// not begin with the marker line: the search would not read its block.
bool PlaceDansLeBloc(QByteArray& liste, const QList<std::pair<QByteArray, QByteArray>>& valeurs) {
    qsizetype position = liste.startsWith("\xEF\xBB\xBF") ? 3 : 0; // a BOM stays
    QByteArray fin, finLigne;
    if (Ligne(liste, position, fin) != MarqueurListe.toLatin1())
        return false;
    QByteArray resultat = liste.left(position);
    if (fin.isEmpty()) // the marker alone, without a line end
        resultat += fin = QByteArrayLiteral("\r\n");
    QByteArray lignes;
    for (const auto& [nom, valeur] : valeurs)
        lignes += nom + '=' + valeur + fin;

    qsizetype suite = position;
    if (Ligne(liste, suite, finLigne) != DebutParametres.toLatin1()) {
        liste = resultat + DebutParametres.toLatin1() + fin + lignes + FinParametres.toLatin1() +
                fin + liste.mid(position);
        return true;
    }
    // The block's lines up to its closing one (or the end, where a block
    // without one stops), but those the new lines replace.
    for (bool ouverture = true; position < liste.size(); ouverture = false) {
        const qsizetype debut = position;
        const QByteArrayView ligne = Ligne(liste, position, finLigne);
        if (!ouverture && ligne == FinParametres.toLatin1()) {
            position = debut;
            break;
        }
        const bool remplacee = std::any_of(valeurs.begin(), valeurs.end(), [&](const auto& v) {
            return ligne.startsWith(v.first + '=');
        });
        if (!ouverture && remplacee)
            continue;
        resultat += liste.sliced(debut, position - debut);
        if (finLigne.isEmpty())
            resultat += fin;
    }
    liste = resultat + lignes + liste.mid(position);
    return true;
}

int Signe(const QString& cheminCle, const QString& cheminListe,
          const QList<std::pair<QByteArray, QByteArray>>& valeurs) {
    Cle cle = LitClePrivee(cheminCle);
    if (!cle)
        return Echec("clé privée Ed25519 illisible : ", cheminCle);
    QByteArray liste;
    if (!LitFichier(cheminListe, liste))
        return Echec("liste illisible : ", cheminListe);
    if (!valeurs.isEmpty()) {
        if (!PlaceDansLeBloc(liste, valeurs))
            return Echec("la liste ne commence pas par la ligne « xxx Le Ramaglin V1 xxx », "
                         "son bloc de paramètres ne peut pas recevoir la version : ",
                         cheminListe);
        // In one step: the list on the service's side is never half written.
        QSaveFile reecrite(cheminListe);
        if (!reecrite.open(QIODevice::WriteOnly) || reecrite.write(liste) != liste.size() ||
            !reecrite.commit())
            return Echec("impossible de réécrire la liste ", cheminListe);
    }
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
    if (commande == QLatin1String("signe") && argc >= 4 && argc % 2 == 0) {
        QList<std::pair<QByteArray, QByteArray>> valeurs;
        for (int i = 4; i < argc; i += 2) {
            const QString option = arg(i), valeur = arg(i + 1);
            quint64 version;
            QDate date;
            QByteArray nom;
            if (option == QLatin1String("--version")) {
                if (!LitVersionListe(valeur, version))
                    return Echec("version invalide (de 1 à 18 chiffres attendus) : ", valeur);
                nom = "VERSION_LISTE";
            } else if (option == QLatin1String("--expire")) {
                if (!LitExpirationListe(valeur, date))
                    return Echec("date d'expiration invalide (AAAA-MM-JJ, un jour du calendrier "
                                 "attendu) : ",
                                 valeur);
                nom = "EXPIRE_LISTE";
            } else {
                return Usage();
            }
            if (std::any_of(valeurs.begin(), valeurs.end(),
                            [&](const auto& v) { return v.first == nom; }))
                return Usage();
            valeurs.append({nom, valeur.toLatin1()});
        }
        return Signe(arg(2), arg(3), valeurs);
    }
    if (commande == QLatin1String("verifie") && argc == 4)
        return Verifie(arg(2), arg(3));
    return Usage();
}
