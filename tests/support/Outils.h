// Small helpers shared by the tests: fixture paths and file contents.
#pragma once

#include <QByteArray>
#include <QString>

// Path of a file under tests/fixtures.
QString CheminFixture(const QString& relatif);

// Writes bytes to a file (creating folders); false on failure.
bool EcritFichier(const QString& chemin, const QByteArray& octets);
QByteArray LitFichier(const QString& chemin);

// Lets the event loop turn until `condition` holds or `ms` have passed.
template <typename F>
bool AttendQue(F condition, int ms);

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename F>
bool AttendQue(F condition, int ms) {
    QDeadlineTimer limite(ms);
    while (!condition()) {
        if (limite.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

#include <ostream>

#include <QString>

// Readable texts in the tests' failure reports (lists of them too).
inline void PrintTo(const QString& texte, std::ostream* sortie) { *sortie << '"' << texte.toStdString() << '"'; }
