// The transfer object against our own test server, for what the transfer
// layer's tests do not show: the state changes, the size of the chunks, the
// whole-resource fetch, the full buffer that suspends the transfer, and
// cancellation. The server's other answers are played through the layer.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>

#include "net/Inet.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"

namespace {

// An Inet with its state changes recorded.
struct Essai {
    Inet inet;
    QList<int> etats;
    Inet::Vide derniere = Inet::Vide::Aucun; // why the last read of LitTout was empty
    Essai() { QObject::connect(&inet, &Inet::StateChanged, [this](int e) { etats.append(e); }); }
    bool AttendEtats(qsizetype n) { return AttendQue([&] { return etats.size() >= n; }, 15000); }
    bool AttendFin() { return AttendQue([&] { return !inet.StillExecuting(); }, 15000); }
    // Reads up to the end, checking that no chunk is larger than asked.
    QByteArray LitTout(int taille = 1024) {
        QByteArray tout;
        for (QByteArray morceau; !(morceau = inet.GetChunk(taille, &derniere)).isEmpty();
             tout += morceau)
            EXPECT_LE(morceau.size(), taille);
        return tout;
    }
};

} // namespace

TEST(Inet, GetEtOpenURLJusquALaFinOuALEchec) {
    ServeurTest serveur;
    const QByteArray corps = Motif(300000);
    serveur.Repond("GET", "/longueur", ReponseTest::Ok(corps));
    serveur.Repond("GET", "/redirige", {.statut = 301, .entetes = "Location: /etape\r\n"});
    serveur.Repond("GET", "/etape", {.statut = 302, .entetes = "Location: /longueur\r\n"});
    // What follows the announced end is not the resource.
    serveur.Repond("GET", "/plus", {.corps = corps.left(100), .longueurAnnoncee = 60});
    serveur.Repond("GET", "/coupe", {.corps = corps, .coupeApres = 20000});
    struct Cas {
        QString adresse;
        bool reussit;
        QByteArray lu;
    };
    const Cas cas[] = {
        {serveur.Adresse("/longueur"), true, corps},
        {serveur.Adresse("/redirige"), true, corps},
        {serveur.Adresse("/plus"), true, corps.left(60)},
        {serveur.Adresse("/absent"), false, ""}, // a 404 with its page
        {serveur.Adresse("/coupe"), false, corps.left(20000)},
        // Network schemes only: a list must not make us read local files.
        {"file://" + QCoreApplication::applicationFilePath(), false, ""},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.adresse.toStdString());
        Essai e;
        e.inet.Execute(c.adresse, "GET");
        ASSERT_TRUE(e.AttendEtats(1));
        EXPECT_TRUE(e.LitTout() == c.lu);
        EXPECT_EQ(e.derniere, c.reussit ? Inet::Vide::Fin : Inet::Vide::Echec);
        ASSERT_TRUE(e.AttendFin());
        // 12 as soon as the response has begun; 11 once, after any 12, on failure.
        EXPECT_EQ(e.etats, (c.reussit       ? QList<int>{12}
                            : c.lu.isEmpty() ? QList<int>{11}
                                             : QList<int>{12, 11}));
        EXPECT_EQ(e.inet.DerniereErreur().isEmpty(), c.reussit);
        // The whole-resource fetch: the same data, and no state change.
        e.etats.clear();
        QBuffer tampon;
        tampon.open(QIODevice::WriteOnly);
        EXPECT_EQ(e.inet.OpenURL(c.adresse, tampon), c.reussit);
        EXPECT_TRUE(!c.reussit || tampon.data() == c.lu);
        EXPECT_TRUE(e.etats.isEmpty());
    }
    for (const RequeteRecue& r : serveur.Requetes())
        EXPECT_TRUE(r.entetes.contains("User-Agent: Le Ramaglin\r\n"));
}

TEST(Inet, LeTamponPleinSuspendLeTransfertSansRienPerdre) {
    // Far more than the buffer and the sockets hold, read only after a while:
    // the transfer waits for the reader, then goes on where it stopped. The
    // first request is cancelled while it waits; the next one starts afresh.
    ServeurTest serveur;
    const QByteArray corps = Motif(24 * 1024 * 1024 + 17);
    serveur.Repond("GET", "/gros", ReponseTest::Ok(corps));
    Essai e;
    e.inet.Execute(serveur.Adresse("/gros"), "GET");
    AttendQue([] { return false; }, 500);
    // Suspended, not grown: what waits is the ring (1 MiB) and at most one of
    // libcurl's blocks, not the 24 MiB the loopback would have delivered.
    EXPECT_GT(e.inet.OctetsEnAttente(), 512 * 1024);
    EXPECT_LE(e.inet.OctetsEnAttente(), (1 << 20) + 128 * 1024);
    Inet::Vide pourquoi;
    EXPECT_FALSE(e.inet.GetChunk(1024, &pourquoi).isEmpty());
    EXPECT_EQ(pourquoi, Inet::Vide::Aucun);
    e.inet.Cancel();
    EXPECT_FALSE(e.inet.StillExecuting());
    EXPECT_TRUE(e.inet.GetChunk(1024, &pourquoi).isEmpty());
    EXPECT_EQ(pourquoi, Inet::Vide::Remplacee);
    e.inet.Execute(serveur.Adresse("/gros"), "GET");
    AttendQue([] { return false; }, 500);
    EXPECT_TRUE(e.inet.StillExecuting());
    EXPECT_TRUE(e.LitTout(65536) == corps);
    EXPECT_EQ(e.etats, (QList<int>{12, 12})); // nothing more from the cancelled one
}
