// The store of resumable transfers and its lock.
#pragma once

#include <memory>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QString>

#include "net/Fonctions_Internet_INET.h"

namespace DetailTransfert {

// The work file of a cut transfer and, beside it, what the server said of the
// bytes it holds: the address, their validator (for If-Range) and the size of
// the whole resource.
// Another copy of the program (a scheduled run without windows beside the
// window, or two scheduled runs that overlap) may fetch the same address into
// the same folder: whoever first touches the work file holds a lock on it
// until its fetch ends, and the other fetches from zero into a file of its
// own, without reading, writing or removing that work file. Two fetches
// appending to one file would splice a wrong file of the right size.
struct Reprise {
    struct Info {
        QString adresse, validateur;
        qint64 taille = -1;
    };

    Reprise(const QString& adresse_, const QString& destination_)
        : adresse(adresse_), destination(destination_),
          dossier(QFileInfo(destination).absolutePath() + QLatin1Char('/') + QLatin1String(DossierReprise) +
                  QLatin1Char('/')) {}
    ~Reprise() {
        if (!verrou || !verrou->isLocked())
            return;
        verrou->unlock();
        if (dossierPresent < 0)
            QDir().rmdir(dossier); // only when empty: Oublie left it for the lock
    }
    Reprise(const Reprise&) = delete;
    Reprise& operator=(const Reprise&) = delete;

    // The work file is this fetch's (locked from the first call on), or
    // another program's, which is then left alone.
    bool Tient() {
        if (!verrou) {
            Chemins();
            verrou = std::make_unique<QLockFile>(dossier + cle + QStringLiteral(".verrou"));
            // A lock whose program is gone (killed during its transfer) is
            // taken over whatever its age.
            verrou->setStaleLockTime(0);
        }
        // Held by another program: left to it for this whole fetch. Any other
        // failure (the folder just went) may pass once the folder is made.
        if (!verrou->isLocked() && verrou->error() != QLockFile::LockFailedError)
            verrou->tryLock(0);
        return verrou->isLocked();
    }

    // The folder was just made or seen (a work file went into it): no need to ask.
    void DossierPresent() { dossierPresent = 1; }

    // False when the folder of work files is known to be absent, so that
    // there is nothing to read or remove. Most fetches of a run are of small
    // files that never make one: asked once, rather than three failed
    // removals twice per file.
    bool PeutExister() const {
        if (dossierPresent < 0)
            dossierPresent = QFileInfo::exists(dossier) ? 1 : 0;
        return dossierPresent > 0;
    }

    // The bytes kept for this address and destination, with the validator
    // they were received under and the size of the whole resource; 0 when
    // nothing usable is kept (what was kept then goes). Whether the server
    // still serves the same resource is its answer to If-Range.
    qint64 Gardee(QString& validateurGarde, qint64& total) {
        if (!PeutExister())
            return 0;
        Chemins();
        QFile f(info);
        if (!f.exists() || !Tient())
            return 0;
        Nettoie(dossier);
        qint64 octets = 0;
        if (f.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> l = f.readAll().split('\n');
            bool nombre = false;
            total = l.value(3).toLongLong(&nombre);
            octets = QFileInfo(travail).size();
            if (l.size() != 5 || l[0] != Entete || QString::fromUtf8(l[1]) != adresse || !nombre ||
                l[2].isEmpty() || octets <= 0 || octets >= total)
                octets = 0;
            else
                validateurGarde = QString::fromUtf8(l[2]);
        }
        if (octets == 0)
            Oublie();
        return octets;
    }

    // Records the bytes of the work file as coming from the resource `i`.
    bool Ecrit(const Info& i) {
        if (!QDir().mkpath(dossier))
            return false;
        dossierPresent = 1;
        if (!Tient())
            return false;
        Nettoie(dossier);
        QFile f(info);
        const QByteArray texte = Entete + '\n' + i.adresse.toUtf8() + '\n' + i.validateur.toUtf8() + '\n' +
                                 QByteArray::number(i.taille) + '\n';
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(texte) == texte.size();
    }

    void Oublie() {
        if (!PeutExister())
            return;
        // The folder also holds the work files that cannot be resumed: a
        // fetch that kept nothing takes no lock there.
        Chemins();
        if (!verrou && !QFileInfo::exists(info) && !QFileInfo::exists(travail))
            return;
        if (!Tient())
            return;
        QFile::remove(travail);
        QFile::remove(info);
        QDir().rmdir(dossier); // only when empty
        dossierPresent = -1;
    }

    // Removes the work files left for more than a week (once per folder and
    // run of the program).
    static void Nettoie(const QString& dossier) {
        static QSet<QString> faits;
        if (faits.contains(dossier))
            return;
        faits.insert(dossier);
        const QDateTime limite = QDateTime::currentDateTimeUtc().addDays(-DureeVieRepriseJours);
        for (const QFileInfo& f : QDir(dossier).entryInfoList(QDir::Files | QDir::Hidden))
            if (f.lastModified().toUTC() < limite)
                QFile::remove(f.filePath());
    }

    // The names of the work file and of its description, made of a digest of
    // the address and the destination's name (worked out when first needed).
    void Chemins() {
        if (!travail.isEmpty())
            return;
        cle = QString::fromLatin1(
            QCryptographicHash::hash((adresse + QLatin1Char('\n') + QFileInfo(destination).fileName()).toUtf8(),
                                     QCryptographicHash::Sha256)
                .toHex()
                .left(32));
        travail = dossier + cle + QStringLiteral(".part");
        info = dossier + cle + QStringLiteral(".info");
    }

    static inline const QByteArray Entete = QByteArrayLiteral("Le Ramaglin reprise 1");
    QString adresse, destination, dossier, cle, travail, info;
    std::unique_ptr<QLockFile> verrou;
    mutable int dossierPresent = -1; // -1: not asked yet
};

} // namespace DetailTransfert
