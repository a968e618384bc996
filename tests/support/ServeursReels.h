// Real servers on 127.0.0.1 for a test's lifetime (nginx, tinyproxy, anonymous FTP), each
// with its configuration and logs in its own folder.
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
    // Starts the server and waits for its port; false, the reason in Erreur(), when it cannot.
    bool Demarre();
    quint16 Port() const { return port_; }
    QString Erreur() const { return erreur_; }
    QString Adresse(const QString& chemin) const {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(schema_).arg(port_).arg(chemin);
    }
    QString Journal() const; // the server's log of the requests it handled

protected:
    // {port} and {dossier} replaced in `commande` and `configuration` ({dossier}/serveur.conf).
    ServeurReel(QString schema, QStringList commande, QString configuration, QString journal)
        : schema_(schema), configuration_(configuration), journal_(journal), commande_(commande) {}

private:
    QString schema_, configuration_, journal_, erreur_;
    QStringList commande_;
    QTemporaryDir dossier_;
    Processus processus_;
    quint16 port_ = 0;
};

// Serves `racine`, `directives` inside the server block; with a certificate and key, TLS and HTTP/2.
struct Nginx final : ServeurReel {
    explicit Nginx(const QString& racine, const QString& directives = QString(),
                   const QString& certificat = QString(), const QString& cle = QString());
};
// Logs "... GET http://..." per request; `directives` go into its configuration
// ("BasicAuth user password" for a proxy that asks for a login).
struct Tinyproxy final : ServeurReel { explicit Tinyproxy(const QString& directives = QString()); };
struct ServeurFtp final : ServeurReel { explicit ServeurFtp(const QString& racine); }; // anonymous

// Writes serveur.pem and serveur.key to `dossier`: a self-signed certificate for 127.0.0.1 and
// localhost (its own authority). Returns openssl's complaint, or an empty text.
QString CreeCertificat(const QString& dossier);

// One nginx per suite (`Suite`: the deriving class) serving `racine`.
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
