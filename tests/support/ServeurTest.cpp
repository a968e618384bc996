// One thread accepts; one thread per connection reads a request, plays its reply, closes.
#include "support/ServeurTest.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include <QScopeGuard>

QByteArray Motif(qsizetype taille) {
    QByteArray octets(taille, Qt::Uninitialized);
    for (qsizetype i = 0; i < taille; ++i)
        octets[i] = char(i * 31 + i / 509);
    return octets;
}

QByteArray RequeteRecue::Entete(const QByteArray& nom) const {
    for (const QByteArray& ligne : entetes.split('\n')) {
        const qsizetype deux = ligne.indexOf(':');
        if (deux > 0 && ligne.left(deux).trimmed().compare(nom, Qt::CaseInsensitive) == 0)
            return ligne.mid(deux + 1).trimmed();
    }
    return {};
}

QList<RequeteRecue> ServeurTest::Requetes() const {
    std::lock_guard verrou(m_);
    return QList<RequeteRecue>(requetes_.cbegin(), requetes_.cend());
}

QList<RequeteRecue> ServeurTest::Requetes(const QByteArray& methode, const QByteArray& chemin) const {
    QList<RequeteRecue> choisies;
    std::lock_guard verrou(m_);
    for (const RequeteRecue& r : requetes_)
        if (r.methode == methode && r.cible == chemin)
            choisies.append(r);
    return choisies;
}

ServeurTest::ServeurTest() {
    ecoute_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in adresse{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t longueur = sizeof adresse;
    ::bind(ecoute_, reinterpret_cast<sockaddr*>(&adresse), longueur);
    ::listen(ecoute_, 64);
    ::getsockname(ecoute_, reinterpret_cast<sockaddr*>(&adresse), &longueur);
    port_ = ntohs(adresse.sin_port);
    fil_ = std::thread([this] {
        while (Attend(ecoute_, POLLIN))
            if (const int client = ::accept4(ecoute_, nullptr, nullptr, SOCK_CLOEXEC); client >= 0)
                connexions_.emplace_back([this, client] { Sert(client); ::close(client); });
    });
}

ServeurTest::~ServeurTest() {
    arret_ = true;
    fil_.join();
    for (std::thread& t : connexions_)
        t.join();
    ::close(ecoute_);
}

// Waits for `evenement` on `socket`, at most `ms` (-1: no limit); false on time-out or stop.
bool ServeurTest::Attend(int socket, short evenement, int ms) {
    for (int attendu = 0; !arret_ && (ms < 0 || attendu < ms); attendu += 20)
        if (pollfd p{socket, evenement, 0}; ::poll(&p, 1, 20) > 0)
            return true;
    return false;
}

qint64 ServeurTest::Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - debut_).count();
}

bool ServeurTest::Envoie(int socket, const QByteArray& octets) {
    for (ssize_t fait = 0, n = 0; fait < octets.size(); fait += n)
        if (!Attend(socket, POLLOUT) ||
            (n = ::send(socket, octets.data() + fait, octets.size() - fait, MSG_NOSIGNAL)) <= 0)
            return false;
    return true;
}

int ServeurTest::EnMemeTempsMax() const {
    std::vector<std::pair<qint64, int>> bornes; // +1 at a start, -1 at an end (ends first at a tie)
    std::lock_guard verrou(m_);
    for (const RequeteRecue& r : requetes_) {
        bornes.push_back({r.quandMs, 1});
        bornes.push_back({r.finMs < 0 ? std::numeric_limits<qint64>::max() : r.finMs, -1});
    }
    std::sort(bornes.begin(), bornes.end());
    int n = 0, max = 0;
    for (const auto& [quand, pas] : bornes)
        max = std::max(max, n += pas);
    return max;
}

void ServeurTest::Sert(int socket) {
    char tampon[4096];
    auto lit = [&] { return Attend(socket, POLLIN) ? ::recv(socket, tampon, 4096, 0) : 0; };
    QByteArray lu;
    for (ssize_t n = 0; !lu.contains("\r\n\r\n"); lu.append(tampon, n))
        if (lu.size() >= 65536 || (n = lit()) <= 0)
            return;
    const qsizetype finLigne = lu.indexOf("\r\n");
    const QList<QByteArray> ligne = lu.left(finLigne).split(' ');
    RequeteRecue requete{ligne.value(0), ligne.value(1), lu.mid(finLigne + 2, lu.indexOf("\r\n\r\n") - finLigne), Ms()};
    // A reply's end is recorded: for one sent whole, when its last bytes were handed over (the
    // client's next request may come before this thread runs again, and must not seem to overlap).
    qint64 avantDernierEnvoi = -1; // set once the last bytes are being sent
    const auto fin = qScopeGuard([&] {
        const qint64 quand = avantDernierEnvoi >= 0 ? avantDernierEnvoi : Ms();
        std::lock_guard verrou(m_);
        for (RequeteRecue& r : requetes_)
            if (r.numero == requete.numero)
                r.finMs = quand;
    });
    ReponseTest r = [&] {
        std::lock_guard verrou(m_);
        requete.numero = ++numero_;
        requetes_.append(requete);
        for (const QByteArray& m : {requete.methode, QByteArray("*")}) {
            if (const auto it = suites_.find({m, requete.cible}); it != suites_.end() && !it->second.isEmpty())
                return it->second.size() > 1 ? it->second.takeFirst() : it->second.first();
            if (const auto it = reponses_.find({m, requete.cible}); it != reponses_.end())
                return it->second;
        }
        return ReponseTest::Statut(404, "<html><body><h1>404 Not Found</h1></body></html>");
    }();
    // A part of the body, when asked and allowed, or forced.
    const QByteArray plage = requete.Entete("Range"), siPlage = requete.Entete("If-Range");
    if (r.statut == 200 && !r.plageForcee.isEmpty()) {
        r.statut = 206;
        if (r.plageForcee != "-")
            r.entetes += "Content-Range: " + r.plageForcee + "\r\n";
    } else if (r.statut == 200 && r.plages && plage.startsWith("bytes=") && plage.endsWith('-') &&
               (siPlage.isEmpty() || siPlage == r.validateur)) {
        const qint64 depuis = plage.mid(6, plage.size() - 7).toLongLong();
        if (depuis > 0 && depuis < r.corps.size()) {
            r.entetes += "Content-Range: bytes " + QByteArray::number(depuis) + "-" +
                         QByteArray::number(r.corps.size() - 1 - r.finPlageFausse) + "/" +
                         QByteArray::number(r.corps.size()) + "\r\n";
            r.statut = 206;
            r.corps = r.corps.mid(depuis, r.corps.size() - depuis - r.plageCourte);
            if (r.coupeApres >= 0)
                r.coupeApres = std::max<qint64>(r.coupeApres - depuis, 0);
        }
    }
    while (r.muet) // silent, the connection open, until the client gives up
        if (lit() <= 0)
            return;
    QByteArray tete = "HTTP/1.1 " + QByteArray::number(r.statut) + " Test\r\n" + r.entetes;
    if (r.fin == ReponseTest::Fin::Longueur)
        tete += "Content-Length: " + QByteArray::number(r.longueurAnnoncee >= 0 ? r.longueurAnnoncee : r.corps.size()) + "\r\n";
    else if (r.fin == ReponseTest::Fin::Chunked)
        tete += "Transfer-Encoding: chunked\r\n";
    const bool sansCorps = r.corps.isEmpty() && r.coupeApres < 0 && r.fin != ReponseTest::Fin::Chunked && !r.sansFin;
    if (sansCorps)
        avantDernierEnvoi = Ms();
    if (!Envoie(socket, tete + "Connection: close\r\n\r\n") || requete.methode == "HEAD") {
        if (!sansCorps)
            avantDernierEnvoi = -1;
        return;
    }
    if (r.sansFin) { // the body over and over, framed as asked, until the client gives up
        const QByteArray morceau = r.fin == ReponseTest::Fin::Chunked
                                       ? QByteArray::number(r.corps.size(), 16) + "\r\n" + r.corps + "\r\n"
                                       : r.corps;
        while (!r.corps.isEmpty() && Envoie(socket, morceau)) {}
        return;
    }
    // The body, in drips when asked, as chunks when asked, cut when asked.
    const qint64 n = r.corps.size(), total = r.coupeApres < 0 ? n : std::min(r.coupeApres, n);
    const qint64 pas = r.goutteOctets > 0 ? r.goutteOctets : std::max<qint64>(total, 1);
    for (qint64 envoye = 0; envoye < total; envoye += pas) {
        QByteArray morceau = r.corps.mid(envoye, std::min(pas, total - envoye));
        if (r.fin == ReponseTest::Fin::Chunked)
            morceau = QByteArray::number(morceau.size(), 16) + "\r\n" + morceau + "\r\n";
        if (envoye > 0)
            Attend(socket, 0, r.goutteDelaiMs);
        const bool dernier = envoye + pas >= total && r.coupeApres < 0 && r.fin != ReponseTest::Fin::Chunked;
        if (dernier)
            avantDernierEnvoi = Ms();
        if (!Envoie(socket, morceau)) {
            avantDernierEnvoi = -1;
            return;
        }
        octetsCorps_ += morceau.size();
    }
    if (r.coupeApres < 0 && r.fin == ReponseTest::Fin::Chunked)
        avantDernierEnvoi = Ms();
    if (r.coupeApres >= 0 || (r.fin == ReponseTest::Fin::Chunked && !Envoie(socket, "0\r\n\r\n"))) {
        avantDernierEnvoi = -1;
        return; // a cut closes before the end, on purpose
    }
    // Let the client read everything before the close.
    ::shutdown(socket, SHUT_WR);
    while (Attend(socket, POLLIN, 2000) && ::recv(socket, tampon, sizeof tampon, 0) > 0) {}
}
