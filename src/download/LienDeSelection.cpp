// Download through a link page: the file fetched for a row is a small page
// that links to the real file. Its links are read, filtered, fetched into the
// destination folder one after the other, and unpacked there when they are
// archives to unpack.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>

#include <memory>

#include "config/Fonctions_Variables.h"
#include "app/JaugeWidget.h"
#include "app/frmPrincipal.h"
#include "download/frmRapport.h"
#include "html/Fonctions_Chemin.h"
#include "html/Fonctions_Internet.h"
#include "net/Fonctions_Internet_INET.h"
#include "util/ListeAuto.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Messages.h"
#include "util/ModuleRamaglin.h"
#include "zip/Cls_Zip.h"

namespace {

// Removes, at the same index from the three lists, every link whose address
// (in capitals) does not satisfy `garde`.
template <typename Condition>
void FiltreLiens(ListeAuto& adresses, ListeAuto& types, ListeAuto& textes, Condition garde) {
    qint32 i = 0;
    while (i < adresses.NbElementsListe()) {
        if (garde(adresses.RenvoieElement(i).toUpper())) {
            ++i;
        } else {
            adresses.SupprimeElement(i);
            types.SupprimeElement(i);
            textes.SupprimeElement(i);
        }
    }
}

} // namespace

bool frmPrincipal::RetelechargeLienDeSelection(QString page, QString dossier) {
    DernierLien.clear();
    DernierLienDecompresse = false;

    ListeAuto adresses, types, textes;
    ExtraitLiensHTML(page, LitVariable(QStringLiteral("ADRESSE_BASE_LIENS_INTERNET")), adresses,
                     types, &textes);
    EffaceFichier(page, false);

    const QString texte = LitVariable(QStringLiteral("SUPPR_LIENS_DIFF_TXT2")).toUpper();
    if (!texte.isEmpty())
        FiltreLiens(adresses, types, textes,
                    [&](const QString& adresse) { return adresse.contains(texte); });
    const QString extension = LitVariable(QStringLiteral("CONSERVER_UNE_SEULE_EXTENSION")).toUpper();
    if (!extension.isEmpty())
        FiltreLiens(adresses, types, textes, [&](const QString& adresse) {
            return ExtensionFichier(adresse) == extension;
        });

    frmRapport* rapport = Rapport();
    const qint32 nombre = adresses.NbElementsListe();
    if (nombre == 0) {
        rapport->AjouteLigne(QString::fromUtf8("[Attention] Aucun lien dans le fichier téléchargé"));
        QCoreApplication::processEvents();
        return false;
    }

    const bool decompresse = LitVariable(QStringLiteral("DECOMPRESSER_LIEN_ZIP")) == QLatin1String("O");
    std::unique_ptr<Cls_Zip> zip; // made at the first archive, used for all of this call's
    bool resultat = false;
    for (qint32 i = 0; i < nombre; ++i) {
        if (ArretDemande)
            break;
        InitialiseJauge(*rapport->Jauge);
        QString adresse = adresses.RenvoieElement(i);
        const QString nomAvant = NomFichierChemin(adresse);
        const QString destination = dossier + nomAvant;
        rapport->AjouteLigne(QStringLiteral("[En cours] ") + nomAvant);
        QCoreApplication::processEvents();

        QString raison;
        double taille = 0;
        bool redirige = false;
        bool transfere = false;
        if (ArretDemande) {
            // Confirmed during the yield: the fetch would start by forgetting it.
        } else if (!NomDansDossier(nomAvant)) {
            raison = QStringLiteral("nom de fichier refusé (hors du dossier de destination) : ") +
                     adresse;
        } else {
            transfere = TelechargeFichier(*Inet1, adresse, destination, false, -1, rapport->Jauge,
                                          taille, redirige, &raison);
        }
        // After a redirection the lines name what the server actually sent.
        const QString nom = NomFichierChemin(adresse);
        if (!transfere) {
            if (ArretDemande)
                rapport->RemplaceDerniereLigne(QStringLiteral("[Arrêt demandé] ") + nom);
            else
                rapport->RemplaceDerniereLigne(QStringLiteral("[Erreur] ") + nom, raison);
            QCoreApplication::processEvents();
            continue;
        }

        bool issue = true;
        if (decompresse) {
            if (!zip) {
                zip = std::make_unique<Cls_Zip>();
                // A large archive takes a while: the windows keep answering
                // (the stop button included), at most every 50 ms.
                QElapsedTimer horloge;
                horloge.start();
                zip->FixeSuivi([horloge]() mutable {
                    if (horloge.elapsed() >= 50) {
                        horloge.restart();
                        QCoreApplication::processEvents();
                    }
                });
            }
            issue = false;
            if (zip->Get_Contents(destination) == Cls_Zip::ZipOk) {
                const QList<bool> tout(zip->FileCount() + 1, true); // index 0 unused
                issue = zip->UnPack(tout, RepertoireChemin(destination)) == Cls_Zip::ZipOk;
            }
            if (!issue) {
                MsgBox(QString::fromUtf8("Problème lors de la décompression ZIP."),
                       IconeMessage::Exclamation);
                raison = QString::fromUtf8("archive illisible ou non décompressée");
            }
        }
        if (issue)
            rapport->RemplaceDerniereLigne(QStringLiteral("[OK] ") + nom + QStringLiteral(" (") +
                                           FormateTaille(double(TailleFichier(destination)), false) +
                                           QLatin1Char(')'));
        else
            rapport->RemplaceDerniereLigne(QStringLiteral("[Erreur] ") + nom, raison);
        if (decompresse)
            EffaceFichier(destination, false); // its contents are what the user keeps
        QCoreApplication::processEvents();

        resultat = issue;
        if (issue) {
            DernierLien = destination;
            DernierLienDecompresse = decompresse;
        }
    }
    return resultat;
}
