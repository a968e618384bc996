#include "support/Outils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString CheminFixture(const QString& relatif) {
    return QStringLiteral(RAMAGLIN_SOURCE_DIR "/tests/fixtures/") + relatif;
}

bool EcritFichier(const QString& chemin, const QByteArray& octets) {
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(octets) == octets.size();
}

QByteArray LitFichier(const QString& chemin) {
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}
