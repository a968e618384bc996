// Lists that prove where they come from: a list signed with the service's key
// (made and signed by ramaglin-signe, the service's tool) is accepted; a
// changed byte, a missing signature, another key or a malformed key each stop
// the search with their message, and nothing is kept. And what an unsigned
// list fetched in clear may not set in its parameter block.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
#include "search/MoteurRecherche.h"
#include "search/SignatureListe.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/Processus.h"
#include "support/ServeursReels.h"

namespace {

const QString Signe = QStringLiteral(RAMAGLIN_BINARY_DIR "/ramaglin-signe");

// Runs ramaglin-signe; its standard output, or a failed test.
QByteArray Outil(const QStringList& arguments, int attendu = 0) {
    const ProgrammeTermine e = Execute(QStringList{Signe} + arguments, QString(), 30000);
    EXPECT_EQ(e.code, attendu) << e.erreurs.toStdString();
    return e.sortie;
}

// The public key as the tool prints it: "CLE_PUBLIQUE_LISTE=..." and a line end.
QString ClePublique(const QByteArray& sortie) {
    return QString::fromLatin1(sortie.trimmed()).section(QLatin1Char('='), 1);
}

class ListeSignee : public SuiteNginx<ListeSignee> {
protected:
    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1,
                           nullptr, true);
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { GereEtatTransfert(inet, etat); });
        rep = tmp.filePath("rep");
        QDir().mkpath(rep);
        AffecteVariable("REP_TMP", rep + "/");
        AffecteVariable("RECUPERE_PARAMETRES_LISTE", "O");
        AffecteVariable("COMPARER_LISTE_A_IDENTIFIANT", "O");
        AffecteVariable("COL_COMPARAISON_IDENT", "2");
        AffecteVariable("IDENTIFIANT_A_COMPARER", "G");
        AffecteVariable("AFFICHE_RESULTAT", "O");
    }
    MoteurRecherche::Resultat Cherche(const QString& adresse) {
        AffecteVariable("FICHIER_LISTE_NOM", adresse);
        bool effectuee = false;
        return MoteurRecherche(inet).Lance(VariablesService(), ReglagesConnexion(), nullptr, effectuee);
    }
    QStringList Restes() const { return QDir(rep).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir tmp;
    QString rep;
    EnregistreurMessages rec;
    Inet inet;
};

TEST_F(ListeSignee, SignatureVerifieeOuRechercheRefusee) {
    const QString cle = tmp.filePath("service.cle"), autre = tmp.filePath("autre.cle");
    const QString publique = ClePublique(Outil({"cle", cle}));
    Outil({"cle", autre});
    // The tool never replaces a key, and prints the same public key again.
    Outil({"cle", cle}, 1);
    EXPECT_EQ(ClePublique(Outil({"publique", cle})), publique);
    EXPECT_EQ(QFile::permissions(cle) & 0x0077, 0) << "private key readable by others";

    const QByteArray liste = "xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nTITRE_TELECHARGEMENT=signé\n"
                             "-FIN PARAMETRES-\na\tG\nb\tX\n";
    const QString chemin = racine->filePath("liste.txt");
    ASSERT_TRUE(EcritFichier(chemin, liste));
    Outil({"signe", cle, chemin});
    Outil({"verifie", publique, chemin});
    AffecteVariable("CLE_PUBLIQUE_LISTE", publique);
    const QString adresse = nginx->Adresse("/liste.txt");
    {
        const auto r = Cherche(adresse);
        ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n');
        EXPECT_EQ(r.lignes->Nombre(), 1);
        EXPECT_EQ(r.reglages->Lit("TITRE_TELECHARGEMENT"), "signé");
        EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), "") << "the block outlived its search";
        EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n');
    }
    const QString illisible = "La liste " + adresse + " n'a pas pu être vérifiée : sa signature (" +
                              adresse + ".sig) est absente ou illisible. Aucun fichier ne sera téléchargé.";
    const QString fausse = "La liste " + adresse + " est refusée : sa signature ne correspond pas à la "
                           "clé du service (liste modifiée ou signée par une autre clé). Aucun fichier "
                           "ne sera téléchargé.";
    const QByteArray signature = LitFichier(chemin + ".sig");
    const struct {
        const char* cas;
        std::function<void()> prepare;
        QString message;
    } refus[] = {
        {"un octet changé", [&] { QByteArray l = liste; l[l.size() - 2] = 'Y'; EcritFichier(chemin, l); }, fausse},
        {"signature absente", [&] { QFile::remove(chemin + ".sig"); }, illisible},
        {"signature tronquée", [&] { EcritFichier(chemin + ".sig", signature.left(40)); }, illisible},
        {"autre clé", [&] { Outil({"signe", autre, chemin}); }, fausse},
    };
    for (const auto& c : refus) {
        SCOPED_TRACE(c.cas);
        EcritFichier(chemin, liste);
        EcritFichier(chemin + ".sig", signature);
        c.prepare();
        rec.Vide();
        EcritFichier(rep + "/Liste.tmp", "copie d'une recherche précédente");
        const auto r = Cherche(adresse);
        EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{c.message});
        EXPECT_FALSE(r.reglages) << "block of a refused list read";
        EXPECT_TRUE(Restes().isEmpty()) << Restes().join(' ');
    }

    // Fresh lists: a signed list carries its version and expiry inside the
    // signed bytes. An older one than the last accepted, or one past its
    // date, is refused, and so is a version that is not a number.
    QTemporaryDir etat;
    qputenv("XDG_STATE_HOME", etat.path().toUtf8());
    const auto signe = [&](const QStringList& options) {
        EcritFichier(chemin, liste);
        Outil(QStringList{"signe", cle, chemin} + options);
    };
    const QString refusee = "La liste " + adresse + " est refusée : ";
    const struct {
        QStringList options;
        QString message; // empty: accepted
    } versions[] = {
        {{"--version", "5"}, ""},
        {{"--version", "5"}, ""}, // the same list fetched again
        {{"--version", "4"}, refusee + "liste plus ancienne que la dernière acceptée. Aucun fichier ne sera téléchargé."},
        {{}, refusee + "liste plus ancienne que la dernière acceptée. Aucun fichier ne sera téléchargé."},
        {{"--version", "6", "--expire", "2001-01-01"},
         refusee + "liste expirée depuis le 01/01/2001. Aucun fichier ne sera téléchargé."},
        {{"--version", "7", "--expire", "2999-12-31"}, ""},
        {{"--version", "6"}, refusee + "liste plus ancienne que la dernière acceptée. Aucun fichier ne sera téléchargé."},
    };
    for (const auto& v : versions) {
        SCOPED_TRACE(v.options.join(' ').toStdString());
        signe(v.options);
        rec.Vide();
        const auto r = Cherche(adresse);
        EXPECT_EQ(r.issue, v.message.isEmpty() ? MoteurRecherche::Issue::Trouve : MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), v.message.isEmpty() ? QStringList{} : QStringList{v.message});
    }
    qunsetenv("XDG_STATE_HOME");
    EcritFichier(chemin, liste);
    EcritFichier(chemin + ".sig", signature);
    // A key that is not 32 bytes of standard base64: nothing is even asked.
    for (const QString& mauvaise : {publique.left(40), publique.chopped(1), "-" + publique.mid(1),
                                    QString("AAAA")}) {
        rec.Vide();
        AffecteVariable("CLE_PUBLIQUE_LISTE", mauvaise);
        const qsizetype avant = nginx->Journal().size();
        EXPECT_EQ(Cherche(adresse).issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{"La clé publique de la liste (CLE_PUBLIQUE_LISTE) n'est pas une "
                                            "clé Ed25519 valide : la recherche est abandonnée."});
        EXPECT_EQ(nginx->Journal().size(), avant);
    }
}

// The block of a list fetched in clear and unsigned may not choose where files
// go, nor have one started: those lines are ignored and the user told once.
// Over HTTPS (or signed, above) the same block is taken whole.
TEST_F(ListeSignee, CeQuUneListeEnClairNePeutPasChanger) {
    const QByteArray liste = "xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nTITRE_TELECHARGEMENT=clair\n"
                             "CHEMIN_DESTINATION_FICHIER_SOURCE=/tmp/ailleurs/\n"
                             "LANCER_APRES_TELECHARGEMENT=O\nLANCER_APRES_TELECHARGEMENT=O\n"
                             "-FIN PARAMETRES-\na\tG\n";
    QTemporaryDir certificats;
    const QString erreur = CreeCertificat(certificats.path());
    if (!erreur.isEmpty())
        GTEST_SKIP() << erreur.toStdString();
    Nginx tls(racine->path(), QString(), certificats.filePath("serveur.pem"),
              certificats.filePath("serveur.key"));
    ASSERT_TRUE(tls.Demarre()) << tls.Erreur().toStdString();
    inet.CertificatsAutorite = certificats.filePath("serveur.pem");

    // In clear, the block also points the service at an HTTPS server, whose
    // list would then be taken whole: ignored, and the next search of the
    // session starts again from the parameter file's settings.
    QByteArray piege = liste;
    piege.replace("-FIN PARAMETRES-", "FICHIER_LISTE_NOM=" + tls.Adresse("/clair.txt").toUtf8() +
                                          "\n-FIN PARAMETRES-");
    ASSERT_TRUE(EcritFichier(racine->filePath("clair.txt"), piege));
    AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", "dest/");
    AffecteVariable("LANCER_APRES_TELECHARGEMENT", "N");
    const QString enClair = nginx->Adresse("/clair.txt");
    for (int recherche = 1; recherche <= 2; ++recherche) {
        SCOPED_TRACE(recherche);
        rec.Vide();
        const qsizetype avant = tls.Journal().size();
        const auto r = Cherche(enClair);
        ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve);
        EXPECT_EQ(rec.Textes(), QStringList{"La liste a été obtenue sans chiffrement et n'est pas signée : son "
                                            "bloc de paramètres ne peut pas changer CHEMIN_DESTINATION_FICHIER_SOURCE, "
                                            "LANCER_APRES_TELECHARGEMENT, FICHIER_LISTE_NOM. Ces lignes ont été ignorées."});
        EXPECT_EQ(r.reglages->Lit("TITRE_TELECHARGEMENT"), "clair");
        EXPECT_EQ(r.reglages->Lit("CHEMIN_DESTINATION_FICHIER_SOURCE"), "dest/");
        EXPECT_EQ(r.reglages->Lit("LANCER_APRES_TELECHARGEMENT"), "N");
        EXPECT_EQ(LitVariable("FICHIER_LISTE_NOM"), enClair);
        EXPECT_EQ(tls.Journal().size(), avant) << "the block's server was asked";
    }

    // Over HTTPS from the parameter file's own address, the same block is
    // taken whole, for that search only.
    rec.Vide();
    const auto r = Cherche(tls.Adresse("/clair.txt"));
    ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n');
    EXPECT_EQ(r.reglages->Lit("CHEMIN_DESTINATION_FICHIER_SOURCE"), "/tmp/ailleurs/");
    EXPECT_EQ(r.reglages->Lit("LANCER_APRES_TELECHARGEMENT"), "O");
    EXPECT_EQ(LitVariable("CHEMIN_DESTINATION_FICHIER_SOURCE"), "dest/");
    EXPECT_EQ(LitVariable("LANCER_APRES_TELECHARGEMENT"), "N");
}

// The check the search makes, its hash computed on the way, judges as
// OpenSSL's whole check does: real signatures of random messages accepted,
// any flipped bit of the signature or the message refused, and an S pushed
// above the group's order (a second form of the same signature) refused; a
// key of small order, with which a "signature" holds for any message, refused.
TEST(SignatureEd25519, ConclusionCommeLaVerificationEntiere) {
    const auto sha512 = [](const QByteArray& octets) {
        unsigned char h[64];
        unsigned int n = 0;
        EVP_Digest(octets.constData(), size_t(octets.size()), h, &n, EVP_sha512(), nullptr);
        return QByteArray(reinterpret_cast<const char*>(h), 64);
    };
    const auto conclut = [&](const QByteArray& cle, const QByteArray& sig, const QByteArray& message) {
        return ConclutEd25519(cle, sig, sha512(PrefixeEd25519(cle, sig) + message));
    };
    for (int i = 0; i < 64; ++i) {
        EVP_PKEY* paire = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
        ASSERT_TRUE(paire);
        QByteArray cle(32, 0), sig(64, 0), message(i * 7, 0);
        size_t n = 32, m = 64;
        RAND_bytes(reinterpret_cast<unsigned char*>(message.data()), int(message.size()));
        EVP_PKEY_get_raw_public_key(paire, reinterpret_cast<unsigned char*>(cle.data()), &n);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, paire);
        EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(sig.data()), &m,
                       reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()));
        EVP_MD_CTX_free(ctx);
        EVP_PKEY_free(paire);
        ASSERT_TRUE(conclut(cle, sig, message));
        QByteArray faux = sig;
        faux[i % 64] = char(faux[i % 64] ^ (1 << (i % 8)));
        EXPECT_FALSE(conclut(cle, faux, message)) << "bit " << i;
        EXPECT_FALSE(VerifieSignatureEd25519(cle, faux, message));
        if (!message.isEmpty()) {
            QByteArray autre = message;
            autre[i % autre.size()] = char(autre[i % autre.size()] ^ 1);
            EXPECT_FALSE(conclut(cle, sig, autre));
        }
        // S + L, where L is the order of the group (S < L, so no overflow past 2^256).
        static const unsigned char L[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                            0xa2, 0xde, 0xf9, 0xde, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0x10};
        QByteArray plusL = sig;
        for (int k = 0, retenue = 0; k < 32; ++k) {
            const int somme = (unsigned char)plusL[32 + k] + L[k] + retenue;
            plusL[32 + k] = char(somme & 0xff);
            retenue = somme >> 8;
        }
        EXPECT_FALSE(conclut(cle, plusL, message));
        EXPECT_FALSE(VerifieSignatureEd25519(cle, plusL, message));
    }
    QByteArray neutre(32, 0), sigNeutre(64, 0);
    neutre[0] = sigNeutre[0] = 1; // the neutral point as key and as R, S = 0
    EXPECT_FALSE(conclut(neutre, sigNeutre, "n'importe quoi"));
}

} // namespace
