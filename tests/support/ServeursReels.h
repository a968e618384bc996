// Real servers for the tests, started on 127.0.0.1 by the test that needs
// them and stopped with it: nginx serving a folder (plain or TLS), tinyproxy,
// an anonymous FTP server (pyftpdlib), and a throw-away certificate authority
// made with openssl. Each keeps its configuration and logs in a folder of its own.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A port nobody listens on right now (the kernel's pick).
quint16 PortLibre();

// A server process whose configuration, output and logs live in its own folder.
class ServeurReel {
public:
    virtual ~ServeurReel();
    ServeurReel(const ServeurReel&) = delete;
    ServeurReel& operator=(const ServeurReel&) = delete;

    // Starts the server and waits until it accepts connections; false (with
    // the reason in Erreur()) when the program is missing or does not start.
    bool Demarre();
    quint16 Port() const { return port_; }
    QString Erreur() const { return erreur_; }
    // "http://127.0.0.1:port" (or https, ftp) + chemin.
    QString Adresse(const QString& chemin) const;
    // The server's log of the requests it handled.
    QString Journal() const;

protected:
    // In `commande` (the program, then its arguments) and `configuration`
    // (written to {dossier}/serveur.conf), {port} and {dossier} are replaced
    // when the server starts.
    ServeurReel(QString schema, QStringList commande, QString configuration, QString journal);

private:
    void Arrete();
    QString schema_;
    QStringList commande_;
    QString configuration_, journal_;
    QTemporaryDir dossier_;
    QProcess processus_;
    quint16 port_ = 0;
    QString erreur_;
};

class Nginx final : public ServeurReel {
public:
    // Serves `racine`; `directives` go inside the server block (locations,
    // redirections). With a certificate and its key, the server speaks TLS.
    explicit Nginx(const QString& racine, const QString& directives = QString(),
                   const QString& certificat = QString(), const QString& cle = QString());
};

// Its log has one "Request ... GET http://..." line per request.
class Tinyproxy final : public ServeurReel {
public:
    Tinyproxy();
};

// Anonymous, read-only, serving `racine`.
class ServeurFtp final : public ServeurReel {
public:
    explicit ServeurFtp(const QString& racine);
};

// A certificate authority of the test and a server certificate it signed for
// 127.0.0.1 and localhost.
class AutoriteTest final {
public:
    bool Cree(); // false when openssl fails
    QString Autorite() const { return dossier_.filePath(QStringLiteral("ca.pem")); }
    QString Certificat() const { return dossier_.filePath(QStringLiteral("serveur.pem")); }
    QString Cle() const { return dossier_.filePath(QStringLiteral("serveur.key")); }
    QString Erreur() const { return erreur_; }

private:
    QTemporaryDir dossier_;
    QString erreur_;
};
