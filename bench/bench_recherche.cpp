// Search figures on large inputs, in one process:
//   bench_recherche demarrage                    start-up until the window is shown, then quit
//   bench_recherche recherche DOSSIER ADRESSE    list, folder and selection timings
//   bench_recherche million ADRESSE              the same search and selection summary on
//                                                a list of 1,000,000 lines, with its memory
// The list at ADRESSE has 100,000 lines (1,000,000 for "million"), every one of
// them kept by the identifier filter; DOSSIER holds 100,000 files.
// The result list is used only as a QAbstractItemView: its model and its
// selection model, whatever widget draws it.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView> // the result list's class, used through its QAbstractItemView side
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "config/Fonctions_Variables.h"
#include "app/frmPrincipal.h"
#include "search/LignesListe.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Messages.h"

#include "Memoire.h"

namespace {

QString EcritParametres(const QString& dossier, const QByteArray& contenu) {
    const QString chemin = dossier + QStringLiteral("/service.txt");
    QFile f(chemin);
    f.open(QIODevice::WriteOnly);
    f.write(contenu);
    return chemin;
}

// The parameters of both searches: the identifier filter on, the second column
// shown, the sizes of the selection added up from the third.
QByteArray ParametresRecherche(const QString& tmp, const QString& adresse) {
    return "REP_TMP=" + tmp.toUtf8() + "\r\nFICHIER_LISTE_NOM=" + adresse.toUtf8() +
           "\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n"
           "COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=4\r\n"
           "IDENTIFIANT_A_COMPARER=G\r\nCALCULER_TAILLE_SELECTION=O\r\nCOLONNE_TAILLE=3\r\n";
}

// Handles events until the search button is enabled again: a search that goes
// on in the background after its click is then over. It is a single test when
// the click returned with the result list filled.
void AttendFinOperation(frmPrincipal& f) {
    if (f.cmdRecherche->isEnabled())
        return;
    QEventLoop boucle;
    QTimer sonde;
    QObject::connect(&sonde, &QTimer::timeout, &boucle, [&] {
        if (f.cmdRecherche->isEnabled())
            boucle.quit();
    });
    sonde.start(1);
    boucle.exec();
}

int Demarrage(const QString& parametres) {
    frmPrincipal f;
    if (f.Form_Load(QLatin1Char('"') + parametres + QLatin1Char('"')) != frmPrincipal::Demarrage::Afficher)
        return 1;
    f.show();
    // The first turn of the event loop after show() paints the window.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return qApp->exec();
}

int Recherche(const QString& dossierLocal, const QString& adresse) {
    QTemporaryDir travail;
    const QString tmp = travail.path() + QStringLiteral("/tmp");
    QDir().mkpath(tmp);
    frmPrincipal f;
    if (f.Form_Load(QLatin1Char('"') +
                    EcritParametres(travail.path(), ParametresRecherche(tmp, adresse)) +
                    QLatin1Char('"')) !=
        frmPrincipal::Demarrage::Afficher)
        return 1;
    f.show();
    QApplication::processEvents();

    QElapsedTimer chrono;
    chrono.start();
    f.cmdRecherche_Click();
    AttendFinOperation(f);
    QApplication::processEvents(); // the list box lays its rows out
    const double listeS = chrono.nsecsElapsed() / 1e9;
    QAbstractItemView* const vue = f.ListeSources;
    const int rangees = vue->model()->rowCount();

    // Selection summary of every row, with sizes.
    vue->selectAll();
    chrono.restart();
    const int selection = f.InfoSelection();
    const double selectionMs = chrono.nsecsElapsed() / 1e6;

    // Folder comparison of the same list against the folder.
    const QString liste = tmp + QStringLiteral("/Liste.tmp");
    QStringList avant;
    LitLignesListe(liste, avant);
    AffecteVariable(QStringLiteral("CHEMIN_A_COMPARER"), dossierLocal);
    AffecteVariable(QStringLiteral("EXTENSION_A_COMPARER"), QStringLiteral("*.*"));
    AffecteVariable(QStringLiteral("COL_COMPARAISON_REP"), QStringLiteral("1"));
    bool reponse = true;
    LignesListe lignes;
    lignes.Charge(liste);
    chrono.restart();
    ComparaisonRepertoire(lignes, VariablesService(), reponse);
    const double dossierS = chrono.nsecsElapsed() / 1e9;

    // What a plain scan of the listing would keep, line by line.
    const QStringList noms = NomsFichiersMotif(dossierLocal + QStringLiteral("/*.*"));
    const QSet<QString> ensemble(noms.begin(), noms.end());
    QStringList attendues;
    for (const QString& l : avant)
        if (!ensemble.contains(ExtraitColonne(l, 1, QStringLiteral("\t"))))
            attendues << l;
    QStringList apres;
    for (qsizetype i = 0; i < lignes.Nombre(); ++i)
        apres << lignes.Ligne(i);
    const bool identique = apres == attendues;

    std::printf("rows=%d selected=%d label=\"%s\" kept=%lld identical_to_scan=%s\n", rangees,
                selection, qPrintable(f.LabelSelection->text()), qlonglong(apres.size()),
                identique ? "yes" : "NO");
    std::printf("search list_s=%.3f folder_s=%.3f selection_ms=%.1f\n", listeS, dossierS,
                selectionMs);
    return identique && rangees > 0 ? 0 : 1;
}

// `cle`: the service's public key when the list is signed (empty: it is not).
// `marquee`: the list begins with the marker and a parameter block.
int Million(const QString& adresse, const QString& cle, bool marquee) {
    constexpr int lignes = 1000000;
    QTemporaryDir travail;
    const QString tmp = travail.path() + QStringLiteral("/tmp");
    QDir().mkpath(tmp);
    frmPrincipal f;
    if (f.Form_Load(QLatin1Char('"') +
                    EcritParametres(travail.path(),
                                    ParametresRecherche(tmp, adresse) +
                                        (cle.isEmpty() ? QByteArray()
                                                       : "CLE_PUBLIQUE_LISTE=" + cle.toLatin1() + "\r\n") +
                                        (marquee ? QByteArray("RECUPERE_PARAMETRES_LISTE=O\r\n") : QByteArray())) +
                    QLatin1Char('"')) != frmPrincipal::Demarrage::Afficher)
        return 1;
    f.show();
    QApplication::processEvents();

    // The peak starts again from what is resident now: the search's own memory
    // is what it adds above this.
    QFile remise(QStringLiteral("/proc/self/clear_refs"));
    if (remise.open(QIODevice::WriteOnly))
        remise.write("5");
    remise.close();
    const long avant = StatutKio("VmRSS");
    QElapsedTimer chrono;
    chrono.start();
    f.cmdRecherche_Click();
    AttendFinOperation(f);
    QApplication::processEvents(); // the list box lays its rows out
    const double rechercheS = chrono.nsecsElapsed() / 1e9;
    const long pic = StatutKio("VmHWM");
    QAbstractItemView* const vue = f.ListeSources;
    const int rangees = vue->model()->rowCount();

    vue->selectAll();
    chrono.restart();
    const int selection = f.InfoSelection();
    const double selectionMs = chrono.nsecsElapsed() / 1e6;

    // Every line passes the filter: as many rows, all selected, and the first
    // and last rows show their lines' second column.
    const auto texte = [&](int r) { return vue->model()->index(r, 0).data().toString(); };
    const bool complet = rangees == lignes && selection == lignes &&
                         texte(0) == QStringLiteral("Fichier numéro 0") &&
                         texte(lignes - 1) == QStringLiteral("Fichier numéro %1").arg(lignes - 1);
    std::printf("rows=%d selected=%d label=\"%s\" complete=%s\n", rangees, selection,
                qPrintable(f.LabelSelection->text()), complet ? "yes" : "NO");
    std::printf("search search_1m_s=%.3f search_1m_mib=%.1f selection_1m_ms=%.1f\n", rechercheS,
                double(pic - avant) / 1024.0, selectionMs);
    return complet ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("demarrage") && argc > 2)
        return Demarrage(QString::fromLocal8Bit(argv[2]));
    if (mode == QLatin1String("recherche") && argc > 3)
        return Recherche(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if ((mode == QLatin1String("million") || mode == QLatin1String("million-marquee")) && argc > 2)
        return Million(QString::fromLocal8Bit(argv[2]), argc > 3 ? QString::fromLatin1(argv[3]) : QString(),
                       mode == QLatin1String("million-marquee"));
    std::fprintf(stderr, "usage: bench_recherche demarrage PARAM | recherche DOSSIER ADRESSE | "
                         "million[-marquee] ADRESSE [CLE_PUBLIQUE]\n");
    return 2;
}
