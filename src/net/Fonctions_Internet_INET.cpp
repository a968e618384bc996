// The transfer layer over the Inet transfer object: the connection settings.
// The fetch itself is in Transfert.cpp, its pieces in files of their own
// (NomsTravail, EspaceLibre, SortieBornee, Reprise), and the checks on
// fetched files in FinsDeLigne.cpp and PageErreur.cpp.
#include "net/Fonctions_Internet_INET.h"

#include <algorithm>
#include <cmath>

#include "net/Inet.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Math.h"

void ParametreConnexion(Inet& inet, bool http, const QString& adresseProxy,
                        const QString& portHTTP, const QString& portFTP,
                        const QString& utilisateur, const QString& motDePasse) {
    inet.Cancel();
    if (!adresseProxy.isEmpty()) {
        inet.UserName = utilisateur;
        inet.Password = motDePasse;
        // An address typed with its own port ("http://proxy:3128",
        // "proxy:3128", "[::1]:3128") keeps it: the port field is for an
        // address that names none.
        QString adresse = adresseProxy.trimmed();
        while (adresse.endsWith(QLatin1Char('/')))
            adresse.chop(1);
        const QString hote = adresse.section(QLatin1String("://"), -1);
        const qsizetype deux = hote.lastIndexOf(QLatin1Char(':'));
        const QString sonPort = deux > hote.lastIndexOf(QLatin1Char(']')) ? hote.mid(deux + 1) : QString();
        const bool aSonPort = !sonPort.isEmpty() && std::all_of(sonPort.begin(), sonPort.end(),
                                                               [](QChar c) { return c.isDigit(); });
        QString port = aSonPort ? sonPort : http ? portHTTP : portFTP;
        if (port.isEmpty())
            port = http ? QStringLiteral("80") : QStringLiteral("21");
        inet.RemotePort = int(std::clamp(std::nearbyint(NombreSouple(port)), 0.0, 65535.0));
        inet.AccessType = Inet::AccesProxy;
        inet.Proxy = aSonPort ? adresse : adresse + QLatin1Char(':') + port;
    } else {
        inet.AccessType = Inet::AccesSysteme;
    }
    inet.Protocol = http ? Inet::ProtocoleHTTP : Inet::ProtocoleFTP;
    inet.RequestTimeout = 60;
}

void GereEtatTransfert(Inet&, int) {
    // Nothing to record: the fetch learns its outcome from its own reads.
}
