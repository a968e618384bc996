// Fuzz target: Ramag.ini as anything may have left it. What is read is
// written back and read again to the same settings.
#include <QByteArray>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "Soutien.h"
#include "config/ReglagesConnexion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    Muet::Installe();
    static QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("Ramag.ini"));
    const QString copie = dossier.filePath(QStringLiteral("copie/Ramag.ini"));
    if (!EcritOctets(chemin, QByteArray(reinterpret_cast<const char*>(donnees), qsizetype(taille))))
        std::abort();
    ReglagesConnexion lus;
    if (!LitRamagIni(chemin, lus) || !EcritRamagIni(copie, lus))
        std::abort();
    ReglagesConnexion relus;
    relus.adresseProxy = QStringLiteral("?");
    relus.portHTTP = relus.portFTP = QStringLiteral("?");
    if (!LitRamagIni(copie, relus))
        std::abort();
    if (relus.particulier != lus.particulier || relus.adresseProxy != lus.adresseProxy ||
        relus.portHTTP != lus.portHTTP || relus.portFTP != lus.portFTP)
        std::abort();
    return 0;
}
