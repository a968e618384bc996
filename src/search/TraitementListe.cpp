// List processing. Each step works on the lines of one search, held once in
// memory: the bytes that were verified are the bytes that are filtered, and
// the list copy is written once, by the search, when all steps are done.
#include "search/TraitementListe.h"

#include <QFile>
#include <algorithm>
#include <QSet>
#include <QStringEncoder>
#include <limits>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "html/Fonctions_Internet.h"
#include "search/DecodeEntites.h"
#include "search/LignesListe.h"
#include "util/ListeAuto.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Texte.h"

namespace {

const QString Tab = QStringLiteral("\t");

int Colonne(const TableVariables& reglages, const QString& variable) {
    return EntierSouple(reglages.Lit(variable));
}

// Keeps the lines whose column `colonne` satisfies `garde`; true when some
// line stayed. The lines stay in UTF-8 bytes, so that a list of a million
// lines is filtered without a string per line.
template <typename Garde>
bool FiltreListe(LignesListe& lignes, int colonne, Garde garde) {
    std::vector<bool> retiree(size_t(lignes.Nombre()), false);
    qsizetype gardees = 0;
    for (qsizetype i = 0; i < lignes.Nombre(); ++i) {
        retiree[size_t(i)] = !garde(lignes.ColonneOctets(i, colonne));
        gardees += !retiree[size_t(i)];
    }
    lignes.Retire(retiree);
    return gardees > 0;
}

} // namespace

bool LitLignesListe(const QString& chemin, QStringList& lignes) {
    return LitLignesFichier(chemin, lignes);
}

const QSet<QString>& VariablesReserveesListeSure() {
    static const QSet<QString> noms{
        QStringLiteral("FICHIER_LISTE_NOM"),
        QStringLiteral("ADRESSE_BASE_FICHIERS_SOURCES"),
        QStringLiteral("ADRESSE_BASE_LIENS_INTERNET"),
        QStringLiteral("COLONNE_EMPREINTE"),
        QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"),
        QStringLiteral("REP_TMP"),
        QStringLiteral("CHEMIN_A_COMPARER"),
        QStringLiteral("LANCER_APRES_TELECHARGEMENT"),
        QStringLiteral("FICHIER_CONFIG_SUPPR"),
        QStringLiteral("CLE_PUBLIQUE_LISTE"),
    };
    return noms;
}

bool RecupereParametres(LignesListe& lignes, TableVariables& reglages, bool listeSure) {
    if (lignes.EstVide() || lignes.Octets(0) != MarqueurListe.toLatin1()) {
        MsgBox(QStringLiteral("La recherche n'a pas aboutie."), IconeMessage::Critique);
        return false;
    }
    // The block's lines are the only ones made into text: the rows stay
    // bytes, and go by one compaction in place.
    const QByteArray debut = DebutParametres.toLatin1(), fin = FinParametres.toLatin1();
    QStringList bloc;
    qsizetype i = 1;
    if (i < lignes.Nombre() && lignes.Octets(i) == debut) {
        for (++i; i < lignes.Nombre() && lignes.Octets(i) != fin; ++i)
            bloc.append(lignes.Ligne(i));
        ++i; // the closing line, when there is one
    }
    std::vector<bool> retiree(size_t(lignes.Nombre()), false);
    std::fill(retiree.begin(), retiree.begin() + std::min(i, lignes.Nombre()), true);
    lignes.Retire(retiree);

    QStringList ignorees;
    LitParametres(reglages, bloc, 1, QStringLiteral("liste"),
                  listeSure ? QSet<QString>{} : VariablesReserveesListeSure(), &ignorees);
    if (!ignorees.isEmpty())
        MsgBox(QStringLiteral("La liste a été obtenue sans chiffrement et n'est pas signée : "
                              "son bloc de paramètres ne peut pas changer ") +
                   ignorees.join(QStringLiteral(", ")) + QStringLiteral(". Ces lignes ont été ignorées."),
               IconeMessage::Exclamation);
    return true;
}

bool ComparaisonRepertoire(LignesListe& lignes, const TableVariables& reglages, bool& reponse) {
    const QString dossier = AvecSeparateurFinal(reglages.Lit(QStringLiteral("CHEMIN_A_COMPARER")));
    const QString motif = dossier + reglages.Lit(QStringLiteral("EXTENSION_A_COMPARER"));
    // Names of the files (not folders) matching the pattern; a hash keeps the
    // comparison linear where a scan of the listing per line would not be.
    const QStringList noms = NomsFichiersMotif(motif, true);
    const QSet<QString> presents(noms.begin(), noms.end());
    if (!FiltreListe(lignes, Colonne(reglages, QStringLiteral("COL_COMPARAISON_REP")),
                     [&](QByteArrayView nom) { return !presents.contains(LignesListe::Texte(nom)); })) {
        MsgBox(QStringLiteral("Il n'y a pas eu de nouveaux fichiers."), IconeMessage::Information);
        reponse = false;
        return false;
    }
    return true;
}

bool ComparaisonIdentifiant(LignesListe& lignes, const TableVariables& reglages, bool& reponse) {
    const QString identifiant = reglages.Lit(QStringLiteral("IDENTIFIANT_A_COMPARER"));
    if (!FiltreListe(lignes, Colonne(reglages, QStringLiteral("COL_COMPARAISON_IDENT")),
                     [&, attendu = identifiant.toUtf8()](QByteArrayView valeur) { return valeur == attendu; })) {
        MsgBox(QStringLiteral("Le logiciel n'a pas été trouvé"), IconeMessage::Critique);
        reponse = false;
        return false;
    }
    return true;
}

int ModeLiens(LignesListe& lignes, const TableVariables& reglages) {
    const QString base = reglages.Lit(QStringLiteral("ADRESSE_BASE_LIENS_INTERNET"));
    ListeAuto adresses;
    ListeAuto types;
    ListeAuto textes;
    {
        // The page's bytes are handed over to the extractor, which works on
        // them in place: the lines let go of them first, so that they are
        // neither shared nor copied, and they go as soon as the links are out.
        QByteArray page = lignes.Texte();
        lignes.DefinitOctets(QByteArray());
        ExtraitLiensOctets(std::move(page), base, adresses, types, &textes);
    }
    types = ListeAuto();

    // Only the addresses that hold the filter's text (any case) stay; one pass
    // keeps the same entries, in the same order, as removing the others in turn.
    const QString filtre = reglages.Lit(QStringLiteral("SUPPR_LIENS_DIFF_TXT")).toUpper();
    QByteArray texte;
    qsizetype nombre = 0;
    for (qint32 i = 0; i < adresses.NbElementsListe(); ++i) {
        const QString adresse = adresses.RenvoieElement(i);
        if (!filtre.isEmpty() && !adresse.toUpper().contains(filtre))
            continue;
        QString ancre = textes.RenvoieElement(i);
        if (ancre.isEmpty()) {
            ancre = adresse;
        } else {
            DecodeEntites(ancre);
            // A tab or a line end inside an anchor text would make more columns or
            // more lines than links.
            for (QChar& c : ancre)
                if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                    c = QLatin1Char(' ');
        }
        texte += (adresse + Tab + ancre).toUtf8();
        texte += "\r\n";
        ++nombre;
    }
    lignes.DefinitOctets(texte);
    if (nombre == 0)
        MsgBox(QStringLiteral("Aucun résultat trouvé pour cette recherche."), IconeMessage::Information);
    return int(std::min<qsizetype>(nombre, std::numeric_limits<int>::max()));
}

Version LitVersion(const QString& texte) {
    const QString point = QStringLiteral(".");
    return {EntierSouple(ExtraitColonne(texte, 1, point)),
            EntierSouple(ExtraitColonne(texte, 2, point)),
            EntierSouple(ExtraitColonne(texte, 3, point))};
}

bool ComparaisonVersion(LignesListe& lignes, const TableVariables& reglages, bool& reponse) {
    const Version reference = LitVersion(reglages.Lit(QStringLiteral("VERSION_A_COMPARER")));
    if (!FiltreListe(lignes, Colonne(reglages, QStringLiteral("COL_COMPARAISON_VERSION")),
                     [&](QByteArrayView version) { return LitVersion(LignesListe::Texte(version)) > reference; })) {
        MsgBox(QStringLiteral("Il n'y a pas eu de nouvelle version."), IconeMessage::Information);
        reponse = false;
        return false;
    }
    MsgBox(QStringLiteral("Une nouvelle version a été trouvée !"), IconeMessage::Information);
    reponse = true;
    return true;
}
