// Launchers of the real servers used by the tests.
#include "support/ServeursReels.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

bool Ecrit(const QString& chemin, const QString& texte) {
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(texte.toUtf8()) == texte.toUtf8().size();
}

QString Lit(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

quint16 PortLibre() {
    QTcpServer serveur;
    serveur.listen(QHostAddress::LocalHost, 0);
    return serveur.serverPort();
}

bool AttendPort(quint16 port, int ms) {
    QDeadlineTimer limite(ms);
    while (!limite.hasExpired()) {
        QTcpSocket essai;
        essai.connectToHost(QHostAddress::LocalHost, port);
        if (essai.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

ServeurReel::~ServeurReel() { Arrete(); }

bool ServeurReel::Demarre() {
    if (!dossier_.isValid()) {
        erreur_ = QStringLiteral("dossier temporaire");
        return false;
    }
    // Some servers drop their privileges: let them write their logs.
    QFile::setPermissions(dossier_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                               QFileDevice::WriteOther | QFileDevice::ExeOther);
    // The port is free when chosen; another process may take it before the
    // server does, so try a few.
    for (int essai = 0; essai < 5; ++essai) {
        port_ = PortLibre();
        QString programme;
        QStringList arguments;
        if (!Prepare(port_, programme, arguments)) {
            erreur_ = QStringLiteral("configuration");
            return false;
        }
        processus_.setProcessChannelMode(QProcess::MergedChannels);
        processus_.setStandardOutputFile(dossier_.filePath(QStringLiteral("sortie.txt")));
        processus_.start(programme, arguments);
        if (!processus_.waitForStarted(5000)) {
            erreur_ = programme + QStringLiteral(" : ") + processus_.errorString();
            return false;
        }
        QDeadlineTimer limite(10000);
        while (!limite.hasExpired() && processus_.state() == QProcess::Running) {
            if (AttendPort(port_, 100))
                return true;
        }
        erreur_ = Lit(dossier_.filePath(QStringLiteral("sortie.txt")));
        Arrete();
    }
    return false;
}

void ServeurReel::Arrete() {
    if (processus_.state() == QProcess::NotRunning)
        return;
    processus_.terminate();
    if (!processus_.waitForFinished(3000)) {
        processus_.kill();
        processus_.waitForFinished(3000);
    }
}

// ---------------------------------------------------------------- nginx

Nginx::Nginx(QString racine, QString directives, QString certificat, QString cle)
    : racine_(std::move(racine)), directives_(std::move(directives)),
      certificat_(std::move(certificat)), cle_(std::move(cle)) {}

QString Nginx::Adresse(const QString& chemin) const {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(certificat_.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(Port())
        .arg(chemin);
}

QString Nginx::JournalAcces() const { return Lit(dossier_.filePath(QStringLiteral("access.log"))); }

bool Nginx::Prepare(quint16 port, QString& programme, QStringList& arguments) {
    const QString d = dossier_.path();
    QString tls;
    if (!certificat_.isEmpty())
        tls = QStringLiteral(" ssl;\n        ssl_certificate %1;\n        ssl_certificate_key %2")
                  .arg(certificat_, cle_);
    // One process, in the foreground, everything under its own folder.
    const QString config = QStringLiteral(R"(daemon off;
master_process off;
worker_processes 1;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 64; }
http {
    access_log %1/access.log;
    client_body_temp_path %1/body;
    proxy_temp_path %1/proxy;
    fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi;
    scgi_temp_path %1/scgi;
    default_type application/octet-stream;
    sendfile on;
    server {
        listen 127.0.0.1:%2%3;
        root %4;
        %5
    }
}
)")
                               .arg(d)
                               .arg(port)
                               .arg(tls, racine_, directives_);
    programme = QStringLiteral("nginx");
    arguments = {QStringLiteral("-p"), d, QStringLiteral("-c"), d + QStringLiteral("/nginx.conf"),
                 QStringLiteral("-e"), d + QStringLiteral("/error.log")};
    return Ecrit(d + QStringLiteral("/nginx.conf"), config);
}

// ---------------------------------------------------------------- tinyproxy

QString Tinyproxy::Journal() const { return Lit(dossier_.filePath(QStringLiteral("tinyproxy.log"))); }

bool Tinyproxy::Prepare(quint16 port, QString& programme, QStringList& arguments) {
    const QString d = dossier_.path();
    const QString config = QStringLiteral(R"(Port %1
Listen 127.0.0.1
Timeout 30
LogFile "%2/tinyproxy.log"
LogLevel Info
PidFile "%2/tinyproxy.pid"
MaxClients 20
Allow 127.0.0.1
)")
                               .arg(port)
                               .arg(d);
    programme = QStringLiteral("tinyproxy");
    arguments = {QStringLiteral("-d"), QStringLiteral("-c"), d + QStringLiteral("/tinyproxy.conf")};
    return Ecrit(d + QStringLiteral("/tinyproxy.conf"), config);
}

// ---------------------------------------------------------------- FTP

ServeurFtp::ServeurFtp(QString racine) : racine_(std::move(racine)) {}

QString ServeurFtp::Adresse(const QString& chemin) const {
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(Port()).arg(chemin);
}

bool ServeurFtp::Prepare(quint16 port, QString& programme, QStringList& arguments) {
    // The distribution's Python, where its pyftpdlib package lives.
    programme = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
    arguments = {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-p"),
                 QString::number(port), QStringLiteral("-d"), racine_, QStringLiteral("-i"),
                 QStringLiteral("127.0.0.1")};
    return true;
}

// ---------------------------------------------------------------- certificates

bool AutoriteTest::Openssl(const QStringList& arguments) {
    QProcess p;
    p.setWorkingDirectory(dossier_.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        erreur_ = QString::fromUtf8(p.readAll()) + p.errorString();
        return false;
    }
    return true;
}

bool AutoriteTest::Cree() {
    if (!dossier_.isValid())
        return false;
    Ecrit(dossier_.filePath(QStringLiteral("ext.cnf")),
          QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                         "basicConstraints=CA:FALSE\n"
                         "keyUsage=digitalSignature,keyEncipherment\n"
                         "extendedKeyUsage=serverAuth\n"));
    return Openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=Autorite de test", "-keyout", "ca.key", "-out", "ca.pem"}) &&
           Openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                    "serveur.key", "-out", "serveur.csr"}) &&
           Openssl({"x509", "-req", "-in", "serveur.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-days", "2", "-extfile", "ext.cnf", "-out",
                    "serveur.pem"});
}
