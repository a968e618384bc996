// The transfer layer over the Inet transfer object.
#include "net/Fonctions_Internet_INET.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include "net/FichierEnFond.h"
#include "net/Inet.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/ModuleRamaglin.h"

namespace {

// State of the one fetch in progress; only touched on the user-interface
// thread, by TelechargeFichier and by the state changes it waits for.
bool ReceptionEnCours = false;
bool ErreurTransfert = false;
QString FichierDestination; // the temporary file actually written
double TailleServeur = -1;
double TailleMaximale = -1;
QElapsedTimer HeureDebut;
SurfaceJauge* JaugeTransfert = nullptr;

constexpr int TailleMorceau = 1024;

// Waits for the next event (data, the end of a request, a click), at most a
// few milliseconds, without spinning.
void AttendUnEvenement() {
    QTimer limite;
    limite.setSingleShot(true);
    limite.start(20);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::filesystem::path CheminNatif(const QString& chemin) {
#ifdef _WIN32
    return std::filesystem::path(chemin.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(chemin).toStdString());
#endif
}

// An empty work file beside `destination`, so that the final rename stays on
// the same file system; empty text when the folder does not take it.
QString CreeFichierTemporaire(const QString& destination) {
    // Named after the destination when the name leaves room for the suffix,
    // with a short name of its own otherwise.
    for (const QString& modele :
         {destination + QStringLiteral(".XXXXXX.part"),
          QFileInfo(destination).absolutePath() + QStringLiteral("/.ramaglin-XXXXXX.part")}) {
        QTemporaryFile fichier(modele);
        fichier.setAutoRemove(false);
        if (fichier.open()) {
            // Qt may open a file with no name yet and fail to give it one.
            const QString chemin = fichier.fileName();
            fichier.close();
            if (!chemin.isEmpty())
                return chemin;
        }
    }
    return QString();
}

// Puts the work file in the destination's place (replacing an older file).
bool RemplaceDestination(const QString& temporaire, const QString& destination) {
    std::error_code erreur;
    std::filesystem::rename(CheminNatif(temporaire), CheminNatif(destination), erreur);
    return !erreur;
}

int PourcentageBorne(double valeur) {
    if (std::isnan(valeur))
        return 0;
    return int(std::clamp(std::nearbyint(valeur), 0.0, 100.0));
}

} // namespace

void ParametreConnexion(Inet& inet, bool http, const QString& adresseProxy,
                        const QString& portHTTP, const QString& portFTP,
                        const QString& utilisateur, const QString& motDePasse) {
    inet.Cancel();
    if (!adresseProxy.isEmpty()) {
        inet.UserName = utilisateur;
        inet.Password = motDePasse;
        QString port = http ? portHTTP : portFTP;
        if (port.isEmpty())
            port = http ? QStringLiteral("80") : QStringLiteral("21");
        inet.RemotePort = int(std::clamp(std::nearbyint(NombreSouple(port)), 0.0, 65535.0));
        inet.AccessType = Inet::AccesProxy;
        inet.Proxy = adresseProxy + QLatin1Char(':') + port;
    } else {
        inet.AccessType = Inet::AccesSysteme;
    }
    inet.Protocol = http ? Inet::ProtocoleHTTP : Inet::ProtocoleFTP;
    inet.RequestTimeout = 60;
}

void InterrogeEnTete(Inet& inet, QString& adresse, double& taille, bool& redirige,
                     QString& dateModification) {
    ArretDemande = false;
    ReceptionEnCours = false;
    ErreurTransfert = false;
    redirige = false;
    taille = -1;

    inet.Execute(adresse, QStringLiteral("HEAD"));
    while (inet.StillExecuting() && !ArretDemande)
        AttendUnEvenement();
    if (ArretDemande) {
        inet.Cancel();
        return;
    }

    const QString longueur = inet.GetHeader(QStringLiteral("Content-length"));
    QString location = inet.GetHeader(QStringLiteral("Location"));
    if (!location.isEmpty()) {
        // A relative Location is relative to the address probed.
        const QUrl cible(location);
        if (cible.isRelative())
            location = QUrl(adresse).resolved(cible).toString();
    }
    if (!location.isEmpty() && location != adresse) {
        adresse = location;
        redirige = true;
    }
    dateModification = inet.GetHeader(QStringLiteral("Last-modified")).left(30);
    if (EstNombre(longueur) && !ArretDemande) {
        taille = ValeurNombre(longueur);
        if (taille <= 0)
            taille = -1;
    }
}

bool TelechargeFichier(Inet& inet, QString& adresse, const QString& destination,
                       bool verifierPage, qint32 tailleMax, SurfaceJauge* jauge,
                       double& taille, bool& redirige) {
    ArretDemande = false;
    TailleMaximale = tailleMax;
    HeureDebut.start();
    JaugeTransfert = jauge;
    if (jauge)
        InitialiseJauge(*jauge);

    // Whatever happens, an earlier file at the destination stays until the
    // new one is complete.
    const QString temporaire = CreeFichierTemporaire(destination);
    FichierDestination = temporaire;
    bool resultat = false;

    if (!temporaire.isEmpty()) {
        QString dateModification;
        InterrogeEnTete(inet, adresse, TailleServeur, redirige, dateModification);
        QCoreApplication::processEvents();

        if (TailleServeur == -1) {
            // Size unknown: the whole resource, without progress.
            inet.Cancel();
            if (jauge)
                MasqueJauge(*jauge);
            FichierEnFond fichier(temporaire);
            if (fichier.Ouvre() && inet.OpenURL(adresse, fichier) && !ArretDemande &&
                fichier.Termine()) {
                const qint64 longueur = QFileInfo(temporaire).size();
                TailleServeur = double(longueur);
                taille = TailleServeur;
                resultat = longueur > 0;
                if (resultat && tailleMax != -1 && longueur > tailleMax)
                    resultat = QFile::resize(temporaire, std::max<qint64>(tailleMax, 0));
            } else {
                fichier.Abandonne();
            }
        } else {
            // Size known: GET, received by GereEtatTransfert in chunks.
            taille = TailleServeur;
            ReceptionEnCours = true;
            ErreurTransfert = false;
            inet.Execute(adresse, QStringLiteral("GET"));
            while (inet.StillExecuting() && ReceptionEnCours && !ArretDemande)
                AttendUnEvenement();
            if (ErreurTransfert || ArretDemande)
                resultat = false;
            else if (!verifierPage)
                resultat = QFileInfo(temporaire).size() > 0;
            else
                resultat = FichierSansErreur(temporaire);
        }
    }

    if (resultat)
        resultat = RemplaceDestination(temporaire, destination);
    if (!resultat) {
        inet.Cancel();
        if (!temporaire.isEmpty())
            QFile::remove(temporaire);
    }
    if (jauge)
        MasqueJauge(*jauge);
    return resultat;
}

void GereEtatTransfert(Inet& inet, int etat) {
    if (etat == Inet::EtatErreur) {
        if (ReceptionEnCours)
            ReceptionEnCours = false;
        ErreurTransfert = true;
        return;
    }
    if (etat != Inet::EtatReponse || !ReceptionEnCours)
        return;

    // Written by a thread of its own, so that a stalling disk does not stop
    // the event loop.
    FichierEnFond fichier(FichierDestination);
    if (!fichier.Ouvre()) {
        ReceptionEnCours = false;
        ErreurTransfert = true;
        return;
    }
    double recu = 0;
    int pourcentage = 0;
    int pourcentageTexte = 0;
    QString textePourcentage = QStringLiteral("0");
    while (ReceptionEnCours && !ArretDemande) {
        const QByteArray morceau = inet.GetChunk(TailleMorceau);
        recu += double(morceau.size());

        const bool parLimite = TailleMaximale != -1 && TailleMaximale <= TailleServeur;
        if (parLimite)
            pourcentage = PourcentageBorne(recu / TailleMaximale * 100);
        else if (recu <= TailleServeur)
            pourcentage = PourcentageBorne(recu / TailleServeur * 100);

        // The gauge only redraws a new percentage: build its caption only then
        // (this runs for every kilobyte: no text is made for nothing).
        if (pourcentage != pourcentageTexte) {
            pourcentageTexte = pourcentage;
            textePourcentage = QString::number(pourcentage);
        }
        if (JaugeTransfert && textePourcentage != JaugeTransfert->Tag) {
            QString legende = QString::number(pourcentage) + QStringLiteral(" % (") +
                              FormateTaille(recu, true) + QStringLiteral(" sur ") +
                              FormateTaille(parLimite ? TailleMaximale : TailleServeur, false) +
                              QLatin1Char(')');
            const qint64 secondes = HeureDebut.elapsed() / 1000;
            if (secondes >= 1)
                legende += QStringLiteral(" - ") + FormateTaille(recu / double(secondes), true) +
                           QStringLiteral("/sec");
            AfficheJauge(*JaugeTransfert, pourcentage, legende);
        }

        if (fichier.write(morceau) != morceau.size()) {
            ErreurTransfert = true;
            ReceptionEnCours = false;
            break;
        }
        if ((TailleMaximale == -1 || recu < TailleMaximale) && !morceau.isEmpty())
            CedeDeTempsEnTemps();
        else
            ReceptionEnCours = false;
    }
    if (ErreurTransfert || ArretDemande)
        fichier.Abandonne();
    else if (!fichier.Termine())
        ErreurTransfert = true;
}

void ConvertitFinsDeLigne(const QString& source, const QString& temporaire) {
    QFile entree(source);
    QFile sortie(temporaire);
    if (!entree.open(QIODevice::ReadOnly) ||
        !sortie.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    char precedent = 0; // last character of the previous block
    QByteArray bloc;
    QByteArray converti;
    for (;;) {
        bloc = entree.read(1000);
        if (bloc.isEmpty())
            break;
        converti.clear();
        converti.reserve(bloc.size() * 2);
        for (qsizetype i = 0; i < bloc.size(); ++i) {
            const char c = bloc[i];
            if (c == '\n' && (i == 0 ? precedent : bloc[i - 1]) != '\r')
                converti.append('\r');
            converti.append(c);
        }
        if (sortie.write(converti) != converti.size())
            return;
        precedent = bloc.back();
    }
    entree.close();
    if (!sortie.flush())
        return;
    sortie.close();
    QFile::remove(source);
    QFile::rename(temporaire, source);
}

bool FichierSansErreur(const QString& chemin) {
    QFile fichier(chemin);
    if (!fichier.exists() || fichier.size() < 5 || !fichier.open(QIODevice::ReadOnly))
        return false;
    const QByteArray debut = fichier.read(1000);
    if (debut.contains("An error has occurred..."))
        return false;
    const QByteArray entete = debut.left(200);
    if (entete.contains(">404 ") || entete.contains("404 "))
        return false;
    const QByteArray minuscules = entete.toLower();
    return !minuscules.contains("error") && !minuscules.contains("erreur");
}
