#include "support/ServeursReels.h"

#include <QFile>
#include <QTcpServer>

#include "support/Outils.h"

quint16 PortLibre() {
    QTcpServer serveur;
    serveur.listen(QHostAddress::LocalHost, 0);
    return serveur.serverPort();
}

ServeurReel::~ServeurReel() = default;

QString ServeurReel::Journal() const { return LitFichier(dossier_.filePath(journal_)); }

bool ServeurReel::Demarre() {
    // Servers that drop their privileges must still write their logs here.
    QFile::setPermissions(dossier_.path(), QFileDevice::Permissions(0x7777)); // rwx for all
    // Another process may take the free port before the server does: try a few.
    for (int essai = 0; essai < 5; ++essai) {
        port_ = PortLibre();
        const auto remplace = [this](QString texte) {
            return texte.replace("{port}", QString::number(port_)).replace("{dossier}", dossier_.path());
        };
        QStringList commande = remplace(commande_.join('\n')).split('\n');
        if (!EcritFichier(dossier_.filePath("serveur.conf"), remplace(configuration_).toUtf8()))
            return erreur_ = "configuration", false;
        if (!processus_.Lance(commande, dossier_.filePath("sortie.txt")))
            return erreur_ = commande.value(0) + " : impossible de lancer le programme", false;
        if (processus_.AttendPort(port_, 10000))
            return true;
        erreur_ = LitFichier(dossier_.filePath("sortie.txt"));
        processus_.Arrete();
    }
    return false;
}

// One process in the foreground, everything under its own folder.
Nginx::Nginx(const QString& racine, const QString& directives, const QString& certificat, const QString& cle)
    : ServeurReel(certificat.isEmpty() ? "http" : "https",
                  {"nginx", "-p", "{dossier}", "-c", "{dossier}/serveur.conf", "-e", "{dossier}/error.log"},
                  QStringLiteral(R"(daemon off; master_process off; worker_processes 1;
pid {dossier}/nginx.pid; error_log {dossier}/error.log; events { worker_connections 64; }
http { default_type application/octet-stream;
    log_format journal '$remote_addr - $remote_user [$time_local] "$request" $status $body_bytes_sent '
                       '"$http_referer" "$http_user_agent" connexion=$connection';
    access_log {dossier}/access.log journal;
    client_body_temp_path {dossier}/body; proxy_temp_path {dossier}/proxy;
    fastcgi_temp_path {dossier}/fastcgi; uwsgi_temp_path {dossier}/uwsgi;
    scgi_temp_path {dossier}/scgi; server { listen 127.0.0.1:{port}%1; root %2; %3 } }
)")
                      .arg(certificat.isEmpty() ? QString()
                                                : " ssl http2; ssl_certificate " + certificat +
                                                      "; ssl_certificate_key " + cle,
                           racine, directives),
                  "access.log") {}

Tinyproxy::Tinyproxy(const QString& directives)
    : ServeurReel("http", {"tinyproxy", "-d", "-c", "{dossier}/serveur.conf"},
                  "Port {port}\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
                  "LogLevel Info\nLogFile \"{dossier}/tinyproxy.log\"\n"
                  "PidFile \"{dossier}/tinyproxy.pid\"\n" + directives + "\n",
                  "tinyproxy.log") {}

// The distribution's Python, where its pyftpdlib package lives.
ServeurFtp::ServeurFtp(const QString& racine)
    : ServeurReel("ftp",
                  {QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3", "-m",
                   "pyftpdlib", "-p", "{port}", "-d", racine, "-i", "127.0.0.1"},
                  QString(), "sortie.txt") {}

QString CreeCertificat(const QString& dossier) {
    const ProgrammeTermine e = Execute(QString("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                        "-addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout serveur.key "
                                        "-out serveur.pem").split(' '),
                                dossier, 60000);
    return e.code == 0 ? QString() : e.Raison();
}
