// One download run through the real click handler, offscreen:
//   bench_telechargement LISTE BASE DESTINATION PAS [liens|empreinte] [VARIABLE=VALEUR...]
// searches the list at LISTE (lines "name TAB text TAB G"), selects one row in
// PAS, downloads them from BASE into DESTINATION (with "liens": each is a link
// page whose ZIP archive is fetched and unpacked there; with "empreinte", the
// fourth column is the file's SHA-256; each VARIABLE=VALEUR is one more line
// of the service's parameter file, DEBIT_MAX=4096 say), and prints one line
// "seconds=S files=N rss_extra_mib=M ui_cpu_s=C" (the run alone; M is the
// peak resident memory during the run above what the process held before it,
// C the processor time of the user-interface thread during the run).
// The result list is used only as a QAbstractItemView: its model and its
// selection model, whatever widget draws it.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QListView> // the result list's class, used through its QAbstractItemView side
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

#include "app/frmPrincipal.h"
#include "util/Fonctions_Messages.h"

#include "Memoire.h"

namespace {

// The summary is answered at once, as a user's click would.
struct MessagesMuets final : GestionnaireMessages {
    ReponseMessage Affiche(const QString&, IconeMessage, BoutonsMessage, const QString&) override {
        return ReponseMessage::Ok;
    }
    bool Demande(const QString&, const QString&, QString& reponse) override {
        reponse.clear();
        return false;
    }
};

// Handles events until the search button is enabled again: a search or a run
// that goes on in the background after its click is then over. It is a single
// test when the click returned with the work done.
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

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_telechargement LISTE BASE DESTINATION PAS [liens|empreinte] "
                             "[VARIABLE=VALEUR...]\n");
        return 2;
    }
    MessagesMuets muets;
    InstalleGestionnaireMessages(&muets);
    QTemporaryDir travail;
    const QString tmp = travail.path() + QStringLiteral("/tmp");
    QDir().mkpath(tmp);
    const QString parametres = travail.path() + QStringLiteral("/service.txt");
    QFile p(parametres);
    p.open(QIODevice::WriteOnly);
    p.write("REP_TMP=" + tmp.toUtf8() + "\r\nFICHIER_LISTE_NOM=" + QByteArray(argv[1]) +
            "\r\nAFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n"
            "COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=3\r\nIDENTIFIANT_A_COMPARER=G\r\n"
            "NUM_COLONNE_TELECHARGEE=1\r\nADRESSE_BASE_FICHIERS_SOURCES=" +
            QByteArray(argv[2]) + "\r\nCHEMIN_DESTINATION_FICHIER_SOURCE=" + QByteArray(argv[3]) +
            "\r\n");
    for (int i = 5; i < argc; ++i) {
        if (qstrcmp(argv[i], "empreinte") == 0)
            p.write("COLONNE_EMPREINTE=4\r\n"); // the file's SHA-256, checked as it arrives
        else if (qstrcmp(argv[i], "liens") == 0)
            p.write("CONSERVER_LIEN_TELECHARGE=N\r\nDECOMPRESSER_LIEN_ZIP=O\r\nADRESSE_BASE_LIENS_INTERNET=" +
                    QByteArray(argv[2]) + "\r\n");
        else if (std::strchr(argv[i], '=') != nullptr)
            p.write(QByteArray(argv[i]) + "\r\n");
        else {
            std::fprintf(stderr, "bench_telechargement: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    p.close();

    frmPrincipal::DefinitCheminVerrou(travail.path() + QStringLiteral("/verrou"));
    frmPrincipal f; // beside the program: its options file
    if (f.Form_Load(QLatin1Char('"') + parametres + QLatin1Char('"')) != frmPrincipal::Demarrage::Afficher)
        return 1;
    f.show();
    f.cmdRecherche_Click();
    AttendFinOperation(f);
    QAbstractItemView* const vue = f.ListeSources;
    const int pas = std::max(1, atoi(argv[4]));
    QItemSelection choix;
    for (int r = pas - 1; r < vue->model()->rowCount(); r += pas) {
        const QModelIndex i = vue->model()->index(r, 0);
        choix.select(i, i);
    }
    vue->selectionModel()->select(choix, QItemSelectionModel::Select);
    const int fichiers = int(choix.size());
    choix.clear(); // its ranges hold indexes that the list would have to move at each removal
    QApplication::processEvents();

    // The peak starts again from what is resident now.
    QFile remise(QStringLiteral("/proc/self/clear_refs"));
    if (remise.open(QIODevice::WriteOnly))
        remise.write("5");
    remise.close();
    const long avant = StatutKio("VmRSS");
    const auto processeur = [] { // this thread's processor time, in seconds
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double processeurAvant = processeur();
    QElapsedTimer chrono;
    chrono.start();
    f.cmdTelechargeSelection_Click();
    AttendFinOperation(f);
    const double secondes = double(chrono.nsecsElapsed()) / 1e9;
    const double processeurRun = processeur() - processeurAvant;
    const long pic = StatutKio("VmHWM");
    std::printf("seconds=%.3f files=%d rss_extra_mib=%.1f ui_cpu_s=%.3f\n", secondes, fichiers,
                double(pic - avant) / 1024.0, processeurRun);
    return 0;
}
