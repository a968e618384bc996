// Folders that refuse writes as real ones do, even to root: a small tmpfs that fills up, or a
// read-only bind mount. Without the right to mount, Erreur() says so and the test skips.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include <QFile>
#include <QString>

class DossierMonte final {
public:
    enum Genre { Tmpfs /* empty, of `taille` bytes */, LectureSeule /* the folder as it is */ };

    DossierMonte(const QString& dossier, Genre genre, qint64 taille = 0)
        : dossier_(QFile::encodeName(dossier)) {
        const char* d = dossier_.constData();
        bool ok;
        if (genre == Tmpfs) {
            ok = ::mount("tmpfs", d, "tmpfs", 0, ("size=" + QByteArray::number(taille)).constData()) == 0;
        } else {
            ok = ::mount(d, d, nullptr, MS_BIND, nullptr) == 0;
            if (ok && ::mount(nullptr, d, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
                const int e = errno;
                ::umount2(d, MNT_DETACH);
                errno = e;
                ok = false;
            }
        }
        if (!ok)
            erreur_ = QStringLiteral("montage impossible ici (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        monte_ = ok;
    }
    ~DossierMonte() {
        if (monte_)
            ::umount2(dossier_.constData(), MNT_DETACH);
    }
    DossierMonte(const DossierMonte&) = delete;
    DossierMonte& operator=(const DossierMonte&) = delete;

    QString Erreur() const { return erreur_; }

private:
    QByteArray dossier_;
    QString erreur_;
    bool monte_ = false;
};
