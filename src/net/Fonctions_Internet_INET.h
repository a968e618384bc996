// The transfer layer: connection settings, the fetch of an address (one GET)
// into a file with progress on a gauge, and two checks on fetched
// files. It shows no message: callers report failures.
//
// The object that owns the Inet must forward its state changes here:
//     QObject::connect(&Inet1, &Inet::StateChanged, this,
//                      [this](int etat) { GereEtatTransfert(Inet1, etat); });
// (the data of a fetch is received inside GereEtatTransfert).
#pragma once

#include <memory>

#include <QDateTime>
#include <QString>

class Inet;
class SurfaceJauge;

// Limits of one fetch, for the files the program fetches for itself (a list,
// a page of links), which no one looks at while they come: a server that
// sends without end must not fill the disk. -1: no limit.
struct BornesTransfert {
    qint64 tailleMax = -1;      // more bytes than this: the fetch fails
    qint64 espaceLibreMin = -1; // the fetch fails rather than leave less free space in the folder
};

// The bounds of the fetch of a service's list or page.
inline constexpr qint64 TailleMaxListe = qint64(1) << 30;
inline constexpr qint64 EspaceLibreMinListe = qint64(100) << 20;

// Applies an explicit proxy (`adresseProxy` not empty: named proxy at
// adresseProxy:port, the port being `portHTTP` or `portFTP` by `http`, 80 or 21
// when empty) or the system's settings (empty address); cancels any request.
void ParametreConnexion(Inet& inet, bool http, const QString& adresseProxy,
                        const QString& portHTTP, const QString& portFTP,
                        const QString& utilisateur, const QString& motDePasse);

// Fetches `adresse` into `destination`: through a work file in the hidden
// folder beside it (DossierReprise), which takes the destination's place only
// on success. One request, a GET:
// its own response headers, read before its body, give the size (and so the
// gauge, or none when it gives no size), the final address after the
// redirections, the validators for a later resume and any Retry-After.
// The body is complete when it matches the GET response's own framing: its
// Content-Length when it sends one, else the end of its chunks (or of the
// connection). A body that ends before its own announced length is a cut, a
// failure that may pass with another try.
// With a size announced the data is received with progress on `jauge`
// kilobyte by kilobyte (may be null, and may be destroyed during the fetch);
// otherwise the gauge is hidden. At most `tailleMax` bytes are kept (-1: no
// limit). `taille` receives the size of the file received (cut at
// `tailleMax`: the resource's size), `adresse` the redirected address and
// `redirige` whether it was. With `verifierPage`, a file that looks like a
// server's error page is a failure.
// False on any failure or stop request: no file is left behind and an
// earlier destination file is kept; `raison` (when given) then says why, in
// French, for the user.
// `bornes` (when given): the fetch fails as soon as more than
// bornes->tailleMax bytes have come, or before it would leave less than
// bornes->espaceLibreMin bytes free on the destination's file system; a size
// announced by the response that breaks either fails it at its headers,
// before its body is written.
// One fetch at a time: a call made while another runs (from a nested turn of
// the event loop) answers false at once and touches nothing.
bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination,
                       bool verifierPage, qint32 tailleMax, SurfaceJauge* jauge,
                       double& taille, bool& redirige, QString* raison = nullptr,
                       const BornesTransfert* bornes = nullptr);

// What the download run asks of a fetch beyond the plain one.
struct OptionsTransfert {
    // A transfer cut by the network, or stopped by the user, keeps what it
    // received (never in the destination itself), with what the
    // server said of the resource (its validator and size), in a work file
    // of the destination's folder that the next fetch of the same address
    // into the same destination continues (Range with If-Range). Only for
    // files large enough to be worth it and whose server names a validator.
    bool reprise = false;
    // When not empty: the SHA-256 the file must have (hexadecimal, any case),
    // computed as the data arrives; a file that differs never takes the
    // destination's place ("empreinte SHA-256 différente").
    QString empreinte{};
};

// How a fetch ended, for a caller that may try again.
struct IssueTransfert {
    enum class Genre {
        Reussi,
        Arret,     // the user asked to stop
        Passager,  // may pass with another try a little later (Inet::EchecPassager)
        Occupe,    // 429 or 503: the server asks to come back later
        Definitif, // anything else: another try would end the same
    };
    Genre genre = Genre::Definitif;
    QString raison;         // in French, for the user
    QString attenteServeur; // Occupe: the Retry-After given, if any
    bool repriseGardee = false; // a work file waits for the next try
};

// The same fetch for the download run: no size limit, no page check.
bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination, SurfaceJauge* jauge,
                       double& taille, bool& redirige, const OptionsTransfert& options,
                       IssueTransfert& issue);

// The run's fetch taken a step at a time, so that several go side by side,
// each on its own transfer object (made with the same worker: Inet(autre)).
// It starts at once; Avance receives what has come without waiting. The stop
// is given to it (Arrete) rather than read from the windows. Dropped before
// its end, it ends as a stop.
struct EtatTransfert;
class TransfertFichier {
public:
    TransfertFichier(Inet& inet, const QString& adresse, const QString& destination, SurfaceJauge* jauge,
                     const OptionsTransfert& options);
    ~TransfertFichier();
    TransfertFichier(const TransfertFichier&) = delete;
    TransfertFichier& operator=(const TransfertFichier&) = delete;
    // True once the fetch has ended (Issue then says how).
    bool Avance();
    // The last Avance took everything that had come: the next step can wait
    // for news from the worker (an event on this thread). Otherwise more is
    // there already, and the worker, its buffer full, waits for this side.
    bool AttendLeReseau() const;
    // Ends the fetch now, as a stop: the destination gets nothing; what came
    // of a file that can be resumed stays in its hidden work file.
    void Arrete();
    bool Fini() const;
    const IssueTransfert& Issue() const;
    QString Adresse() const; // after the redirections
    // Bytes received so far, and the size of the whole body (-1: not said,
    // or its response not come yet: EntetesLus).
    double Recus() const;
    double Total() const;
    bool EntetesLus() const;

private:
    std::unique_ptr<EtatTransfert> d;
};

// The progress of `octets` received of `reference` on `jauge`, `millisecondes`
// after the start: "42 % (12 Ko sur 28,57 Ko) - 6 Ko/sec" (the rate from the
// first second on; of `octetsDuDebit` when given: a run's bytes, its ended
// files included), the bytes told to the gauge too. Drawn only when the
// percentage changes.
void MontreOctetsSurJauge(SurfaceJauge& jauge, double octets, double reference, qint64 millisecondes,
                          double octetsDuDebit = -1);

// The fetch of a file the program fetches for itself (a list, its
// signature), within `bornes`, saying how it ended for a caller that may try
// again.
bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination, SurfaceJauge* jauge,
                       const BornesTransfert& bornes, IssueTransfert& issue);

// The folder, beside the destinations, that holds the work files of the
// fetches in progress and of cut transfers (hidden; never looked at by the
// folder comparison, which lists files only; on the destination's file
// system, so that the finished file takes its place by a rename). Work files
// older than DureeVieReprise, and those of a fetch that cannot be resumed
// whose program is gone, are removed when a fetch next uses the folder.
inline constexpr char DossierReprise[] = ".ramaglin-reprise";
inline constexpr int DureeVieRepriseJours = 7;
// Smaller files start again from zero: a second request costs less than the
// bookkeeping of a work file for each of thousands of small files.
inline constexpr qint64 TailleMinReprise = 1024 * 1024;

// The wait a Retry-After asks for, in seconds from `maintenant`: delta-seconds
// or an HTTP date (a date past gives 0). -1 when the text is empty, not a
// number nor a date, negative, or more than a day away (taken for a fault of
// the server, not a wish).
qint64 SecondesRetryAfter(const QString& texte, const QDateTime& maintenant);

// The transfer object's state changes: a failure (11) of the fetch in progress
// is recorded; the fetch itself reads the data.
void GereEtatTransfert(Inet& inet, int etat);

// Rewrites `source` so that every LF is preceded by CR: written to the work
// file `temporaire`, flushed to the disk, then renamed over the source in one
// step. A file that needs no repair is not rewritten. False when the source
// cannot be read or the repair cannot be written: the source is then exactly
// as it was and no work file is left. Nothing in the program calls it now;
// it stays as part of the transfer layer's interface, with one table test.
bool ConvertitFinsDeLigne(const QString& source, const QString& temporaire);

// False when the file is missing, shorter than 5 bytes, or begins like a
// server's error page ("An error has occurred...", "404 ", "error", "erreur").
bool FichierSansErreur(const QString& chemin);
