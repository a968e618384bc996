// Opening files, folders and addresses through the shell seam.
#include "download/Fonctions_LanceFichier.h"

#include <QDir>

#include "html/Fonctions_Chemin.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Shell.h"

namespace {

// The desktop's codes for the window modes.
int CodeModeFenetre(const QString& mode) {
    if (mode == QLatin1String("1"))
        return 6; // minimized, without focus
    if (mode == QLatin1String("2"))
        return 1; // normal, with focus
    if (mode == QLatin1String("3"))
        return 3; // maximized, with focus
    return 0;     // hidden
}

QString EntreGuillemets(const QString& texte) {
    return texte.startsWith(QLatin1Char('"')) ? texte : QLatin1Char('"') + texte + QLatin1Char('"');
}

// The desktop takes paths as they are: the quotes only delimit them on a
// command line.
QString SansGuillemets(QString texte) {
    if (texte.startsWith(QLatin1Char('"')))
        texte.remove(0, 1);
    if (texte.endsWith(QLatin1Char('"')))
        texte.chop(1);
    return texte;
}

// The desktop resolves a relative name as it likes (a web address, or a file
// of its own working folder): it is given the path from the program's.
QString Absolu(const QString& chemin) {
    const QString nu = SansGuillemets(chemin);
    if (nu.isEmpty() || QDir::isAbsolutePath(nu))
        return chemin;
    return QLatin1Char('"') + QDir::current().absoluteFilePath(nu) + QLatin1Char('"');
}

} // namespace

bool LanceFichier(const QString& fichier, bool verifierExistence, QString& verbe,
                  QString& parametres, QString& dossier, const QString& modeFenetre,
                  bool& attendre) {
    QString cible;
    const bool adresse = EstAdresseInternet(fichier);
    if (adresse) {
        verbe = QStringLiteral("open");
        cible = fichier;
    } else {
        if (!parametres.isEmpty())
            cible = fichier;
        else
            SepareLigneCommande(fichier, cible, parametres);
        if (verifierExistence && !FichierExiste(cible)) {
            MsgBox(QStringLiteral("Fichier ") + cible + QStringLiteral(" inexistant !"),
                   IconeMessage::Critique);
            return false;
        }
        cible = Absolu(EntreGuillemets(cible));
        const QString extension = ExtensionFichier(cible);
        if (extension == QLatin1String("PIF") || extension == QLatin1String("COM") ||
            extension == QLatin1String("EXE"))
            verbe.clear();
    }
    if (dossier.isEmpty())
        dossier = adresse ? QString() : RepertoireChemin(cible);
    dossier = EntreGuillemets(dossier);
    if (!adresse)
        dossier = Absolu(dossier);

    const int mode = CodeModeFenetre(modeFenetre);
    if (!verbe.isEmpty()) {
        if (attendre)
            MsgBox(QStringLiteral("L'attente de la fin d'exécution d'un document n'est pas gérée !"),
                   IconeMessage::Exclamation);
        if (!Shell().Ouvre(verbe, SansGuillemets(cible), parametres, SansGuillemets(dossier), mode)) {
            // The desktop has nothing to open it with.
            MsgBox(QStringLiteral("Le fichier à lancer est de type ") + ExtensionFichier(cible) +
                       QStringLiteral(" mais aucune application n'est associée."),
                   IconeMessage::Exclamation);
            return false;
        }
        return true;
    }
    QString commande = cible;
    if (!parametres.isEmpty())
        commande += QLatin1Char(' ') + parametres;
    return Shell().Lance(commande, attendre) > 32;
}
