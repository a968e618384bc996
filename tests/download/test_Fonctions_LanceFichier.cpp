// Opening files, folders and addresses: what reaches the shell and every message.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "download/Fonctions_LanceFichier.h"
#include "support/EnregistreurMessages.h"
#include "support/EnregistreurShell.h"
#include "support/Outils.h"

TEST(LanceFichier, ProgrammesDocumentsDossiersEtAdresses) {
    QTemporaryDir d;
    const QString dossier = d.path() + "/";
    const QString prog = dossier + "Setup.Exe", com = dossier + "outil.com", doc = dossier + "notes.txt",
                  dwg = dossier + "plan.dwg";
    for (const QString& f : {prog, com, doc, dwg})
        EcritFichier(f, "x");
    const QString attente = "L'attente de la fin d'exécution d'un document n'est pas gérée !";
    const auto E = IconeMessage::Exclamation, C = IconeMessage::Critique;
    struct Cas {
        QString fichier;
        bool verifier;
        QString verbe, parametres, mode;
        bool attendre, resultat;
        QStringList appels, messages;
        QString verbeApres = "open";
        IconeMessage icone = IconeMessage::Information;
        bool ouvre = true; // what the desktop answers
        qint64 pid = 4242; // the started program's identifier
    };
    const Cas cas[] = {
        // A program: started directly, without a verb.
        {'"' + prog + '"', true, "open", "", "2", false, true, {"lance|\"" + prog + "\"|0"}, {}, ""},
        {'"' + prog + "\" /silencieux -x", true, "open", "", "2", true, true,
         {"lance|\"" + prog + "\" /silencieux -x|1"}, {}, ""},
        // A program whose identifier is 32 or less did not start: false, silently.
        {com, true, "open", "", "2", false, false, {"lance|\"" + com + "\"|0"}, {}, "", E, true, 32},
        {com, true, "open", "", "2", false, true, {"lance|\"" + com + "\"|0"}, {}, "", E, true, 33},
        // A document waited for: said, then opened; modes map to the desktop's codes.
        {doc, true, "open", "", "2", true, true, {"open|" + doc + "||" + dossier + "|1"}, {attente}},
        {doc, true, "print", "", "1", false, true, {"print|" + doc + "||" + dossier + "|6"}, {}, "print"},
        // Given parameters keep the whole text as the target.
        {doc, false, "open", "-p", "2", false, true, {"open|" + doc + "|-p|" + dossier + "|1"}, {}},
        // Nothing on the desktop opens it.
        {dwg, true, "open", "", "2", false, false, {"open|" + dwg + "||" + dossier + "|1"},
         {"Le fichier à lancer est de type DWG mais aucune application n'est associée."}, "open", E, false},
        // The folder at the end of a run.
        {'"' + dossier + '"', true, "explore", "", "2", false, true,
         {"explore|" + dossier + "||" + dossier + "|1"}, {}, "explore"},
        // Missing: named without its quotes, nothing started.
        {"\"" + dossier + "absent.txt\"", true, "open", "", "2", false, false, {},
         {QString("Fichier %1 inexistant !").arg(dossier + "absent.txt")}, "open", C},
        // An address, whatever the case of its scheme and the verb passed.
        {"hTTp://exemple.fr/page", false, "explore", "", "2", false, true,
         {"open|hTTp://exemple.fr/page|||1"}, {}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.fichier.toStdString());
        EnregistreurMessages rec;
        EnregistreurShell shell;
        shell.ouvre = c.ouvre;
        shell.pid = c.pid;
        QString verbe = c.verbe, parametres = c.parametres, dossierArg;
        bool attendre = c.attendre;
        EXPECT_EQ(LanceFichier(c.fichier, c.verifier, verbe, parametres, dossierArg, c.mode, attendre),
                  c.resultat);
        EXPECT_EQ(shell.appels, c.appels);
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_TRUE(c.resultat || c.messages.isEmpty() || rec.messages.back().icone == c.icone);
        EXPECT_TRUE(!c.resultat || verbe == c.verbeApres) << verbe.toStdString();
    }
}
