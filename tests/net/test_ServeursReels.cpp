// The transfer layer against real servers on 127.0.0.1: nginx (a file, a
// redirection, a missing file, HTTPS with a test authority), tinyproxy as the
// explicit proxy and as the system's proxy, and an FTP server.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "support/Outils.h"
#include "support/ServeursReels.h"

namespace {

QByteArray Motif(qsizetype taille) {
    QByteArray octets(taille, Qt::Uninitialized);
    for (qsizetype i = 0; i < taille; ++i)
        octets[i] = char(i * 31 + i / 509);
    return octets;
}

struct Transfert {
    Inet Inet1;
    Transfert() {
        QObject::connect(&Inet1, &Inet::StateChanged, &Inet1,
                         [this](int etat) { GereEtatTransfert(Inet1, etat); });
    }
    // The fetch as the program's callers make it.
    bool Telecharge(QString& adresse, const QString& destination, bool* redirige = nullptr) {
        double taille = 0;
        bool r = false;
        const bool resultat =
            TelechargeFichier(Inet1, adresse, destination, false, -1, nullptr, taille, r);
        if (redirige)
            *redirige = r;
        return resultat;
    }
};

class ServeursReels : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isValid() && cible.isValid());
        ASSERT_TRUE(EcritFichier(site.filePath("fichier.bin"), contenu));
        ASSERT_TRUE(EcritFichier(site.filePath("dossier/page.html"), "<html>page</html>"));
    }

    const QByteArray contenu = Motif(700 * 1024 + 5);
    QTemporaryDir site;
    QTemporaryDir cible;
};

} // namespace

TEST_F(ServeursReels, NginxFichierRedirectionEtAbsent) {
    Nginx nginx(site.path(), QStringLiteral("location = /ancien.bin { return 301 /fichier.bin; }"));
    ASSERT_TRUE(nginx.Demarre()) << nginx.Erreur().toStdString();
    struct Cas {
        const char* chemin;
        bool resultat;
        bool redirige;
    };
    for (const Cas& c : {Cas{"/fichier.bin", true, false}, Cas{"/ancien.bin", true, true},
                         Cas{"/absent.bin", false, false}}) {
        SCOPED_TRACE(c.chemin);
        Transfert t;
        QString adresse = nginx.Adresse(c.chemin);
        const QString destination = cible.filePath("recu.bin");
        QFile::remove(destination);
        bool redirige = false;
        EXPECT_EQ(t.Telecharge(adresse, destination, &redirige), c.resultat);
        EXPECT_EQ(redirige, c.redirige);
        EXPECT_TRUE(LitFichier(destination) == (c.resultat ? contenu : QByteArray()));
        EXPECT_EQ(adresse, nginx.Adresse(c.redirige ? "/fichier.bin" : c.chemin));
    }
    // The probe is a HEAD, the fetch a GET.
    EXPECT_TRUE(nginx.JournalAcces().contains(QStringLiteral("\"HEAD /fichier.bin HTTP/1.1\" 200")));
    EXPECT_TRUE(nginx.JournalAcces().contains(QStringLiteral("\"GET /fichier.bin HTTP/1.1\" 200")));
}

TEST_F(ServeursReels, ProxyExpliciteEtProxyDuSysteme) {
    Nginx nginx(site.path());
    ASSERT_TRUE(nginx.Demarre()) << nginx.Erreur().toStdString();
    Tinyproxy proxy;
    ASSERT_TRUE(proxy.Demarre()) << proxy.Erreur().toStdString();
    const QString requete = QStringLiteral("GET %1 HTTP/1.1").arg(nginx.Adresse("/fichier.bin"));

    {
        SCOPED_TRACE("explicite");
        Transfert t;
        ParametreConnexion(t.Inet1, true, QStringLiteral("127.0.0.1"), QString::number(proxy.Port()),
                           QStringLiteral("21"), QString(), QString());
        QString adresse = nginx.Adresse("/fichier.bin");
        ASSERT_TRUE(t.Telecharge(adresse, cible.filePath("a.bin")));
        EXPECT_TRUE(LitFichier(cible.filePath("a.bin")) == contenu);
        EXPECT_TRUE(proxy.Journal().contains(requete)) << proxy.Journal().toStdString();
        EXPECT_TRUE(proxy.Journal().contains(
            QStringLiteral("HEAD %1 HTTP/1.1").arg(nginx.Adresse("/fichier.bin"))));
    }
    {
        SCOPED_TRACE("système");
        const int avant = int(proxy.Journal().count(requete));
        qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(proxy.Port()).toUtf8());
        Transfert t; // system settings: the default
        QString adresse = nginx.Adresse("/fichier.bin");
        const bool resultat = t.Telecharge(adresse, cible.filePath("b.bin"));
        qunsetenv("http_proxy");
        ASSERT_TRUE(resultat);
        EXPECT_EQ(proxy.Journal().count(requete), avant + 1);
    }
    {
        SCOPED_TRACE("sans proxy");
        const int avant = int(proxy.Journal().count(requete));
        Transfert t;
        QString adresse = nginx.Adresse("/fichier.bin");
        ASSERT_TRUE(t.Telecharge(adresse, cible.filePath("c.bin")));
        EXPECT_EQ(proxy.Journal().count(requete), avant);
    }
}

TEST_F(ServeursReels, HttpsVerifieLeCertificat) {
    AutoriteTest autorite;
    ASSERT_TRUE(autorite.Cree()) << autorite.Erreur().toStdString();
    Nginx nginx(site.path(), QString(), autorite.Certificat(), autorite.Cle());
    ASSERT_TRUE(nginx.Demarre()) << nginx.Erreur().toStdString();
    ASSERT_TRUE(nginx.Adresse("/").startsWith(QStringLiteral("https://")));

    {
        SCOPED_TRACE("autorité reconnue");
        Transfert t;
        t.Inet1.CertificatsAutorite = autorite.Autorite();
        QString adresse = nginx.Adresse("/fichier.bin");
        EXPECT_TRUE(t.Telecharge(adresse, cible.filePath("ok.bin")));
        EXPECT_TRUE(LitFichier(cible.filePath("ok.bin")) == contenu);
    }
    {
        // The system's store does not know the test's authority.
        SCOPED_TRACE("magasin du système");
        Transfert t;
        QString adresse = nginx.Adresse("/fichier.bin");
        EXPECT_FALSE(t.Telecharge(adresse, cible.filePath("refuse.bin")));
        EXPECT_FALSE(QFile::exists(cible.filePath("refuse.bin")));
    }
}

TEST_F(ServeursReels, Ftp) {
    ServeurFtp ftp(site.path());
    ASSERT_TRUE(ftp.Demarre()) << ftp.Erreur().toStdString();
    for (const char* chemin : {"/fichier.bin", "/dossier/page.html"}) {
        SCOPED_TRACE(chemin);
        Transfert t;
        QString adresse = ftp.Adresse(chemin);
        const QString destination = cible.filePath(QFileInfo(chemin).fileName());
        ASSERT_TRUE(t.Telecharge(adresse, destination));
        EXPECT_TRUE(LitFichier(destination) == LitFichier(site.filePath(chemin + 1)));
    }
    Transfert t;
    QString absent = ftp.Adresse("/absent.bin");
    EXPECT_FALSE(t.Telecharge(absent, cible.filePath("absent.bin")));
    EXPECT_FALSE(QFile::exists(cible.filePath("absent.bin")));
}
