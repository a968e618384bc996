// Link extraction: what a page's tags, comments and script blocks give, in
// order, with kinds and anchor texts; and the scanner's building blocks.
#include "html/Fonctions_Internet.h"

#include "support/Outils.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

const QString kBase = QStringLiteral("http://serveur/rep/");

// One line per link: kind, address ("~/" standing for the base) and the anchor
// text between « » when there is one.
QStringList Resume(const QString& base, const ListeAuto& adresses, const ListeAuto& types, const ListeAuto& textes) {
    EXPECT_EQ(adresses.NbElementsListe(), types.NbElementsListe());
    EXPECT_EQ(adresses.NbElementsListe(), textes.NbElementsListe());
    QStringList liens;
    for (qint32 k = 0; k < adresses.NbElementsListe(); ++k) {
        QString adresse = adresses.RenvoieElement(k), texte = textes.RenvoieElement(k);
        if (adresse.startsWith(base))
            adresse = "~/" + adresse.mid(base.size());
        liens << types.RenvoieElement(k) + ' ' + adresse + (texte.isEmpty() ? QString() : " «" + texte + "»");
    }
    return liens;
}

} // namespace

TEST(ExtraitLiens, Pages) {
    const struct {
        const char* nom;
        QString page;
        QStringList attendu;
    } cas[] = {
        {"valeurs écartées, fragment gardé",
         "<a href=\"#top\">h</a><A HREF=\"\">v</A><a href='JavaScript:x'><a href=\"doc.htm#x\">", {"5 ~/doc.htm#x"}},
        {"texte d'ancre: seul, brut, suivi exactement de </A>",
         "<A HREF=\"a.htm\">Suite</A><A HREF=\"b.htm\"><B>Gras</B></A><A HREF=\"c.htm\">Fin</A >"
         "<a href=\"d.htm\"> Caf&eacute;  </a>",
         {"5 ~/a.htm «Suite»", "5 ~/b.htm", "5 ~/c.htm", "5 ~/d.htm « Caf&eacute;  »"}},
        {"balises non lues", "<IFRAME SRC=\"x.htm\"><EMBED SRC=\"x\"><LINK HREF=\"x\"><AREA HREF=\"z.htm\">", {}},
        {"cadres, images, fond",
         "<BODY BACKGROUND=\"fond.jpg\" BGCOLOR=white><FRAME SRC=\"menu.htm\" NAME=m>"
         "<frame name=corps src=corps.htm><IMG SRC=logo.gif WIDTH=10><IMG ISMAP SRC=x.gif>",
         {"4 ~/fond.jpg", "1 ~/menu.htm", "1 ~/corps.htm", "2 ~/logo.gif"}},
        {"guillemets, chevrons, espaces",
         "<A HREF=\"a>b.htm\">x</A><A HREF='a>b.htm'>< A HREF=\"e.htm\" ><A\tHREF=\"t.htm\">"
         "Il dit \"<a href=x.htm>\" puis <A\nHREF=y.htm\n>",
         {"5 ~/a>b.htm «x»", "5 ~/a", "5 ~/e.htm", "5 ~/y.htm"}},
        {"commentaires, dont un non fermé",
         "<!-- <a href=\"cache.htm\"> --><a href=\"a.htm\">a</a><!-- ouvert > <a href=\"b.htm\">b</a>",
         {"5 ~/a.htm «a»", "5 ~/b.htm «b»"}},
        {"scripts d'abord, dans l'ordre des blocs",
         "<a href=\"avant.htm\">x</a><SCRIPT LANGUAGE=\"javascript\">LOCATION.HREF=\"un.htm\";\n"
         "location.href=deux.htm; if (x) location.href;</SCRIPT><A HREF=a.htm><script language="
         "\"JavaScript\">window.location.href = 'trois.htm';</script>",
         {"3 ~/un.htm", "3 ~/deux.htm", "3 ~/trois.htm", "5 ~/avant.htm «x»", "5 ~/a.htm"}},
        {"commentaires de script; // d'une adresse absolue en commence un",
         "<Script Language=\"JAVASCRIPT\">/* location.href='non1.htm'; */\n// location.href='non2.htm';\n"
         "location.href =\n 'oui.htm' ; // fin\nlocation.href = \"http://ailleurs/x.htm\";\n</Script>",
         {"3 ~/oui.htm"}},
        {"sans point-virgule", "<Script Language=\"JAVASCRIPT\">location.href = 'x.htm'</Script>", {}},
        {"script masqué par un commentaire",
         "<Script Language=\"JAVASCRIPT\"><!--\nlocation.href='x.htm';\n//--></Script>", {}},
        {"autre forme de script: ni lue ni retirée, mais un script lu est retiré",
         "<script type=\"text/javascript\">location.href='x.htm';</script><a href=\"a.htm\">"
         "<Script Language=\"JAVASCRIPT\">var s = '<a href=\"dedans.htm\">';</Script>",
         {"5 ~/a.htm"}},
        {"liens identiques, relatifs, absolus",
         "<a href=\"x.htm\"><a href=\"x.htm\"><a href=\"../h.htm\"><a href=\"/r.htm\"><a href=\"ftp://f/z\">",
         {"5 ~/x.htm", "5 ~/x.htm", "5 http://serveur/h.htm", "5 http://serveur/r.htm", "5 ftp://f/z"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        ListeAuto adresses, types, textes;
        ExtraitLiensTexte(c.page, kBase, adresses, types, &textes);
        EXPECT_EQ(Resume(kBase, adresses, types, textes), c.attendu);
    }
}

// The lists are only appended to, and the texts list is optional.
TEST(ExtraitLiens, ListesCompleteesSansTextes) {
    ListeAuto adresses, types;
    adresses.AjoutElement("déjà là");
    types.AjoutElement("0");
    ExtraitLiensTexte("<Script Language=\"JAVASCRIPT\">location.href='s.htm';</Script><a href=a.htm>A</a>",
                      kBase, adresses, types, nullptr);
    EXPECT_EQ(adresses.Elements(), QStringList({"déjà là", kBase + "s.htm", kBase + "a.htm"}));
    EXPECT_EQ(types.Elements(), QStringList({"0", "3", "5"}));
}

// Files: line ends (CR LF joins the lines with nothing between, so "<A" +
// "HREF" has no space), encodings, the nginx autoindex listing, a missing file.
TEST(ExtraitLiens, Fichiers) {
    QTemporaryDir dossier;
    const QString nginx = "http://127.0.0.1/fichiers/";
    const struct {
        QString nom, base;
        QByteArray octets;
        QStringList attendu;
    } cas[] = {
        {"CR LF", kBase, "<A\r\nHREF=\"x.htm\">x</A>\r\n<IMG\r\n SRC=\"i.gif\">", {"2 ~/i.gif"}},
        {"LF", kBase, "<A\nHREF=\"x.htm\">x</A>\n", {"5 ~/x.htm «x»"}},
        {"CR seul", kBase, "<A\rHREF=\"x.htm\">", {}},
        {"Windows-1252", kBase, "<a href=\"f.htm\">\xe9t\xe9</a>", {"5 ~/f.htm «été»"}},
        {"UTF-8 avec BOM", kBase, "\xef\xbb\xbf<a href=\"f.htm\">\xc3\xa9t\xc3\xa9</a>", {"5 ~/f.htm «été»"}},
        {"nginx", nginx, LitFichier(CheminFixture("html/nginx-autoindex.html")),
         {"5 http://127.0.0.1/ «../»", "5 ~/sous-dossier/ «sous-dossier/»", "5 ~/archive.zip «archive.zip»",
          "5 ~/lisez-moi.txt «lisez-moi.txt»", "5 ~/page%20deux.htm «page deux.htm»",
          "5 ~/r%C3%A9sum%C3%A9.pdf «résumé.pdf»"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom.toStdString());
        ASSERT_TRUE(EcritFichier(dossier.filePath(c.nom), c.octets));
        ListeAuto adresses, types, textes;
        EXPECT_TRUE(ExtraitLiensHTML(dossier.filePath(c.nom), c.base, adresses, types, &textes));
        EXPECT_EQ(Resume(c.base, adresses, types, textes), c.attendu);
    }
    ListeAuto adresses, types;
    EXPECT_FALSE(ExtraitLiensHTML(dossier.filePath("absente.htm"), kBase, adresses, types));
    EXPECT_EQ(adresses.NbElementsListe(), 0);
}

// A large page made of many comments, script blocks, tags and near-miss
// delimiters is scanned whole (a scan that starts again from the top after each
// cut would not finish).
TEST(ExtraitLiens, GrandePage) {
    const int n = 50000;
    QString page;
    for (int k = 0; k < n; ++k)
        page += QStringLiteral("<!- x><!--c--><SCRIPT Language=\"javascript\">location.href='s%1';</script>"
                               "<Script x><a href=\"a%1\">t</a>").arg(k);
    ListeAuto adresses, types, textes;
    ExtraitLiensTexte(page + "<!-- ouvert> <a href=\"fin\">", kBase, adresses, types, &textes);
    const QStringList liens = Resume(kBase, adresses, types, textes);
    ASSERT_EQ(liens.size(), 2 * n + 1);
    EXPECT_EQ(liens[n - 1], QStringLiteral("3 ~/s%1").arg(n - 1));
    EXPECT_EQ(liens.mid(2 * n - 1), QStringList({QStringLiteral("5 ~/a%1 «t»").arg(n - 1), "5 ~/fin"}));
}

TEST(ExtraitLiens, DecoupeBalises) {
    const struct {
        QString texte;
        QStringList balises, positions;
    } cas[] = {
        {"a<b>c<\"d>\"e>f<g", {"b", "\"d>\"e"}, {"2", "6"}},
        {"x\"<y>\"<z>", {"z"}, {"7"}},
        {"<><a 'b>c'>", {"", "a 'b"}, {"1", "3"}}, // apostrophes do not quote
        {"<a \"b>", {}, {}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.texte.toStdString());
        ListeAuto balises, positions, seules;
        DecoupeBalises(c.texte, balises, &positions);
        DecoupeBalises(c.texte, seules);
        EXPECT_EQ(balises.Elements(), c.balises);
        EXPECT_EQ(positions.Elements(), c.positions);
        EXPECT_EQ(seules.Elements(), c.balises);
    }
}

TEST(ExtraitLiens, ValeurAttribut) {
    const struct {
        const char* nom;
        QString texte, attendu;
    } cas[] = {
        {"href", "HREF = \"a b.htm\" TARGET=x", "a b.htm"}, {"TARGET", "Href=\"a.htm\" TARGET=x", "x"},
        {"TARGET", "HREF=\"a.htm\"TARGET=x", ""}, // the walk skips a character after a quote
        {"SRC", "WIDTH=10  SRC=x.gif", "x.gif"},   {"HREF", "HREF=\" a\"", "a"},
        {"ALT", "SRC=\"a\" ALT=b\"c d\"e", "bc d"}, // the tag's quote character is remembered
        {"ALT", "ALT=b\"c", "b\"c"},                // no quote seen yet: an ordinary character
        {"HREF", "HREF=\"'x'\"", ""},               // a leading apostrophe takes over as quote
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(std::string(c.nom) + " in " + c.texte.toStdString());
        EXPECT_EQ(ValeurAttribut(QString::fromLatin1(c.nom), c.texte), c.attendu);
    }
}

TEST(ExtraitLiens, SegmentsEtEspaces) {
    QString segment = QStringLiteral("avant");
    EXPECT_TRUE(ExtraitSegment("x<SCRIPT>1</script><script>2</SCRIPT>", "<script>", "</Script>", 2, true, segment));
    EXPECT_EQ(segment, QStringLiteral("2"));
    EXPECT_FALSE(ExtraitSegment("a[1]b[2", "[", "]", 2, false, segment)); // unfinished
    EXPECT_EQ(segment, QString());
    QString espaces = QStringLiteral("  \t a b \t  ");
    SupprimeEspacesDebut(espaces);
    SupprimeEspacesFin(espaces);
    EXPECT_EQ(espaces, QStringLiteral("\t a b \t")); // spaces only
}

// The one-pass removal gives what cutting and looking again from the start
// gives, on texts full of partial and overlapping delimiters, with and without
// case (the long s has S for capital).
TEST(ExtraitLiens, SupprimeSegmentsCommeLaRegle) {
    auto naif = [](QString texte, const QString& debut, const QString& fin) {
        for (qsizetype d, f; (d = texte.indexOf(debut)) >= 0 && (f = texte.indexOf(fin, d + debut.size())) >= 0;)
            texte.remove(d, f + fin.size() - d);
        return texte;
    };
    const QStringList delimiteurs = {"<!--", "-->", "<!", "!>", "aa", "a", "-", "--", "<s", "s>", "ss", "S"};
    QRandomGenerator alea(99);
    for (int essai = 0; essai < 20000; ++essai) {
        QString texte;
        for (int k = int(alea.bounded(24)); k > 0; --k)
            texte += QStringLiteral("<!->aAsSſ")[int(alea.bounded(9))];
        const QString& debut = delimiteurs[essai % 6 * 2];
        const QString& fin = delimiteurs[essai % 6 * 2 + 1];
        QString obtenu = texte, obtenuCasse = texte;
        SupprimeSegments(obtenu, debut, fin, false);
        SupprimeSegments(obtenuCasse, debut, fin, true);
        ASSERT_EQ(obtenu, naif(texte, debut, fin)) << texte.toStdString() << " " << debut.toStdString();
        ASSERT_EQ(obtenuCasse.toUpper(), naif(texte.toUpper(), debut.toUpper(), fin.toUpper()))
            << texte.toStdString() << " " << debut.toStdString();
    }
}
