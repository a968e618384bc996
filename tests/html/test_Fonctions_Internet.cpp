// Link extraction from texts and files (kinds, anchor texts, order), then its separate steps.
#include "html/EtapesLiens.h"
#include "html/Fonctions_Internet.h"

#include "support/Outils.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

const QString kBase = QStringLiteral("http://serveur/rep/");

// One line per link: kind, address ("~/" for the base), anchor text between « ».
QStringList Resume(const QString& base, const ListeAuto& adresses, const ListeAuto& types, const ListeAuto& textes) {
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
        {"un commentaire coupé en reforme un", "<!<!-- x -->-- <a href=c.htm> --><a href=d.htm>", {"5 ~/d.htm"}},
        {"script non fermé: ni lu ni retiré",
         "<a href=a.htm>a</a><Script Language=\"JAVASCRIPT\">location.href='x.htm';<a href=b.htm>",
         {"5 ~/a.htm «a»", "5 ~/b.htm"}},
        {"ı et ſ ont I et S pour capitales",
         "<Script Language=\"JAVASCRIPT\">locatıon.href='s.htm';</ſcript><ımg ſrc=i.gif>"
         "<a href=\"javaſcript:x\"><a href=u.htm>ſı</a>",
         {"3 ~/s.htm", "2 ~/i.gif", "5 ~/u.htm «ſı»"}},
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
        // (How a relative link resolves is ResoutLien's table.)
        {"liens identiques, absolus", "<a href=\"x.htm\"><a href=\"x.htm\"><a href=\"ftp://f/z\">",
         {"5 ~/x.htm", "5 ~/x.htm", "5 ftp://f/z"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        ListeAuto adresses, types, textes;
        ExtraitLiensTexte(c.page, kBase, adresses, types, &textes);
        EXPECT_EQ(Resume(kBase, adresses, types, textes), c.attendu);
    }
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
        {"Windows-1252, octets d'un ı en UTF-8", kBase, "<\xC4\xB1MG SRC=x.gif><a href=\"\xE9.htm\">\x80</a>",
         {"5 ~/é.htm «€»"}},
        {"UTF-8: marque d'ordre, caractères de plusieurs octets", kBase,
         "\xEF\xBB\xBF<a href=\"\xC3\xA9>.htm\">\xEF\xBB\xBF\xC3\xA9</a>", {"5 ~/é>.htm «\uFEFFé»"}},
        {"octet nul", kBase, QByteArrayLiteral("<a href=\"a.htm\">x\0y</a>"), {QStringLiteral("5 ~/a.htm «x\0y»")}},
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

// The steps a caller may use on their own, on texts: one result per line.
TEST(ExtraitLiens, EtapesSurDesTextes) {
    const auto balises = [](const QString& texte) {
        ListeAuto b, p;
        DecoupeBalises(texte, b, &p);
        QStringList l;
        for (qint32 k = 0; k < b.NbElementsListe(); ++k)
            l << p.RenvoieElement(k) + ':' + b.RenvoieElement(k);
        return l.join('|');
    };
    const auto segment = [](const QString& texte, const QString& debut, const QString& fin, int n, bool casse) {
        QString s = "?";
        return ExtraitSegment(texte, debut, fin, n, casse, s) ? s : "non:" + s;
    };
    const auto supprime = [](QString texte, const QString& debut, const QString& fin, bool casse) {
        SupprimeSegments(texte, debut, fin, casse);
        return texte;
    };
    const auto espaces = [](QString texte) {
        QString fin = texte;
        SupprimeEspacesDebut(texte);
        SupprimeEspacesFin(fin);
        return texte + '|' + fin;
    };
    ListeAuto adresses, types, textes;
    ExtraitLiensScripts("<Script Language=\"JAVASCRIPT\">/* location.href='non.htm'; */ location.href = 'un.htm';"
                        " // location.href=non2.htm;\r\nLOCATION.HREF=\"deux.htm\"; location.href;</script>"
                        "<script type=\"text/javascript\">location.href='non3.htm';</script>"
                        "<SCRIPT language=\"JavaScript\">location.href=\r\ntrois.htm ;</SCRIPT>",
                        kBase, adresses, types, &textes);
    const std::pair<QString, QString> cas[] = {
        // "<" and ">" inside double quotes, apostrophes playing no part, an unfinished tag.
        {balises("a<b>c<\"x>\"d>\"<y>\"<z w='>'>e<f"), "2:b|6:\"x>\"d|18:z w='"},
        {ValeurAttribut("href", "NAME=x HREF = \"a b.htm\" ALT=z"), "a b.htm"},
        {ValeurAttribut("Src", "ALT='dit \"non\"' SRC=y.gif"), "y.gif"},
        {ValeurAttribut("SRC", "ISMAP SRC=x.gif") + ValeurAttribut("src", "ALT=x"), ""},
        {segment("<S>un</s><s>deux</S>", "<s>", "</S>", 1, false), "deux"},
        {segment("<S>un</s><s>deux</S>", "<s>", "</S>", 2, true), "deux"},
        {segment("<ſ>ı</s>", "<S>", "</S>", 1, true), "ı"}, // long s: S in capitals
        {segment("[a][b", "[", "]", 2, false) + segment("[a]", "[", "]", 0, false), "non:non:"},
        {supprime("a<!--x-->b<!--y", "<!--", "-->", false), "ab<!--y"},
        {supprime("<!<!-- x -->-- c -->d", "<!--", "-->", false), "d"}, // a cut that joins a new one
        {supprime("a<SCRIPT>x</script>b", "<script>", "</SCRIPT>", true), "ab"},
        {supprime("a<SCRIPT>x</script>b", "<script>", "</SCRIPT>", false), "a<SCRIPT>x</script>b"},
        {espaces("  \ta b  "), "\ta b  |  \ta b"},
        {Resume(kBase, adresses, types, textes).join('|') + QString::number(textes.NbElementsListe()),
         "3 ~/un.htm|3 ~/deux.htm|3 ~/trois.htm3"},
    };
    for (const auto& [obtenu, attendu] : cas)
        EXPECT_EQ(obtenu, attendu);
}
