// The transfer layer against real servers on 127.0.0.1: nginx (a file, a
// redirection, a missing file, HTTPS with a test authority), tinyproxy as the
// explicit proxy and as the system's proxy, and an FTP server.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "support/ServeursReels.h"

TEST(ServeursReels, NginxProxyHttpsEtFtp) {
    QTemporaryDir site, cible;
    const QByteArray contenu = Motif(700 * 1024 + 5);
    ASSERT_TRUE(EcritFichier(site.filePath("fichier.bin"), contenu));
    AutoriteTest autorite;
    ASSERT_TRUE(autorite.Cree()) << autorite.Erreur().toStdString();
    Nginx http(site.path(), "location = /ancien.bin { return 301 /fichier.bin; }");
    Nginx https(site.path(), QString(), autorite.Certificat(), autorite.Cle());
    Tinyproxy proxy;
    ServeurFtp ftp(site.path());
    for (ServeurReel* serveur : std::initializer_list<ServeurReel*>{&http, &https, &proxy, &ftp})
        ASSERT_TRUE(serveur->Demarre()) << serveur->Erreur().toStdString();

    enum Proxy { Aucun, Explicite, DuSysteme };
    struct Cas {
        const char* nom;
        QString adresse;
        bool reussit;
        Proxy proxy = Aucun;
        QString autorite = QString(); // trusted instead of the system's store
    };
    const Cas cas[] = {
        {"fichier", http.Adresse("/fichier.bin"), true},
        {"redirection", http.Adresse("/ancien.bin"), true},
        {"absent", http.Adresse("/absent.bin"), false},
        {"proxy explicite", http.Adresse("/fichier.bin"), true, Explicite},
        {"proxy du système", http.Adresse("/fichier.bin"), true, DuSysteme},
        {"https", https.Adresse("/fichier.bin"), true, Aucun, autorite.Autorite()},
        // The system's store does not know the test's authority.
        {"https sans l'autorité", https.Adresse("/fichier.bin"), false},
        {"ftp", ftp.Adresse("/fichier.bin"), true},
        {"ftp absent", ftp.Adresse("/absent.bin"), false},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        // Through the proxy: its log has the GET (and the HEAD) of the address.
        const QString requete = "GET " + c.adresse + " HTTP/1.1";
        const qsizetype avant = proxy.Journal().count(requete);
        const QString destination = cible.filePath(c.nom);
        Inet inet;
        QObject::connect(&inet, &Inet::StateChanged, &inet,
                         [&inet](int etat) { GereEtatTransfert(inet, etat); });
        if (c.proxy == Explicite)
            ParametreConnexion(inet, true, "127.0.0.1", QString::number(proxy.Port()), "21",
                               QString(), QString());
        if (c.proxy == DuSysteme)
            qputenv("http_proxy", proxy.Adresse(QString()).toUtf8());
        inet.CertificatsAutorite = c.autorite;
        QString adresse = c.adresse;
        double taille = 0;
        bool redirige = false;
        EXPECT_EQ(TelechargeFichier(inet, adresse, destination, false, -1, nullptr, taille,
                                    redirige),
                  c.reussit);
        qunsetenv("http_proxy");
        EXPECT_TRUE(LitFichier(destination) == (c.reussit ? contenu : QByteArray()));
        EXPECT_EQ(redirige, c.adresse.contains("ancien"));
        EXPECT_EQ(adresse, QString(c.adresse).replace("ancien", "fichier"));
        EXPECT_EQ(proxy.Journal().count(requete), avant + (c.proxy != Aucun));
    }
    // The probe is a HEAD, the fetch a GET.
    EXPECT_TRUE(http.Journal().contains("\"HEAD /fichier.bin HTTP/1.1\" 200"));
    EXPECT_TRUE(http.Journal().contains("\"GET /fichier.bin HTTP/1.1\" 200"));
}
