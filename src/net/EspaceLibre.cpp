// The free space of a folder's file system.
#include "net/EspaceLibre.h"

#include <QFile>
#include <QString>

#ifdef _WIN32
#include <QStorageInfo>
#else
#include <sys/statvfs.h>
#endif

namespace DetailTransfert {

qint64 EspaceLibre(const QString& dossier) {
#ifdef _WIN32
    const QStorageInfo info(dossier);
    return info.isValid() ? info.bytesAvailable() : -1;
#else
    struct statvfs etat;
    if (::statvfs(QFile::encodeName(dossier).constData(), &etat) != 0)
        return -1;
    return qint64(etat.f_bavail) * qint64(etat.f_frsize);
#endif
}

} // namespace DetailTransfert
