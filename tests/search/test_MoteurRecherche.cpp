// The search without windows: signed and fresh lists, what an unsigned list in
// clear may not set, and hostile servers and folders, each leaving nothing behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/FraicheurListe.h"
#include "search/LignesListe.h"
#include "search/MoteurRecherche.h"
#include "search/SignatureListe.h"
#include "support/DossierMonte.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/Processus.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"
#include "util/Arret.h"

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

const QString Plus = QStringLiteral("liste plus ancienne que la dernière acceptée");
const QString Version = QStringLiteral("version de liste illisible (VERSION_LISTE)");
const QString Date = QStringLiteral("date d'expiration de liste illisible (EXPIRE_LISTE)");

// The options list, the service's temporary and state folders, nginx and ServeurTest.
class MoteurRechercheTest : public SuiteNginx<MoteurRechercheTest> {
protected:
    void SetUp() override {
        etatAvant = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(tmp.filePath("etat")));
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1, nullptr, true);
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { GereEtatTransfert(inet, etat); });
        QDir().mkpath(rep);
        AffecteVariable("REP_TMP", rep + "/");
        AffecteVariable("COMPARER_LISTE_A_IDENTIFIANT", "O");
        AffecteVariable("COL_COMPARAISON_IDENT", "2");
        AffecteVariable("IDENTIFIANT_A_COMPARER", "G");
        AffecteVariable("AFFICHE_RESULTAT", "O");
    }
    void TearDown() override {
        etatAvant.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", etatAvant);
    }
    MoteurRecherche::Resultat Cherche(const QString& adresse) {
        AffecteVariable("FICHIER_LISTE_NOM", adresse);
        return moteur.Lance(VariablesService(), ReglagesConnexion(), nullptr, effectuee);
    }
    QStringList Restes() const { return QDir(rep).entryList(QDir::Files | QDir::Hidden); }
    // The file a service's version is kept in, found rather than named: only one was written.
    QString FichierDe(const QString& service) {
        EXPECT_TRUE(RetientVersionListe(service, {"1", ""}));
        const QStringList noms = QDir(dossierEtat).entryList(QDir::Files);
        EXPECT_EQ(noms.size(), 1) << noms.join(' ');
        return noms.isEmpty() ? QString() : dossierEtat + '/' + noms[0];
    }
    qsizetype Entrees() const {
        return QDir(dossierEtat).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size();
    }

    QTemporaryDir tmp;
    const QString rep = tmp.filePath("rep"), dossierEtat = tmp.filePath("etat/ramaglin");
    QByteArray etatAvant;
    EnregistreurMessages rec;
    Inet inet;
    MoteurRecherche moteur{inet};
    ServeurTest serveur;
    bool effectuee = false;
};

// A list without end stops at the free-space floor, said and leaving nothing; a stop, silently.
TEST_F(MoteurRechercheTest, ListeSansFinEtArret) {
    const QByteArray lignes = QByteArray("f\tG\r\n").repeated(1000);
    serveur.Repond("GET", "/liste", ReponseTest{.corps = lignes, .fin = ReponseTest::Fin::Fermeture, .sansFin = true});
    {
        // The floor is 100 MiB: a folder of 110 MiB fills to 10 MiB at most.
        DossierMonte petit(rep, DossierMonte::Tmpfs, 110 << 20);
        if (!petit.Erreur().isEmpty())
            GTEST_SKIP() << petit.Erreur().toStdString();
        const auto r = Cherche(serveur.Adresse("/liste"));
        EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{"Echec lors de la recherche : il resterait moins de 100 Mo d'espace "
                                            "libre dans le dossier."});
        EXPECT_TRUE(Restes().isEmpty()) << Restes().join(' ').toStdString();
        EXPECT_FALSE(effectuee);
    }
    rec.Vide();
    QTimer::singleShot(300, [this] { moteur.Interruption().Demande(); });
    const auto r = Cherche(serveur.Adresse("/liste"));
    EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n').toStdString();
    EXPECT_TRUE(Restes().isEmpty()) << Restes().join(' ').toStdString();
}

// A planted link, stale work files, a copy swapped mid-transfer, a read-only folder.
TEST_F(MoteurRechercheTest, DossierTemporaireHostile) {
    serveur.Repond("GET", "/liste",
                   {.corps = "a\tG\nb\tG\nc\tX\n", .goutteOctets = 3, .goutteDelaiMs = 60});
    const QString victime = tmp.filePath("victime.txt");
    EcritFichier(victime, "à garder");
    QFile::link(victime, rep + "/Liste.tmp");
    EcritFichier(rep + "/Liste.tmp.k3j9.recu", "reste");
    EcritFichier(rep + "/Liste.tmp.travail.x8", "reste");
    QTimer::singleShot(150, [&] {
        QFile::remove(rep + "/Liste.tmp");
        EcritFichier(rep + "/Liste.tmp", "z\tG\r\n");
    });
    const auto r = Cherche(serveur.Adresse("/liste"));
    ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(r.lignes->Texte(), "a\tG\r\nb\tG\r\n");
    EXPECT_EQ(LitFichier(rep + "/Liste.tmp"), "a\tG\r\nb\tG\r\n");
    EXPECT_EQ(LitFichier(victime), "à garder");
    EXPECT_EQ(Restes(), QStringList{"Liste.tmp"});

    // A link planted again, then a folder that takes no file.
    QFile::remove(rep + "/Liste.tmp");
    QFile::link(victime, rep + "/Liste.tmp");
    serveur.Repond("GET", "/liste", ReponseTest::Ok("a\tG\n"));
    DossierMonte lecture(rep, DossierMonte::LectureSeule);
    if (!lecture.Erreur().isEmpty())
        GTEST_SKIP() << lecture.Erreur().toStdString();
    rec.Vide();
    EXPECT_EQ(Cherche(serveur.Adresse("/liste")).issue, MoteurRecherche::Issue::Echec);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_TRUE(rec.messages[0].texte.startsWith("Echec lors de la recherche")) << rec.messages[0].texte.toStdString();
    EXPECT_EQ(LitFichier(victime), "à garder");
}

// A failure's reason beside its box (no retry for a 404); a server's wait is waited for.
TEST_F(MoteurRechercheTest, RaisonsEtEssais) {
    qputenv("RAMAGLIN_ECHELLE_ATTENTES", "0.01");
    serveur.Repond("GET", "/absente", ReponseTest::Statut(404));
    auto r = Cherche(serveur.Adresse("/absente"));
    EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
    EXPECT_EQ(rec.Textes(), QStringList{"Echec lors de la recherche !"});
    EXPECT_EQ(r.raison, "erreur HTTP 404 : fichier introuvable");
    EXPECT_EQ(serveur.Requetes("GET", "/absente").size(), 1) << "a 404 tried again";

    serveur.RepondSuite("*", "/occupe",
                        {{.statut = 503, .entetes = "Retry-After: 1\r\n"}, ReponseTest::Statut(502),
                         ReponseTest::Ok("a\tG\n")});
    rec.Vide();
    r = Cherche(serveur.Adresse("/occupe"));
    EXPECT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n').toStdString();
    qunsetenv("RAMAGLIN_ECHELLE_ATTENTES");
}

// A lock taken again once the first holder gives it back (held: test_SansFenetre);
// a lock file that is not one is named.
TEST_F(MoteurRechercheTest, UneRechercheALaFois) {
    VerrouListe premier, second;
    ASSERT_EQ(premier.Prend(rep + "/"), VerrouListe::Etat::Pris);
    premier.Rend();
    EXPECT_EQ(second.Prend(rep + "/"), VerrouListe::Etat::Pris);
    second.Rend();
    QFile::remove(rep + "/Liste.verrou");
    QDir().mkpath(rep + "/Liste.verrou");
    EXPECT_EQ(second.Prend(rep + "/"), VerrouListe::Etat::Illisible);
    EXPECT_EQ(rec.Textes(), QStringList{"Le verrou de la liste " + rep + "/Liste.verrou n'est pas un fichier : la "
                                        "recherche est abandonnée."});
}

TEST_F(MoteurRechercheTest, SignatureVerifieeOuRechercheRefusee) {
    AffecteVariable("RECUPERE_PARAMETRES_LISTE", "O");
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
    const auto trouve = Cherche(adresse);
    ASSERT_EQ(trouve.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n');
    EXPECT_EQ(trouve.lignes->Nombre(), 1);
    EXPECT_EQ(trouve.reglages->Lit("TITRE_TELECHARGEMENT"), "signé");
    EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), "") << "the block outlived its search";
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n');
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

    // The signed version goes through the freshness rules: 5 accepted, then 4 refused.
    for (const char* version : {"5", "4"}) {
        EcritFichier(chemin, liste);
        Outil({"signe", cle, chemin, "--version", version});
        rec.Vide();
        const bool accepte = *version == '5';
        EXPECT_EQ(Cherche(adresse).issue, accepte ? MoteurRecherche::Issue::Trouve : MoteurRecherche::Issue::Echec);
    }
    EXPECT_EQ(rec.Textes(), QStringList{"La liste " + adresse + " est refusée : " + Plus +
                                        ". Aucun fichier ne sera téléchargé."});
    EcritFichier(chemin, liste);
    EcritFichier(chemin + ".sig", signature);
    // A key that is not 32 bytes of standard base64: nothing is even asked.
    for (const QString& mauvaise : {publique.chopped(1), "-" + publique.mid(1), QString("AAAA")}) {
        rec.Vide();
        AffecteVariable("CLE_PUBLIQUE_LISTE", mauvaise);
        const qsizetype avant = nginx->Journal().size();
        EXPECT_EQ(Cherche(adresse).issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{"La clé publique de la liste (CLE_PUBLIQUE_LISTE) n'est pas une "
                                            "clé Ed25519 valide : la recherche est abandonnée."});
        EXPECT_EQ(nginx->Journal().size(), avant);
    }
}

// An unsigned list in clear may not choose where files go nor start one; over HTTPS it may.
TEST_F(MoteurRechercheTest, CeQuUneListeEnClairNePeutPasChanger) {
    AffecteVariable("RECUPERE_PARAMETRES_LISTE", "O");
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

    // The block also points at the HTTPS list: ignored, and the next search starts afresh.
    QByteArray piege = liste;
    piege.replace("-FIN PARAMETRES-", "FICHIER_LISTE_NOM=" + tls.Adresse("/clair.txt").toUtf8() +
                                          "\n-FIN PARAMETRES-");
    ASSERT_TRUE(EcritFichier(racine->filePath("clair.txt"), piege));
    AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", "dest/");
    AffecteVariable("LANCER_APRES_TELECHARGEMENT", "N");
    const QString enClair = nginx->Adresse("/clair.txt");
    // (Which lines are ignored, and the message: test_TraitementListe.)
    for (int recherche = 1; recherche <= 2; ++recherche) {
        SCOPED_TRACE(recherche);
        rec.Vide();
        const auto r = Cherche(enClair);
        ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve);
        EXPECT_EQ(rec.Textes().size(), 1);
        EXPECT_EQ(r.reglages->Lit("TITRE_TELECHARGEMENT") + r.reglages->Lit("CHEMIN_DESTINATION_FICHIER_SOURCE"),
                  "clairdest/");
        EXPECT_EQ(LitVariable("FICHIER_LISTE_NOM"), enClair);
        EXPECT_TRUE(tls.Journal().isEmpty()) << "the block's server was asked";
    }

    // Over HTTPS, from the parameter file's own address: taken whole, for that search only.
    rec.Vide();
    const auto r = Cherche(tls.Adresse("/clair.txt"));
    ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n');
    EXPECT_EQ(r.reglages->Lit("CHEMIN_DESTINATION_FICHIER_SOURCE") + r.reglages->Lit("LANCER_APRES_TELECHARGEMENT"),
              "/tmp/ailleurs/O");
    EXPECT_EQ(LitVariable("CHEMIN_DESTINATION_FICHIER_SOURCE") + LitVariable("LANCER_APRES_TELECHARGEMENT"), "dest/N");
}

// Ed25519 as OpenSSL judges it: flipped bits, S + L and a small-order key refused.
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

// The freshness rules, one step after another.
TEST_F(MoteurRechercheTest, VersionsEtDates) {
    const QDate jour(2026, 1, 31);
    const struct {
        const char* cas;
        QString service, version, expire;
        QDate aujourdhui;
        QString raison;
        bool retient;
    } etapes[] = {
        {"première version", "A", "5", "", jour, "", true},
        {"la même, reprise", "A", "5", "2026-01-31", jour, "", true},
        {"dernier jour valide", "A", "7", "2026-01-31", jour, "", true},
        {"plus ancienne", "A", "6", "", jour, Plus, true}, // kept all the same: never lowers
        {"toujours refusée", "A", "6", "", jour, Plus, false},
        {"sans version après une version", "A", "", "", jour, Plus, false},
        {"expirée", "A", "8", "2026-01-30", jour, "liste expirée depuis le 30/01/2026", false},
        {"autre service, sans version", "B", "", "", jour, "", true},
        {"18 chiffres", "B", "999999999999999999", "", jour, "", false},
        {"lettre", "A", "12a", "", jour, Version, false},
        {"signe", "A", "-1", "", jour, Version, false},
        {"espaces", "A", " 9", "", jour, Version, false},
        {"chiffres d'une autre écriture", "A", "\u0669", "", jour, Version, false},
        {"19 chiffres", "A", "1000000000000000000", "", jour, Version, false},
        {"30 février", "A", "9", "2026-02-30", jour, Date, false},
        {"année à deux chiffres", "A", "9", "26-01-01", jour, Date, false},
    };
    for (const auto& e : etapes) {
        SCOPED_TRACE(e.cas);
        const FraicheurListe f{e.version, e.expire};
        EXPECT_EQ(ControleFraicheur(e.service, f, e.aujourdhui), e.raison);
        EXPECT_TRUE(!e.retient || RetientVersionListe(e.service, f));
    }
    EXPECT_EQ(ControleFraicheur("A", {"7", ""}, jour), "");
    EXPECT_EQ(QFile::permissions(dossierEtat) & 0x0077, 0) << "folder open to others";
    EXPECT_EQ(Entrees(), 1); // A's file only: nothing for unversioned lists, no work file left
}

// A file planted under the service's name is neither followed nor written through.
TEST_F(MoteurRechercheTest, FichierPlanteNonSuivi) {
    const QString ailleurs = tmp.filePath("ailleurs");
    const QByteArray haute = "Le Ramaglin version de liste 1\n99\n";
    const struct {
        const char* cas;
        std::function<bool(const QString&)> plante;
        bool ecrit;
    } cas[] = {
        {"lien", [&](const QString& f) { return EcritFichier(ailleurs, haute) && QFile::link(ailleurs, f); }, true},
        {"contenu illisible", [](const QString& f) { return EcritFichier(f, "Le Ramaglin\n99 99\n"); }, true},
        {"tube", [](const QString& f) { return ::mkfifo(QFile::encodeName(f).constData(), 0600) == 0; }, true},
        {"dossier", [](const QString& f) { return QDir().mkdir(f); }, false},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.cas);
        QDir(dossierEtat).removeRecursively();
        const QString fichier = FichierDe(c.cas);
        ASSERT_TRUE(QFile::remove(fichier) && c.plante(fichier));
        EXPECT_EQ(ControleFraicheur(c.cas, {"", ""}), "");
        EXPECT_EQ(RetientVersionListe(c.cas, {"50", ""}), c.ecrit);
        EXPECT_EQ(LitFichier(ailleurs), haute) << "written through the link";
        if (c.ecrit) {
            EXPECT_FALSE(QFileInfo(fichier).isSymLink());
            EXPECT_EQ(ControleFraicheur(c.cas, {"49", ""}), Plus);
        }
        EXPECT_EQ(Entrees(), 1);
    }
}

// A read-only state folder: nothing kept, the versions kept still refuse older lists.
TEST_F(MoteurRechercheTest, DossierEnLectureSeule) {
    ASSERT_TRUE(RetientVersionListe("A", {"4", ""}));
    const QString etat = tmp.filePath("etat");
    DossierMonte montage(etat, DossierMonte::LectureSeule);
    if (!montage.Erreur().isEmpty())
        GTEST_SKIP() << montage.Erreur().toStdString();
    EXPECT_EQ(ControleFraicheur("A", {"3", ""}), Plus);
    EXPECT_EQ(ControleFraicheur("A", {"4", ""}), "");
    EXPECT_FALSE(RetientVersionListe("A", {"5", ""}));
    EXPECT_EQ(Entrees(), 1);
}

// ramaglin-signe writes version and expiry into the block it signs, or leaves the list unsigned.
TEST_F(MoteurRechercheTest, RamaglinSigneVersionEtExpirationDansLeBloc) {
    const QString cle = tmp.filePath("service.cle"), liste = tmp.filePath("liste.txt");
    const QString publique = ClePublique(Outil({"cle", cle}));
    const QStringList options{"--version", "12", "--expire", "2030-01-31"};
    const QByteArray lignes = "VERSION_LISTE=12\r\nEXPIRE_LISTE=2030-01-31\r\n";
    const struct {
        const char* cas;
        QByteArray avant;
        QStringList options;
        QByteArray apres; // empty: refused, the list unchanged
    } cas[] = {
        {"sans bloc", "xxx Le Ramaglin V1 xxx\r\na\tG\r\n", options,
         "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\n" + lignes + "-FIN PARAMETRES-\r\na\tG\r\n"},
        {"bloc à remplacer", "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nEXPIRE_LISTE=2020-01-01\r\n"
         "TITRE_TELECHARGEMENT=t\r\nVERSION_LISTE=3\r\n-FIN PARAMETRES-\r\nVERSION_LISTE=3\tG\r\n", options,
         "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=t\r\n" + lignes +
             "-FIN PARAMETRES-\r\nVERSION_LISTE=3\tG\r\n"},
        {"bloc sans fin ni fin de ligne", "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=t",
         {"--version", "12"}, "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=t\r\nVERSION_LISTE=12\r\n"},
        {"BOM et fins de ligne LF", "\xEF\xBB\xBFxxx Le Ramaglin V1 xxx\n-PARAMETRES-\n-FIN PARAMETRES-\na\n",
         {"--expire", "2030-01-31"},
         "\xEF\xBB\xBFxxx Le Ramaglin V1 xxx\n-PARAMETRES-\nEXPIRE_LISTE=2030-01-31\n-FIN PARAMETRES-\na\n"},
        {"sans marqueur", "a\tG\r\n", options, ""},
        {"version vide", "xxx Le Ramaglin V1 xxx\r\n", {"--version", ""}, ""},
        {"date impossible", "xxx Le Ramaglin V1 xxx\r\n", {"--expire", "2030-02-30"}, ""},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.cas);
        QFile::remove(liste + ".sig");
        ASSERT_TRUE(EcritFichier(liste, c.avant));
        Outil(QStringList{"signe", cle, liste} + c.options, c.apres.isEmpty() ? 1 : 0);
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), c.apres.isEmpty() ? 2 : 3);
        EXPECT_EQ(LitFichier(liste), c.apres.isEmpty() ? c.avant : c.apres);
        if (c.apres.isEmpty())
            continue;
        Outil({"verifie", publique, liste});
        // What the search reads back from the signed bytes.
        const FraicheurListe lue = LitFraicheurListe(LitFichier(liste));
        EXPECT_EQ(lue.version, c.options.contains("--version") ? "12" : "");
        EXPECT_EQ(lue.expire, c.options.contains("--expire") ? "2030-01-31" : "");
    }
}

} // namespace
