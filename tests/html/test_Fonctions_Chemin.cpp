// Path and address helpers: roots, folders, names, extensions, parents and the
// resolution of links against a base address.
#include "html/Fonctions_Chemin.h"

#include <gtest/gtest.h>

namespace {

struct Cas {
    QString entree;
    QString attendu;
};

void Verifie(const char* nom, QString (*fonction)(const QString&), std::initializer_list<Cas> cas) {
    for (const Cas& c : cas) {
        SCOPED_TRACE(std::string(nom) + "(" + c.entree.toStdString() + ")");
        EXPECT_EQ(fonction(c.entree), c.attendu);
    }
}

} // namespace

TEST(Chemins, Racine) {
    struct CasRacine {
        QString chemin;
        QString racine;
        bool internet;
    };
    const CasRacine cas[] = {
        {"c:\\temp", "c:", false},
        {"Http://serveur/x", "Http://", true},
        {"\\\\machine\\partage\\f.txt", "\\\\machine\\", false},
        {"\\\\machine/partage", "\\\\machine/", false},
        {"\\\\machine", "\\\\machine", false},
        {"mailto:nom", "mailto:", true},
        {"rep/f.txt", "", false},
        {"HTTPS://s/", "HTTPS://", true},
        {"ftp://s", "ftp://", true},
        {"telnet://h", "telnet://", true},
        {"news://g", "news://", true},
        {"http:/x", "", false},
        {"https:", "", false},
        {"x:", "x:", false},
        {"", "", false},
    };
    for (const CasRacine& c : cas) {
        SCOPED_TRACE(c.chemin.toStdString());
        bool internet = !c.internet;
        EXPECT_EQ(RacineChemin(c.chemin, internet), c.racine);
        EXPECT_EQ(internet, c.internet);
        EXPECT_EQ(EstAdresseInternet(c.chemin), c.internet);
    }
}

TEST(Chemins, RepertoireNomExtension) {
    Verifie("RepertoireChemin", RepertoireChemin,
            {{"http://serveur/rep/f.zip", "http://serveur/rep/"},
             {"f.zip", ""},
             {"C:\\setup.zip", "C:"},
             {"C:\\rep\\setup.zip", "C:\\rep\\"},
             {"rep/sous\\f.txt", "rep/sous\\"},
             {"/f.zip", ""},
             {"\\\\machine\\partage\\f.txt", "\\\\machine\\partage\\"},
             {"http://serveur", "http://"}});
    Verifie("NomFichierChemin", NomFichierChemin,
            {{"http://serveur/rep/f.zip", "f.zip"},
             {"f.zip", "f.zip"},
             {"/f.zip", ""},
             {"http://serveur", "serveur"},
             {"C:\\rep\\f.txt", "f.txt"},
             {"rep/", ""}});
    Verifie("ExtensionFichier", ExtensionFichier,
            {{"archive.tar.gz", "GZ"},
             {"\"setup.exe\"", "EXE"},
             {"lisezmoi", ""},
             {"fin.", ""},
             {"rep.d/fichier", "D/FICHIER"},
             {"\"a.b", "B"}});
}

TEST(Chemins, ElementsProfondeurParent) {
    Verifie("DernierElementChemin", DernierElementChemin,
            {{"http://serveur/a/", "a"},
             {"http://serveur/a/b", "b"},
             {"/a/b/", "b"},
             {"c:\\x\\y", "y"},
             {"seul", "seul"},
             {"http://serveur", "serveur"}});
    struct CasProfondeur {
        QString chemin;
        int profondeur;
    };
    const CasProfondeur profondeurs[] = {
        {"http://serveur", 1}, {"http://serveur/", 1}, {"http://serveur/a/b/", 3},
        {"", 1},               {"c:\\a\\b", 2},        {"a/b\\c", 3},
        {"//a//", 1},
    };
    for (const CasProfondeur& c : profondeurs) {
        SCOPED_TRACE(c.chemin.toStdString());
        EXPECT_EQ(ProfondeurChemin(c.chemin), c.profondeur);
    }
    Verifie("CheminParent", CheminParent,
            {{"http://serveur/a/b/", "http://serveur/a/"},
             {"http://serveur/a/b", "http://serveur/a/"},
             {"http://serveur/", "http://serveur"},
             {"http://serveur", "http://serveur"},
             {"c:\\a\\b\\", "c:\\a\\"},
             {"rep/sous", "rep/"}});
    EXPECT_EQ(CompteOccurrences(QStringLiteral("a/b/c"), QLatin1Char('/')), 2);
    EXPECT_EQ(CompteOccurrences(QString(), QLatin1Char('/')), 0);
}

TEST(Chemins, ResolutionDesLiens) {
    struct CasLien {
        QString base;
        QString lien;
        QString attendu;
    };
    const CasLien cas[] = {
        {"http://serveur/a/b/", "f.htm", "http://serveur/a/b/f.htm"},
        {"http://serveur/a/b/", "./f.htm", "http://serveur/a/b/f.htm"},
        {"http://serveur/a/b/", "../f.htm", "http://serveur/a/f.htm"},
        {"http://serveur/a/b/", "../../f.htm", "http://serveur/f.htm"},
        {"http://serveur/a/b/", "../../../f.htm", "http://serveur/f.htm"},
        {"http://serveur/a/b/", "/f.htm", "http://serveur/a/f.htm"},
        {"http://serveur/a/b/", "ftp://autre/f.zip", "ftp://autre/f.zip"},
        {"http://serveur/a/b/", "HTTP://autre/", "HTTP://autre/"},
        {"http://serveur/a/b/", "mailto:x@y", "mailto:x@y"},
        {"http://serveur", "../f.htm", "http://serveur/f.htm"},
        {"http://serveur", "f.htm", "http://serveur/f.htm"},
        {"http://serveur/a/b/", "", "http://serveur/a/b/"},
        {"http://serveur/a/b/", "..", "http://serveur/a/b/.."},
        {"http://serveur/a/b/", "../", "http://serveur/a/"},
        {"http://serveur/a/b/", "./../x/./y", "http://serveur/a/x/./y"},
        {"http://serveur/a/b/", "..\\f.htm", "http://serveur/a/f.htm"},
        // A base naming a page treats the page as a folder.
        {"http://serveur/a/page.htm", "f.htm", "http://serveur/a/page.htm/f.htm"},
        {"c:\\pages\\", "img.gif", "c:\\pages\\img.gif"},
        {"", "f.htm", "/f.htm"},
    };
    for (const CasLien& c : cas) {
        SCOPED_TRACE(c.base.toStdString() + " + " + c.lien.toStdString());
        EXPECT_EQ(ResoutLien(c.base, c.lien), c.attendu);
    }
}

TEST(Chemins, SepareLigneCommande) {
    struct CasCommande {
        QString ligne;
        QString programme;
        QString arguments;
    };
    const CasCommande cas[] = {
        {"\"C:\\Program Files\\x.exe\" /s", "C:\\Program Files\\x.exe", "/s"},
        {"notepad", "notepad", ""},
        {"notepad f.txt g.txt", "notepad", "f.txt g.txt"},
        {"\"C:\\a b\\x.exe\"", "C:\\a b\\x.exe", ""},
        {"\"", "\"", ""},
        {"\" x", "\" x", ""},
        {"", "", ""},
        {" lead", "", "lead"},
    };
    for (const CasCommande& c : cas) {
        SCOPED_TRACE(c.ligne.toStdString());
        QString programme = "avant", arguments = "avant";
        SepareLigneCommande(c.ligne, programme, arguments);
        EXPECT_EQ(programme, c.programme);
        EXPECT_EQ(arguments, c.arguments);
    }
}
