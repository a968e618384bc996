// An HTTP server on 127.0.0.1 whose replies are data (status, headers, body, framing, drip,
// cut, silence): what real servers will not do on demand. It records the requests.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <QList>
#include <QString>

// A body whose lost, doubled or shifted pieces show (all 256 values, no two neighbours alike).
QByteArray Motif(qsizetype taille);

// Built with designated initializers: ReponseTest{.corps = c, .fin = Fin::Chunked}.
struct ReponseTest {
    enum class Fin { Longueur, Chunked, Fermeture }; // how the end of the body is marked
    int statut = 200;
    QByteArray entetes{}; // "Name: value\r\n" lines, sent before the ones the server adds
    QByteArray corps{};
    Fin fin = Fin::Longueur;
    qint64 longueurAnnoncee = -1; // Content-Length sent with Fin::Longueur (-1: the body's)
    qint64 coupeApres = -1;       // closes the connection after this many body bytes
    int goutteOctets = 0;         // sends the body in pieces of this size...
    int goutteDelaiMs = 0;        // ...with this pause between them
    bool muet = false;            // reads the request and never answers
    bool sansFin = false;         // sends the body again and again until the client leaves
    bool plages = false;          // honours "Range: bytes=N-" unless If-Range is not `validateur`
    QByteArray validateur{};
    QByteArray plageForcee{};     // a Content-Range sent with a 206 whatever was asked ("-": none)
    bool finPlageFausse = false;  // a part asked for says it ends a byte before the end
    qint64 plageCourte = 0;       // a part asked for comes this many bytes short (its length says so)

    static ReponseTest Ok(const QByteArray& corps) { return {.corps = corps}; }
    static ReponseTest Statut(int statut, const QByteArray& corps = {}) { return {.statut = statut, .corps = corps}; }
};

struct RequeteRecue {
    QByteArray methode, cible, entetes; // entetes: as received
    qint64 quandMs = 0;                 // since the server started
    qint64 finMs = -1;                  // when its reply ended (-1: not yet)
    int numero = 0;
    QByteArray Entete(const QByteArray& nom) const; // a header's value, empty when absent
};

class ServeurTest final {
public:
    ServeurTest();
    ~ServeurTest();
    QString Adresse(const QString& chemin) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(chemin);
    }
    // The reply to `methode` ("*": any) on `chemin` (the path, query included); others get a 404.
    void Repond(const QByteArray& methode, const QByteArray& chemin, const ReponseTest& r) {
        std::lock_guard verrou(m_);
        reponses_[{methode, chemin}] = r;
    }
    // Replies to play in turn on `chemin`, the last one then kept.
    void RepondSuite(const QByteArray& methode, const QByteArray& chemin, const QList<ReponseTest>& suite) {
        std::lock_guard verrou(m_);
        suites_[{methode, chemin}] = suite;
    }
    // Copies taken under the lock (requests may still come); all, or one method's on one path.
    QList<RequeteRecue> Requetes() const;
    QList<RequeteRecue> Requetes(const QByteArray& methode, const QByteArray& chemin) const;
    qint64 OctetsCorpsEnvoyes() const { return octetsCorps_; } // body bytes sent, all replies
    int EnMemeTempsMax() const; // the most replies under way at one moment
    void OublieRequetes() { std::lock_guard verrou(m_); requetes_.clear(); }

private:
    void Sert(int socket);
    bool Attend(int socket, short evenement, int ms = -1);
    bool Envoie(int socket, const QByteArray& octets);
    qint64 Ms() const; // since the server started

    int ecoute_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> arret_{false};
    mutable std::mutex m_;
    std::map<std::pair<QByteArray, QByteArray>, ReponseTest> reponses_;
    std::map<std::pair<QByteArray, QByteArray>, QList<ReponseTest>> suites_;
    std::atomic<qint64> octetsCorps_{0};
    std::chrono::steady_clock::time_point debut_ = std::chrono::steady_clock::now();
    QList<RequeteRecue> requetes_;
    int numero_ = 0;
    std::vector<std::thread> connexions_; // touched by the accepting thread only
    std::thread fil_;
};
