// The first look at a service file, and the memory of the files accepted.
#include "app/PremierRegard.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QStringList>

#include "config/Fonctions_Variables.h"
#include "search/FraicheurListe.h"
#include "util/Fonctions_Messages.h"

namespace {

const QByteArray EnteteAccord = QByteArrayLiteral("Le Ramaglin service accepte 1\n");

QByteArray Empreinte(const QByteArray& octets) {
    return QCryptographicHash::hash(octets, QCryptographicHash::Sha256).toHex();
}

// One file per parameter file, named by the digest of its path; the prefix
// keeps it apart from the lists' versions in the same folder.
QByteArray NomAccord(const QString& chemin) {
    QString absolu = QFileInfo(chemin).canonicalFilePath();
    if (absolu.isEmpty())
        absolu = QFileInfo(chemin).absoluteFilePath();
    return QByteArrayLiteral("service-") + Empreinte(absolu.toUtf8());
}

QByteArray ContenuAccord(const QByteArray& contenu) {
    return EnteteAccord + Empreinte(contenu) + '\n';
}

} // namespace

QString QuestionPremierRegard(const TableVariables& service) {
    // Quietly: an options list without one of these names is not the
    // question's business.
    const auto lit = [&service](const QString& nom) {
        return service.Existe(nom, 0) ? service.Lit(nom) : QString();
    };
    const auto oui = [&lit](const QString& nom) { return lit(nom) == QLatin1String("O"); };
    QStringList actions;
    const QString destination = lit(QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"));
    if (!destination.isEmpty())
        actions << QStringLiteral("enregistrera les fichiers dans ") + destination;
    if (oui(QStringLiteral("LANCER_APRES_TELECHARGEMENT")))
        actions << QStringLiteral("ouvrira le fichier téléchargé");
    if (oui(QStringLiteral("FICHIER_CONFIG_SUPPR")))
        actions << QStringLiteral("effacera son fichier paramètre après l'avoir lu");
    if (oui(QStringLiteral("LANCER_TELECHARGEMENT_DEMARRAGE")))
        actions << QStringLiteral("lancera la recherche dès l'ouverture");
    if (actions.isEmpty())
        return QString();
    QString phrase = actions.takeLast();
    if (!actions.isEmpty())
        phrase = actions.join(QStringLiteral(", ")) + QStringLiteral(" et ") + phrase;
    return QStringLiteral("Ce service ") + phrase + QStringLiteral(". Continuer ?");
}

bool PremierRegard(const QString& chemin, const QByteArray& contenu, const TableVariables& service) {
    const QString question = QuestionPremierRegard(service);
    if (question.isEmpty())
        return true;
    const QString dossier = DossierFraicheur();
    const QByteArray nom = NomAccord(chemin);
    const QByteArray attendu = ContenuAccord(contenu);
    if (LitFichierEtat(dossier, nom, attendu.size()) == attendu)
        return true;
    if (MsgBox(question, IconeMessage::Question, BoutonsMessage::OuiNon) != ReponseMessage::Oui)
        return false;
    // Not kept (a folder that cannot be written): asked again next time.
    EcritFichierEtat(dossier, nom, attendu);
    return true;
}
