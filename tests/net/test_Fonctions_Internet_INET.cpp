// The transfer layer against our own test server: fetches that succeed (with
// their progress) and fetches that fail or are stopped (no file left, an
// earlier file kept), line-end repair, the error-page check and the
// background file writer.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <netdb.h>

#include <cstring>
#include <memory>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "net/FichierEnFond.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"
#include "util/Fonctions_Jauge.h"
#include "util/ModuleRamaglin.h"

// A name that this program resolves to nothing by itself, so that the
// unknown-host case never asks a name server beyond 127.0.0.1. libcurl's
// resolver calls getaddrinfo, which the executable's definition overrides.
constexpr char NomSansAdresse[] = "serveur-absent.ramaglin.test";

extern "C" int getaddrinfo(const char* nom, const char* service, const struct addrinfo* indices,
                           struct addrinfo** resultat) {
    if (nom && std::strcmp(nom, NomSansAdresse) == 0)
        return EAI_NONAME;
    using Fonction = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto suivante = reinterpret_cast<Fonction>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return suivante(nom, service, indices, resultat);
}

namespace {

using Fin = ReponseTest::Fin;

// Records what the layer draws.
struct JaugeTest final : SurfaceJauge {
    QList<bool> visibilite;
    QList<QPair<int, QString>> dessins;
    void MontreSurface(bool visible) override { visibilite.append(visible); }
    void DessineSurface(int pourcentage, const QString& legende) override {
        dessins.append({pourcentage, legende});
    }
};

// The transfer object wired to the layer as the main window wires it.
struct Transfert {
    Inet Inet1;
    JaugeTest jauge;
    double taille = 0;
    bool redirige = false;
    Transfert() {
        QObject::connect(&Inet1, &Inet::StateChanged, &Inet1,
                         [this](int etat) { GereEtatTransfert(Inet1, etat); });
    }
    bool Telecharge(QString& adresse, const QString& destination, bool verifierPage = false,
                    qint32 tailleMax = -1) {
        return TelechargeFichier(Inet1, adresse, destination, verifierPage, tailleMax, &jauge,
                                 taille, redirige);
    }
};

QStringList Contenu(const QTemporaryDir& dossier) {
    return QDir(dossier.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(TelechargeFichier, ReussitEtRemplaceLeFichierPrecedent) {
    ServeurTest serveur;
    const QByteArray corps = Motif(5000), page = "<html><title>Server Error</title>...</html>";
    serveur.Repond("*", "/connu", ReponseTest::Ok(corps));
    serveur.Repond("*", "/chunked", {.corps = corps, .fin = Fin::Chunked});
    serveur.Repond("*", "/fermeture", {.corps = corps, .fin = Fin::Fermeture});
    serveur.Repond("HEAD", "/sanshead", ReponseTest::Statut(405));
    serveur.Repond("GET", "/sanshead", ReponseTest::Ok(corps));
    serveur.Repond("HEAD", "/deplace",
                   {.statut = 302, .entetes = "Location: /connu\r\n", .corps = "<p>Moved</p>"});
    serveur.Repond("*", "/page", ReponseTest::Ok(page));
    struct Cas {
        const char* chemin;
        qint32 tailleMax;
        bool verifierPage;
        QByteArray fichier; // empty: the fetch fails
        double taille;
        QList<int> pourcentages; // drawn on the gauge after the first 0
        QString nom = QStringLiteral("fichier.bin");
    };
    const Cas cas[] = {
        {"/connu", -1, true, corps, 5000, {20, 41, 61, 82, 100}},
        {"/chunked", -1, false, corps, 5000, {}},
        {"/fermeture", -1, false, corps, 5000, {}},
        {"/sanshead", -1, false, corps, 5000, {}},
        // The redirection's own length is not the file's: fetched whole.
        {"/deplace", -1, false, corps, 5000, {}},
        {"/connu", 2048, false, corps.left(2048), 5000, {50, 100}},
        {"/chunked", 3000, false, corps.left(3000), 5000, {}},
        {"/page", -1, false, page, 43, {100}},
        {"/page", -1, true, "", 43, {100}},
        // The longest name a folder takes leaves no room for a suffix.
        {"/chunked", -1, false, corps, 5000, {}, QString(250, QLatin1Char('n'))},
        {"/chunked", -1, false, corps, 5000, {}, QStringLiteral("Fiché été ñ.txt")},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.chemin << " max " << c.tailleMax << " verif "
                                        << c.verifierPage << " " << c.nom.toStdString());
        QTemporaryDir dossier;
        const QString destination = dossier.filePath(c.nom);
        EcritFichier(destination, "ancien contenu");
        Transfert t;
        QString adresse = serveur.Adresse(c.chemin);
        EXPECT_EQ(t.Telecharge(adresse, destination, c.verifierPage, c.tailleMax),
                  !c.fichier.isEmpty());
        EXPECT_TRUE(LitFichier(destination) ==
                    (c.fichier.isEmpty() ? "ancien contenu" : c.fichier));
        EXPECT_EQ(Contenu(dossier), QStringList{c.nom});
        EXPECT_EQ(t.taille, c.taille);
        EXPECT_EQ(t.redirige, qstrcmp(c.chemin, "/deplace") == 0);
        EXPECT_EQ(adresse, serveur.Adresse(t.redirige ? "/connu" : c.chemin));
        QList<int> pourcentages;
        for (const auto& [p, legende] : t.jauge.dessins.mid(1))
            pourcentages.append(p);
        EXPECT_EQ(pourcentages, c.pourcentages);
        EXPECT_EQ(t.jauge.dessins.value(0), qMakePair(0, QString()));
        ASSERT_FALSE(t.jauge.visibilite.isEmpty());
        EXPECT_TRUE(t.jauge.visibilite.first() && !t.jauge.visibilite.last()); // shown, then hidden
    }
}

TEST(TelechargeFichier, LegendeDeProgression) {
    // 29 256 bytes (28,57 Ko) in slow drips, so that the rate appears after a second.
    ServeurTest serveur;
    serveur.Repond("*", "/liste",
                   {.corps = Motif(29256), .goutteOctets = 4096, .goutteDelaiMs = 250});
    QTemporaryDir dossier;
    Transfert t;
    QString adresse = serveur.Adresse("/liste");
    ASSERT_TRUE(t.Telecharge(adresse, dossier.filePath("Liste.tmp")));
    const QList<QPair<int, QString>>& d = t.jauge.dessins;
    ASSERT_GE(d.size(), 3);
    EXPECT_EQ(d[1], qMakePair(4, QStringLiteral("4 % (1 Ko sur 28,57 Ko)")));
    EXPECT_EQ(d[2], qMakePair(7, QStringLiteral("7 % (2 Ko sur 28,57 Ko)")));
    const QRegularExpression forme(
        QStringLiteral(R"(^(\d+) % \((\d+) Ko sur 28,57 Ko\)( - \d+ (octets?|Ko)/sec)?$)"));
    for (const auto& [p, legende] : d.mid(1)) {
        SCOPED_TRACE(legende.toStdString());
        const auto m = forme.match(legende);
        EXPECT_TRUE(m.hasMatch() && m.captured(1).toInt() == p);
    }
    EXPECT_TRUE(d.last().second.startsWith(QStringLiteral("100 % (28 Ko sur 28,57 Ko) - ")));
}

TEST(TelechargeFichier, UnEchecOuUnArretNeLaisseRienEtGardeLAncienFichier) {
    ServeurTest serveur;
    const QByteArray corps = Motif(50000);
    serveur.Repond("*", "/coupe", {.corps = corps, .coupeApres = 20000});
    serveur.Repond("*", "/coupechunked",
                   {.corps = corps, .fin = Fin::Chunked, .coupeApres = 20000});
    // The probe promises a file; the fetch gets an error page, nothing, or a silence.
    for (const char* chemin : {"/erreur", "/vide", "/cale"})
        serveur.Repond("HEAD", chemin, ReponseTest::Ok(corps));
    serveur.Repond("GET", "/erreur", ReponseTest::Statut(404, "<html>404 Not Found</html>"));
    serveur.Repond("GET", "/vide", ReponseTest::Ok(""));
    serveur.Repond("GET", "/cale", {.corps = corps, .goutteOctets = 10000, .goutteDelaiMs = 4000});
    serveur.Repond("*", "/videsanslongueur", {.fin = Fin::Fermeture});
    serveur.Repond("*", "/muet", {.muet = true});
    serveur.Repond("*", "/bon", ReponseTest::Ok(corps));
    // The probe announces a size that the fetch does not keep to.
    serveur.Repond("HEAD", "/plus", ReponseTest::Ok(corps.left(2500)));
    serveur.Repond("GET", "/plus", ReponseTest::Ok(corps));
    serveur.Repond("HEAD", "/moins", ReponseTest::Ok(corps));
    serveur.Repond("GET", "/moins", ReponseTest::Ok(corps.left(2500)));
    // Six seconds of drips, with and without a known length, to be stopped once
    // more than a block of the file writer has come.
    const ReponseTest long_{.corps = Motif(4 << 20), .goutteOctets = 65536, .goutteDelaiMs = 100};
    serveur.Repond("*", "/long", long_);
    serveur.Repond("*", "/longchunked", [&] { auto r = long_; r.fin = Fin::Chunked; return r; }());
    enum Quoi { Echec, DossierImpossible, Arret };
    struct Cas {
        const char* nom;
        QString adresse;
        const char* raison; // told to the user
        Quoi quoi = Echec;
    };
    const Cas cas[] = {
        {"connexion refusée", QStringLiteral("http://127.0.0.1:%1/f").arg(PortLibre()),
         "connexion refusée"},
        {"nom inconnu", QStringLiteral("http://%1/f").arg(NomSansAdresse), "nom d'hôte inconnu"},
        {"coupure en cours", serveur.Adresse("/coupe"), "connexion coupée avant la fin du fichier"},
        {"coupure sans longueur", serveur.Adresse("/coupechunked"),
         "connexion coupée avant la fin du fichier"},
        {"404 et sa page", serveur.Adresse("/absent"), "erreur HTTP 404 : fichier introuvable"},
        {"404 après un HEAD réussi", serveur.Adresse("/erreur"),
         "erreur HTTP 404 : fichier introuvable"},
        {"vide", serveur.Adresse("/vide"), "0 octets reçus sur les 50000 annoncés"},
        {"plus qu'annoncé", serveur.Adresse("/plus"),
         "le serveur envoie plus que les 2500 octets annoncés"},
        {"moins qu'annoncé", serveur.Adresse("/moins"), "2500 octets reçus sur les 50000 annoncés"},
        {"vide sans longueur", serveur.Adresse("/videsanslongueur"), "fichier vide"},
        {"pas de réponse", serveur.Adresse("/muet"), "délai dépassé"},
        {"silence en cours", serveur.Adresse("/cale"), "délai dépassé"},
        {"dossier impossible", serveur.Adresse("/bon"), "dossier non modifiable", DossierImpossible},
        {"arrêt demandé", serveur.Adresse("/long"), "arrêt demandé", Arret},
        {"arrêt demandé sans longueur", serveur.Adresse("/longchunked"), "arrêt demandé", Arret},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        QTemporaryDir dossier;
        EcritFichier(dossier.filePath("fichier.bin"), "ancien contenu");
        // A folder that is a regular file (the tests run as root, who may
        // write anywhere else).
        const QString destination = dossier.filePath(
            c.quoi == DossierImpossible ? "fichier.bin/fichier.bin" : "fichier.bin");
        Transfert t;
        t.Inet1.RequestTimeout = 2;
        QElapsedTimer chrono;
        QObject contexte; // the timer dies with the case
        if (c.quoi == Arret)
            QTimer::singleShot(800, &contexte, [&] { ArretDemande = true; chrono.start(); });
        QString adresse = c.adresse;
        QString raison;
        EXPECT_FALSE(TelechargeFichier(t.Inet1, adresse, destination, false, -1, &t.jauge,
                                       t.taille, t.redirige, &raison));
        EXPECT_EQ(raison, QString::fromUtf8(c.raison));
        // A stop is told from a failure by ArretDemande, and ends at once.
        EXPECT_EQ(ArretDemande, c.quoi == Arret);
        EXPECT_TRUE(c.quoi != Arret || chrono.elapsed() < 2000);
        ArretDemande = false;
        EXPECT_EQ(Contenu(dossier), QStringList{"fichier.bin"});
        EXPECT_EQ(LitFichier(dossier.filePath("fichier.bin")), "ancien contenu");
        EXPECT_FALSE(t.jauge.visibilite.last());
        EXPECT_FALSE(t.Inet1.StillExecuting());
    }
}

TEST(TelechargeFichier, ResisteAuxToursImbriquesDeLaBoucleDEvenements) {
    // A fetch of known size in slow drips, during which a timer does what a
    // click could: change the connection settings (which cancels the request),
    // start another fetch, or close the window that owns the gauge.
    ServeurTest serveur;
    const QByteArray corps = Motif(120000);
    serveur.Repond("*", "/lent", {.corps = corps, .goutteOctets = 20000, .goutteDelaiMs = 150});
    serveur.Repond("*", "/autre", ReponseTest::Ok("autre"));
    enum Quoi { Reglage, Deuxieme, JaugeDetruite };
    for (Quoi quoi : {Reglage, Deuxieme, JaugeDetruite}) {
        SCOPED_TRACE(int(quoi));
        QTemporaryDir dossier;
        Transfert t;
        auto jauge = std::make_unique<JaugeTest>();
        bool deuxiemeReussi = true;
        QString raisonDeuxieme;
        QObject contexte;
        QTimer::singleShot(300, &contexte, [&] {
            if (quoi == Reglage) {
                ParametreConnexion(t.Inet1, true, QString(), "80", "21", QString(), QString());
            } else if (quoi == Deuxieme) {
                QString adresse = serveur.Adresse("/autre");
                double taille = 0;
                bool redirige = false;
                deuxiemeReussi = TelechargeFichier(t.Inet1, adresse, dossier.filePath("autre"), false,
                                                   -1, nullptr, taille, redirige, &raisonDeuxieme);
            } else {
                jauge.reset();
            }
        });
        QString adresse = serveur.Adresse("/lent");
        QString raison;
        const bool reussi = TelechargeFichier(t.Inet1, adresse, dossier.filePath("f"), false, -1,
                                              jauge.get(), t.taille, t.redirige, &raison);
        if (quoi == Reglage) {
            // Cut short is a failure, never a short file.
            EXPECT_FALSE(reussi);
            EXPECT_EQ(raison, QStringLiteral("transfert interrompu par une autre requête"));
            EXPECT_EQ(Contenu(dossier), QStringList());
        } else {
            EXPECT_TRUE(reussi) << raison.toStdString();
            EXPECT_TRUE(LitFichier(dossier.filePath("f")) == corps);
            EXPECT_EQ(Contenu(dossier), QStringList{"f"});
        }
        if (quoi == Deuxieme) {
            // Refused at once, and nothing asked of the server.
            EXPECT_FALSE(deuxiemeReussi);
            EXPECT_EQ(raisonDeuxieme, QStringLiteral("un autre téléchargement est en cours"));
        }
    }
    for (const RequeteRecue& r : serveur.Requetes())
        EXPECT_NE(r.cible, "/autre");
}

TEST(ConvertitFinsDeLigne, ChaqueLFPrecedeDeCRParBlocsDe1000) {
    const QByteArray x999(999, 'x'), x1000(1000, 'x');
    struct Cas {
        const char* nom;
        QByteArray entree, attendu;
    };
    const Cas cas[] = {
        {"dans un bloc", "\na\nb\r\nc\rd\r\n\n", "\r\na\r\nb\r\nc\rd\r\n\r\n"},
        {"LF en tête du second bloc", x1000 + "\nfin", x1000 + "\r\nfin"},
        {"CR à la fin du premier bloc", x999 + "\r\nfin", x999 + "\r\nfin"},
        {"LF à la fin du premier bloc", x999 + "\n\n", x999 + "\r\n\r\n"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        QTemporaryDir dossier;
        const QString source = dossier.filePath("Liste.tmp");
        EcritFichier(source, c.entree);
        ConvertitFinsDeLigne(source, dossier.filePath("Liste.tmp2"));
        EXPECT_TRUE(LitFichier(source) == c.attendu);
        EXPECT_EQ(Contenu(dossier), QStringList{"Liste.tmp"});
    }
}

TEST(FichierSansErreur, ReconnaitLesPagesDErreur) {
    const QByteArray blanc200(200, ' ');
    const std::pair<QByteArray, bool> cas[] = {
        {"PK\x03\x04 archive", true}, {"abcd", false}, {"abcde", true}, // 5 bytes at least
        {"<html><h1>Server Error</h1></html>", false}, {"ERREUR : introuvable", false},
        {"<h1>404 Not Found</h1>", false}, {"page404.html contenu", true},
        {blanc200 + "error", true}, // words looked for in the first 200 bytes only...
        {blanc200 + blanc200 + "An error has occurred...", false}, // ...this one in 1000
    };
    QTemporaryDir dossier;
    for (const auto& [contenu, attendu] : cas) {
        SCOPED_TRACE(contenu.trimmed().toStdString());
        EcritFichier(dossier.filePath("f"), contenu);
        EXPECT_EQ(FichierSansErreur(dossier.filePath("f")), attendu);
    }
    EXPECT_FALSE(FichierSansErreur(dossier.filePath("absent")));
}

TEST(FichierEnFond, EcritToutDansLOrdreOuSignaleLEchec) {
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath("f.bin");
    EcritFichier(chemin, "reste d'un contenu plus long que le nouveau");
    const QByteArray attendu = Motif(20 * 1024 * 1024 + 11);
    FichierEnFond fichier(chemin);
    ASSERT_TRUE(fichier.Ouvre());
    for (qsizetype i = 0; i < attendu.size(); i += 1000) // blocks are refilled once written
        ASSERT_EQ(fichier.write(attendu.mid(i, 1000)), qMin<qsizetype>(1000, attendu.size() - i));
    EXPECT_TRUE(fichier.Termine());
    EXPECT_TRUE(LitFichier(chemin) == attendu);
    // A device that refuses every write, as a full disk does.
    FichierEnFond plein(QStringLiteral("/dev/full"));
    ASSERT_TRUE(plein.Ouvre());
    for (int i = 0; i < 64 && plein.write(attendu.left(512 * 1024)) >= 0; ++i) {
    }
    EXPECT_FALSE(plein.Termine());
    EXPECT_FALSE(FichierEnFond(dossier.filePath("absent/f.bin")).Ouvre());
}
