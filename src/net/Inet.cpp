// The transfer object over libcurl's multi interface.
//
// Design: each Inet owns one worker thread and one multi handle. The user-
// interface thread never calls libcurl on a transfer; it hands the worker a
// request (settings copied into plain strings), a cancellation or a "resume"
// order under the mutex and wakes it with curl_multi_wakeup. The worker's
// callbacks put the body into a ring buffer; when the buffer cannot take a
// block, the write callback pauses the transfer (CURL_WRITEFUNC_PAUSE) and the
// reader asks for a resume once half the buffer is free again. Notifications
// go back to the user-interface thread as queued calls on the object, at most
// one per pass of the worker's loop: a small answer (its headers, its body and
// its end read in one pass) reaches that thread in a single hand-off.
//
// Requests carry an id. Cancel and Execute move the current id on at once, so
// a callback still running for an older request aborts it and a late
// notification of an older request is ignored.
#include "net/Inet.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QIODevice>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QUrl>

#include <curl/curl.h>

#include "net/Attente.h"
#include "util/Arret.h"
#include "util/NomFil.h"

namespace {

using Horloge = std::chrono::steady_clock;

// Large enough for a fast link to keep both threads busy, small enough that a
// 1 GiB download costs no more memory than a small one.
constexpr size_t CapaciteTampon = size_t(1) << 20;
constexpr long TailleReceptionCurl = 128 * 1024;

void InitialiseCurl() {
    static const bool fait = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)fait;
}

// A request as the worker needs it: nothing Qt, nothing shared.
struct Parametres {
    std::string adresse;
    std::string proxy; // always given to libcurl: "" means no proxy at all
    long proxyPort = 0;
    std::string proxyUtilisateur, proxyMotDePasse;
    std::string utilisateur, motDePasse;
    std::string protocoleDefaut;
    long delai = 60;
    std::string autorites;
    std::string plage;       // "from-": the rest of a resource
    std::string siPlage;     // If-Range validator for the rest
    bool chiffre = false;    // started over TLS: redirections stay on TLS
    quint64 ordre = 0;       // given as the worker's n-th request: the order of the waiting ones
};

// Byte ring of fixed capacity (it grows only for a block larger than itself)
// for the received bytes not read yet. Its storage is not cleared when made:
// a small file touches only its first pages, and a run makes one per file in
// flight.
class Anneau {
public:
    Anneau() : octets_(std::make_unique_for_overwrite<char[]>(CapaciteTampon)), capacite_(CapaciteTampon) {}
    size_t Taille() const { return taille_; }
    size_t Capacite() const { return capacite_; }
    size_t Libre() const { return capacite_ - taille_; }
    void Vide() { debut_ = taille_ = 0; }

    void Ecrit(const char* p, size_t n) {
        if (n > Libre())
            Agrandit(taille_ + n);
        size_t fin = (debut_ + taille_) % capacite_;
        const size_t premier = std::min(n, capacite_ - fin);
        std::memcpy(octets_.get() + fin, p, premier);
        std::memcpy(octets_.get(), p + premier, n - premier);
        taille_ += n;
    }

    QByteArray Lit(size_t n) {
        n = std::min(n, taille_);
        QByteArray sortie(qsizetype(n), Qt::Uninitialized);
        const size_t premier = std::min(n, capacite_ - debut_);
        std::memcpy(sortie.data(), octets_.get() + debut_, premier);
        std::memcpy(sortie.data() + premier, octets_.get(), n - premier);
        debut_ = (debut_ + n) % capacite_;
        taille_ -= n;
        if (taille_ == 0)
            debut_ = 0;
        return sortie;
    }

private:
    void Agrandit(size_t besoin) {
        const size_t capacite = std::max(besoin, capacite_ * 2);
        auto nouveau = std::make_unique_for_overwrite<char[]>(capacite);
        const size_t premier = std::min(taille_, capacite_ - debut_);
        std::memcpy(nouveau.get(), octets_.get() + debut_, premier);
        std::memcpy(nouveau.get() + premier, octets_.get(), taille_ - premier);
        octets_ = std::move(nouveau);
        capacite_ = capacite;
        debut_ = 0;
    }

    std::unique_ptr<char[]> octets_;
    size_t capacite_;
    size_t debut_ = 0;
    size_t taille_ = 0;
};

bool CommencePar(const std::string& texte, const char* prefixe) {
    return texte.compare(0, std::strlen(prefixe), prefixe) == 0;
}

bool MemeNom(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Texte(const QString& s) { return s.toStdString(); }

} // namespace

// The worker thread and the multi handle that transfer objects share: their
// requests run side by side, on one HTTP/2 connection where the server offers
// it (streams multiplexed), else on up to connexionsParHote connections to
// each server. Only the worker calls libcurl on them; the other threads give
// orders under `m` and wake it.
struct MoteurInet {
    MoteurInet() {
        InitialiseCurl();
        multi = curl_multi_init();
        curl_multi_setopt(multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
        fil = std::thread([this] {
            NommeFil("ramaglin-inet");
            Boucle();
        });
    }
    ~MoteurInet() {
        {
            std::lock_guard verrou(m);
            quitter = true;
        }
        curl_multi_wakeup(multi);
        fil.join();
        curl_multi_cleanup(multi);
    }
    MoteurInet(const MoteurInet&) = delete;
    MoteurInet& operator=(const MoteurInet&) = delete;

    void Reveille() const { curl_multi_wakeup(multi); }
    void Boucle();

    CURLM* multi = nullptr;
    std::thread fil;
    std::mutex m;               // every channel's shared state, and what follows
    std::condition_variable cv; // a channel that leaves waits for the worker here
    bool quitter = false;
    long connexionsParHote = 0; // 0: libcurl's default (no limit)
    bool connexionsChangees = false;
    int requetesMax = 0;        // requests running at once (0: no limit)
    bool fileRetenue = false;   // a 429 or 503 ended a request: none of the waiting ones starts
    quint64 ordres = 0;         // requests given so far
    std::vector<Inet::Prive*> arrivants; // channels to add at the next pass
    // ---- Worker only ----
    std::vector<Inet::Prive*> canaux;
    int lancees = 0;                     // easy handles in the multi handle
    std::vector<Inet::Prive*> enFile;    // channels whose request waits for a place, oldest first
    bool Place() const;                  // under m
    bool DemarreEnFile();                // the waiting requests that have a place now
};

struct Inet::Prive {
    Prive(Inet* proprietaire, std::shared_ptr<MoteurInet> commun)
        : q(proprietaire), moteur(commun ? std::move(commun) : std::make_shared<MoteurInet>()), m(moteur->m),
          multi(moteur->multi) {
        {
            std::lock_guard verrou(m);
            moteur->arrivants.push_back(this);
        }
        moteur->Reveille();
    }

    ~Prive() {
        // The worker lets go of this channel (its transfer, its handle), then
        // tells; only then may its state go.
        std::unique_lock verrou(m);
        partir = true;
        moteur->Reveille();
        moteur->cv.wait(verrou, [this] { return parti; });
    }

    Inet* q;
    std::shared_ptr<MoteurInet> moteur;
    std::mutex& m;
    CURLM* multi;

    // ---- Shared between the threads, under m ----
    bool partir = false, parti = false; // the channel leaves; the worker let go of it
    qint64 debitMax = 0;                // bytes per second (0: no cap)
    bool debitChange = false;
    quint64 idCourant = 0;           // request whose data is wanted (0: none)
    std::optional<Parametres> aDemarrer;
    quint64 idADemarrer = 0;
    bool abandonner = false;         // drop the worker's transfer
    bool reprendre = false;          // unpause the worker's transfer
    // What one request received.
    struct Etat {
        Anneau tampon;
        bool enPause = false;    // paused by the write callback
        bool attente = false;    // the reader waits for data: wake it
        bool debutPoste = false; // data has come
        bool lancee = false;     // handed to libcurl
        bool fini = false;
        CURLcode code = CURLE_OK;
        long statut = 0;
        long statutLigne = 0;        // of the last response line seen
        std::string attenteDemandee; // Retry-After of the last response
        qint64 longueurCorps = -1;   // as libcurl frames the body (-1: unknown)
        std::string adresseFinale;   // after the redirections, once the body begins
        std::string erreur;
        std::vector<std::pair<std::string, std::string>> entetes;
        void Remet() {
            tampon.Vide();
            enPause = attente = debutPoste = lancee = fini = false;
            code = CURLE_OK;
            statut = statutLigne = 0;
            attenteDemandee.clear();
            longueurCorps = -1;
            adresseFinale.clear();
            erreur.clear();
            entetes.clear();
        }
    };
    Etat e;            // of idCourant

    // The state a worker's callback writes for request `id`; null when that
    // request is no longer wanted.
    Etat* Cible(quint64 id) {
        if (id != 0 && id == idCourant)
            return &e;
        return nullptr;
    }

    // ---- User-interface thread only ----
    quint64 compteur = 0;
    quint64 idUi = 0;
    bool execution = false;
    bool silencieuse = false; // OpenURL: no state changes
    bool debutSignale = false;
    bool finSignalee = false;
    QString derniereErreur;
    CURLcode dernierCode = CURLE_OK;
    long dernierStatut = 0;
    bool requeteChiffree = false;

    // ---- Worker thread only ----
    CURL* easy = nullptr;      // kept from request to request (curl_easy_reset)
    bool enCours = false;      // `easy` is in the multi handle
    quint64 idEasy = 0;
    std::optional<Parametres> enAttente; // a request waiting for a place (moteur->enFile)
    quint64 idEnAttente = 0;
    // News of this pass, told once the pass is over.
    bool debutATransmettre = false, reveilATransmettre = false;
    Horloge::time_point derniereActivite;
    std::chrono::seconds delaiEasy{60};
    char tamponErreur[CURL_ERROR_SIZE] = {};
    curl_slist* enTetesRequete = nullptr;

    // ================= Worker =================

    // The orders given since the last pass: a request to start, to drop, to
    // unpause; a new cap on the rate.
    void Ordres() {
        std::optional<Parametres> nouveau;
        quint64 idNouveau = 0;
        bool abandon = false, reprise = false, debit = false;
        qint64 cap = 0;
        {
            std::lock_guard verrou(m);
            nouveau.swap(aDemarrer);
            idNouveau = idADemarrer;
            abandon = abandonner;
            reprise = reprendre;
            abandonner = reprendre = false;
            debit = std::exchange(debitChange, false);
            cap = debitMax;
            if (reprise)
                if (Etat* c = Cible(idEasy))
                    c->enPause = false;
        }
        if (abandon || nouveau) {
            if (enCours)
                Libere();
            QuitteFile();
        }
        if (nouveau) {
            bool limite;
            {
                std::lock_guard verrou(m);
                limite = moteur->requetesMax > 0;
            }
            if (!limite) {
                Demarre(*nouveau, idNouveau);
            } else {
                // Behind the requests given before it; started in that
                // order when there is a place (DemarreEnFile).
                idEnAttente = idNouveau;
                const quint64 ordre = nouveau->ordre;
                enAttente = std::move(nouveau);
                auto& file = moteur->enFile;
                file.insert(std::find_if(file.begin(), file.end(),
                                         [ordre](const Prive* c) { return c->enAttente->ordre > ordre; }),
                            this);
            }
        }
        if (debit && enCours)
            curl_easy_setopt(easy, CURLOPT_MAX_RECV_SPEED_LARGE, curl_off_t(cap));
        if (reprise && enCours) {
            derniereActivite = Horloge::now();
            curl_easy_pause(easy, CURLPAUSE_CONT);
        }
    }

    // After libcurl's pass: silence from the server ends the request.
    void Surveille() {
        if (!enCours)
            return;
        bool pause = false;
        {
            std::lock_guard verrou(m);
            if (const Etat* c = Cible(idEasy))
                pause = c->enPause;
        }
        // Silence from the server, not a reader that takes its time.
        if (pause)
            derniereActivite = Horloge::now();
        else if (Horloge::now() - derniereActivite > delaiEasy)
            Termine(CURLE_OPERATION_TIMEDOUT, "Délai d'attente dépassé");
    }

    void QuitteFile() {
        if (enAttente) {
            std::erase(moteur->enFile, this);
            enAttente.reset();
        }
    }

    // The channel leaves: its transfer and its handle go.
    void Quitte() {
        QuitteFile();
        if (enCours)
            Libere();
        if (easy)
            curl_easy_cleanup(easy);
        easy = nullptr;
        curl_slist_free_all(enTetesRequete); // the last request's, kept while the handle was
        enTetesRequete = nullptr;
    }

    // What this pass received, told to the user-interface thread in one
    // queued call at most (the end, when it came, was told by Termine).
    void Transmet() {
        const bool debut = std::exchange(debutATransmettre, false);
        const bool reveil = std::exchange(reveilATransmettre, false);
        if (!enCours || (!debut && !reveil))
            return;
        const quint64 id = idEasy;
        {
            std::lock_guard verrou(m);
            if (!Cible(id))
                return;
        }
        if (debut)
            QMetaObject::invokeMethod(q, [this, id] { SurDebut(id); }, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(q, [] {}, Qt::QueuedConnection); // wakes the reader
    }

    void Demarre(const Parametres& p, quint64 id) {
        if (easy)
            curl_easy_reset(easy); // its connection, buffers and caches stay
        else
            easy = curl_easy_init();
        curl_slist_free_all(enTetesRequete);
        enTetesRequete = nullptr;
        idEasy = id;
        delaiEasy = std::chrono::seconds(std::max(1L, p.delai));
        derniereActivite = Horloge::now();
        debutATransmettre = reveilATransmettre = false;
        tamponErreur[0] = 0;
        curl_easy_setopt(easy, CURLOPT_URL, p.adresse.c_str());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(this));
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        {
            std::lock_guard verrou(m);
            debitChange = false;
            if (debitMax > 0)
                curl_easy_setopt(easy, CURLOPT_MAX_RECV_SPEED_LARGE, curl_off_t(debitMax));
        }
        // Over TLS the server may offer HTTP/2: a request waits for the
        // connection in progress to say so, rather than open another.
        if (p.chiffre)
            curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, tamponErreur);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp,ftps");
        // What starts encrypted never goes on in clear behind a redirection.
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, p.chiffre ? "https,ftps" : "http,https,ftp,ftps");
        if (!p.protocoleDefaut.empty())
            curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, p.protocoleDefaut.c_str());
        // An error page is never taken for the resource.
        curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, std::max(1L, p.delai));
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Le Ramaglin");
        // HTTP/2 when a TLS server offers it; the multi handle's connection
        // cache keeps the connection for the next request to the same server.
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, TailleReceptionCurl);
        curl_easy_setopt(easy, CURLOPT_PROXY, p.proxy.c_str());
        if (p.proxyPort > 0)
            curl_easy_setopt(easy, CURLOPT_PROXYPORT, p.proxyPort);
        if (!p.proxyUtilisateur.empty()) {
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, p.proxyUtilisateur.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, p.proxyMotDePasse.c_str());
        }
        if (!p.utilisateur.empty()) {
            curl_easy_setopt(easy, CURLOPT_USERNAME, p.utilisateur.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, p.motDePasse.c_str());
        }
        if (!p.autorites.empty())
            curl_easy_setopt(easy, CURLOPT_CAINFO, p.autorites.c_str());
        if (!p.plage.empty()) {
            curl_easy_setopt(easy, CURLOPT_RANGE, p.plage.c_str());
            if (!p.siPlage.empty()) {
                enTetesRequete = curl_slist_append(nullptr, ("If-Range: " + p.siPlage).c_str());
                curl_easy_setopt(easy, CURLOPT_HTTPHEADER, enTetesRequete);
            }
        }
#ifdef _WIN32
        curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NATIVE_CA));
#endif
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Prive::RecoitEntete);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Prive::RecoitDonnees);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_multi_add_handle(multi, easy);
        enCours = true;
        ++moteur->lancees;
        std::lock_guard verrou(m);
        if (Etat* c = Cible(id))
            c->lancee = true;
    }

    void Libere() {
        curl_multi_remove_handle(multi, easy);
        enCours = false;
        --moteur->lancees;
    }

    void Termine(CURLcode resultat, const std::string& texte) {
        long statut = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &statut);
        const quint64 id = idEasy;
        bool annonce = false; // the end is to be told now
        {
            std::lock_guard verrou(m);
            // The server asks to be left alone: what waits stays so until
            // the caller says.
            if (moteur->requetesMax > 0 && (statut == 429 || statut == 503))
                moteur->fileRetenue = true;
            Etat* c = Cible(id);
            if (c) {
                c->fini = true;
                c->code = resultat;
                c->statut = statut;
                c->erreur = !texte.empty()        ? texte
                            : tamponErreur[0] != 0 ? std::string(tamponErreur)
                                                   : std::string(curl_easy_strerror(resultat));
                annonce = true;
            }
        }
        Libere();
        debutATransmettre = reveilATransmettre = false;
        if (annonce) {
            QMetaObject::invokeMethod(q, [this, id] { SurFin(id); }, Qt::QueuedConnection);
        }
    }

    static size_t RecoitEntete(char* p, size_t taille, size_t n, void* soi) {
        auto* d = static_cast<Prive*>(soi);
        const size_t total = taille * n;
        std::string ligne(p, total);
        while (!ligne.empty() && (ligne.back() == '\n' || ligne.back() == '\r'))
            ligne.pop_back();
        d->derniereActivite = Horloge::now();
        std::lock_guard verrou(d->m);
        Etat* c = d->Cible(d->idEasy);
        if (!c)
            return 0;
        if (CommencePar(ligne, "HTTP/")) {
            c->entetes.clear(); // a new response (after a redirection or a 100)
            c->attenteDemandee.clear();
            const auto espace = ligne.find(' ');
            c->statutLigne = espace == std::string::npos ? 0 : std::atol(ligne.c_str() + espace + 1);
        } else if (const auto deux = ligne.find(':'); deux != std::string::npos && deux > 0) {
            std::string valeur = ligne.substr(deux + 1);
            const auto debut = valeur.find_first_not_of(" \t");
            valeur = debut == std::string::npos ? std::string() : valeur.substr(debut);
            while (!valeur.empty() && (valeur.back() == ' ' || valeur.back() == '\t'))
                valeur.pop_back();
            if (MemeNom(ligne.substr(0, deux), "Retry-After"))
                c->attenteDemandee = valeur;
            c->entetes.emplace_back(ligne.substr(0, deux), std::move(valeur));
        }
        return total;
    }

    static size_t RecoitDonnees(char* p, size_t taille, size_t n, void* soi) {
        auto* d = static_cast<Prive*>(soi);
        const size_t total = taille * n;
        d->derniereActivite = Horloge::now();
        bool pause = false;
        {
            std::lock_guard verrou(d->m);
            Etat* c = d->Cible(d->idEasy);
            if (!c)
                return 0; // cancelled: abort the transfer
            if (!c->debutPoste) {
                d->debutATransmettre = c->debutPoste = true;
                // Known from the headers of the response the body belongs
                // to (the last one, after any redirection).
                curl_off_t longueur = -1;
                if (curl_easy_getinfo(d->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &longueur) == CURLE_OK)
                    c->longueurCorps = qint64(longueur);
                long redirections = 0;
                const char* finale = nullptr;
                if (curl_easy_getinfo(d->easy, CURLINFO_REDIRECT_COUNT, &redirections) == CURLE_OK &&
                    redirections > 0 && curl_easy_getinfo(d->easy, CURLINFO_EFFECTIVE_URL, &finale) == CURLE_OK &&
                    finale)
                    c->adresseFinale = finale;
            }
            if (c->tampon.Taille() > 0 && c->tampon.Libre() < total) {
                // libcurl keeps the block and gives it again after the resume.
                c->enPause = pause = true;
            } else {
                c->tampon.Ecrit(p, total);
                if (std::exchange(c->attente, false))
                    d->reveilATransmettre = true;
            }
        }
        return pause ? size_t(CURL_WRITEFUNC_PAUSE) : total;
    }

    // ================= User-interface thread =================

    void SurDebut(quint64 id) {
        if (id != idUi || silencieuse || debutSignale || finSignalee)
            return;
        debutSignale = true;
        emit q->StateChanged(Inet::EtatReponse);
    }

    void SurFin(quint64 id) {
        if (id != idUi || finSignalee)
            return;
        CURLcode resultat;
        bool recu;
        {
            std::lock_guard verrou(m);
            if (!e.fini)
                return;
            resultat = e.code;
            recu = e.debutPoste;
            derniereErreur = resultat == CURLE_OK ? QString() : QString::fromStdString(e.erreur);
            dernierCode = resultat;
            dernierStatut = e.statut;
        }
        finSignalee = true;
        execution = false;
        if (silencieuse)
            return;
        // The beginning of a response that ended in the same pass comes with its end.
        if (!debutSignale && (resultat == CURLE_OK || recu)) {
            debutSignale = true;
            emit q->StateChanged(Inet::EtatReponse);
        }
        if (resultat != CURLE_OK)
            emit q->StateChanged(Inet::EtatErreur);
    }

    bool TermineCote() {
        std::lock_guard verrou(m);
        return e.fini;
    }

    void Reveille() { moteur->Reveille(); }
    QByteArray Lit(int taille, Inet::Vide* pourquoi, bool attendre);

    // The system's proxy for an address, as last asked. The question goes to
    // the system's configuration on another thread (and may read files) for
    // every request: a run of thousands of small
    // files on one server, ask it the same thing many times a second.
    struct ProxyConnu {
        QString cle; // scheme, host and port asked for
        Horloge::time_point quand;
        std::string proxy;
        long port = 0;
        std::string utilisateur, motDePasse;
    };
    std::optional<ProxyConnu> proxyConnu;
    static constexpr std::chrono::seconds DureeProxyConnu{2};

    void Lance(Parametres p);

    Parametres Prepare(const QString& adresse, const Inet& inet) {
        Parametres p;
        p.adresse = Texte(adresse.trimmed());
        p.protocoleDefaut = inet.Protocol == Inet::ProtocoleFTP ? "ftp" : "http";
        p.delai = inet.RequestTimeout > 0 ? inet.RequestTimeout : 60;
        p.utilisateur = Texte(inet.UserName);
        p.motDePasse = Texte(inet.Password);
        p.autorites = Texte(inet.CertificatsAutorite);
        p.chiffre = adresse.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
                    adresse.trimmed().startsWith(QLatin1String("ftps://"), Qt::CaseInsensitive);
        if (inet.AccessType == Inet::AccesProxy) {
            p.proxy = Texte(inet.Proxy.trimmed());
            const QString sansSchema = inet.Proxy.section(QLatin1String("://"), -1);
            if (!sansSchema.contains(QLatin1Char(':')) && inet.RemotePort > 0)
                p.proxyPort = inet.RemotePort;
            p.proxyUtilisateur = Texte(inet.ProxyUserName);
            p.proxyMotDePasse = Texte(inet.ProxyPassword);
        } else if (inet.AccessType == Inet::AccesSysteme) {
            // libcurl only knows the proxy environment variables; ask the system
            // for this very address (configuration script, exceptions...).
            QString complete = adresse.trimmed();
            if (!complete.contains(QLatin1String("://")))
                complete.prepend(QString::fromStdString(p.protocoleDefaut) + QLatin1String("://"));
            const QUrl url(complete);
            const QString cle = url.scheme() + QLatin1String("://") + url.host() + QLatin1Char(':') +
                                QString::number(url.port());
            const auto maintenant = Horloge::now();
            if (proxyConnu && proxyConnu->cle == cle &&
                maintenant - proxyConnu->quand < DureeProxyConnu) {
                p.proxy = proxyConnu->proxy;
                p.proxyPort = proxyConnu->port;
                p.proxyUtilisateur = proxyConnu->utilisateur;
                p.proxyMotDePasse = proxyConnu->motDePasse;
                return p;
            }
            const QList<QNetworkProxy> liste =
                QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
            for (const QNetworkProxy& proxy : liste) {
                const char* schema = nullptr;
                switch (proxy.type()) {
                case QNetworkProxy::HttpProxy:
                case QNetworkProxy::HttpCachingProxy: schema = "http://"; break;
                case QNetworkProxy::Socks5Proxy: schema = "socks5h://"; break;
                default: break;
                }
                if (proxy.type() == QNetworkProxy::NoProxy)
                    break;
                if (!schema || proxy.hostName().isEmpty())
                    continue;
                p.proxy = schema + Texte(proxy.hostName());
                p.proxyPort = proxy.port();
                p.proxyUtilisateur = Texte(proxy.user());
                p.proxyMotDePasse = Texte(proxy.password());
                break;
            }
            proxyConnu = ProxyConnu{cle, maintenant, p.proxy, p.proxyPort, p.proxyUtilisateur,
                                    p.proxyMotDePasse};
        }
        return p;
    }
};

void MoteurInet::Boucle() {
    for (;;) {
        std::vector<Inet::Prive*> partants;
        bool changees = false;
        long connexions = 0;
        {
            std::lock_guard verrou(m);
            if (quitter)
                break;
            canaux.insert(canaux.end(), arrivants.begin(), arrivants.end());
            arrivants.clear();
            for (Inet::Prive* c : canaux)
                if (c->partir)
                    partants.push_back(c);
            changees = std::exchange(connexionsChangees, false);
            connexions = connexionsParHote;
        }
        if (!partants.empty()) {
            for (Inet::Prive* c : partants) {
                c->Quitte();
                std::erase(canaux, c);
            }
            {
                std::lock_guard verrou(m);
                for (Inet::Prive* c : partants)
                    c->parti = true;
            }
            cv.notify_all();
        }
        if (changees)
            curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, connexions);
        for (Inet::Prive* c : canaux)
            c->Ordres();
        DemarreEnFile();
        bool actif = false;
        for (Inet::Prive* c : canaux)
            actif = actif || c->enCours;
        if (actif) {
            int actifs = 0;
            curl_multi_perform(multi, &actifs);
            int reste = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &reste)) {
                if (msg->msg != CURLMSG_DONE)
                    continue;
                char* prive = nullptr;
                curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &prive);
                auto* c = reinterpret_cast<Inet::Prive*>(prive);
                if (c && c->enCours && c->easy == msg->easy_handle)
                    c->Termine(msg->data.result, std::string());
            }
        }
        for (Inet::Prive* c : canaux)
            c->Surveille();
        // A place freed in this pass goes to the next request waiting, now.
        const bool demarres = DemarreEnFile();
        actif = false;
        for (Inet::Prive* c : canaux) {
            c->Transmet();
            actif = actif || c->enCours;
        }
        curl_multi_poll(multi, nullptr, 0, demarres ? 0 : actif ? 100 : 1000, nullptr);
    }
    // The transfer objects are gone (each holds the engine): nothing is left.
}

bool MoteurInet::Place() const {
    return (requetesMax == 0 || lancees < requetesMax) && !(requetesMax > 0 && fileRetenue);
}

bool MoteurInet::DemarreEnFile() {
    bool demarres = false;
    while (!enFile.empty()) {
        {
            std::lock_guard verrou(m);
            if (!Place())
                break;
        }
        Inet::Prive* c = enFile.front();
        enFile.erase(enFile.begin());
        Parametres p = std::move(*c->enAttente);
        c->enAttente.reset();
        c->Demarre(p, c->idEnAttente);
        demarres = true;
    }
    return demarres;
}

Inet::Inet(QObject* parent) : QObject(parent), d(std::make_unique<Prive>(this, nullptr)) {}

Inet::Inet(Inet& autre, QObject* parent)
    : QObject(parent), d(std::make_unique<Prive>(this, autre.d->moteur)) {}

void Inet::FixeConnexionsParHote(int nombre) {
    {
        std::lock_guard verrou(d->m);
        d->moteur->connexionsParHote = std::max(nombre, 0);
        d->moteur->connexionsChangees = true;
    }
    d->Reveille();
}

void Inet::FixeRequetesMax(int nombre) {
    {
        std::lock_guard verrou(d->m);
        d->moteur->requetesMax = std::max(nombre, 0);
        d->moteur->fileRetenue = false;
    }
    d->Reveille();
}

void Inet::RetiensFile(bool retenir) {
    {
        std::lock_guard verrou(d->m);
        d->moteur->fileRetenue = retenir;
    }
    d->Reveille();
}

bool Inet::Lancee() const {
    std::lock_guard verrou(d->m);
    return d->idCourant != 0 && d->idCourant == d->idUi && d->e.lancee;
}

void Inet::FixeDebitMax(qint64 octetsParSeconde) {
    octetsParSeconde = std::max<qint64>(octetsParSeconde, 0);
    {
        std::lock_guard verrou(d->m);
        if (d->debitMax == octetsParSeconde)
            return;
        d->debitMax = octetsParSeconde;
        d->debitChange = true;
    }
    d->Reveille();
}

Inet::~Inet() = default;

void Inet::Cancel() {
    {
        std::lock_guard verrou(d->m);
        d->idCourant = 0;
        d->aDemarrer.reset();
        d->abandonner = true;
        d->e.tampon.Vide();
        d->e.entetes.clear();
        d->e.longueurCorps = -1;
        d->e.fini = false;
        d->e.enPause = d->e.attente = false;
        d->reprendre = false;
    }
    d->Reveille();
    d->idUi = 0;
    d->execution = false;
}

void Inet::Execute(const QString& adresse, const QString&) {
    d->Lance(d->Prepare(adresse, *this));
}

void Inet::ExecuteSuite(const QString& adresse, qint64 depuis, const QString& validateur) {
    Parametres p = d->Prepare(adresse, *this);
    p.plage = std::to_string(std::max<qint64>(depuis, 0)) + "-";
    p.siPlage = Texte(validateur);
    d->Lance(std::move(p));
}

void Inet::Prive::Lance(Parametres p) {
    Prive* d = this;
    const bool chiffre = p.chiffre;
    const quint64 id = ++d->compteur;
    {
        std::lock_guard verrou(d->m);
        p.ordre = ++d->moteur->ordres;
        d->idCourant = id;
        d->aDemarrer = std::move(p);
        d->idADemarrer = id;
        d->abandonner = true;
        d->e.Remet();
        d->reprendre = false;
    }
    d->Reveille();
    d->requeteChiffree = chiffre;
    d->idUi = id;
    d->execution = true;
    d->silencieuse = false;
    d->debutSignale = d->finSignalee = false;
    d->derniereErreur.clear();
    d->dernierCode = CURLE_OK;
    d->dernierStatut = 0;
}

bool Inet::StillExecuting() {
    // The end is reported as soon as it is seen, whoever looks first.
    if (d->execution && d->TermineCote())
        d->SurFin(d->idUi);
    return d->execution;
}

QString Inet::GetHeader(const QString& nom) const {
    const std::string cherche = Texte(nom);
    std::lock_guard verrou(d->m);
    for (const auto& [cle, valeur] : d->e.entetes)
        if (MemeNom(cle, cherche))
            return QString::fromUtf8(valeur.data(), qsizetype(valeur.size()));
    return QString();
}

bool Inet::Arrete() const { return Interruption && Interruption->Demandee(); }

QByteArray Inet::GetChunk(int taille, Vide* pourquoi) { return d->Lit(taille, pourquoi, true); }

QByteArray Inet::LitDisponible(int taille, Vide* pourquoi) { return d->Lit(taille, pourquoi, false); }

QByteArray Inet::Prive::Lit(int taille, Vide* pourquoi, bool attendre) {
    Prive* d = this;
    Vide raison = Vide::Remplacee;
    const quint64 id = d->idUi;
    QByteArray morceau;
    while (taille > 0 && id != 0) {
        bool termine = false, reprise = false;
        CURLcode code = CURLE_OK;
        {
            std::lock_guard verrou(d->m);
            if (d->idCourant != id)
                break;
            if (d->e.tampon.Taille() > 0) {
                morceau = d->e.tampon.Lit(size_t(taille));
                if (d->e.enPause && !d->reprendre && d->e.tampon.Libre() >= d->e.tampon.Capacite() / 2)
                    reprise = d->reprendre = true;
            } else if (d->e.fini) {
                termine = true;
                code = d->e.code;
            } else {
                d->e.attente = true;
            }
        }
        if (reprise)
            d->Reveille();
        if (!morceau.isEmpty()) {
            // A response that came whole in one hand-off has not been told
            // as begun yet.
            d->SurDebut(id);
            raison = Vide::Aucun;
            break;
        }
        if (termine) {
            d->SurFin(id);
            raison = code == CURLE_OK ? Vide::Fin : Vide::Echec;
            break;
        }
        if (!attendre) {
            raison = Vide::Attente;
            break;
        }
        if (q->Arrete()) {
            raison = Vide::Arret;
            break;
        }
        PatienteUnPeu();
        if (d->idUi != id) // cancelled or replaced while we waited
            break;
    }
    if (pourquoi)
        *pourquoi = raison;
    return morceau;
}

qsizetype Inet::OctetsEnAttente() const {
    std::lock_guard verrou(d->m);
    return qsizetype(d->e.tampon.Taille());
}

bool Inet::OpenURL(const QString& adresse, QIODevice& sortie) {
    if (Arrete()) { // no request starts once the user has asked to stop
        Cancel();
        return false;
    }
    Execute(adresse, QStringLiteral("GET"));
    d->silencieuse = true;
    const quint64 id = d->idUi;
    for (;;) {
        // Looked at before every read: GetChunk only sees a stop when the
        // buffer is empty, and behind a slow writer a fast server keeps it
        // full to the end of the resource.
        if (Arrete()) {
            Cancel();
            return false;
        }
        const QByteArray morceau = GetChunk(256 * 1024);
        if (d->idUi != id)
            return false;
        if (morceau.isEmpty())
            break;
        if (sortie.write(morceau) != morceau.size()) {
            d->derniereErreur = sortie.errorString();
            Cancel();
            return false;
        }
        CedeDeTempsEnTemps();
    }
    if (Arrete() || StillExecuting()) { // a stop request, not the end
        Cancel();
        return false;
    }
    std::lock_guard verrou(d->m);
    return d->idCourant == id && d->e.fini && d->e.code == CURLE_OK;
}

QByteArray Inet::OpenURL(const QString& adresse) {
    QByteArray octets;
    struct Memoire final : QIODevice {
        explicit Memoire(QByteArray& o) : octets(o) { open(QIODevice::WriteOnly); }
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* p, qint64 n) override {
            octets.append(p, n);
            return n;
        }
        QByteArray& octets;
    } memoire(octets);
    if (!OpenURL(adresse, memoire))
        return QByteArray();
    return octets;
}

long Inet::StatutReponse() const {
    std::lock_guard verrou(d->m);
    return d->e.statutLigne;
}

QString Inet::AdresseFinale() const {
    std::lock_guard verrou(d->m);
    return QString::fromStdString(d->e.adresseFinale);
}

qint64 Inet::LongueurCorps() const {
    std::lock_guard verrou(d->m);
    return d->e.longueurCorps;
}

QString Inet::AttenteDemandee() const {
    std::lock_guard verrou(d->m);
    return QString::fromStdString(d->e.attenteDemandee);
}

bool Inet::EchecPassager() const {
    switch (d->dernierCode) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING: return true;
    case CURLE_HTTP_RETURNED_ERROR: return d->dernierStatut == 502 || d->dernierStatut == 504;
    default: return false;
    }
}

namespace {

QString SensStatut(long statut) {
    switch (statut) {
    case 400: return QStringLiteral("requête refusée");
    case 401: return QStringLiteral("identification demandée");
    case 403: return QStringLiteral("accès interdit");
    case 404: return QStringLiteral("fichier introuvable");
    case 405: return QStringLiteral("méthode refusée");
    case 407: return QStringLiteral("identification demandée par le proxy");
    case 408: return QStringLiteral("délai de la requête dépassé");
    case 410: return QStringLiteral("fichier retiré du serveur");
    case 429: return QStringLiteral("trop de requêtes");
    case 500: return QStringLiteral("erreur interne du serveur");
    case 501: return QStringLiteral("requête non prise en charge");
    case 502: return QStringLiteral("passerelle en erreur");
    case 503: return QStringLiteral("service indisponible");
    case 504: return QStringLiteral("délai de la passerelle dépassé");
    default:
        return statut >= 500 ? QStringLiteral("erreur du serveur")
                             : QStringLiteral("requête refusée par le serveur");
    }
}

} // namespace

QString Inet::RaisonEchec() const {
    switch (d->dernierCode) {
    case CURLE_OK: return QString();
    case CURLE_HTTP_RETURNED_ERROR:
        return QStringLiteral("erreur HTTP %1 : %2")
            .arg(d->dernierStatut)
            .arg(SensStatut(d->dernierStatut));
    case CURLE_COULDNT_CONNECT: return QStringLiteral("connexion refusée");
    case CURLE_COULDNT_RESOLVE_HOST: return QStringLiteral("nom d'hôte inconnu");
    case CURLE_COULDNT_RESOLVE_PROXY: return QStringLiteral("nom du proxy inconnu");
    case CURLE_OPERATION_TIMEDOUT: return QStringLiteral("délai dépassé");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return QStringLiteral("certificat refusé");
    case CURLE_SSL_CONNECT_ERROR: return QStringLiteral("échec de la connexion sécurisée");
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: return QStringLiteral("connexion coupée avant la fin du fichier");
    case CURLE_GOT_NOTHING: return QStringLiteral("aucune réponse du serveur");
    case CURLE_TOO_MANY_REDIRECTS: return QStringLiteral("trop de redirections");
    case CURLE_UNSUPPORTED_PROTOCOL:
        // libcurl's answer to a redirection towards a protocol it may not follow.
        return d->requeteChiffree ? QStringLiteral("redirection refusée d'une adresse chiffrée vers une "
                                                   "adresse en clair")
                                  : QStringLiteral("protocole non pris en charge");
    case CURLE_URL_MALFORMAT: return QStringLiteral("adresse mal formée");
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED: return QStringLiteral("accès refusé par le serveur");
    case CURLE_REMOTE_FILE_NOT_FOUND: return QStringLiteral("fichier introuvable");
    case CURLE_WEIRD_SERVER_REPLY: return QStringLiteral("réponse du serveur incompréhensible");
    default: return QStringLiteral("échec du transfert (%1)").arg(d->derniereErreur);
    }
}

std::jthread PrepareProxySysteme() {
    return std::jthread([] {
        NommeFil("ramaglin-proxy");
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QStringLiteral("http://localhost/"))));
    });
}
