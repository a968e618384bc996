// The tests' own HTTP server: one thread accepts, one thread per connection
// reads a request and plays the reply described for it, then closes.
#include "support/ServeurTest.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

QByteArray Raison(int statut) {
    switch (statut) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

ReponseTest ReponseTest::Ok(const QByteArray& corps) {
    ReponseTest r;
    r.corps = corps;
    return r;
}

ReponseTest ReponseTest::Statut(int statut, const QByteArray& corps) {
    ReponseTest r;
    r.statut = statut;
    r.corps = corps;
    return r;
}

ReponseTest ReponseTest::Redirection(int statut, const QByteArray& location) {
    ReponseTest r;
    r.statut = statut;
    r.Entete("Location", location);
    r.corps = "<html><body>Moved</body></html>";
    return r;
}

QByteArray RequeteRecue::Entete(const QByteArray& nom) const {
    for (const auto& [cle, valeur] : entetes)
        if (cle.compare(nom, Qt::CaseInsensitive) == 0)
            return valeur;
    return QByteArray();
}

ServeurTest::ServeurTest() {
    ecoute_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int oui = 1;
    ::setsockopt(ecoute_, SOL_SOCKET, SO_REUSEADDR, &oui, sizeof oui);
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    adresse.sin_port = 0;
    ::bind(ecoute_, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse);
    ::listen(ecoute_, 64);
    socklen_t longueur = sizeof adresse;
    ::getsockname(ecoute_, reinterpret_cast<sockaddr*>(&adresse), &longueur);
    port_ = ntohs(adresse.sin_port);
    fil_ = std::thread([this] { Ecoute(); });
}

ServeurTest::~ServeurTest() {
    arret_ = true;
    fil_.join();
    for (std::thread& t : connexions_)
        t.join();
    ::close(ecoute_);
}

QString ServeurTest::Adresse(const QString& chemin) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(chemin);
}

void ServeurTest::Repond(const QByteArray& methode, const QByteArray& chemin,
                         const ReponseTest& reponse) {
    std::lock_guard verrou(m_);
    reponses_[{methode, chemin}] = reponse;
}

QList<RequeteRecue> ServeurTest::Requetes() const {
    std::lock_guard verrou(m_);
    return requetes_;
}

void ServeurTest::OublieRequetes() {
    std::lock_guard verrou(m_);
    requetes_.clear();
}

ReponseTest ServeurTest::Cherche(const QByteArray& methode, const QByteArray& chemin) const {
    std::lock_guard verrou(m_);
    for (const QByteArray& m : {methode, QByteArray("*")}) {
        auto it = reponses_.find({m, chemin});
        if (it != reponses_.end())
            return it->second;
    }
    return ReponseTest::Statut(404, "<html><body><h1>404 Not Found</h1></body></html>");
}

void ServeurTest::Ecoute() {
    while (!arret_) {
        pollfd p{ecoute_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int client = ::accept4(ecoute_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        connexions_.emplace_back([this, client] {
            Sert(client);
            ::close(client);
        });
    }
}

bool ServeurTest::Dort(int ms) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < fin) {
        if (arret_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 5)));
    }
    return !arret_;
}

bool ServeurTest::Envoie(int socket, const char* p, qint64 n) {
    while (n > 0) {
        if (arret_)
            return false;
        pollfd pf{socket, POLLOUT, 0};
        if (::poll(&pf, 1, 20) <= 0)
            continue;
        const ssize_t envoye = ::send(socket, p, size_t(n), MSG_NOSIGNAL);
        if (envoye <= 0)
            return false;
        p += envoye;
        n -= envoye;
    }
    return true;
}

void ServeurTest::Sert(int socket) {
    // The request: everything up to the blank line.
    QByteArray lu;
    while (!lu.contains("\r\n\r\n")) {
        if (arret_ || lu.size() > 65536)
            return;
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        char tampon[4096];
        const ssize_t n = ::recv(socket, tampon, sizeof tampon, 0);
        if (n <= 0)
            return;
        lu.append(tampon, n);
    }
    const QList<QByteArray> lignes = lu.left(lu.indexOf("\r\n\r\n")).split('\n');
    RequeteRecue requete;
    const QList<QByteArray> premiere = lignes.value(0).trimmed().split(' ');
    requete.methode = premiere.value(0);
    requete.cible = premiere.value(1);
    for (qsizetype i = 1; i < lignes.size(); ++i) {
        const QByteArray ligne = lignes[i].trimmed();
        const qsizetype deux = ligne.indexOf(':');
        if (deux > 0)
            requete.entetes.append(qMakePair(ligne.left(deux).trimmed(), ligne.mid(deux + 1).trimmed()));
    }
    {
        std::lock_guard verrou(m_);
        requetes_.append(requete);
    }
    QByteArray chemin = requete.cible;
    if (const qsizetype schema = chemin.indexOf("://"); schema >= 0) {
        const qsizetype barre = chemin.indexOf('/', schema + 3);
        chemin = barre < 0 ? QByteArray("/") : chemin.mid(barre);
    }
    const ReponseTest r = Cherche(requete.methode, chemin);

    if (r.muet) {
        // Keep the connection open and silent until the client gives up.
        while (!arret_) {
            pollfd p{socket, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char c;
                if (::recv(socket, &c, 1, 0) <= 0)
                    return;
            }
        }
        return;
    }
    if (r.delaiMs > 0 && !Dort(r.delaiMs))
        return;

    QByteArray tete = "HTTP/1.1 " + QByteArray::number(r.statut) + ' ' + Raison(r.statut) + "\r\n";
    for (const auto& [cle, valeur] : r.entetes)
        tete += cle + ": " + valeur + "\r\n";
    switch (r.fin) {
    case ReponseTest::Fin::Longueur:
        tete += "Content-Length: " +
                QByteArray::number(r.longueurAnnoncee >= 0 ? r.longueurAnnoncee : r.corps.size()) +
                "\r\n";
        break;
    case ReponseTest::Fin::Chunked: tete += "Transfer-Encoding: chunked\r\n"; break;
    case ReponseTest::Fin::Fermeture: break;
    }
    tete += "Connection: close\r\n\r\n";
    if (!Envoie(socket, tete.constData(), tete.size()) || requete.methode == "HEAD")
        return;

    // The body, in drips when asked, as chunks when asked, cut when asked.
    const qint64 total = r.coupeApres >= 0 ? std::min<qint64>(r.coupeApres, r.corps.size())
                                            : r.corps.size();
    const qint64 pas = r.goutteOctets > 0 ? r.goutteOctets : std::max<qint64>(total, 1);
    for (qint64 envoye = 0; envoye < total; envoye += pas) {
        if (envoye > 0 && r.goutteDelaiMs > 0 && !Dort(r.goutteDelaiMs))
            return;
        const qint64 n = std::min(pas, total - envoye);
        QByteArray morceau = r.corps.mid(envoye, n);
        if (r.fin == ReponseTest::Fin::Chunked)
            morceau = QByteArray::number(n, 16) + "\r\n" + morceau + "\r\n";
        if (!Envoie(socket, morceau.constData(), morceau.size()))
            return;
    }
    if (r.coupeApres >= 0)
        return; // closed before the end, on purpose
    if (r.fin == ReponseTest::Fin::Chunked)
        Envoie(socket, "0\r\n\r\n", 5);
    ::shutdown(socket, SHUT_WR);
    // Let the client read everything before the close.
    for (int i = 0; i < 100 && !arret_; ++i) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char c[256];
            if (::recv(socket, c, sizeof c, 0) <= 0)
                return;
        }
    }
}
