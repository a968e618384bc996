// List file processing. Each step reads the whole list, keeps what it keeps and
// rewrites the file through a work file, so that an interrupted step never
// leaves a half-written list behind.
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

int Colonne(const QString& variable) { return EntierSouple(LitVariable(variable)); }

// Hands the lines, each followed by CR LF, in UTF-8, to `ecrit` in pieces of
// about 1 MiB; false as soon as `ecrit` fails. Each line is encoded straight
// into the piece: a list of a million lines makes no string per line.
template <typename Ecrit>
bool EcritLignes(const QStringList& lignes, Ecrit ecrit) {
    constexpr qsizetype Piece = 1 << 20;
    QStringEncoder utf8(QStringEncoder::Utf8);
    QByteArray tampon(Piece + 4096, Qt::Uninitialized);
    qsizetype rempli = 0;
    for (const QString& ligne : lignes) {
        const qsizetype place = utf8.requiredSpace(ligne.size()) + 2;
        if (rempli + place > tampon.size()) {
            if (rempli > 0 && !ecrit(QByteArrayView(tampon.constData(), rempli)))
                return false;
            rempli = 0;
            if (place > tampon.size())
                tampon.resize(place);
        }
        char* fin = utf8.appendToBuffer(tampon.data() + rempli, ligne);
        *fin++ = '\r';
        *fin++ = '\n';
        rempli = fin - tampon.constData();
    }
    return rempli == 0 || ecrit(QByteArrayView(tampon.constData(), rempli));
}

// Keeps the lines whose column `colonne` satisfies `garde` and rewrites the list
// with them; true when some line stayed. The lines stay in UTF-8 bytes, so that
// a list of a million lines is filtered without a string per line.
template <typename Garde>
bool FiltreListe(const QString& chemin, int colonne, Garde garde) {
    // The lines an earlier filter left in this file are still in memory.
    std::shared_ptr<LignesListe> lignes = LignesListe::Reprend(chemin);
    if (!lignes) {
        lignes = std::make_shared<LignesListe>();
        lignes->Charge(chemin);
    }
    std::vector<bool> retiree(size_t(lignes->Nombre()), false);
    qsizetype gardees = 0;
    for (qsizetype i = 0; i < lignes->Nombre(); ++i) {
        retiree[size_t(i)] = !garde(lignes->ColonneOctets(i, colonne));
        gardees += !retiree[size_t(i)];
    }
    // Compacted first, so that the text written is the block itself.
    lignes->Retire(retiree);
    if (!RemplaceParFichierTravail(chemin, lignes->Texte(), chemin + QStringLiteral("2"))) {
        EcritureListeEchouee = true;
    } else if (lignes->EstVide() || !lignes->Octets(0).startsWith("\xEF\xBB\xBF")) {
        // Reading the file back would give these very lines, unless it now
        // began with what a reader takes for a byte order mark.
        LignesListe::Memorise(chemin, std::move(lignes));
    }
    return gardees > 0;
}

} // namespace

bool EcritureListeEchouee = false;

bool LitLignesListe(const QString& chemin, QStringList& lignes) {
    return LitLignesFichier(chemin, lignes);
}

bool RecritListe(const QString& chemin, const QStringList& lignes, const QString& suffixe) {
    // Never deleted first: the work file replaces the list in one step, so a
    // full disk or a refused rename leaves the list as it was.
    FichierTravail travail(chemin, chemin + suffixe);
    return travail.Ouvre() &&
           EcritLignes(lignes, [&](QByteArrayView piece) { return travail.Ecrit(piece); }) &&
           travail.Remplace();
}

const QSet<QString>& VariablesReserveesListeSure() {
    static const QSet<QString> noms{
        QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"), QStringLiteral("REP_TMP"),
        QStringLiteral("CHEMIN_A_COMPARER"), QStringLiteral("LANCER_APRES_TELECHARGEMENT"),
        QStringLiteral("FICHIER_CONFIG_SUPPR"), QStringLiteral("CLE_PUBLIQUE_LISTE")};
    return noms;
}

bool RecupereParametres(const QString& chemin, bool listeSure) {
    QStringList lignes;
    if (!LitLignesListe(chemin, lignes) || lignes.isEmpty() || lignes[0] != MarqueurListe) {
        MsgBox(QStringLiteral("La recherche n'a pas aboutie."), IconeMessage::Critique);
        return false;
    }
    QStringList bloc;
    qsizetype i = 1;
    if (i < lignes.size() && lignes[i] == DebutParametres) {
        for (++i; i < lignes.size() && lignes[i] != FinParametres; ++i)
            bloc.append(lignes[i]);
        ++i; // the closing line, when there is one
    }
    lignes.remove(0, std::min(i, lignes.size()));

    if (!RecritListe(chemin, lignes))
        EcritureListeEchouee = true;
    QStringList ignorees;
    LitParametres(bloc, 1, QStringLiteral("liste"),
                  listeSure ? QSet<QString>{} : VariablesReserveesListeSure(), &ignorees);
    if (!ignorees.isEmpty())
        MsgBox(QStringLiteral("La liste a été obtenue sans chiffrement et n'est pas signée : "
                              "son bloc de paramètres ne peut pas changer ") +
                   ignorees.join(QStringLiteral(", ")) +
                   QStringLiteral(". Ces lignes ont été ignorées."),
               IconeMessage::Exclamation);
    return true;
}

bool ComparaisonRepertoire(const QString& chemin, bool& reponse) {
    const QString dossier = AvecSeparateurFinal(LitVariable(QStringLiteral("CHEMIN_A_COMPARER")));
    const QString motif = dossier + LitVariable(QStringLiteral("EXTENSION_A_COMPARER"));
    // Names of the files (not folders) matching the pattern; a hash keeps the
    // comparison linear where a scan of the listing per line would not be.
    const QStringList noms = NomsFichiersMotif(motif, true);
    const QSet<QString> presents(noms.begin(), noms.end());
    if (!FiltreListe(chemin, Colonne(QStringLiteral("COL_COMPARAISON_REP")),
                     [&](QByteArrayView nom) { return !presents.contains(LignesListe::Texte(nom)); })) {
        MsgBox(QStringLiteral("Il n'y a pas eu de nouveaux fichiers."), IconeMessage::Information);
        reponse = false;
        return false;
    }
    return true;
}

bool ComparaisonIdentifiant(const QString& chemin, bool& reponse) {
    const QString identifiant = LitVariable(QStringLiteral("IDENTIFIANT_A_COMPARER"));
    if (!FiltreListe(chemin, Colonne(QStringLiteral("COL_COMPARAISON_IDENT")),
                     [&, attendu = identifiant.toUtf8()](QByteArrayView valeur) { return valeur == attendu; })) {
        MsgBox(QStringLiteral("Le logiciel n'a pas été trouvé"), IconeMessage::Critique);
        reponse = false;
        return false;
    }
    return true;
}

int ModeLiens(const QString& chemin) {
    const QString base = LitVariable(QStringLiteral("ADRESSE_BASE_LIENS_INTERNET"));
    ListeAuto adresses;
    ListeAuto types;
    ListeAuto textes;
    ExtraitLiensHTML(chemin, base, adresses, types, &textes);

    // Only the addresses that hold the filter's text (any case) stay; one pass
    // keeps the same entries, in the same order, as removing the others in turn.
    const QString filtre = LitVariable(QStringLiteral("SUPPR_LIENS_DIFF_TXT")).toUpper();
    QStringList lignes;
    const qint32 nombre = adresses.NbElementsListe();
    for (qint32 i = 0; i < nombre; ++i) {
        const QString adresse = adresses.RenvoieElement(i);
        if (!filtre.isEmpty() && !adresse.toUpper().contains(filtre))
            continue;
        QString texte = textes.RenvoieElement(i);
        if (texte.isEmpty()) {
            texte = adresse;
        } else {
            DecodeEntites(texte);
            // A tab or a line end inside an anchor text would make more columns or
            // more lines than links.
            for (QChar& c : texte)
                if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                    c = QLatin1Char(' ');
        }
        lignes.append(adresse + Tab + texte);
    }
    if (!RecritListe(chemin, lignes))
        EcritureListeEchouee = true;
    if (lignes.isEmpty())
        MsgBox(QStringLiteral("Aucun résultat trouvé pour cette recherche."), IconeMessage::Information);
    return int(std::min<qsizetype>(lignes.size(), std::numeric_limits<int>::max()));
}

Version LitVersion(const QString& texte) {
    const QString point = QStringLiteral(".");
    return {EntierSouple(ExtraitColonne(texte, 1, point)),
            EntierSouple(ExtraitColonne(texte, 2, point)),
            EntierSouple(ExtraitColonne(texte, 3, point))};
}

bool ComparaisonVersion(const QString& chemin, bool& reponse) {
    const Version reference = LitVersion(LitVariable(QStringLiteral("VERSION_A_COMPARER")));
    if (!FiltreListe(chemin, Colonne(QStringLiteral("COL_COMPARAISON_VERSION")),
                     [&](QByteArrayView version) { return LitVersion(LignesListe::Texte(version)) > reference; })) {
        MsgBox(QStringLiteral("Il n'y a pas eu de nouvelle version."), IconeMessage::Information);
        reponse = false;
        return false;
    }
    MsgBox(QStringLiteral("Une nouvelle version a été trouvée !"), IconeMessage::Information);
    reponse = true;
    return true;
}

QStringList ColonneDesLignes(const QStringList& lignes, int colonne) {
    QStringList textes;
    textes.reserve(lignes.size());
    for (const QString& ligne : lignes)
        textes.append(ExtraitColonne(ligne, colonne, Tab));
    return textes;
}

ResumeSelection CalculeSelection(const QString& texteListe, const std::vector<bool>& selection,
                                 bool tailleVoulue, int colonneTaille) {
    // Walks the lines in place (CR LF or a lone CR end a line): a selection of
    // 100,000 rows is summed without making a string per line.
    ResumeSelection resume;
    const QStringView texte(texteListe);
    qsizetype debut = 0;
    for (size_t i = 0; i < selection.size(); ++i) {
        QStringView ligne;
        const bool reste = debut < texte.size();
        if (reste) {
            qsizetype fin = texte.indexOf(QLatin1Char('\r'), debut);
            if (fin < 0)
                fin = texte.size();
            ligne = texte.mid(debut, fin - debut);
            debut = fin + (fin + 1 < texte.size() && texte[fin + 1] == QLatin1Char('\n') ? 2 : 1);
        }
        if (!selection[i])
            continue;
        ++resume.nombre;
        if (tailleVoulue && reste)
            resume.total += ValeurNombre(ColonneVue(ligne, colonneTaille, QLatin1Char('\t')));
    }
    return resume;
}
