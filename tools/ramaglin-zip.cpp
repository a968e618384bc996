// Developer tool: reads an archive's directory and extracts every entry into a
// folder, printing each step and every message, as the program would meet them.
//   ramaglin-zip ARCHIVE DEST [--password P]
#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>

#include "util/Fonctions_Messages.h"
#include "zip/Cls_Zip.h"

namespace {

// Ctrl-C stops the unpack the way the program's stop button does: the entry
// being written is removed, the others stay.
volatile std::sig_atomic_t arretDemande = 0;
void DemandeArret(int) { arretDemande = 1; }

// Prints messages on standard output; the input box gets the password given on
// the command line (cancelled when there is none).
class MessagesOutil final : public GestionnaireMessages {
public:
    explicit MessagesOutil(QString motDePasse) : motDePasse_(std::move(motDePasse)) {}
    ReponseMessage Affiche(const QString& texte, IconeMessage, BoutonsMessage boutons,
                           const QString&) override {
        std::printf("message: %s\n", qPrintable(texte));
        return boutons == BoutonsMessage::OuiNon ? ReponseMessage::Non : ReponseMessage::Ok;
    }
    bool Demande(const QString&, const QString&, QString& reponse) override {
        reponse = motDePasse_;
        return !motDePasse_.isEmpty();
    }

private:
    QString motDePasse_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    QString motDePasse;
    const qsizetype i = args.indexOf(QStringLiteral("--password"));
    if (i >= 0 && i + 1 < args.size()) {
        motDePasse = args.at(i + 1);
        args.remove(i, 2);
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "utilisation : ramaglin-zip ARCHIVE DESTINATION [--password MOT]\n");
        return 2;
    }
    MessagesOutil messages(motDePasse);
    InstalleGestionnaireMessages(&messages);

    Cls_Zip zip;
    const short contenu = zip.Get_Contents(args.at(0));
    std::printf("Get_Contents=%d\n", contenu);
    if (contenu != Cls_Zip::ZipOk)
        return 1;
    std::printf("FileCount=%d\n", zip.FileCount());
    for (int n = 1; n <= zip.FileCount(); ++n)
        std::printf("entry %s\n", qPrintable(zip.FileName(n)));
    const QList<bool> tout(zip.FileCount() + 1, true);
    std::signal(SIGINT, DemandeArret);
    zip.FixeArret([] { return arretDemande != 0; });
    const short resultat = zip.UnPack(tout, args.at(1));
    std::printf("UnPack=%d\n", resultat);
    InstalleGestionnaireMessages(nullptr);
    return resultat == Cls_Zip::ZipOk ? 0 : 1;
}
