// Path and address helpers: roots, folders, names, extensions, parents, the
// resolution of links against a base address and the splitting of command lines.
#include "html/Fonctions_Chemin.h"

#include <gtest/gtest.h>

namespace {

struct Cas {
    QString entree, attendu;
};

void Verifie(const char* nom, QString (*fonction)(const QString&), std::initializer_list<Cas> cas) {
    for (const Cas& c : cas) {
        SCOPED_TRACE(std::string(nom) + "(" + c.entree.toStdString() + ")");
        EXPECT_EQ(fonction(c.entree), c.attendu);
    }
}

} // namespace

TEST(Chemins, Racine) {
    const struct {
        QString chemin, racine;
        bool internet;
    } cas[] = {
        {"c:\\temp", "c:", false}, {"x:", "x:", false}, {"rep/f.txt", "", false},
        {"\\\\machine\\partage\\f.txt", "\\\\machine\\", false}, {"\\\\machine/p", "\\\\machine/", false},
        {"\\\\machine", "\\\\machine", false}, {"Http://serveur/x", "Http://", true}, {"ftp://s", "ftp://", true},
        {"mailto:nom", "mailto:", true}, {"HTTPS://s/", "HTTPS://", true}, {"telnet://h", "telnet://", true},
        {"news://g", "news://", true}, {"http:/x", "", false}, {"https:", "", false},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.chemin.toStdString());
        bool internet = !c.internet;
        EXPECT_EQ(RacineChemin(c.chemin, internet), c.racine);
        EXPECT_EQ(internet, c.internet);
        EXPECT_EQ(EstAdresseInternet(c.chemin), c.internet);
    }
}

// The first character after the root is never taken for a separator, and the
// root is never cut.
TEST(Chemins, DecoupageDuChemin) {
    Verifie("RepertoireChemin", RepertoireChemin,
            {{"http://serveur/rep/f.zip", "http://serveur/rep/"}, {"f.zip", ""}, {"C:\\setup.zip", "C:"},
             {"rep/sous\\f.txt", "rep/sous\\"}, {"/f.zip", ""}, {"http://serveur", "http://"},
             {"\\\\machine\\partage\\f.txt", "\\\\machine\\partage\\"}});
    Verifie("NomFichierChemin", NomFichierChemin,
            {{"http://serveur/rep/f.zip", "f.zip"}, {"f.zip", "f.zip"}, {"/f.zip", ""},
             {"http://serveur", "serveur"}, {"C:\\rep\\f.txt", "f.txt"}, {"rep/", ""}});
    Verifie("ExtensionFichier", ExtensionFichier,
            {{"archive.tar.gz", "GZ"}, {"\"setup.exe\"", "EXE"}, {"lisezmoi", ""}, {"fin.", ""},
             {"rep.d/fichier", "D/FICHIER"}, {"\"a.b", "B"}});
    Verifie("DernierElementChemin", DernierElementChemin,
            {{"http://serveur/a/", "a"}, {"/a/b/", "b"}, {"c:\\x\\y", "y"}, {"http://serveur", "serveur"}});
    Verifie("ProfondeurChemin", +[](const QString& c) { return QString::number(ProfondeurChemin(c)); },
            {{"http://serveur/", "1"}, {"http://serveur/a/b/", "3"}, {"", "1"}, {"a/b\\c", "3"}, {"//a//", "1"}});
    Verifie("CheminParent", CheminParent,
            {{"http://serveur/a/b/", "http://serveur/a/"}, {"http://serveur/a/b", "http://serveur/a/"},
             {"http://serveur/", "http://serveur"}, {"c:\\a\\b\\", "c:\\a\\"}, {"rep/sous", "rep/"}});
}

TEST(Chemins, ResolutionDesLiens) {
    const QString b = QStringLiteral("http://serveur/a/b/");
    const struct {
        QString base, lien, attendu;
    } cas[] = {
        {b, "f.htm", "http://serveur/a/b/f.htm"}, {b, "./f.htm", "http://serveur/a/b/f.htm"},
        {b, "../../f.htm", "http://serveur/f.htm"}, {b, "..\\f.htm", "http://serveur/a/f.htm"},
        {b, "../../../f.htm", "http://serveur/f.htm"}, // a one-element path is its own parent
        {b, "../", "http://serveur/a/"}, {b, "..", "http://serveur/a/b/.."},
        {b, "./../x/./y", "http://serveur/a/x/./y"}, {b, "", b},
        {b, "/f.htm", "http://serveur/a/f.htm"}, // a leading "/" climbs one level, not to the root
        {b, "ftp://autre/f.zip", "ftp://autre/f.zip"}, {b, "mailto:x@y", "mailto:x@y"},
        {"http://serveur", "f.htm", "http://serveur/f.htm"}, {"", "f.htm", "/f.htm"},
        {"c:\\pages\\", "img.gif", "c:\\pages\\img.gif"},
        // A base naming a page treats the page as a folder.
        {"http://serveur/a/page.htm", "f.htm", "http://serveur/a/page.htm/f.htm"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.base.toStdString() + " + " + c.lien.toStdString());
        EXPECT_EQ(ResoutLien(c.base, c.lien), c.attendu);
    }
}

TEST(Chemins, SepareLigneCommande) {
    const struct {
        QString ligne, programme, arguments;
    } cas[] = {
        {"\"C:\\Program Files\\x.exe\" /s", "C:\\Program Files\\x.exe", "/s"},
        {"notepad f.txt g.txt", "notepad", "f.txt g.txt"}, {"\"C:\\a b\\x.exe\"", "C:\\a b\\x.exe", ""},
        {"\"", "\"", ""}, {"\" x", "\" x", ""}, {" lead", "", "lead"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.ligne.toStdString());
        QString programme = "avant", arguments = "avant";
        SepareLigneCommande(c.ligne, programme, arguments);
        EXPECT_EQ(programme, c.programme);
        EXPECT_EQ(arguments, c.arguments);
    }
}
