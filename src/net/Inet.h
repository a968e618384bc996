// The transfer object: GET requests over libcurl, run on a worker
// thread, with the received data handed to the user-interface thread in chunks.
//
// One request at a time per object; objects made with another one's worker
// (Inet(autre)) run their requests side by side with it, over shared
// connections (HTTP/2 streams where the server offers them). The worker receives into a bounded buffer and pauses
// the transfer while the buffer is full, so memory stays flat whatever the size
// of the resource; the user-interface thread never blocks on the network: every
// wait below lets the event loop turn.
//
// StateChanged reports, on the thread that owns the object:
//   12 (EtatReponse): a GET's response has begun (its data can be read with
//      GetChunk, its headers with GetHeader); for a response that came whole
//      at once, with its end or at its first read;
//   11 (EtatErreur): the request failed: no connection, time-out, a status of
//      400 or more, a certificate that does not verify, a connection cut
//      before the announced end. Reported at most once, after any 12.
#pragma once

#include <memory>
#include <thread>

#include <QByteArray>
#include <QObject>
#include <QString>

class Arret;
class QIODevice;

class Inet final : public QObject {
    Q_OBJECT

public:
    // AccessType
    // the system's proxy settings, asked again for a server after two seconds
    static constexpr int AccesSysteme = 0;
    static constexpr int AccesDirect = 1;  // no proxy at all
    static constexpr int AccesProxy = 2;   // the proxy named in Proxy
    // Protocol: the scheme assumed for an address that does not name one.
    static constexpr int ProtocoleFTP = 2;
    static constexpr int ProtocoleHTTP = 4;
    // States of StateChanged.
    static constexpr int EtatErreur = 11;
    static constexpr int EtatReponse = 12;

    explicit Inet(QObject* parent = nullptr);
    // A transfer object whose requests go on the worker thread and the
    // connections of `autre`'s, side by side with its own.
    explicit Inet(Inet& autre, QObject* parent = nullptr);
    ~Inet() override;
    Inet(const Inet&) = delete;
    Inet& operator=(const Inet&) = delete;

    // Settings, read when a request starts.
    int AccessType = AccesSysteme;
    QString Proxy;   // "host:port" (a scheme such as "socks5://" may lead)
    int RemotePort = 0; // the proxy's port when Proxy names none
    QString UserName; // login on the server (FTP, HTTP basic)
    QString Password;
    // Login on the proxy named in Proxy (basic authentication: sent with the
    // first request, without a round trip to learn the scheme).
    QString ProxyUserName;
    QString ProxyPassword;
    int Protocol = ProtocoleHTTP;
    int RequestTimeout = 60; // seconds to connect, and of silence from the server
    // PEM file of the authorities trusted for HTTPS instead of the system's
    // store. Empty in the program; the tests point it at their own authority.
    QString CertificatsAutorite;
    // Taken by a fetch of the transfer layer (one at a time on an object).
    bool EnService = false;
    // The stop of the search or the run this object works for (null: none),
    // which GetChunk, OpenURL and the fetches of the transfer layer look at.
    const Arret* Interruption = nullptr;

    // The most connections to one server that the objects sharing this one's
    // worker open at once (0: no limit). Several requests to a server that
    // speaks HTTP/2 share one connection whatever this says.
    void FixeConnexionsParHote(int nombre);
    // The most bytes per second this object's request receives (0: no cap),
    // for the running request too.
    void FixeDebitMax(qint64 octetsParSeconde);
    // The most requests that the objects sharing this one's worker run at
    // once (0: no limit). A request given beyond it waits, in the order the
    // requests were given, and the worker starts it as soon as another ends,
    // without a round trip through the caller's thread. A request that ends
    // with 429 or 503 holds the ones waiting, as RetiensFile(true) does, until
    // RetiensFile(false). Set back to 0, every request waiting starts.
    void FixeRequetesMax(int nombre);
    void RetiensFile(bool retenir);
    // True once the request last given has been handed to the network (it no
    // longer waits for a place: see FixeRequetesMax).
    bool Lancee() const;

    // Stops the running request, if any; its data and headers are dropped.
    void Cancel();

    // Starts a GET of `adresse` (`operation`: "GET") and returns at once,
    // following redirections. A running request is cancelled.
    void Execute(const QString& adresse, const QString& operation);
    // A GET of the rest of a resource, from byte `depuis`, only while it still
    // matches `validateur` (its ETag or Last-Modified: If-Range); a server that
    // does not agree sends the whole resource (200).
    void ExecuteSuite(const QString& adresse, qint64 depuis, const QString& validateur);

    // True until the end of the request has been reported.
    bool StillExecuting();

    // A header of the last response (name compared without case, after the
    // redirections: the final response's), empty when absent.
    QString GetHeader(const QString& nom) const;

    // Why GetChunk gave no bytes.
    enum class Vide {
        Aucun,     // bytes were given
        Fin,       // the end of the data: the request succeeded
        Echec,     // the request failed (RaisonEchec says why)
        Arret,     // the user asked to stop (Interruption)
        Remplacee, // the request was cancelled or replaced by another
        Attente,   // LitDisponible: nothing has come yet
    };

    // The next received bytes, at most `taille`; waits for them while letting
    // the event loop turn. Empty at the end of the data, when the request
    // failed, when the user asked to stop (Interruption), and when the request
    // was cancelled or replaced meanwhile: `pourquoi` tells which.
    QByteArray GetChunk(int taille, Vide* pourquoi = nullptr);
    // The same without waiting: empty with Vide::Attente when nothing has
    // come yet, and a stop request is not looked at (the caller's business).
    QByteArray LitDisponible(int taille, Vide* pourquoi);

    // Bytes received and not read yet (bounded while the reader is slow).
    qsizetype OctetsEnAttente() const;

    // Fetches the whole resource into `sortie` (following redirections),
    // letting the event loop turn; raises no state change. False on any
    // failure or stop request (seen before the request and before each
    // block, however fast the data comes); `sortie` may then hold part of the
    // data. A write to `sortie` that fails ends the fetch, its errorString
    // kept for RaisonEchec.
    bool OpenURL(const QString& adresse, QIODevice& sortie);
    // The same into memory: empty on failure. For small resources.
    // Nothing in the program fetches this way any more (every fetch goes
    // through TelechargeFichier); both stay as part of the transfer object's
    // interface, with one table test.
    QByteArray OpenURL(const QString& adresse);

    // The status of the last response line received (0: none yet), the
    // final one once the request has ended; and its Retry-After, kept even
    // when the request failed on it (429, 503), when every other header goes.
    long StatutReponse() const;
    QString AttenteDemandee() const;

    // The length of the current GET's body as its own response frames it:
    // its Content-Length (for FTP, the size the server gave), which libcurl
    // holds the transfer to, a body cut before it being a failure. Known once
    // the first bytes have come; -1 before, and when the response does not
    // say (chunked, or ended by the close).
    qint64 LongueurCorps() const;
    // The address the current GET's body comes from when it was redirected;
    // known with LongueurCorps (empty before, and without a redirection).
    QString AdresseFinale() const;

    // Whether the last failure may pass if the same request is made again a
    // little later: a refused or reset connection, a time-out, a transfer cut
    // before its end, a gateway's failure (502, 504). A server that asks to
    // wait (429, 503) is not counted here: it says when to come back.
    bool EchecPassager() const;

    // The last failure told to a user, in French ("connexion refusée",
    // "erreur HTTP 404 : fichier introuvable"...); empty after a success.
    QString RaisonEchec() const;

signals:
    void StateChanged(int etat);

private:
    bool Arrete() const;
    struct Prive;
    friend struct MoteurInet;
    std::unique_ptr<Prive> d;
};

// `arret` handed to `inet` for a scope (a search, a run), the one it had
// given back after.
class InterruptionPour final {
public:
    InterruptionPour(Inet& inet, const Arret& arret) : inet_(inet), avant_(inet.Interruption) {
        inet.Interruption = &arret;
    }
    ~InterruptionPour() { inet_.Interruption = avant_; }
    InterruptionPour(const InterruptionPour&) = delete;
    InterruptionPour& operator=(const InterruptionPour&) = delete;

private:
    Inet& inet_;
    const Arret* avant_;
};

// Starts, on a thread of its own, what the system's proxy settings need
// before their first answer (the desktop's configuration is read then: tens
// of milliseconds), so that the program's first request, made a moment later,
// does not wait for it. Only for a program that uses the system's settings.
// The thread is joined when the object returned goes: keep it until that
// first request has been answered, and it has nothing left to wait for.
std::jthread PrepareProxySysteme();
