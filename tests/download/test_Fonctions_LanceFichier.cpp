// Opening files, folders and addresses: what reaches the shell and every
// message, against real files in a temporary folder.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "download/Fonctions_LanceFichier.h"
#include "support/EnregistreurMessages.h"
#include "support/EnregistreurShell.h"
#include "support/Outils.h"

namespace {

const QString Inexistant = QStringLiteral("Fichier %1 inexistant !");
const QString Attente =
    QStringLiteral("L'attente de la fin d'exécution d'un document n'est pas gérée !");

} // namespace

TEST(LanceFichier, ProgrammesDocumentsDossiersEtAdresses) {
    QTemporaryDir d;
    const QString dossier = d.path() + "/";
    const QString prog = dossier + "Setup.Exe", doc = dossier + "notes.txt";
    EcritFichier(prog, "MZ");
    EcritFichier(doc, "texte");
    struct Cas {
        QString fichier;
        bool verifier;
        QString verbe, parametres, mode;
        bool attendre;
        bool resultat;
        QStringList appels, messages;
        QString verbeApres = QStringLiteral("open");
    };
    const Cas cas[] = {
        // A program: started directly, in its own folder's absence of a verb.
        {'"' + prog + '"', true, "open", "", "2", false, true,
         {"lance|\"" + prog + "\"|0"}, {}, ""},
        {'"' + prog + "\" /silencieux -x", true, "open", "", "2", true, true,
         {"lance|\"" + prog + "\" /silencieux -x|1"}, {}, ""},
        // A document waited for: said, then opened; modes map to the desktop's codes.
        {doc, true, "open", "", "2", true, true, {"open|" + doc + "||" + dossier + "|1"}, {Attente}},
        {doc, true, "print", "", "1", false, true, {"print|" + doc + "||" + dossier + "|6"}, {}, "print"},
        {doc, true, "open", "", "3", false, true, {"open|" + doc + "||" + dossier + "|3"}, {}},
        {doc, true, "open", "", "x", false, true, {"open|" + doc + "||" + dossier + "|0"}, {}},
        // Given parameters keep the whole text as the target.
        {doc, false, "open", "-p", "2", false, true, {"open|" + doc + "|-p|" + dossier + "|1"}, {}},
        // The folder at the end of a run.
        {'"' + dossier + '"', true, "explore", "", "2", false, true,
         {"explore|" + dossier + "||" + dossier + "|1"}, {}, "explore"},
        // Missing: named without its quotes, nothing started.
        {"\"" + dossier + "absent.txt\"", true, "open", "", "2", false, false, {},
         {Inexistant.arg(dossier + "absent.txt")}},
        // An address, whatever the case of its scheme and the verb passed.
        {"hTTp://exemple.fr/page", false, "explore", "", "2", false, true,
         {"open|hTTp://exemple.fr/page|||1"}, {}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.fichier.toStdString());
        EnregistreurMessages rec;
        EnregistreurShell shell;
        QString verbe = c.verbe, parametres = c.parametres, dossierArg;
        bool attendre = c.attendre;
        EXPECT_EQ(LanceFichier(c.fichier, c.verifier, verbe, parametres, dossierArg, c.mode, attendre),
                  c.resultat);
        EXPECT_EQ(shell.appels, c.appels);
        EXPECT_EQ(rec.Textes(), c.messages);
        if (c.resultat) {
            EXPECT_EQ(verbe, c.verbeApres);
        }
    }
}

TEST(LanceFichier, EchecsDuBureauEtDuDemarrage) {
    QTemporaryDir d;
    const QString prog = d.filePath("outil.com"), doc = d.filePath("plan.dwg");
    EcritFichier(prog, "x");
    EcritFichier(doc, "x");
    EnregistreurMessages rec;
    EnregistreurShell shell;
    QString verbe = "open", parametres, dossier;
    bool attendre = false;
    // Nothing on the desktop opens it.
    shell.ouvre = false;
    EXPECT_FALSE(LanceFichier(doc, true, verbe, parametres, dossier, "2", attendre));
    EXPECT_EQ(rec.Textes(), QStringList{QString::fromUtf8(
                                "Le fichier à lancer est de type DWG mais aucune application "
                                "n'est associée.")});
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    // A program that does not start, or whose identifier is 32 or less: false, silently.
    rec.Vide();
    for (qint64 pid : {0, 32}) {
        shell.pid = pid;
        verbe = "open", parametres.clear(), dossier.clear();
        EXPECT_FALSE(LanceFichier(prog, true, verbe, parametres, dossier, "2", attendre));
    }
    shell.pid = 33;
    verbe = "open", parametres.clear(), dossier.clear();
    EXPECT_TRUE(LanceFichier(prog, true, verbe, parametres, dossier, "2", attendre));
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_EQ(dossier, '"' + d.path() + "/");
    // The missing-file message is critical.
    verbe = "open", parametres.clear(), dossier.clear();
    EXPECT_FALSE(LanceFichier(d.filePath("non.txt"), true, verbe, parametres, dossier, "2", attendre));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Critique);
}
