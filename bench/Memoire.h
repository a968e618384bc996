// Memory figures of the benchmark programs, read from /proc/self/status.
#pragma once

#include <QByteArray>
#include <QFile>

// A value of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 when unknown.
inline long StatutKio(const char* cle) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefixe = QByteArray(cle) + ':';
    for (const QByteArray& ligne : f.readAll().split('\n'))
        if (ligne.startsWith(prefixe))
            return ligne.mid(prefixe.size()).trimmed().split(' ').value(0).toLong();
    return 0;
}
