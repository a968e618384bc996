// A small HTTP server for the tests, on 127.0.0.1 and an ephemeral port, run
// on its own threads. Its replies are data (status, headers, body, how the
// end of the body is marked, delays, a cut mid-body, silence), so a test can
// give the answers that real servers will not give on demand; it records the
// requests it received.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

using EntetesTest = QList<QPair<QByteArray, QByteArray>>;

struct ReponseTest {
    // How the end of the body is marked.
    enum class Fin { Longueur, Chunked, Fermeture };

    int statut = 200;
    EntetesTest entetes; // sent as given, before the ones below
    QByteArray corps;
    Fin fin = Fin::Longueur;
    qint64 longueurAnnoncee = -1; // Content-Length sent with Fin::Longueur (-1: the body's)
    qint64 coupeApres = -1;       // closes the connection after this many body bytes
    int delaiMs = 0;              // before the status line
    int goutteOctets = 0;         // sends the body in pieces of this size...
    int goutteDelaiMs = 0;        // ...with this pause between them
    bool muet = false;            // reads the request and never answers

    ReponseTest& Entete(const QByteArray& nom, const QByteArray& valeur) {
        entetes.append(qMakePair(nom, valeur));
        return *this;
    }

    // Shorthands.
    static ReponseTest Ok(const QByteArray& corps);
    static ReponseTest Statut(int statut, const QByteArray& corps = QByteArray());
    static ReponseTest Redirection(int statut, const QByteArray& location);
};

struct RequeteRecue {
    QByteArray methode;
    QByteArray cible; // as sent: a path, or a whole address through a proxy
    EntetesTest entetes;
    QByteArray Entete(const QByteArray& nom) const;
};

class ServeurTest final {
public:
    ServeurTest();
    ~ServeurTest();
    ServeurTest(const ServeurTest&) = delete;
    ServeurTest& operator=(const ServeurTest&) = delete;

    quint16 Port() const { return port_; }
    // "http://127.0.0.1:port" + chemin.
    QString Adresse(const QString& chemin) const;

    // The reply to `methode` ("*": any) on `chemin` (the path, query included).
    // Requests with no reply get a 404.
    void Repond(const QByteArray& methode, const QByteArray& chemin, const ReponseTest& reponse);

    QList<RequeteRecue> Requetes() const;
    void OublieRequetes();

private:
    void Ecoute();
    void Sert(int socket);
    ReponseTest Cherche(const QByteArray& methode, const QByteArray& chemin) const;
    bool Envoie(int socket, const char* p, qint64 n);
    bool Dort(int ms);

    int ecoute_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> arret_{false};
    mutable std::mutex m_;
    std::map<std::pair<QByteArray, QByteArray>, ReponseTest> reponses_;
    QList<RequeteRecue> requetes_;
    std::vector<std::thread> connexions_;
    std::thread fil_;
};
