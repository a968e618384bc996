// Real servers for the tests, started on 127.0.0.1 by the test that needs
// them and stopped with it: nginx serving a folder (plain or TLS), tinyproxy,
// an anonymous FTP server (pyftpdlib), and a throw-away certificate authority
// made with openssl. Each writes its configuration and logs in a temporary
// folder of its own.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A port nobody listens on right now (the kernel's pick).
quint16 PortLibre();
// True once something accepts connections on 127.0.0.1:port.
bool AttendPort(quint16 port, int ms);

// A server process whose output and logs live in its own folder.
class ServeurReel {
public:
    virtual ~ServeurReel();
    ServeurReel(const ServeurReel&) = delete;
    ServeurReel& operator=(const ServeurReel&) = delete;

    // Starts the server and waits until it accepts connections; false (with
    // the reason in Erreur()) when the program is missing or does not start.
    bool Demarre();
    void Arrete();
    quint16 Port() const { return port_; }
    QString Dossier() const { return dossier_.path(); }
    QString Erreur() const { return erreur_; }

protected:
    ServeurReel() = default;
    // Writes the configuration for `port`; gives the program and arguments.
    virtual bool Prepare(quint16 port, QString& programme, QStringList& arguments) = 0;

    QTemporaryDir dossier_;

private:
    QProcess processus_;
    quint16 port_ = 0;
    QString erreur_;
};

class Nginx final : public ServeurReel {
public:
    // Serves `racine`; `directives` go inside the server block (locations,
    // redirections). With a certificate and its key, the server speaks TLS.
    explicit Nginx(QString racine, QString directives = QString(),
                   QString certificat = QString(), QString cle = QString());
    // "http://127.0.0.1:port" (or https) + chemin.
    QString Adresse(const QString& chemin) const;
    QString JournalAcces() const;

private:
    bool Prepare(quint16 port, QString& programme, QStringList& arguments) override;
    QString racine_, directives_, certificat_, cle_;
};

class Tinyproxy final : public ServeurReel {
public:
    // The proxy's log: one "Request ... GET http://..." line per request.
    QString Journal() const;

private:
    bool Prepare(quint16 port, QString& programme, QStringList& arguments) override;
};

class ServeurFtp final : public ServeurReel {
public:
    // Anonymous, read-only, serving `racine`.
    explicit ServeurFtp(QString racine);
    QString Adresse(const QString& chemin) const;

private:
    bool Prepare(quint16 port, QString& programme, QStringList& arguments) override;
    QString racine_;
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
    bool Openssl(const QStringList& arguments);
    QTemporaryDir dossier_;
    QString erreur_;
};
