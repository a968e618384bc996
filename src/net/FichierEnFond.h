// A file written by a thread of its own. A disk that stalls (a slow device,
// the system holding writers back while it flushes) must not freeze the
// window: the caller's writes go to a bounded queue, and when the queue is
// full the caller waits by letting the event loop turn, until there is room
// or the user asks to stop (the write then fails).
//
// The thread starts with the first full block only. A file that ends smaller
// than a few pages is written at once by Termine, like its creation was: a
// thread started and joined for each of thousands of small files would cost
// more than writing them.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <openssl/evp.h>

class Arret;

class FichierEnFond final : public QIODevice {
public:
    explicit FichierEnFond(const QString& chemin);
    ~FichierEnFond() override;
    FichierEnFond(const FichierEnFond&) = delete;
    FichierEnFond& operator=(const FichierEnFond&) = delete;

    // Asked before Ouvre: a digest (SHA-256 unless told otherwise) of the
    // whole file is computed as it is written (on the writer's side; what an
    // appended file held already is read once at the opening), for Empreinte
    // after Termine.
    void CalculeEmpreinte(const EVP_MD* algorithme = EVP_sha256()) { algorithme_ = algorithme; }
    // The bytes of the digest once Termine succeeded; empty otherwise.
    QByteArray Empreinte() const { return empreinte_; }

    // The stop that ends a wait for room in the queue (null: none).
    void FixeArret(const Arret* arret) { arret_ = arret; }

    // Creates or empties the file (with `ajout`, keeps what it holds and
    // writes after it); false when it cannot be written.
    bool Ouvre(bool ajout = false);
    // Waits (event loop turning) until everything is written, then closes.
    // False when any write failed.
    bool Termine();
    // The same, dropping what is not written yet: the file is to be deleted.
    void Abandonne();
    // Bytes accepted and not yet handed to the system (they will take disk
    // space soon).
    qint64 EnAttente();

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* donnees, qint64 taille) override;

private:
    bool Pousse();
    void Ecrit();
    bool EcritDirectement();

    QFile fichier_;
    const Arret* arret_ = nullptr;
    QByteArray courant_; // gathered on the caller's side until a block is full
    std::thread fil_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<QByteArray> blocs_;
    bool attente_ = false;           // the caller waits for room: wake it
    qint64 enAttente_ = 0;
    bool fin_ = false;
    bool fini_ = false;
    bool erreur_ = false;
    bool ouvert_ = false; // between Ouvre and the end of Termine
    // The digest: fed by whoever writes (the writer thread, or Termine for a
    // small file), finished by Termine.
    bool Hache(const char* octets, qint64 taille);
    bool FinitEmpreinte();
    const EVP_MD* algorithme_ = nullptr; // no digest asked
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> contexte_{nullptr, nullptr};
    QByteArray empreinte_;
};
