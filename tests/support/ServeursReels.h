// Real servers for the tests, started on 127.0.0.1 by the test that needs them
// and stopped with it: nginx serving a folder (plain or TLS), tinyproxy, an
// anonymous FTP server; each keeps its configuration and logs in its own folder.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>

#include "support/Processus.h"

// A port nobody listens on right now (the kernel's pick).
quint16 PortLibre();

class ServeurReel {
public:
    virtual ~ServeurReel();
    // Starts the server and waits until it accepts connections; false (with
    // the reason in Erreur()) when the program is missing or does not start.
    bool Demarre();
    quint16 Port() const { return port_; }
    QString Erreur() const { return erreur_; }
    QString Adresse(const QString& chemin) const {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(schema_).arg(port_).arg(chemin);
    }
    QString Journal() const; // the server's log of the requests it handled

protected:
    // {port} and {dossier} are replaced in `commande` (the program, then its
    // arguments) and `configuration` (written to {dossier}/serveur.conf).
    ServeurReel(QString schema, QStringList commande, QString configuration, QString journal)
        : schema_(schema), configuration_(configuration), journal_(journal), commande_(commande) {}

private:
    QString schema_, configuration_, journal_, erreur_;
    QStringList commande_;
    QTemporaryDir dossier_;
    Processus processus_;
    quint16 port_ = 0;
};

// Serves `racine`; `directives` go inside the server block (locations,
// redirections). With a certificate and its key, the server speaks TLS and
// offers HTTP/2.
struct Nginx final : ServeurReel {
    explicit Nginx(const QString& racine, const QString& directives = QString(),
                   const QString& certificat = QString(), const QString& cle = QString());
};
// Logs "... GET http://..." per request; `directives` go into its configuration
// ("BasicAuth user password" for a proxy that asks for a login).
struct Tinyproxy final : ServeurReel { explicit Tinyproxy(const QString& directives = QString()); };
struct ServeurFtp final : ServeurReel { explicit ServeurFtp(const QString& racine); }; // anonymous

// Writes serveur.pem and serveur.key to `dossier`: a throw-away certificate for
// 127.0.0.1 and localhost, signed by itself (so also the authority to trust).
// Returns what openssl said when it failed, an empty text otherwise.
QString CreeCertificat(const QString& dossier);

// One nginx per suite (`Suite` is the deriving class) serving `racine`, which
// the suite's own SetUpTestSuite may fill after calling this one.
template <typename Suite>
class SuiteNginx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        racine = new QTemporaryDir;
        nginx = new Nginx(racine->path());
        ASSERT_TRUE(nginx->Demarre()) << nginx->Erreur().toStdString();
    }
    static void TearDownTestSuite() { delete nginx; delete racine; }
    static inline QTemporaryDir* racine = nullptr;
    static inline Nginx* nginx = nullptr;
};
