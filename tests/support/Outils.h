// Small helpers shared by the tests: fixture paths, file contents, waiting.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <ostream>

inline QString CheminFixture(const QString& relatif) {
    return QStringLiteral(RAMAGLIN_SOURCE_DIR "/tests/fixtures/") + relatif;
}

// Writes bytes to a file (creating folders); false on failure.
inline bool EcritFichier(const QString& chemin, const QByteArray& octets) {
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(octets) == octets.size();
}

inline QByteArray LitFichier(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lets the event loop turn until `condition` holds or `ms` have passed.
template <typename F>
bool AttendQue(F condition, int ms) {
    for (QDeadlineTimer limite(ms); !condition(); QThread::msleep(1)) {
        if (limite.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Readable texts in the tests' failure reports (lists of them too) and messages.
inline std::ostream& operator<<(std::ostream& sortie, const QString& texte) {
    return sortie << '"' << texte.toStdString() << '"';
}
inline void PrintTo(const QString& texte, std::ostream* sortie) { *sortie << texte; }
