// The transfer layer against our test server and real ones (nginx, tinyproxy, FTP).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <netdb.h>
#include <sys/statvfs.h>

#include <optional>

#include <QRegularExpression>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimeZone>

#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "support/DossierMonte.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"
#include "util/Fonctions_Jauge.h"
#include "util/Arret.h"

// A name resolved to nothing without a name server: libcurl's getaddrinfo, overridden.
constexpr char NomSansAdresse[] = "serveur-absent.ramaglin.test";

extern "C" int getaddrinfo(const char* nom, const char* service, const addrinfo* indices,
                           addrinfo** resultat) {
    using Fonction = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto suivante = reinterpret_cast<Fonction>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return qstrcmp(nom, NomSansAdresse) == 0 ? EAI_NONAME : suivante(nom, service, indices, resultat);
}

namespace {

using Fin = ReponseTest::Fin;

struct JaugeTest final : SurfaceJauge {
    QList<bool> visibilite;
    QList<int> pourcentages;
    QStringList legendes;
    void MontreSurface(bool visible) override { visibilite << visible; }
    void DessineSurface(int p, const QString& l) override { pourcentages << p; legendes << l; }
};

// The transfer object wired to the layer as the main window wires it.
struct Transfert {
    Inet Inet1;
    JaugeTest jauge;
    double taille = 0;
    bool redirige = false;
    QString raison, adresseFinale; // the address after the redirections
    std::optional<BornesTransfert> bornes;
    Transfert() { QObject::connect(&Inet1, &Inet::StateChanged, [this](int e) { GereEtatTransfert(Inet1, e); }); }
    bool Telecharge(const QString& adresse, const QString& destination, bool verifierPage = false,
                    qint32 tailleMax = -1, SurfaceJauge* j = nullptr) {
        adresseFinale = adresse;
        return TelechargeFichier(Inet1, adresseFinale, destination, verifierPage, tailleMax, j ? j : &jauge, taille,
                                 redirige, &raison, bornes ? &*bornes : nullptr);
    }
};

QStringList Contenu(const QTemporaryDir& dossier) {
    return QDir(dossier.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

qint64 EspaceLibreDe(const QString& dossier) {
    struct statvfs etat;
    return ::statvfs(QFile::encodeName(dossier).constData(), &etat) == 0 ? qint64(etat.f_bavail) * etat.f_frsize : -1;
}

// The fetch of the download run: with resume, and how it ended.
struct TransfertRun : Transfert {
    IssueTransfert issue;
    bool TelechargeRun(const QString& adresse, const QString& destination) {
        adresseFinale = adresse;
        return TelechargeFichier(Inet1, adresseFinale, destination, &jauge, taille, redirige,
                                 OptionsTransfert{.reprise = true}, issue);
    }
};

} // namespace

TEST(TelechargeFichier, ReussitEtRemplaceLeFichierPrecedent) {
    ServeurTest serveur;
    const QByteArray corps = Motif(5000), page = "<html><title>Server Error</title>...</html>";
    serveur.Repond("*", "/connu", ReponseTest::Ok(corps));
    serveur.Repond("*", "/chunked", {.corps = corps, .fin = Fin::Chunked});
    serveur.Repond("*", "/fermeture", {.corps = corps, .fin = Fin::Fermeture});
    serveur.Repond("*", "/deplace", {.statut = 302, .entetes = "Location: /connu\r\n", .corps = "<p>Moved</p>"});
    serveur.Repond("*", "/page", ReponseTest::Ok(page));
    struct Cas {
        const char* chemin;
        qint32 tailleMax;
        bool verifierPage;
        QByteArray fichier; // empty: the fetch fails
        double taille;
        QList<int> pourcentages; // drawn on the gauge, after a 0
        QString nom = "fichier.bin";
    };
    const Cas cas[] = {
        {"/connu", -1, true, corps, 5000, {20, 41, 61, 82, 100}},
        {"/chunked", -1, false, corps, 5000, {}},
        {"/fermeture", -1, false, corps, 5000, {}},
        // The redirection's length is not the file's: the gauge counts the file.
        {"/deplace", -1, false, corps, 5000, {20, 41, 61, 82, 100}},
        {"/connu", 2048, false, corps.left(2048), 5000, {50, 100}},
        {"/chunked", 3000, false, corps.left(3000), 5000, {}},
        {"/page", -1, false, page, 43, {100}},
        {"/page", -1, true, "", 43, {100}},
        // The longest name a folder takes leaves no room for a suffix.
        {"/chunked", -1, false, corps, 5000, {}, QString(250, QLatin1Char('n'))},
        {"/chunked", -1, false, corps, 5000, {}, "Fiché été ñ.txt"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.chemin << " max " << c.tailleMax << " " << c.nom);
        QTemporaryDir dossier;
        const QString destination = dossier.filePath(c.nom);
        EcritFichier(destination, "ancien contenu");
        Transfert t;
        EXPECT_EQ(t.Telecharge(serveur.Adresse(c.chemin), destination, c.verifierPage, c.tailleMax),
                  !c.fichier.isEmpty());
        EXPECT_TRUE(LitFichier(destination) == (c.fichier.isEmpty() ? "ancien contenu" : c.fichier));
        EXPECT_EQ(Contenu(dossier), QStringList{c.nom});
        EXPECT_EQ(t.taille, c.taille);
        EXPECT_EQ(t.redirige, qstrcmp(c.chemin, "/deplace") == 0);
        EXPECT_EQ(t.adresseFinale, serveur.Adresse(t.redirige ? "/connu" : c.chemin));
        EXPECT_EQ(t.jauge.pourcentages, QList<int>{0} + c.pourcentages);
        EXPECT_EQ(t.jauge.legendes.value(0), "");
        EXPECT_TRUE(t.jauge.visibilite.value(0) && !t.jauge.visibilite.last()); // shown, hidden
    }
    // One request per file: its GET says what a probe would.
    for (const RequeteRecue& r : serveur.Requetes())
        EXPECT_EQ(r.methode, "GET") << r.cible.constData();
}

TEST(TelechargeFichier, LegendeDeProgression) {
    // 28,57 Ko in slow drips: the rate appears after a second.
    ServeurTest serveur;
    serveur.Repond("*", "/liste", {.corps = Motif(29256), .goutteOctets = 4096, .goutteDelaiMs = 250});
    QTemporaryDir dossier;
    Transfert t;
    ASSERT_TRUE(t.Telecharge(serveur.Adresse("/liste"), dossier.filePath("Liste.tmp")));
    const QStringList& l = t.jauge.legendes;
    EXPECT_EQ(l.mid(1, 2), (QStringList{"4 % (1 Ko sur 28,57 Ko)", "7 % (2 Ko sur 28,57 Ko)"}));
    const QRegularExpression forme(R"(^(\d+) % \((\d+) Ko sur 28,57 Ko\)( - \d+ (octets?|Ko)/sec)?$)");
    for (int i = 1; i < l.size(); ++i)
        EXPECT_EQ(forme.match(l[i]).captured(1).toInt(), t.jauge.pourcentages[i]) << l[i];
    EXPECT_TRUE(l.last().startsWith("100 % (28 Ko sur 28,57 Ko) - "));
}

// Why a fetch failed, and whether another try may mend it; nothing is left, the old file stays.
TEST(TelechargeFichier, UnEchecOuUnArretNeLaisseRienEtGardeLAncienFichier) {
    ServeurTest serveur;
    const QByteArray corps = Motif(50000);
    serveur.Repond("*", "/apres", ReponseTest::Ok("apres"));
    // Six seconds of drips, stopped once more than a writer's block has come.
    const auto long_ = [](Fin fin) {
        return ReponseTest{.corps = Motif(4 << 20), .fin = fin, .goutteOctets = 65536, .goutteDelaiMs = 100};
    };
    enum Quoi { Echec, DossierImpossible, Arret };
    struct Cas {
        const char* raison; // told to the user
        ReponseTest get;
        Quoi quoi = Echec;
        QString adresse = QString(); // empty: the server's
        const char* arretSur = nullptr; // the stop once the server has this request
    };
    const Cas cas[] = {
        {"connexion coupée avant la fin du fichier", {.corps = corps, .coupeApres = 20000}},
        {"connexion coupée avant la fin du fichier", {.corps = corps, .fin = Fin::Chunked, .coupeApres = 20000}},
        {"connexion coupée avant la fin du fichier", {.corps = corps.left(3000), .longueurAnnoncee = 4000}},
        {"erreur HTTP 404 : fichier introuvable", ReponseTest::Statut(404, "<h1>404 Not Found</h1>")},
        {"fichier vide", ReponseTest::Ok("")}, // empty by the GET's own framing
        {"délai dépassé", {.corps = corps, .goutteOctets = 10000, .goutteDelaiMs = 4000}},
        {"fichier vide", {.fin = Fin::Fermeture}},
        {"délai dépassé", {.muet = true}},
        {"le serveur n'envoie qu'une partie du fichier (206) à une demande du fichier entier",
         {.corps = corps, .plages = true, .plageForcee = "bytes 0-99/50000"}},
        {"dossier non modifiable", ReponseTest::Ok(corps), DossierImpossible},
        {"arrêt demandé", long_(Fin::Longueur), Arret},
        {"arrêt demandé", long_(Fin::Chunked), Arret},
        // A silent server, or an endless one: the stop ends the fetch, not the size bound.
        {"arrêt demandé", {.muet = true}, Arret, {}, "GET"},
        {"arrêt demandé", {.corps = Motif(1 << 20), .fin = Fin::Fermeture, .sansFin = true}, Arret, {}, "GET"},
        {"connexion refusée", {}, Echec, QString("http://127.0.0.1:%1/f").arg(PortLibre())},
        {"nom d'hôte inconnu", {}, Echec, QString("http://%1/f").arg(NomSansAdresse)},
    };
    for (int i = 0; i < int(std::size(cas)); ++i) {
        const Cas& c = cas[i];
        const QByteArray chemin = "/" + QByteArray::number(i);
        serveur.Repond("GET", chemin, c.get);
        SCOPED_TRACE(c.raison);
        QTemporaryDir dossier;
        EcritFichier(dossier.filePath("fichier.bin"), "ancien contenu");
        Transfert t;
        t.Inet1.RequestTimeout = 2;
        class Arret arret;
        t.Inet1.Interruption = &arret;
        QObject contexte; // the timers die with the case
        QTimer guet;
        QObject::connect(&guet, &QTimer::timeout,
                         [&] { if (!serveur.Requetes(c.arretSur, chemin).isEmpty()) arret.Demande(); });
        if (c.arretSur) {
            t.bornes = BornesTransfert{.tailleMax = 256 << 20};
            guet.start(10);
        } else if (c.quoi == Arret) {
            QTimer::singleShot(800, &contexte, [&] { arret.Demande(); });
        }
        QString adresse = c.adresse.isEmpty() ? serveur.Adresse(chemin) : c.adresse;
        // A folder that is a regular file (the tests run as root, who may write anywhere else).
        const QString destination = dossier.filePath(c.quoi == DossierImpossible ? "fichier.bin/f" : "fichier.bin");
        IssueTransfert issue;
        EXPECT_FALSE(TelechargeFichier(t.Inet1, adresse, destination, &t.jauge, t.bornes.value_or(BornesTransfert{}), issue));
        guet.stop();
        EXPECT_EQ(issue.raison, c.raison);
        const QString r = c.raison;
        using Genre = IssueTransfert::Genre;
        EXPECT_EQ(issue.genre, c.quoi == Arret ? Genre::Arret
                               : r.startsWith("connexion") || r == "délai dépassé" ? Genre::Passager : Genre::Definitif);
        EXPECT_EQ(arret.Demandee(), c.quoi == Arret); // a stop is told from a failure so
        arret.Efface();
        EXPECT_EQ(Contenu(dossier), QStringList{"fichier.bin"});
        EXPECT_EQ(LitFichier(dossier.filePath("fichier.bin")), "ancien contenu");
        EXPECT_FALSE(t.jauge.visibilite.last());
        EXPECT_FALSE(t.Inet1.StillExecuting());
        EXPECT_TRUE(!c.arretSur || serveur.Requetes(c.arretSur, chemin).size() == 1);
        // A fetch after the stop: whatever the stopped one sent has arrived by its end.
        EXPECT_TRUE(c.quoi != Arret || t.Telecharge(serveur.Adresse("/apres"), dossier.filePath("apres")));
    }
}

TEST(TelechargeFichier, ResisteAuxToursImbriquesDeLaBoucleDEvenements) {
    // During a slow fetch, what a click could do: change the settings (which cancels
    // the request), start another fetch, close the window owning the gauge.
    ServeurTest serveur;
    const QByteArray corps = Motif(120000);
    serveur.Repond("*", "/lent", {.corps = corps, .goutteOctets = 20000, .goutteDelaiMs = 150});
    serveur.Repond("*", "/autre", ReponseTest::Ok("autre"));
    enum Quoi { Reglage, Deuxieme, JaugeDetruite };
    for (Quoi quoi : {Reglage, Deuxieme, JaugeDetruite}) {
        SCOPED_TRACE(int(quoi));
        serveur.OublieRequetes();
        QTemporaryDir dossier;
        Transfert t;
        QString raisonDeuxieme;
        auto jauge = std::make_unique<JaugeTest>();
        // Once the first drip has reached the gauge (not after a fixed time).
        QTimer guet;
        QObject::connect(&guet, &QTimer::timeout, [&] {
            if (!jauge || jauge->pourcentages.isEmpty() || jauge->pourcentages.back() <= 0)
                return;
            guet.stop();
            QString adresse = serveur.Adresse("/autre");
            double taille = 0;
            bool redirige = false;
            if (quoi == Reglage)
                ParametreConnexion(t.Inet1, true, QString(), "80", "21", QString(), QString());
            if (quoi == Deuxieme) // on the same transfer object
                TelechargeFichier(t.Inet1, adresse, dossier.filePath("a"), false, -1, nullptr, taille, redirige,
                                  &raisonDeuxieme);
            if (quoi == JaugeDetruite)
                jauge.reset();
        });
        guet.start(10);
        const bool reussi = t.Telecharge(serveur.Adresse("/lent"), dossier.filePath("f"), false, -1, jauge.get());
        // Cut short is a failure, never a short file.
        EXPECT_EQ(reussi, quoi != Reglage) << t.raison;
        EXPECT_EQ(t.raison, quoi == Reglage ? "transfert interrompu par une autre requête" : "");
        EXPECT_TRUE(LitFichier(dossier.filePath("f")) == (quoi == Reglage ? "" : corps));
        EXPECT_EQ(Contenu(dossier), quoi == Reglage ? QStringList() : QStringList{"f"});
        // The second is refused at once, and nothing asked of the server.
        EXPECT_EQ(raisonDeuxieme, quoi == Deuxieme ? "un autre téléchargement est en cours" : "");
        for (const RequeteRecue& r : serveur.Requetes())
            EXPECT_NE(r.cible, "/autre");
    }
}

TEST(TelechargeFichier, BornesDeTailleEtDEspaceLibre) {
    ServeurTest serveur;
    const QByteArray petit = Motif(100000);
    serveur.Repond("*", "/connu", ReponseTest::Ok(petit));
    serveur.Repond("GET", "/inconnu", {.corps = petit, .fin = Fin::Chunked});
    serveur.Repond("GET", "/flot", {.corps = Motif(256 << 10), .fin = Fin::Chunked, .sansFin = true});
    // Sizes announced by the GET: refused at its headers, not once on disk.
    for (const qint64 annonce : {qint64(64) << 20, qint64(12) << 20, qint64(2) << 30})
        serveur.Repond("GET", "/get" + QByteArray::number(annonce >> 20) + "M", {.corps = petit, .longueurAnnoncee = annonce});
    enum Ou { Disque, PetitDisque }; // PetitDisque: a tmpfs of 16 MiB
    const struct Cas {
        const char* chemin;
        BornesTransfert bornes;
        const char* raison; // empty: the fetch succeeds
        Ou ou = Disque;
    } cas[] = {
        {"/connu", {.tailleMax = 100000}, ""}, // exactly the bound
        {"/inconnu", {.tailleMax = 100000}, ""},
        {"/connu", {.tailleMax = 99999}, "le fichier dépasse 97,65 Ko"},
        {"/inconnu", {.tailleMax = 99999}, "le fichier dépasse 97,65 Ko"},
        {"/flot", {.tailleMax = 1 << 20}, "le fichier dépasse 1 Mo"},
        {"/get2048M", {.tailleMax = TailleMaxListe}, "le fichier dépasse 1 Go"},
        {"/get64M", {.tailleMax = 1 << 20}, "le fichier dépasse 1 Mo"},
        {"/connu", {.espaceLibreMin = 8 << 20}, "", PetitDisque},
        {"/inconnu", {.espaceLibreMin = 8 << 20}, "", PetitDisque},
        // A length not announced: each check keeps room for the next step (2 MiB) of the body.
        {"/inconnu", {.espaceLibreMin = 15 << 20}, "il resterait moins de 15 Mo d'espace libre dans le dossier", PetitDisque},
        {"/flot", {.espaceLibreMin = 8 << 20}, "il resterait moins de 8 Mo d'espace libre dans le dossier", PetitDisque},
        {"/get12M", {.espaceLibreMin = 8 << 20}, "il resterait moins de 8 Mo d'espace libre dans le dossier", PetitDisque},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.chemin << " " << c.bornes.tailleMax << " " << c.bornes.espaceLibreMin);
        QTemporaryDir dossier;
        std::optional<DossierMonte> montage;
        if (c.ou == PetitDisque) {
            montage.emplace(dossier.path(), DossierMonte::Tmpfs, 16 << 20);
            if (!montage->Erreur().isEmpty())
                GTEST_SKIP() << "espace libre : " << montage->Erreur();
        }
        EcritFichier(dossier.filePath("f"), "ancien contenu");
        Transfert t;
        t.bornes = c.bornes;
        // The free space, looked at all along the fetch.
        qint64 minimum = EspaceLibreDe(dossier.path());
        QTimer sonde;
        QObject::connect(&sonde, &QTimer::timeout, [&] { minimum = std::min(minimum, EspaceLibreDe(dossier.path())); });
        sonde.start(1);
        const bool reussi = t.Telecharge(serveur.Adresse(c.chemin), dossier.filePath("f"));
        sonde.stop();
        EXPECT_EQ(reussi, *c.raison == 0);
        EXPECT_EQ(t.raison, c.raison);
        EXPECT_TRUE(LitFichier(dossier.filePath("f")) == (reussi ? petit : QByteArray("ancien contenu")));
        EXPECT_EQ(Contenu(dossier), QStringList{"f"});
        EXPECT_GE(minimum, c.bornes.espaceLibreMin);
    }
}

TEST(Inet, GetEtOpenURLJusquALaFinOuALEchec) {
    ServeurTest serveur;
    const QByteArray corps = Motif(300000), gros = Motif(24 * 1024 * 1024 + 17);
    serveur.Repond("GET", "/longueur", ReponseTest::Ok(corps));
    serveur.Repond("GET", "/redirige", {.statut = 301, .entetes = "Location: /etape\r\n"});
    serveur.Repond("GET", "/etape", {.statut = 302, .entetes = "Location: /longueur\r\n"});
    // What follows the announced end is not the resource.
    serveur.Repond("GET", "/plus", {.corps = corps.left(100), .longueurAnnoncee = 60});
    serveur.Repond("GET", "/coupe", {.corps = corps, .coupeApres = 20000});
    serveur.Repond("GET", "/gros", ReponseTest::Ok(gros));
    Inet inet;
    QList<int> etats;
    QObject::connect(&inet, &Inet::StateChanged, [&](int e) { etats.append(e); });
    Inet::Vide derniere; // why the last read was empty
    const auto litTout = [&](int taille) { // checking that no chunk is larger than asked
        QByteArray tout;
        for (QByteArray morceau; !(morceau = inet.GetChunk(taille, &derniere)).isEmpty(); tout += morceau)
            EXPECT_LE(morceau.size(), taille);
        return tout;
    };
    const std::tuple<QString, bool, QByteArray> cas[] = {
        {serveur.Adresse("/longueur"), true, corps},   {serveur.Adresse("/redirige"), true, corps},
        {serveur.Adresse("/plus"), true, corps.left(60)},
        {serveur.Adresse("/absent"), false, ""}, // a 404 with its page
        {serveur.Adresse("/coupe"), false, corps.left(20000)},
        // Network schemes only: a list must not make us read local files.
        {"file://" + QCoreApplication::applicationFilePath(), false, ""},
    };
    for (const auto& [adresse, reussit, lu] : cas) {
        SCOPED_TRACE(adresse.toStdString());
        etats.clear();
        inet.Execute(adresse, "GET");
        ASSERT_TRUE(AttendQue([&] { return !etats.isEmpty(); }, 15000));
        EXPECT_TRUE(litTout(1024) == lu);
        EXPECT_EQ(derniere, reussit ? Inet::Vide::Fin : Inet::Vide::Echec);
        ASSERT_TRUE(AttendQue([&] { return !inet.StillExecuting(); }, 15000));
        // 12 as soon as the response has begun; 11 once, after any 12, on failure.
        EXPECT_EQ(etats, (reussit ? QList<int>{12} : lu.isEmpty() ? QList<int>{11} : QList<int>{12, 11}));
        // The whole-resource fetch: the same data (nothing on failure), and no state change.
        etats.clear();
        EXPECT_TRUE(inet.OpenURL(adresse) == (reussit ? lu : QByteArray()));
        EXPECT_TRUE(etats.isEmpty());
    }
    for (const RequeteRecue& r : serveur.Requetes())
        EXPECT_TRUE(r.entetes.contains("User-Agent: Le Ramaglin\r\n"));

    // Far more than the buffers hold, read after a while: the transfer waits for the
    // reader. The first request is cancelled while it waits; the next starts afresh.
    etats.clear();
    inet.Execute(serveur.Adresse("/gros"), "GET");
    AttendQue([] { return false; }, 500);
    EXPECT_FALSE(inet.GetChunk(1024, &derniere).isEmpty());
    inet.Cancel();
    EXPECT_TRUE(inet.GetChunk(1024, &derniere).isEmpty());
    EXPECT_EQ(derniere, Inet::Vide::Remplacee);
    inet.Execute(serveur.Adresse("/gros"), "GET");
    AttendQue([] { return false; }, 500);
    EXPECT_TRUE(litTout(65536) == gros);
    EXPECT_EQ(etats, (QList<int>{12, 12})); // nothing more from the cancelled one
}

// Real servers: nginx (HTTP, HTTPS), the proxy in every form a user types it or the
// system's, FTP. HTTPS never goes on in clear behind a redirection. One GET, no HEAD.
TEST(ServeursReels, NginxProxyHttpsEtFtp) {
    QTemporaryDir site, cible, cles;
    const QByteArray contenu = Motif(700 * 1024 + 5);
    ASSERT_TRUE(EcritFichier(site.filePath("fichier.bin"), contenu));
    ASSERT_TRUE(EcritFichier(site.filePath("clair.bin"), contenu));
    ASSERT_EQ(CreeCertificat(cles.path()), "");
    Nginx http(site.path(), "location = /ancien.bin { return 301 /fichier.bin; }");
    ASSERT_TRUE(http.Demarre()) << http.Erreur();
    Nginx https(site.path(),
                QString("location = /get.bin { return 302 %1; }"
                        "location = /ancien.bin { return 302 /fichier.bin; }")
                    .arg(http.Adresse("/clair.bin")),
                cles.filePath("serveur.pem"), cles.filePath("serveur.key"));
    Tinyproxy proxy;
    ServeurFtp ftp(site.path());
    for (ServeurReel* serveur : std::initializer_list<ServeurReel*>{&https, &proxy, &ftp})
        ASSERT_TRUE(serveur->Demarre()) << serveur->Erreur();
    const QString port = QString::number(proxy.Port()), clair = "redirection refusée d'une adresse chiffrée vers une adresse en clair";
    struct Cas {
        const char* nom;
        QString adresse;
        bool reussit;
        QString proxy = {}, portProxy = {}; // as typed in the settings ("système": http_proxy)
        QString raison = {};                // checked when given
        bool autorite = true;               // the test's authority trusted, over TLS
    };
    const Cas cas[] = {
        {"fichier", http.Adresse("/fichier.bin"), true},
        {"redirection", http.Adresse("/ancien.bin"), true},
        {"absent", http.Adresse("/absent.bin"), false, {}, {}, "erreur HTTP 404 : fichier introuvable"},
        {"proxy explicite", http.Adresse("/fichier.bin"), true, "127.0.0.1", port},
        // A proxy typed with its port keeps it (the port field, 80, is for one naming none).
        {"proxy avec schéma", http.Adresse("/fichier.bin"), true, "http://127.0.0.1:" + port, "80"},
        {"proxy avec port", http.Adresse("/fichier.bin"), true, "127.0.0.1:" + port + "/", "80"},
        {"proxy du système", http.Adresse("/fichier.bin"), true, "système"},
        {"https", https.Adresse("/fichier.bin"), true},
        {"https redirigé", https.Adresse("/ancien.bin"), true},
        {"https vers clair au GET", https.Adresse("/get.bin"), false, {}, {}, clair},
        // The system's store does not know the test's authority.
        {"https sans l'autorité", https.Adresse("/fichier.bin"), false, {}, {}, {}, false},
        {"ftp", ftp.Adresse("/fichier.bin"), true},
        {"ftp absent", ftp.Adresse("/absent.bin"), false},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        // Through the proxy: its log has the GET of the address.
        const QString requete = "GET " + c.adresse + " HTTP/1.1";
        const qsizetype avant = proxy.Journal().count(requete);
        Transfert t;
        if (c.proxy == "système")
            qputenv("http_proxy", proxy.Adresse(QString()).toUtf8());
        else if (!c.proxy.isEmpty())
            ParametreConnexion(t.Inet1, true, c.proxy, c.portProxy, "21", {}, {});
        if (c.autorite && c.adresse.startsWith("https:"))
            t.Inet1.CertificatsAutorite = cles.filePath("serveur.pem"); // instead of the system's store
        EXPECT_EQ(t.Telecharge(c.adresse, cible.filePath(c.nom)), c.reussit);
        qunsetenv("http_proxy");
        EXPECT_TRUE(LitFichier(cible.filePath(c.nom)) == (c.reussit ? contenu : QByteArray()));
        EXPECT_TRUE(c.raison.isEmpty() || t.raison == c.raison) << t.raison;
        // A refused redirection is not followed: the address stays the one asked.
        EXPECT_EQ(t.redirige, c.adresse.contains("ancien"));
        EXPECT_EQ(t.adresseFinale, QString(c.adresse).replace("ancien", "fichier"));
        EXPECT_EQ(proxy.Journal().count(requete), avant + !c.proxy.isEmpty());
    }
    EXPECT_FALSE(http.Journal().contains("/clair.bin"));
    for (ServeurReel* serveur : std::initializer_list<ServeurReel*>{&http, &https, &proxy})
        EXPECT_FALSE(serveur->Journal().contains("HEAD "));
}

TEST(ConvertitFinsDeLigne, ChaqueLFPrecedeDeCROuRienNeChange) {
    // Read in blocks of 64 KiB: line ends sit across a block's edge.
    const QByteArray x(65535, 'x'), xx(65536, 'x'), crlf = QByteArray("ligne\r\n").repeated(20000);
    const std::pair<QByteArray, QByteArray> cas[] = {
        {"\na\nb\r\nc\rd\r\n\n", "\r\na\r\nb\r\nc\rd\r\n\r\n"},
        {xx + "\nfin", xx + "\r\nfin"}, // LF at the start of the second block
        {x + "\r\nfin", x + "\r\nfin"}, // CR at the end of the first block
        {x + "\n\n", x + "\r\n\r\n"},   // LF at the end of the first block
        // The first LF without its CR comes blocks after the start.
        {crlf + "a\nb\r\nc\n", crlf + "a\r\nb\r\nc\r\n"},
        {crlf, crlf},
        {"", ""},
    };
    for (const auto& [entree, attendu] : cas) {
        SCOPED_TRACE(entree.size());
        QTemporaryDir dossier;
        EcritFichier(dossier.filePath("Liste.tmp"), entree);
        EXPECT_TRUE(ConvertitFinsDeLigne(dossier.filePath("Liste.tmp"), dossier.filePath("Liste.tmp2")));
        EXPECT_TRUE(LitFichier(dossier.filePath("Liste.tmp")) == attendu);
        EXPECT_EQ(Contenu(dossier), QStringList{"Liste.tmp"});
    }
    QTemporaryDir absente;
    EXPECT_FALSE(ConvertitFinsDeLigne(absente.filePath("absente"), absente.filePath("absente2")));
    // A full disk or a read-only folder: the repair fails, the list stays as it was.
    const QByteArray liste = QByteArray("nom\tcolonne\n").repeated(150000); // 1.7 Mo, 1.9 with the CR
    for (DossierMonte::Genre genre : {DossierMonte::Tmpfs, DossierMonte::LectureSeule}) {
        SCOPED_TRACE(int(genre));
        QTemporaryDir dossier;
        const QString chemin = dossier.filePath("Liste.tmp");
        std::optional<DossierMonte> montage;
        if (genre == DossierMonte::Tmpfs) // holds the list, not the list and its repair
            montage.emplace(dossier.path(), genre, 3 << 20);
        ASSERT_TRUE(EcritFichier(chemin, liste));
        if (genre == DossierMonte::LectureSeule)
            montage.emplace(dossier.path(), genre);
        if (!montage->Erreur().isEmpty())
            GTEST_SKIP() << montage->Erreur();
        EXPECT_FALSE(ConvertitFinsDeLigne(chemin, chemin + "2"));
        EXPECT_TRUE(LitFichier(chemin) == liste);
        EXPECT_EQ(Contenu(dossier), QStringList{"Liste.tmp"});
    }
}

TEST(FichierSansErreur, ReconnaitLesPagesDErreur) {
    const QByteArray blanc200(200, ' ');
    const std::pair<QByteArray, bool> cas[] = {
        {"PK\x03\x04 archive", true}, {"abcd", false}, {"abcde", true}, // 5 bytes at least
        {"<html><h1>Server Error</h1></html>", false}, {"ERREUR : introuvable", false},
        {"<h1>404 Not Found</h1>", false}, {"HTTP 404 Not Found", false}, {"page404.html", true},
        {blanc200 + "error", true}, // words looked for in the first 200 bytes only...
        {blanc200 + blanc200 + "An error has occurred...", false}, // ...this one in 1000
    };
    QTemporaryDir dossier;
    for (const auto& [contenu, attendu] : cas) {
        EcritFichier(dossier.filePath("f"), contenu);
        EXPECT_EQ(FichierSansErreur(dossier.filePath("f")), attendu) << contenu.trimmed().constData();
    }
}

// The rest of a cut file that comes short, though its own length says so, is a cut too: the
// file does not take the destination's place; the next fetch makes it whole.
TEST(TelechargeFichier, RepriseCourte) {
    constexpr qint64 N = 2 * 1024 * 1024;
    const QByteArray corps = Motif(N);
    const ReponseTest entiere{.entetes = "ETag: \"v\"\r\n", .corps = corps, .plages = true, .validateur = "\"v\""};
    ReponseTest coupee = entiere, courte = entiere;
    coupee.coupeApres = N / 2;
    courte.plageCourte = 1000;
    ServeurTest serveur;
    serveur.RepondSuite("GET", "/f.bin", {coupee, courte, entiere});
    QTemporaryDir dossier;
    const QString destination = dossier.filePath("f.bin");
    TransfertRun t;
    EXPECT_FALSE(t.TelechargeRun(serveur.Adresse("/f.bin"), destination));
    EXPECT_FALSE(t.TelechargeRun(serveur.Adresse("/f.bin"), destination));
    EXPECT_EQ(t.issue.genre, IssueTransfert::Genre::Passager);
    EXPECT_TRUE(t.issue.raison.endsWith(QString("octets reçus sur les %1 annoncés").arg(N))) << t.issue.raison.toStdString();
    EXPECT_FALSE(QFileInfo::exists(destination));
    EXPECT_TRUE(t.TelechargeRun(serveur.Adresse("/f.bin"), destination)) << t.issue.raison.toStdString();
    EXPECT_TRUE(LitFichier(destination) == corps);
}

// A cut transfer keeps its bytes; the next asks for the rest only (Range, If-Range).
// What cannot be continued starts from zero, never spliced; a 206 to a plain GET fails.
TEST(TelechargeFichier, RepriseApresUneCoupure) {
    constexpr qint64 N = 2 * 1024 * 1024 + 77;
    const QByteArray corps = Motif(N);
    const QByteArray v1 = "ETag: \"v1\"\r\n";
    const ReponseTest coupee{.entetes = v1, .corps = corps, .coupeApres = N / 2, .plages = true, .validateur = "\"v1\""};
    const ReponseTest entiere{.entetes = v1, .corps = corps, .plages = true, .validateur = "\"v1\""};
    // Occupe: another program holds the work file; Abandonne: its lock, from a program killed since.
    enum class Avant { Rien, Tronque, Allonge, Retire, Occupe, Abandonne, SansReponse };
    struct Cas {
        const char* nom;
        ReponseTest suite;            // the second GET's reply
        Avant avant = Avant::Rien;    // done to the work file between the two fetches
        bool avecPlage = true;        // the second GET asks for the rest
        qint64 maxEnvoye = N + N / 50; // body bytes the server sent for both fetches
        int gets = 2;
    };
    ReponseTest ignore = entiere, autre = entiere, sansPlage = entiere, mauvaisePlage = entiere, finFausse = entiere;
    ignore.plages = false;
    autre.entetes = "ETag: \"v2\"\r\n";
    autre.validateur = "\"v2\"";
    sansPlage.plageForcee = "-";
    mauvaisePlage.plageForcee = "bytes 5-" + QByteArray::number(N - 1) + "/" + QByteArray::number(N);
    finFausse.finPlageFausse = true;
    const Cas cas[] = {
        {"reprise", entiere},
        {"plage ignorée", ignore, Avant::Rien, true, 2 * N},
        // The server's answer to If-Range: the whole new file.
        {"validateur changé", autre, Avant::Rien, true, 2 * N},
        {"206 sans Content-Range", sansPlage, Avant::Rien, true, 3 * N, 3},
        {"206 d'une autre plage", mauvaisePlage, Avant::Rien, true, 3 * N, 3},
        {"206 qui finit avant la fin", finFausse, Avant::Rien, true, 3 * N, 3},
        {"fichier de travail tronqué", entiere, Avant::Tronque, true, 2 * N},
        {"fichier de travail allongé", entiere, Avant::Allonge, false, 2 * N},
        {"fichier de travail retiré", entiere, Avant::Retire, false, 2 * N},
        {"fichier de travail tenu par un autre programme", entiere, Avant::Occupe, false, 2 * N},
        {"fichier de travail d'un programme tué", entiere, Avant::Abandonne},
        // A try without any answer in between keeps the work file.
        {"pas de réponse entre deux essais", {.statut = 0}, Avant::SansReponse, true, N + N / 50, 3},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        ServeurTest serveur;
        serveur.RepondSuite("GET", "/f.bin", {coupee, c.suite, entiere});
        QTemporaryDir dossier;
        const QString destination = dossier.filePath("f.bin");
        EcritFichier(destination, "ancien contenu");
        TransfertRun t;
        EXPECT_FALSE(t.TelechargeRun(serveur.Adresse("/f.bin"), destination));
        EXPECT_EQ(t.issue.genre, IssueTransfert::Genre::Passager) << t.issue.raison.toStdString();
        EXPECT_TRUE(t.issue.repriseGardee);
        EXPECT_EQ(LitFichier(destination), "ancien contenu");
        const QStringList travail = QDir(dossier.filePath(DossierReprise)).entryList({"*.part"});
        ASSERT_EQ(travail.size(), 1);
        const QString part = QDir(dossier.filePath(DossierReprise)).filePath(travail[0]);
        const qint64 garde = QFileInfo(part).size();
        EXPECT_GT(garde, 0);
        EXPECT_LE(garde, N / 2);
        if (c.avant == Avant::Tronque || c.avant == Avant::Allonge)
            QFile::resize(part, c.avant == Avant::Tronque ? garde / 3 : N + 10);
        if (c.avant == Avant::Retire)
            QFile::remove(part);
        EXPECT_FALSE(c.avant == Avant::SansReponse && t.TelechargeRun(serveur.Adresse("/f.bin"), destination));
        QLockFile autre(part.chopped(5) + ".verrou");
        ASSERT_TRUE(c.avant != Avant::Occupe || autre.tryLock(0));
        if (c.avant == Avant::Abandonne) { // this program's lock, with the number of one that has ended
            QProcess fini;
            fini.start("true");
            ASSERT_TRUE(fini.waitForStarted() && autre.tryLock(0));
            const QString chemin = part.chopped(5) + ".verrou";
            const QByteArray mort = QByteArray::number(fini.processId()), verrou = LitFichier(chemin);
            ASSERT_TRUE(fini.waitForFinished());
            autre.unlock();
            EcritFichier(chemin, mort + verrou.mid(verrou.indexOf('\n')));
        }

        EXPECT_TRUE(t.TelechargeRun(serveur.Adresse("/f.bin"), destination)) << t.issue.raison.toStdString();
        EXPECT_TRUE(LitFichier(destination) == corps);
        EXPECT_EQ(QFileInfo::exists(dossier.filePath(DossierReprise)), c.avant == Avant::Occupe);
        EXPECT_EQ(QFileInfo(part).size(), c.avant == Avant::Occupe ? garde : 0);
        const auto gets = serveur.Requetes("GET", "/f.bin");
        ASSERT_EQ(gets.size(), c.gets);
        const qint64 depuis = c.avant == Avant::Tronque ? garde / 3 : garde;
        EXPECT_EQ(gets[1].Entete("Range"), c.avecPlage ? "bytes=" + QByteArray::number(depuis) + "-" : "");
        EXPECT_EQ(gets[1].Entete("If-Range"), c.avecPlage ? "\"v1\"" : "");
        const bool toutRedemande = c.gets == 3 && c.avant != Avant::SansReponse;
        EXPECT_EQ(gets.last().Entete("Range").isEmpty(), toutRedemande || !c.avecPlage);
        EXPECT_LE(serveur.OctetsCorpsEnvoyes(), c.maxEnvoye);
        if (c.avant == Avant::Occupe) {
            // Once let go, the work file serves the next fetch.
            autre.unlock();
            EXPECT_TRUE(t.TelechargeRun(serveur.Adresse("/f.bin"), destination)) << t.issue.raison.toStdString();
            EXPECT_EQ(serveur.Requetes("GET", "/f.bin").last().Entete("Range"),
                      "bytes=" + QByteArray::number(garde) + "-");
            EXPECT_FALSE(QFileInfo::exists(dossier.filePath(DossierReprise)));
        }
    }
}

// Retry-After as seconds or an HTTP date; what is not a sensible wait is none (-1).
TEST(SecondesRetryAfter, SecondesDatesEtValeursAberrantes) {
    const QDateTime maintenant = QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0), QTimeZone::utc());
    const std::pair<const char*, qint64> cas[] = {
        {"2", 2}, {" 120 ", 120}, {"0", 0}, {"7200", 7200},
        {"Mon, 07 Dec 2026 08:00:30 GMT", 30}, {"Monday, 07-Dec-26 08:01:00 GMT", 60},
        {"Mon Dec  7 08:00:05 2026", 5}, {"Mon, 07 Dec 2026 07:00:00 GMT", 0},
        {"-5", -1}, {"99999999999999999999999", -1}, {"864000", -1}, {"bientôt", -1}, {"", -1},
        {"1.5", -1}, {"Tue, 08 Dec 2027 08:00:00 GMT", -1},
    };
    for (const auto& [texte, attendu] : cas)
        EXPECT_EQ(SecondesRetryAfter(texte, maintenant), attendu) << texte;
}
