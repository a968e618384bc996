// The transfer layer against our own test server: connection settings, the
// HEAD probe, fetches that succeed (with their progress captions) and fetches
// that fail (no file left, an earlier file kept), line-end repair and the
// error-page check.
#include <gtest/gtest.h>

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
#include "util/Fonctions_Jauge.h"
#include "util/ModuleRamaglin.h"

namespace {

QByteArray Motif(qsizetype taille) {
    QByteArray octets(taille, Qt::Uninitialized);
    for (qsizetype i = 0; i < taille; ++i)
        octets[i] = char('A' + (i * 13 + i / 97) % 26);
    return octets;
}

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
    Transfert() {
        QObject::connect(&Inet1, &Inet::StateChanged, &Inet1,
                         [this](int etat) { GereEtatTransfert(Inet1, etat); });
    }
};

QStringList Contenu(const QTemporaryDir& dossier) {
    return QDir(dossier.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(ParametreConnexion, ProxyExpliciteOuParametresDuSysteme) {
    struct Cas {
        bool http;
        const char *adresse, *portHTTP, *portFTP;
        int acces;
        const char* proxy;
        int port;
        int protocole;
    };
    const Cas cas[] = {
        {true, "proxy.local", "3128", "2121", Inet::AccesProxy, "proxy.local:3128", 3128, 4},
        {false, "proxy.local", "3128", "2121", Inet::AccesProxy, "proxy.local:2121", 2121, 2},
        {true, "proxy.local", "", "", Inet::AccesProxy, "proxy.local:80", 80, 4},
        {false, "proxy.local", "", "", Inet::AccesProxy, "proxy.local:21", 21, 2},
        {true, "10.0.0.1", "8080 ", "", Inet::AccesProxy, "10.0.0.1:8080 ", 8080, 4},
        {true, "", "3128", "2121", Inet::AccesSysteme, "", 0, 4},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.adresse << " " << c.http);
        Inet inet;
        inet.RequestTimeout = 5;
        ParametreConnexion(inet, c.http, c.adresse, c.portHTTP, c.portFTP, "moi", "secret");
        EXPECT_EQ(inet.AccessType, c.acces);
        EXPECT_EQ(inet.Proxy, c.proxy);
        EXPECT_EQ(inet.RemotePort, c.port);
        EXPECT_EQ(inet.Protocol, c.protocole);
        EXPECT_EQ(inet.RequestTimeout, 60);
        EXPECT_EQ(inet.UserName, *c.adresse ? "moi" : "");
    }
}

TEST(InterrogeEnTete, TailleRedirectionEtDate) {
    ServeurTest serveur;
    serveur.Repond("HEAD", "/fichier",
                   ReponseTest::Ok(Motif(1234))
                       .Entete("Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT+extra-text"));
    ReponseTest vide = ReponseTest::Ok(QByteArray());
    serveur.Repond("HEAD", "/vide", vide);
    ReponseTest sansLongueur = ReponseTest::Ok("abc");
    sansLongueur.fin = ReponseTest::Fin::Chunked;
    serveur.Repond("HEAD", "/chunked", sansLongueur);
    serveur.Repond("HEAD", "/refuse", ReponseTest::Statut(405));
    serveur.Repond("HEAD", "/relatif", ReponseTest::Redirection(302, "/ailleurs/f.zip"));
    serveur.Repond("HEAD", "/absolu",
                   ReponseTest::Redirection(301, serveur.Adresse("/x.zip").toUtf8()));
    serveur.Repond("HEAD", "/meme", ReponseTest::Ok("abcdef").Entete(
                                        "Location", serveur.Adresse("/meme").toUtf8()));

    struct Cas {
        const char* chemin;
        double taille;
        QString adresse; // after the call
        bool redirige;
        const char* date;
    };
    const Cas cas[] = {
        {"/fichier", 1234, serveur.Adresse("/fichier"), false, "Tue, 01 Dec 2026 10:00:00 GMT+"},
        {"/vide", -1, serveur.Adresse("/vide"), false, ""},
        {"/chunked", -1, serveur.Adresse("/chunked"), false, ""},
        {"/refuse", -1, serveur.Adresse("/refuse"), false, ""},
        {"/relatif", -1, serveur.Adresse("/ailleurs/f.zip"), true, ""},
        {"/absolu", -1, serveur.Adresse("/x.zip"), true, ""},
        {"/meme", 6, serveur.Adresse("/meme"), false, ""},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.chemin);
        Inet inet;
        QString adresse = serveur.Adresse(c.chemin);
        double taille = 0;
        bool redirige = !c.redirige;
        QString date = QStringLiteral("avant");
        ArretDemande = true;
        InterrogeEnTete(inet, adresse, taille, redirige, date);
        EXPECT_FALSE(ArretDemande);
        EXPECT_EQ(taille, c.taille);
        EXPECT_EQ(adresse, c.adresse);
        EXPECT_EQ(redirige, c.redirige);
        EXPECT_EQ(date, c.date);
    }
}

TEST(TelechargeFichier, ReussitEtRemplaceLeFichierPrecedent) {
    ServeurTest serveur;
    const QByteArray corps = Motif(5000);
    serveur.Repond("*", "/connu", ReponseTest::Ok(corps));
    ReponseTest chunked = ReponseTest::Ok(corps);
    chunked.fin = ReponseTest::Fin::Chunked;
    serveur.Repond("*", "/chunked", chunked);
    ReponseTest fermeture = ReponseTest::Ok(corps);
    fermeture.fin = ReponseTest::Fin::Fermeture;
    serveur.Repond("*", "/fermeture", fermeture);
    serveur.Repond("HEAD", "/sanshead", ReponseTest::Statut(405));
    serveur.Repond("GET", "/sanshead", ReponseTest::Ok(corps));
    serveur.Repond("HEAD", "/deplace", ReponseTest::Redirection(302, "/connu"));
    ReponseTest annonce = ReponseTest::Ok(corps.left(2500));
    serveur.Repond("HEAD", "/plus", annonce);
    serveur.Repond("GET", "/plus", ReponseTest::Ok(corps));
    serveur.Repond("*", "/page", ReponseTest::Ok("<html><title>Server Error</title>...</html>"));

    struct Cas {
        const char* chemin;
        qint32 tailleMax;
        bool verifierPage;
        bool resultat;
        QByteArray fichier;
        double taille;
        bool redirige;
        QList<int> pourcentages; // drawn on the gauge after the first 0
    };
    const Cas cas[] = {
        {"/connu", -1, false, true, corps, 5000, false, {20, 41, 61, 82, 100}},
        {"/connu", -1, true, true, corps, 5000, false, {20, 41, 61, 82, 100}},
        {"/chunked", -1, false, true, corps, 5000, false, {}},
        {"/fermeture", -1, false, true, corps, 5000, false, {}},
        {"/sanshead", -1, false, true, corps, 5000, false, {}},
        // The redirection's own length is not the file's: fetched whole.
        {"/deplace", -1, false, true, corps, 5000, true, {}},
        // More than announced: all written, the percentage stays where it was.
        {"/plus", -1, false, true, corps, 2500, false, {41, 82}},
        {"/connu", 2048, false, true, corps.left(2048), 5000, false, {50, 100}},
        {"/chunked", 3000, false, true, corps.left(3000), 5000, false, {}},
        {"/page", -1, false, true, "<html><title>Server Error</title>...</html>", 43, false, {100}},
        {"/page", -1, true, false, QByteArray(), 43, false, {100}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.chemin << " max " << c.tailleMax << " verif "
                                        << c.verifierPage);
        QTemporaryDir dossier;
        const QString destination = dossier.filePath("fichier.bin");
        EcritFichier(destination, "ancien contenu");
        Transfert t;
        JaugeTest jauge;
        QString adresse = serveur.Adresse(c.chemin);
        double taille = 0;
        bool redirige = false;
        const bool resultat = TelechargeFichier(t.Inet1, adresse, destination, c.verifierPage,
                                                c.tailleMax, &jauge, taille, redirige);
        EXPECT_EQ(resultat, c.resultat);
        EXPECT_TRUE(LitFichier(destination) == (c.resultat ? c.fichier : "ancien contenu"));
        EXPECT_EQ(Contenu(dossier), QStringList{"fichier.bin"});
        EXPECT_EQ(taille, c.taille);
        EXPECT_EQ(redirige, c.redirige);
        EXPECT_EQ(adresse, serveur.Adresse(c.redirige ? "/connu" : c.chemin));
        QList<int> pourcentages;
        for (const auto& [p, legende] : jauge.dessins.mid(1))
            pourcentages.append(p);
        EXPECT_EQ(pourcentages, c.pourcentages);
        EXPECT_EQ(jauge.dessins.value(0), qMakePair(0, QString()));
        ASSERT_FALSE(jauge.visibilite.isEmpty());
        EXPECT_TRUE(jauge.visibilite.first());
        EXPECT_FALSE(jauge.visibilite.last());
    }
}

TEST(TelechargeFichier, NomDeDestinationLongOuAccentue) {
    ServeurTest serveur;
    serveur.Repond("*", "/f", ReponseTest::Ok(Motif(3000)));
    // The longest name a folder takes leaves no room for a suffix.
    for (const QString& nom : {QString(250, QLatin1Char('n')), QStringLiteral("Fiché été ñ.txt")}) {
        SCOPED_TRACE(nom.toStdString());
        QTemporaryDir dossier;
        Transfert t;
        QString adresse = serveur.Adresse("/f");
        double taille = 0;
        bool redirige = false;
        EXPECT_TRUE(TelechargeFichier(t.Inet1, adresse, dossier.filePath(nom), false, -1, nullptr,
                                      taille, redirige));
        EXPECT_TRUE(LitFichier(dossier.filePath(nom)) == Motif(3000));
        EXPECT_EQ(Contenu(dossier), QStringList{nom});
    }
}

TEST(TelechargeFichier, LegendeDeProgression) {
    // 29 256 bytes (28,57 Ko) in drips, so that the rate appears after a second.
    ServeurTest serveur;
    ReponseTest goutte = ReponseTest::Ok(Motif(29256));
    goutte.goutteOctets = 4096;
    goutte.goutteDelaiMs = 250;
    serveur.Repond("*", "/liste", goutte);
    QTemporaryDir dossier;
    Transfert t;
    JaugeTest jauge;
    QString adresse = serveur.Adresse("/liste");
    double taille = 0;
    bool redirige = false;
    ASSERT_TRUE(TelechargeFichier(t.Inet1, adresse, dossier.filePath("Liste.tmp"), false, -1,
                                  &jauge, taille, redirige));
    ASSERT_GE(jauge.dessins.size(), 3);
    EXPECT_EQ(jauge.dessins[1], qMakePair(4, QStringLiteral("4 % (1 Ko sur 28,57 Ko)")));
    EXPECT_EQ(jauge.dessins[2], qMakePair(7, QStringLiteral("7 % (2 Ko sur 28,57 Ko)")));
    const QRegularExpression forme(
        QStringLiteral(R"(^(\d+) % \((\d+) Ko sur 28,57 Ko\)( - \d+ (octets?|Ko)/sec)?$)"));
    bool debit = false;
    for (const auto& [p, legende] : jauge.dessins.mid(1)) {
        SCOPED_TRACE(legende.toStdString());
        const auto m = forme.match(legende);
        ASSERT_TRUE(m.hasMatch());
        EXPECT_EQ(m.captured(1).toInt(), p);
        EXPECT_FALSE(debit && m.captured(3).isEmpty()); // once shown, always shown
        debit = debit || !m.captured(3).isEmpty();
    }
    EXPECT_TRUE(debit);
    EXPECT_TRUE(jauge.dessins.last().second.startsWith(QStringLiteral("100 % (28 Ko sur 28,57 Ko) - ")));
}

TEST(TelechargeFichier, UnEchecNeLaisseRienEtGardeLAncienFichier) {
    ServeurTest serveur;
    const QByteArray corps = Motif(50000);
    ReponseTest coupe = ReponseTest::Ok(corps);
    coupe.coupeApres = 20000;
    serveur.Repond("*", "/coupe", coupe);
    ReponseTest chunkedCoupe = ReponseTest::Ok(corps);
    chunkedCoupe.fin = ReponseTest::Fin::Chunked;
    chunkedCoupe.coupeApres = 20000;
    serveur.Repond("*", "/chunkedcoupe", chunkedCoupe);
    serveur.Repond("HEAD", "/erreur", ReponseTest::Ok(corps));
    serveur.Repond("GET", "/erreur", ReponseTest::Statut(404, "<html>404 Not Found</html>"));
    serveur.Repond("*", "/absent", ReponseTest::Statut(404, "<html>404 Not Found</html>"));
    serveur.Repond("HEAD", "/vide", ReponseTest::Ok(corps));
    serveur.Repond("GET", "/vide", ReponseTest::Ok(QByteArray()));
    serveur.Repond("*", "/videsanslongueur", [] {
        ReponseTest r = ReponseTest::Ok(QByteArray());
        r.fin = ReponseTest::Fin::Fermeture;
        return r;
    }());
    ReponseTest muet;
    muet.muet = true;
    serveur.Repond("*", "/muet", muet);
    serveur.Repond("HEAD", "/cale", ReponseTest::Ok(corps));
    ReponseTest cale = ReponseTest::Ok(corps);
    cale.goutteOctets = 10000;
    cale.goutteDelaiMs = 4000; // silent for longer than the time-out
    serveur.Repond("GET", "/cale", cale);
    serveur.Repond("*", "/bon", ReponseTest::Ok(corps));
    const quint16 portFerme = [] {
        ServeurTest temporaire;
        return temporaire.Port();
    }();

    struct Cas {
        const char* nom;
        QString adresse;
        bool destinationImpossible = false;
    };
    const Cas cas[] = {
        {"connexion refusée", QStringLiteral("http://127.0.0.1:%1/f").arg(portFerme)},
        {"nom inconnu", QStringLiteral("http://serveur-absent.invalid/f")},
        {"coupure en cours", serveur.Adresse("/coupe")},
        {"coupure sans longueur", serveur.Adresse("/chunkedcoupe")},
        {"page d'erreur", serveur.Adresse("/erreur")},
        {"absent", serveur.Adresse("/absent")},
        {"vide", serveur.Adresse("/vide")},
        {"vide sans longueur", serveur.Adresse("/videsanslongueur")},
        {"pas de réponse", serveur.Adresse("/muet")},
        {"silence en cours", serveur.Adresse("/cale")},
        {"dossier impossible", serveur.Adresse("/bon"), true},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        QTemporaryDir dossier;
        QString destination = dossier.filePath("fichier.bin");
        if (c.destinationImpossible) {
            // Its folder is a regular file (the tests run as root, who may
            // write anywhere else).
            EcritFichier(dossier.filePath("pas-un-dossier"), "x");
            destination = dossier.filePath("pas-un-dossier/fichier.bin");
        } else {
            EcritFichier(destination, "ancien contenu");
        }
        const QStringList avant = Contenu(dossier);
        Transfert t;
        t.Inet1.RequestTimeout = 2;
        JaugeTest jauge;
        QString adresse = c.adresse;
        double taille = 0;
        bool redirige = false;
        EXPECT_FALSE(TelechargeFichier(t.Inet1, adresse, destination, false, -1, &jauge, taille,
                                       redirige));
        EXPECT_FALSE(ArretDemande);
        EXPECT_EQ(Contenu(dossier), avant);
        if (!c.destinationImpossible) {
            EXPECT_EQ(LitFichier(destination), "ancien contenu");
        }
        EXPECT_FALSE(jauge.visibilite.last());
        EXPECT_FALSE(t.Inet1.StillExecuting());
    }
}

TEST(TelechargeFichier, DemandeDArretPendantLaReception) {
    ServeurTest serveur;
    ReponseTest goutte = ReponseTest::Ok(Motif(200000));
    goutte.goutteOctets = 2000;
    goutte.goutteDelaiMs = 50; // five seconds in all
    serveur.Repond("*", "/long", goutte);
    ReponseTest sansLongueur = goutte;
    sansLongueur.fin = ReponseTest::Fin::Chunked;
    serveur.Repond("*", "/longsanslongueur", sansLongueur);

    for (const char* chemin : {"/long", "/longsanslongueur"}) {
        SCOPED_TRACE(chemin);
        QTemporaryDir dossier;
        const QString destination = dossier.filePath("fichier.bin");
        EcritFichier(destination, "ancien contenu");
        Transfert t;
        QString adresse = serveur.Adresse(chemin);
        double taille = 0;
        bool redirige = false;
        QElapsedTimer chrono;
        QTimer::singleShot(400, [&chrono] {
            ArretDemande = true;
            chrono.start();
        });
        EXPECT_FALSE(
            TelechargeFichier(t.Inet1, adresse, destination, false, -1, nullptr, taille, redirige));
        EXPECT_TRUE(ArretDemande); // how the caller tells a stop from a failure
        EXPECT_LT(chrono.elapsed(), 2000); // it stopped, long before the end
        EXPECT_EQ(LitFichier(destination), "ancien contenu");
        EXPECT_EQ(Contenu(dossier), QStringList{"fichier.bin"});
        ArretDemande = false;
    }
}

TEST(ConvertitFinsDeLigne, ChaqueLFPrecedeDeCR) {
    const QByteArray x999(999, 'x'), x1000(1000, 'x');
    struct Cas {
        const char* nom;
        QByteArray entree, attendu;
    };
    const Cas cas[] = {
        {"LF seuls", "a\nb\n", "a\r\nb\r\n"},
        {"CR LF inchangés", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"deux LF après CR LF", "a\r\n\n\nb", "a\r\n\r\n\r\nb"},
        {"LF en tête de fichier", "\nabc", "\r\nabc"},
        {"CR seul inchangé", "a\rb", "a\rb"},
        {"vide", "", ""},
        {"LF en tête du second bloc", x1000 + "\nfin", x1000 + "\r\nfin"},
        {"CR à la fin du premier bloc", x999 + "\r\nfin", x999 + "\r\nfin"},
        {"1001 octets", x1000 + "z", x1000 + "z"},
        {"LF à la fin du premier bloc", x999 + "\n\n", x999 + "\r\n\r\n"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        QTemporaryDir dossier;
        const QString source = dossier.filePath("Liste.tmp");
        const QString temporaire = dossier.filePath("Liste.tmp2");
        EcritFichier(source, c.entree);
        ConvertitFinsDeLigne(source, temporaire);
        EXPECT_TRUE(LitFichier(source) == c.attendu);
        EXPECT_FALSE(QFile::exists(temporaire));
    }
}

TEST(FichierSansErreur, ReconnaitLesPagesDErreur) {
    const QByteArray blanc200(200, ' ');
    struct Cas {
        const char* nom;
        QByteArray contenu;
        bool attendu;
    };
    const Cas cas[] = {
        {"contenu ordinaire", "PK\x03\x04 archive", true},
        {"4 octets", "abcd", false},
        {"5 octets", "abcde", true},
        {"Error", "<html><h1>Server Error</h1></html>", false},
        {"ERREUR", "ERREUR : fichier introuvable", false},
        {"404 suivi d'un espace", "HTTP 404 introuvable", false},
        {">404 ", "<h1>404 Not Found</h1>", false},
        {"404 sans espace", "page404.html contenu", true},
        {"error après 200 caractères", blanc200 + "error", true},
        {"phrase d'erreur plus loin", blanc200 + blanc200 + "An error has occurred...", false},
        {"phrase d'erreur en minuscules", blanc200 + "an error has occurred...", true},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        QTemporaryDir dossier;
        const QString chemin = dossier.filePath("f");
        EcritFichier(chemin, c.contenu);
        EXPECT_EQ(FichierSansErreur(chemin), c.attendu);
    }
    EXPECT_FALSE(FichierSansErreur(QStringLiteral("/chemin/qui/n/existe/pas")));
}

TEST(FichierEnFond, EcritToutDansLOrdreOuSignaleLEchec) {
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath("f.bin");
    EcritFichier(chemin, "reste d'un contenu plus long que le nouveau");
    const QByteArray attendu = Motif(20 * 1024 * 1024 + 11);
    {
        FichierEnFond fichier(chemin);
        ASSERT_TRUE(fichier.Ouvre());
        for (qsizetype i = 0; i < attendu.size(); i += 1024)
            ASSERT_EQ(fichier.write(attendu.mid(i, 1024)), qMin<qsizetype>(1024, attendu.size() - i));
        EXPECT_TRUE(fichier.Termine());
    }
    EXPECT_TRUE(LitFichier(chemin) == attendu);

    // A device that refuses every write, as a full disk does.
    FichierEnFond plein(QStringLiteral("/dev/full"));
    ASSERT_TRUE(plein.Ouvre());
    bool refuse = false;
    for (int i = 0; i < 64 && !refuse; ++i)
        refuse = plein.write(Motif(512 * 1024)) < 0;
    EXPECT_FALSE(plein.Termine());

    FichierEnFond impossible(dossier.filePath("absent/f.bin"));
    EXPECT_FALSE(impossible.Ouvre());
}
