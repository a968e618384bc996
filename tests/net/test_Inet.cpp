// The transfer object against our own test server: headers of HEAD, GET with
// redirections, the chunked receive and its end, the state changes, failures,
// cancellation, the whole-resource fetch and the stop request.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QTimer>

#include "net/Inet.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "util/ModuleRamaglin.h"

namespace {

QByteArray Motif(qsizetype taille) {
    QByteArray octets(taille, Qt::Uninitialized);
    for (qsizetype i = 0; i < taille; ++i)
        octets[i] = char('a' + (i * 7 + i / 251) % 26);
    return octets;
}

// An Inet with its state changes recorded.
struct Essai {
    Inet inet;
    QList<int> etats;

    Essai() {
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { etats.append(etat); });
    }
    bool AttendFin(int ms = 15000) {
        return AttendQue([this] { return !inet.StillExecuting(); }, ms);
    }
    bool AttendEtat(int ms = 15000) {
        return AttendQue([this] { return !etats.isEmpty(); }, ms);
    }
    // Reads up to the end, checking that no chunk is larger than asked.
    QByteArray LitTout(int taille = 1024) {
        QByteArray tout;
        for (;;) {
            const QByteArray morceau = inet.GetChunk(taille);
            EXPECT_LE(morceau.size(), taille);
            if (morceau.isEmpty())
                return tout;
            tout += morceau;
        }
    }
};

} // namespace

TEST(Inet, HeadDonneSesEntetesSansSuivreLesRedirections) {
    ServeurTest serveur;
    ReponseTest fichier = ReponseTest::Ok(Motif(1234));
    fichier.Entete("Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT");
    serveur.Repond("*", "/fichier", fichier);
    serveur.Repond("*", "/ancien", ReponseTest::Redirection(302, "/fichier"));
    serveur.Repond("HEAD", "/refuse", ReponseTest::Statut(405, "nope"));
    ReponseTest flot = ReponseTest::Ok("abc");
    flot.fin = ReponseTest::Fin::Chunked;
    serveur.Repond("*", "/flot", flot);

    struct Cas {
        const char* chemin;
        QList<int> etats;
        const char* longueur;
        const char* location;
        const char* date;
    };
    const Cas cas[] = {
        {"/fichier", {12}, "1234", "", "Tue, 01 Dec 2026 10:00:00 GMT"},
        // The notice's own length is not the resource's.
        {"/ancien", {12}, "", "/fichier", ""},
        {"/refuse", {11}, "", "", ""},
        {"/flot", {12}, "", "", ""},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.chemin);
        Essai e;
        serveur.OublieRequetes();
        e.inet.Execute(serveur.Adresse(c.chemin), QStringLiteral("HEAD"));
        EXPECT_TRUE(e.inet.StillExecuting());
        ASSERT_TRUE(e.AttendFin());
        EXPECT_EQ(e.etats, c.etats);
        EXPECT_EQ(e.inet.GetHeader(QStringLiteral("Content-length")), c.longueur);
        EXPECT_EQ(e.inet.GetHeader(QStringLiteral("LOCATION")), c.location);
        EXPECT_EQ(e.inet.GetHeader(QStringLiteral("Last-modified")), c.date);
        const QList<RequeteRecue> requetes = serveur.Requetes();
        ASSERT_EQ(requetes.size(), 1); // never followed
        EXPECT_EQ(requetes[0].methode, "HEAD");
        EXPECT_EQ(requetes[0].Entete("User-Agent"), "Le Ramaglin");
    }
}

TEST(Inet, GetRendLesDonneesEnMorceauxJusquALaFin) {
    ServeurTest serveur;
    const QByteArray corps = Motif(300000);
    serveur.Repond("GET", "/longueur", ReponseTest::Ok(corps));
    ReponseTest chunked = ReponseTest::Ok(corps);
    chunked.fin = ReponseTest::Fin::Chunked;
    chunked.goutteOctets = 70000;
    serveur.Repond("GET", "/chunked", chunked);
    ReponseTest fermeture = ReponseTest::Ok(corps);
    fermeture.fin = ReponseTest::Fin::Fermeture;
    serveur.Repond("GET", "/fermeture", fermeture);
    serveur.Repond("GET", "/redirige", ReponseTest::Redirection(301, "/etape"));
    serveur.Repond("GET", "/etape", ReponseTest::Redirection(302, "/longueur"));
    ReponseTest goutte = ReponseTest::Ok(corps.left(3000));
    goutte.goutteOctets = 500;
    goutte.goutteDelaiMs = 20;
    serveur.Repond("GET", "/goutte", goutte);
    ReponseTest plus = ReponseTest::Ok(corps.left(100));
    plus.longueurAnnoncee = 60; // what follows the announced end is not the resource
    serveur.Repond("GET", "/plus", plus);

    struct Cas {
        const char* chemin;
        QByteArray attendu;
        int morceau;
    };
    const Cas cas[] = {
        {"/longueur", corps, 1024}, {"/chunked", corps, 1024}, {"/fermeture", corps, 1024},
        {"/redirige", corps, 4096}, {"/goutte", corps.left(3000), 1024},
        {"/plus", corps.left(60), 1024},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.chemin);
        Essai e;
        e.inet.Execute(serveur.Adresse(c.chemin), QStringLiteral("GET"));
        ASSERT_TRUE(e.AttendEtat());
        EXPECT_EQ(e.etats, QList<int>{12}); // as soon as the response has begun
        EXPECT_TRUE(e.LitTout(c.morceau) == c.attendu);
        EXPECT_FALSE(e.inet.StillExecuting());
        EXPECT_EQ(e.etats, QList<int>{12});
        EXPECT_TRUE(e.inet.GetChunk(1024).isEmpty());
    }
}

TEST(Inet, LesEchecsDonnentLEtat11) {
    ServeurTest serveur;
    serveur.Repond("GET", "/absent",
                   ReponseTest::Statut(404, "<html><body>404 Not Found</body></html>"));
    serveur.Repond("GET", "/panne", ReponseTest::Statut(500, "<html>oops</html>"));
    ReponseTest coupe = ReponseTest::Ok(Motif(50000));
    coupe.coupeApres = 20000;
    serveur.Repond("GET", "/coupe", coupe);
    ReponseTest muet;
    muet.muet = true;
    serveur.Repond("*", "/muet", muet);
    ReponseTest lent = ReponseTest::Ok(Motif(1000));
    lent.goutteOctets = 100;
    lent.goutteDelaiMs = 3000; // a silence longer than the time-out, mid-body
    serveur.Repond("GET", "/lent", lent);
    const quint16 fermePort = [] {
        ServeurTest temporaire;
        return temporaire.Port();
    }();

    struct Cas {
        QString adresse;
        QList<int> etats; // the data read (if any) comes between 12 and 11
        bool donnees;
    };
    const Cas cas[] = {
        {serveur.Adresse("/absent"), {11}, false},
        {serveur.Adresse("/panne"), {11}, false},
        {serveur.Adresse("/coupe"), {12, 11}, true},
        {serveur.Adresse("/muet"), {11}, false},
        {serveur.Adresse("/lent"), {12, 11}, true},
        {QStringLiteral("http://127.0.0.1:%1/x").arg(fermePort), {11}, false},
        {QStringLiteral("http://hote-qui-n-existe-pas.invalid/x"), {11}, false},
        {QStringLiteral("gopher://127.0.0.1/x"), {11}, false},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.adresse.toStdString());
        Essai e;
        e.inet.RequestTimeout = 1;
        e.inet.Execute(c.adresse, QStringLiteral("GET"));
        ASSERT_TRUE(e.AttendEtat());
        const QByteArray lu = e.LitTout();
        EXPECT_EQ(!lu.isEmpty(), c.donnees);
        ASSERT_TRUE(e.AttendFin());
        EXPECT_EQ(e.etats, c.etats);
        EXPECT_FALSE(e.inet.DerniereErreur().isEmpty());
    }
}

TEST(Inet, LeTamponPleinSuspendLeTransfertSansRienPerdre) {
    // Far more than the buffer, read only after a while: the transfer waits
    // for the reader, then goes on where it stopped.
    ServeurTest serveur;
    const QByteArray corps = Motif(24 * 1024 * 1024 + 17);
    serveur.Repond("GET", "/gros", ReponseTest::Ok(corps));
    Essai e;
    e.inet.Execute(serveur.Adresse("/gros"), QStringLiteral("GET"));
    ASSERT_TRUE(e.AttendEtat());
    AttendQue([] { return false; }, 500);
    EXPECT_TRUE(e.inet.StillExecuting());
    const QByteArray lu = e.LitTout(65536);
    EXPECT_EQ(lu.size(), corps.size());
    EXPECT_TRUE(lu == corps);
    EXPECT_EQ(e.etats, QList<int>{12});
}

TEST(Inet, CancelArreteLaRequeteEtLaSuivanteRepart) {
    ServeurTest serveur;
    ReponseTest lent = ReponseTest::Ok(Motif(100000));
    lent.goutteOctets = 1000;
    lent.goutteDelaiMs = 20;
    serveur.Repond("GET", "/lent", lent);
    serveur.Repond("GET", "/court", ReponseTest::Ok("bonjour"));

    Essai e;
    e.inet.Execute(serveur.Adresse("/lent"), QStringLiteral("GET"));
    ASSERT_TRUE(e.AttendEtat());
    EXPECT_FALSE(e.inet.GetChunk(1024).isEmpty());
    e.inet.Cancel();
    EXPECT_FALSE(e.inet.StillExecuting());
    EXPECT_TRUE(e.inet.GetChunk(1024).isEmpty());
    AttendQue([] { return false; }, 100);
    EXPECT_EQ(e.etats, QList<int>{12}); // nothing more from the cancelled one

    e.etats.clear();
    e.inet.Execute(serveur.Adresse("/court"), QStringLiteral("GET"));
    ASSERT_TRUE(e.AttendEtat());
    EXPECT_EQ(e.LitTout(), "bonjour");
    EXPECT_EQ(e.etats, QList<int>{12});
}

TEST(Inet, UnCorpsVideFinitAussitot) {
    ServeurTest serveur;
    serveur.Repond("GET", "/vide", ReponseTest::Ok(QByteArray()));
    Essai e;
    e.inet.Execute(serveur.Adresse("/vide"), QStringLiteral("GET"));
    ASSERT_TRUE(e.AttendEtat());
    EXPECT_EQ(e.etats, QList<int>{12});
    EXPECT_TRUE(e.LitTout().isEmpty());
    EXPECT_FALSE(e.inet.StillExecuting());
}

TEST(Inet, OpenURLRendLaRessourceEntiere) {
    ServeurTest serveur;
    const QByteArray corps = Motif(2 * 1024 * 1024 + 3);
    ReponseTest sansLongueur = ReponseTest::Ok(corps);
    sansLongueur.fin = ReponseTest::Fin::Fermeture;
    serveur.Repond("GET", "/fichier", sansLongueur);
    serveur.Repond("GET", "/ancien", ReponseTest::Redirection(301, "/fichier"));
    serveur.Repond("GET", "/absent", ReponseTest::Statut(404, "<html>404 Not Found</html>"));

    Essai e;
    EXPECT_TRUE(e.inet.OpenURL(serveur.Adresse("/ancien")) == corps);
    EXPECT_TRUE(e.inet.OpenURL(serveur.Adresse("/absent")).isEmpty());
    QBuffer tampon;
    tampon.open(QIODevice::WriteOnly);
    EXPECT_TRUE(e.inet.OpenURL(serveur.Adresse("/fichier"), tampon));
    EXPECT_TRUE(tampon.data() == corps);
    EXPECT_FALSE(e.inet.StillExecuting());
    EXPECT_TRUE(e.etats.isEmpty()); // no state change for the whole-resource fetch
}

TEST(Inet, UneDemandeDArretLibereLaLecture) {
    ServeurTest serveur;
    ReponseTest goutte = ReponseTest::Ok(Motif(10000));
    goutte.goutteOctets = 10;
    goutte.goutteDelaiMs = 200;
    serveur.Repond("GET", "/goutte", goutte);

    Essai e;
    ArretDemande = false;
    e.inet.Execute(serveur.Adresse("/goutte"), QStringLiteral("GET"));
    ASSERT_TRUE(e.AttendEtat());
    QTimer::singleShot(300, [] { ArretDemande = true; });
    e.LitTout(); // ends with the stop request, long before the data
    EXPECT_TRUE(ArretDemande);
    EXPECT_TRUE(e.inet.StillExecuting());
    e.inet.Cancel();
    ArretDemande = false;
}
