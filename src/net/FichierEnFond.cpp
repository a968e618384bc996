// Background file writer of the transfer layer.
#include "net/FichierEnFond.h"

#include <QCoreApplication>

#include <utility>

#include "net/Attente.h"
#include "util/Arret.h"
#include "util/NomFil.h"

namespace {

constexpr qsizetype TailleBloc = 256 * 1024;
constexpr qint64 AttenteMaximale = 8 * 1024 * 1024;
// What Termine writes itself when no block went to the thread: a few pages,
// which the system takes into its cache at once.
constexpr qsizetype EcritureDirecteMaximale = 64 * 1024;
constexpr qsizetype CapaciteBloc = TailleBloc + 64 * 1024;

// Written blocks, kept for the next ones of every file: files that follow
// one another (several in flight) fill the same memory again, rather than
// have the system hand out and fault in fresh pages for each block.
struct ReserveBlocs {
    std::mutex m;
    std::vector<QByteArray> blocs;
};
ReserveBlocs& Reserve() {
    static ReserveBlocs reserve;
    return reserve;
}

QByteArray PrendBloc() {
    {
        ReserveBlocs& r = Reserve();
        std::lock_guard verrou(r.m);
        if (!r.blocs.empty()) {
            QByteArray bloc = std::move(r.blocs.back());
            r.blocs.pop_back();
            return bloc;
        }
    }
    QByteArray bloc;
    bloc.reserve(CapaciteBloc);
    return bloc;
}

void RendBloc(QByteArray bloc) {
    bloc.resize(0); // keeps its memory (clear() would let it go)
    if (bloc.capacity() < CapaciteBloc || !bloc.isDetached())
        return;
    ReserveBlocs& r = Reserve();
    std::lock_guard verrou(r.m);
    if (r.blocs.size() < 16)
        r.blocs.push_back(std::move(bloc));
}

} // namespace

FichierEnFond::FichierEnFond(const QString& chemin) : fichier_(chemin) {}

FichierEnFond::~FichierEnFond() {
    if (ouvert_)
        Termine();
}

bool FichierEnFond::Hache(const char* octets, qint64 taille) {
    return !contexte_ || EVP_DigestUpdate(contexte_.get(), octets, size_t(taille)) == 1;
}

bool FichierEnFond::FinitEmpreinte() {
    if (!contexte_)
        return true;
    unsigned char sortie[EVP_MAX_MD_SIZE];
    unsigned int longueur = 0;
    const bool ok = EVP_DigestFinal_ex(contexte_.get(), sortie, &longueur) == 1;
    contexte_.reset();
    if (ok)
        empreinte_ = QByteArray(reinterpret_cast<const char*>(sortie), int(longueur));
    return ok;
}

bool FichierEnFond::Ouvre(bool ajout) {
    empreinte_.clear();
    if (algorithme_) {
        contexte_ = {EVP_MD_CTX_new(), &EVP_MD_CTX_free};
        if (!contexte_ || EVP_DigestInit_ex(contexte_.get(), algorithme_, nullptr) != 1)
            return false;
    }
    // Not opened with truncation: on some file systems (ext4) truncating a
    // file and writing it again makes its close wait for the data to reach
    // the disk. The transfer layer gives a new, empty file anyway.
    if (!fichier_.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    if (ajout && contexte_) {
        // What a resumed file holds already counts in its digest.
        QByteArray bloc(TailleBloc, Qt::Uninitialized);
        for (qint64 n; (n = fichier_.read(bloc.data(), TailleBloc)) > 0;)
            if (!Hache(bloc.constData(), n))
                return false;
    }
    if (ajout ? !fichier_.seek(fichier_.size()) : fichier_.size() > 0 && !fichier_.resize(0))
        return false;
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    ouvert_ = true;
    return true;
}

qint64 FichierEnFond::writeData(const char* donnees, qint64 taille) {
    courant_.append(donnees, taille);
    if (courant_.size() >= TailleBloc && !Pousse())
        return -1;
    return taille;
}

bool FichierEnFond::Pousse() {
    if (!fil_.joinable())
        fil_ = std::thread([this] {
            NommeFil("ramaglin-ecrit");
            Ecrit();
        });
    {
        std::lock_guard verrou(m_);
        if (erreur_)
            return false;
        if (!courant_.isEmpty()) {
            enAttente_ += courant_.size();
            blocs_.push_back(std::move(courant_));
            courant_ = QByteArray();
        }
    }
    if (courant_.capacity() < CapaciteBloc)
        courant_ = PrendBloc();
    cv_.notify_one();
    for (;;) {
        {
            std::lock_guard verrou(m_);
            if (erreur_)
                return false;
            if (enAttente_ <= AttenteMaximale)
                return true;
            attente_ = true;
        }
        // A stop does not wait for a slow disk to take megabytes it will
        // delete anyway: the write fails and the caller drops the file.
        if (arret_ && arret_->Demandee())
            return false;
        PatienteUnPeu();
    }
}

qint64 FichierEnFond::EnAttente() {
    std::lock_guard verrou(m_);
    return enAttente_ + courant_.size();
}

bool FichierEnFond::Termine() {
    if (!ouvert_)
        return false;
    if (!fil_.joinable() && courant_.size() <= EcritureDirecteMaximale)
        return EcritDirectement();
    Pousse();
    {
        std::lock_guard verrou(m_);
        fin_ = true;
    }
    cv_.notify_one();
    for (;;) {
        {
            std::lock_guard verrou(m_);
            if (fini_)
                break;
        }
        PatienteUnPeu();
    }
    fil_.join();
    RendBloc(std::exchange(courant_, QByteArray()));
    fichier_.close();
    close();
    ouvert_ = false;
    std::lock_guard verrou(m_);
    return !erreur_ && FinitEmpreinte();
}

bool FichierEnFond::EcritDirectement() {
    bool ok = courant_.isEmpty() || (fichier_.write(courant_) == courant_.size() &&
                                     Hache(courant_.constData(), courant_.size()));
    courant_ = QByteArray();
    ok = FinitEmpreinte() && ok;
    ok = fichier_.flush() && ok;
    fichier_.close();
    close();
    ouvert_ = false;
    return ok;
}

void FichierEnFond::Abandonne() {
    courant_.clear();
    {
        std::lock_guard verrou(m_);
        blocs_.clear();
        enAttente_ = 0;
    }
    Termine();
}

void FichierEnFond::Ecrit() {
    std::unique_lock verrou(m_);
    for (;;) {
        cv_.wait(verrou, [this] { return fin_ || !blocs_.empty(); });
        if (blocs_.empty())
            break; // fin_ and nothing left
        QByteArray bloc = std::move(blocs_.front());
        blocs_.pop_front();
        verrou.unlock();
        // Hashed here, beside the write: the digest costs the caller nothing.
        const bool ok = fichier_.write(bloc) == bloc.size() && Hache(bloc.constData(), bloc.size());
        verrou.lock();
        enAttente_ -= bloc.size();
        if (!ok) {
            erreur_ = true;
            enAttente_ = 0;
            blocs_.clear();
        }
        verrou.unlock();
        RendBloc(std::move(bloc));
        verrou.lock();
        if (attente_ && (erreur_ || enAttente_ <= AttenteMaximale / 2)) {
            attente_ = false;
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection); // wakes the caller
        }
    }
    if (!fichier_.flush())
        erreur_ = true;
    fini_ = true;
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection);
}
