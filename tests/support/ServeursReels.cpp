// Launchers of the real servers used by the tests.
#include "support/ServeursReels.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include "support/Outils.h"

quint16 PortLibre() {
    QTcpServer serveur;
    serveur.listen(QHostAddress::LocalHost, 0);
    return serveur.serverPort();
}

ServeurReel::ServeurReel(QString schema, QStringList commande, QString configuration,
                         QString journal)
    : schema_(std::move(schema)), commande_(std::move(commande)),
      configuration_(std::move(configuration)), journal_(std::move(journal)) {}

ServeurReel::~ServeurReel() { Arrete(); }

QString ServeurReel::Adresse(const QString& chemin) const {
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(schema_).arg(port_).arg(chemin);
}

QString ServeurReel::Journal() const {
    return QString::fromUtf8(LitFichier(dossier_.filePath(journal_)));
}

bool ServeurReel::Demarre() {
    // Servers that drop their privileges must still write their logs here.
    QFile::setPermissions(dossier_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                               QFileDevice::WriteOther | QFileDevice::ExeOther);
    // The port is free when chosen, but another process may take it before the
    // server does: try a few.
    for (int essai = 0; essai < 5; ++essai) {
        port_ = PortLibre();
        const auto remplace = [this](QString texte) {
            return texte.replace(QStringLiteral("{port}"), QString::number(port_))
                .replace(QStringLiteral("{dossier}"), dossier_.path());
        };
        QStringList commande;
        for (const QString& mot : commande_)
            commande << remplace(mot);
        if (!dossier_.isValid() ||
            !EcritFichier(dossier_.filePath(QStringLiteral("serveur.conf")),
                          remplace(configuration_).toUtf8())) {
            erreur_ = QStringLiteral("configuration");
            return false;
        }
        processus_.setProcessChannelMode(QProcess::MergedChannels);
        processus_.setStandardOutputFile(dossier_.filePath(QStringLiteral("sortie.txt")));
        processus_.start(commande.takeFirst(), commande);
        if (!processus_.waitForStarted(5000)) {
            erreur_ = processus_.program() + QStringLiteral(" : ") + processus_.errorString();
            return false;
        }
        for (QDeadlineTimer limite(10000); !limite.hasExpired();) {
            QTcpSocket essai;
            essai.connectToHost(QHostAddress::LocalHost, port_);
            if (essai.waitForConnected(100))
                return true;
            if (processus_.waitForFinished(20))
                break; // the port was taken, or the server refused its configuration
        }
        erreur_ = QString::fromUtf8(LitFichier(dossier_.filePath(QStringLiteral("sortie.txt"))));
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

// One process in the foreground, everything under its own folder.
Nginx::Nginx(const QString& racine, const QString& directives, const QString& certificat,
             const QString& cle)
    : ServeurReel(certificat.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"),
                  {"nginx", "-p", "{dossier}", "-c", "{dossier}/serveur.conf", "-e",
                   "{dossier}/error.log"},
                  QStringLiteral(R"(daemon off; master_process off; worker_processes 1;
pid {dossier}/nginx.pid; error_log {dossier}/error.log;
events { worker_connections 64; }
http {
    access_log {dossier}/access.log; default_type application/octet-stream;
    client_body_temp_path {dossier}/body; proxy_temp_path {dossier}/proxy;
    fastcgi_temp_path {dossier}/fastcgi; uwsgi_temp_path {dossier}/uwsgi;
    scgi_temp_path {dossier}/scgi;
    server { listen 127.0.0.1:{port}%1; root %2; %3 }
}
)")
                      .arg(certificat.isEmpty() ? QString()
                                                : QStringLiteral(" ssl; ssl_certificate %1; "
                                                                 "ssl_certificate_key %2")
                                                      .arg(certificat, cle),
                           racine, directives),
                  QStringLiteral("access.log")) {}

Tinyproxy::Tinyproxy()
    : ServeurReel(QStringLiteral("http"), {"tinyproxy", "-d", "-c", "{dossier}/serveur.conf"},
                  QStringLiteral("Port {port}\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                                 "Allow 127.0.0.1\nLogLevel Info\n"
                                 "LogFile \"{dossier}/tinyproxy.log\"\n"
                                 "PidFile \"{dossier}/tinyproxy.pid\"\n"),
                  QStringLiteral("tinyproxy.log")) {}

// The distribution's Python, where its pyftpdlib package lives.
ServeurFtp::ServeurFtp(const QString& racine)
    : ServeurReel(QStringLiteral("ftp"),
                  {QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3", "-m",
                   "pyftpdlib", "-p", "{port}", "-d", racine, "-i", "127.0.0.1"},
                  QString(), QStringLiteral("sortie.txt")) {}

bool AutoriteTest::Cree() {
    EcritFichier(dossier_.filePath(QStringLiteral("ext.cnf")),
                 "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                 "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n");
    for (const char* arguments :
         {"req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Autorite-de-test -keyout ca.key "
          "-out ca.pem",
          "req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout serveur.key -out serveur.csr",
          "x509 -req -in serveur.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile "
          "ext.cnf -out serveur.pem"}) {
        QProcess p;
        p.setWorkingDirectory(dossier_.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), QString::fromLatin1(arguments).split(' '));
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            erreur_ = QString::fromUtf8(p.readAll()) + p.errorString();
            return false;
        }
    }
    return true;
}
