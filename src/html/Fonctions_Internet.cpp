// Link extraction from HTML pages.
//
// The scanner works on the page's bytes, compacted in place, in this order:
//   1. comments "<!--" ... "-->" are removed;
//   2. <Script Language="JAVASCRIPT"> ... </Script> blocks (that exact opening
//      apart from letter case) are scanned for "location.href = value;", then
//      removed;
//   3. line feeds become spaces;
//   4. the text is cut into tags at "<" and ">" outside double quotes, one tag
//      at a time;
//   5. BODY BACKGROUND, A HREF, IMG SRC and FRAME SRC values are kept, except
//      empty ones, "#..." and "javascript:..." ones, and made absolute.
// Every delimiter is ASCII, and in UTF-8 an ASCII byte is always a character
// of its own, so the bytes are cut where the decoded text would be; only the
// kept pieces (values, anchor texts) are decoded. The page is never held as
// UTF-16 nor as a list of its tags: a page costs its bytes, plus a copy of the
// script block being read.
//
// Case-insensitive matching compares capitals, one character for one, as Qt's
// single-character upper case does: besides ASCII letters, only the dotless i
// (U+0131) and the long s (U+017F) have an ASCII capital, "I" and "S"; they
// are two bytes in UTF-8, and Windows-1252 has neither.
#include "html/Fonctions_Internet.h"

#include "html/Fonctions_Chemin.h"
#include "util/Fonctions_Texte.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

const char kDebutScript[] = "<Script Language=\"JAVASCRIPT\">";
const char kFinScript[] = "</Script>";

// Bytes taken by the character at `p` (before `fin`) when it is the ASCII
// character `m`, comparing capitals when `casse`; 0 when it is not.
inline int Egal(const char* t, qsizetype p, qsizetype fin, char m, bool casse, bool utf8) {
    const auto b = static_cast<unsigned char>(t[p]);
    if (b < 0x80) {
        if (casse && b >= 'a' && b <= 'z')
            return char(b - 32) == m ? 1 : 0;
        return char(b) == m ? 1 : 0;
    }
    if (casse && utf8 && p + 1 < fin) {
        const auto suite = static_cast<unsigned char>(t[p + 1]);
        if (m == 'I' && b == 0xC4 && suite == 0xB1)
            return 2;
        if (m == 'S' && b == 0xC5 && suite == 0xBF)
            return 2;
    }
    return 0;
}

// A delimiter, looked for as written or comparing capitals, on the fly: an
// upper-case copy of the page would cost more than the search itself.
class Motif {
public:
    Motif(QByteArrayView texte, bool ignorerCasse, bool utf8)
        : motif_(texte.toByteArray()), casse_(ignorerCasse), utf8_(utf8) {
        if (casse_)
            motif_ = motif_.toUpper();
    }

    qsizetype taille() const { return motif_.size(); }
    bool vide() const { return motif_.isEmpty(); }

    // Matches the delimiter's characters from `m` on against the bytes
    // [p, fin), until either runs out; `m` moves on. The position after the
    // last byte matched, or -1 on a difference.
    qsizetype avance(const char* t, qsizetype p, qsizetype fin, qsizetype& m) const {
        while (m < motif_.size() && p < fin) {
            const int k = Egal(t, p, fin, motif_[m], casse_, utf8_);
            if (k == 0)
                return -1;
            p += k;
            ++m;
        }
        return p;
    }

    // End of the whole delimiter found at `p`, or -1.
    qsizetype finEn(const char* t, qsizetype p, qsizetype n) const {
        qsizetype m = 0;
        const qsizetype q = avance(t, p, n, m);
        return q >= 0 && m == motif_.size() ? q : -1;
    }

    // Start of the first delimiter at or after `depuis`, and its end in
    // `finTrouve`; -1 when there is none.
    qsizetype cherche(const char* t, qsizetype n, qsizetype depuis, qsizetype& finTrouve) const {
        if (motif_.isEmpty())
            return -1;
        const char premier = motif_[0];
        // A first character other than a letter is only ever itself: jump
        // between its occurrences.
        const bool lettre = casse_ && premier >= 'A' && premier <= 'Z';
        for (qsizetype i = depuis; i < n; ++i) {
            if (!lettre) {
                const void* q = std::memchr(t + i, premier, size_t(n - i));
                if (!q)
                    return -1;
                i = static_cast<const char*>(q) - t;
            } else {
                const auto b = static_cast<unsigned char>(t[i]);
                if ((b | 0x20) != (static_cast<unsigned char>(premier) | 0x20) && !(utf8_ && (b == 0xC4 || b == 0xC5)))
                    continue;
            }
            const qsizetype e = finEn(t, i, n);
            if (e >= 0) {
                finTrouve = e;
                return i;
            }
        }
        return -1;
    }

private:
    QByteArray motif_;
    bool casse_;
    bool utf8_;
};

// True when the bytes [t, t + n) are, in capitals, exactly `motif` (ASCII
// capitals); with `prefixe`, when they begin with it.
bool EgalMajuscules(const char* t, qsizetype n, const char* motif, bool utf8, bool prefixe = false) {
    qsizetype p = 0;
    for (; *motif; ++motif) {
        if (p >= n)
            return false;
        const int k = Egal(t, p, n, *motif, true, utf8);
        if (k == 0)
            return false;
        p += k;
    }
    return prefixe || p == n;
}

// A kept piece of the page as text.
QString Decode(const char* t, qsizetype n, bool utf8) {
    if (!utf8) {
        QString texte(n, Qt::Uninitialized);
        QChar* sortie = texte.data();
        for (qsizetype i = 0; i < n; ++i)
            sortie[i] = CaractereWindows1252(static_cast<unsigned char>(t[i]));
        return texte;
    }
    // fromUtf8 drops a byte order mark that begins its input; inside a page it
    // is a character like the others.
    qsizetype marques = 0;
    while (n - 3 * marques >= 3 && std::memcmp(t + 3 * marques, "\xEF\xBB\xBF", 3) == 0)
        ++marques;
    const QString reste = QString::fromUtf8(t + 3 * marques, n - 3 * marques);
    return marques ? QString(marques, QChar(0xFEFF)) + reste : reste;
}

// Copies [debut, n) to the start of `d` without its carriage returns, each
// taking the line feed that follows it along; the new length.
qsizetype SansRetoursChariot(char* d, qsizetype debut, qsizetype n) {
    qsizetype w = 0, r = debut;
    while (r < n) {
        const void* cr = std::memchr(d + r, '\r', size_t(n - r));
        const qsizetype fin = cr ? static_cast<const char*>(cr) - d : n;
        std::memmove(d + w, d + r, size_t(fin - r));
        w += fin - r;
        r = fin;
        if (r < n) {
            ++r;
            if (r < n && d[r] == '\n')
                ++r;
        }
    }
    return w;
}

// Every CR LF pair, then every remaining LF, becomes one space; the new length.
qsizetype SautsDeLigneEnEspaces(char* d, qsizetype n) {
    const void* premier = std::memchr(d, '\n', size_t(n));
    if (!premier)
        return n;
    qsizetype k = static_cast<const char*>(premier) - d;
    if (k > 0 && d[k - 1] == '\r')
        --k;
    qsizetype w = k;
    for (qsizetype r = k; r < n; ++r) {
        const char c = d[r];
        if (c == '\r' && r + 1 < n && d[r + 1] == '\n') {
            d[w++] = ' ';
            ++r;
        } else {
            d[w++] = c == '\n' ? ' ' : c;
        }
    }
    return w;
}

// Segment removal on the bytes [0, n) of `donnees`; the new length.
qsizetype SupprimeSegmentsEnPlace(char* donnees, qsizetype n, const Motif& d, const Motif& f) {
    if (d.vide() || f.vide())
        return n;
    // Nothing to cut: leave the text alone.
    qsizetype finD = 0, finF = 0;
    qsizetype s = d.cherche(donnees, n, 0, finD);
    qsizetype e = s < 0 ? -1 : f.cherche(donnees, n, finD, finF);
    if (e < 0)
        return n;
    // Looking again from the start after each cut only matters where the cut
    // joins two pieces: the kept text before it holds no start delimiter, so a
    // new one can only straddle the join. One pass therefore gives the same
    // result. The kept text is compacted in place: it never grows past the
    // reading position.
    // A straddling delimiter begins at most l - 1 characters, so 2 (l - 1)
    // bytes, before the join.
    const qsizetype recul = 2 * (d.taille() - 1);
    qsizetype garde = s; // kept bytes, at the start of the buffer
    qsizetype pos = finF;
    for (;;) {
        // A start delimiter that takes the kept text's end and goes on in
        // the rest of the text?
        qsizetype chevauche = -1, apresDebut = -1;
        for (qsizetype k = std::max<qsizetype>(0, garde - recul); k < garde; ++k) {
            qsizetype m = 0;
            if (d.avance(donnees, k, garde, m) != garde || m == d.taille())
                continue;
            const qsizetype q = d.avance(donnees, pos, n, m);
            if (q >= 0 && m == d.taille()) {
                chevauche = k;
                apresDebut = q;
                break;
            }
        }
        if (chevauche >= 0) {
            e = f.cherche(donnees, n, apresDebut, finF);
            if (e < 0)
                break;
            garde = chevauche;
            pos = finF;
            continue;
        }
        s = d.cherche(donnees, n, pos, finD);
        if (s < 0)
            break;
        e = f.cherche(donnees, n, finD, finF);
        if (e < 0)
            break;
        std::memmove(donnees + garde, donnees + pos, size_t(s - pos));
        garde += s - pos;
        pos = finF;
    }
    std::memmove(donnees + garde, donnees + pos, size_t(n - pos));
    return garde + (n - pos);
}

// Calls `traite(debut, fin)` for the bytes strictly between each start
// delimiter and the next end delimiter, the search going on after each end.
template <typename Traite>
void PourChaqueSegment(const char* t, qsizetype n, const Motif& d, const Motif& f, Traite traite) {
    qsizetype p = 0, finD = 0, finF = 0;
    for (;;) {
        if (d.cherche(t, n, p, finD) < 0)
            return;
        const qsizetype e = f.cherche(t, n, finD, finF);
        if (e < 0)
            return;
        traite(finD, e);
        p = finF;
    }
}

QString CodeLien(int type) {
    // Shared constant texts: a page of a million links makes no text per kind.
    switch (type) {
    case LienFrame: return QStringLiteral("1");
    case LienImage: return QStringLiteral("2");
    case LienJavascript: return QStringLiteral("3");
    case LienImageFond: return QStringLiteral("4");
    case LienClic: return QStringLiteral("5");
    default: return QString::number(type);
    }
}

struct Sorties {
    const QString& base;
    ListeAuto& adresses;
    ListeAuto& types;
    ListeAuto* textes;

    void ajoute(const QString& valeur, int type, const QString& texte) const {
        types.AjoutElement(CodeLien(type));
        adresses.AjoutElement(ResoutLien(base, valeur));
        if (textes)
            textes->AjoutElement(texte);
    }
};

// Value of the attribute `nom` (ASCII capitals) in the attribute text [t, t + n)
// of a tag, quotes removed; empty when it is not there.
QByteArray ValeurAttribut(const char* nom, const char* t, qsizetype n, bool utf8) {
    // The quote character is that of the last value that began with a quote.
    char guillemet = 0;
    bool aGuillemet = false;
    QByteArray valeur;
    qsizetype p = 0;
    while (p < n) {
        const void* trouve = std::memchr(t + p, '=', size_t(n - p));
        if (!trouve)
            return QByteArray();
        const qsizetype egal = static_cast<const char*>(trouve) - t;
        qsizetype debutCle = p, finCle = egal;
        while (debutCle < finCle && t[debutCle] == ' ')
            ++debutCle;
        while (finCle > debutCle && t[finCle - 1] == ' ')
            --finCle;
        valeur.clear();
        bool entre = false;
        qsizetype suite = n;
        for (qsizetype k = egal + 1; k < n; ++k) {
            const char c = t[k];
            if (valeur.isEmpty() && c == ' ')
                continue;
            if (valeur.isEmpty() && (c == '"' || c == '\'')) {
                guillemet = c;
                aGuillemet = true;
            }
            if (aGuillemet && c == guillemet) {
                entre = !entre;
                if (!entre) {
                    suite = k + 2;
                    break;
                }
                continue;
            }
            if (c == ' ' && !entre) {
                suite = k + 1;
                break;
            }
            valeur.append(c);
        }
        if (EgalMajuscules(t + debutCle, finCle - debutCle, nom, utf8))
            return valeur;
        p = suite;
    }
    return QByteArray();
}

// The redirections of one script block, given as its bytes: comments out, line
// feeds as spaces, then every "location.href ... ;" with an "=".
void LiensScript(QByteArray& bloc, bool utf8, const Sorties& sorties) {
    qsizetype n = bloc.size();
    char* b = bloc.data();
    n = SupprimeSegmentsEnPlace(b, n, Motif("/*", false, utf8), Motif("*/", false, utf8));
    n = SupprimeSegmentsEnPlace(b, n, Motif("//", false, utf8), Motif("\n", false, utf8));
    n = SautsDeLigneEnEspaces(b, n);
    const Motif location("location.href", true, utf8), pointVirgule(";", true, utf8);
    PourChaqueSegment(b, n, location, pointVirgule, [&](qsizetype debut, qsizetype fin) {
        const void* egal = std::memchr(b + debut, '=', size_t(fin - debut));
        if (!egal)
            return;
        qsizetype a = static_cast<const char*>(egal) - b + 1;
        while (a < fin && b[a] == ' ')
            ++a;
        while (fin > a && b[fin - 1] == ' ')
            --fin;
        QString valeur = Decode(b + a, fin - a, utf8);
        // The first and last characters go, whatever the last one is.
        if (valeur.startsWith(QLatin1Char('"')) || valeur.startsWith(QLatin1Char('\'')))
            valeur = valeur.size() >= 2 ? valeur.mid(1, valeur.size() - 2) : QString();
        if (!valeur.isEmpty())
            sorties.ajoute(valeur, LienJavascript, QString());
    });
}

// The link a tag gives, from the bytes [a, z) between its "<" and ">": its
// kind, and its value in `valeur`; LienAucun when it gives none.
int LienBalise(const char* d, qsizetype a, qsizetype z, bool utf8, QByteArray& valeur) {
    while (a < z && d[a] == ' ')
        ++a;
    while (z > a && d[z - 1] == ' ')
        --z;
    const void* espace = std::memchr(d + a, ' ', size_t(z - a));
    if (!espace)
        return LienAucun;
    const qsizetype e = static_cast<const char*>(espace) - d;
    // "FRAME", or "IMG" with a two-byte dotless i, is the longest name read.
    if (e - a > 5)
        return LienAucun;
    int type = LienAucun;
    const char* attribut = nullptr;
    if (EgalMajuscules(d + a, e - a, "BODY", utf8)) {
        type = LienImageFond;
        attribut = "BACKGROUND";
    } else if (EgalMajuscules(d + a, e - a, "A", utf8)) {
        type = LienClic;
        attribut = "HREF";
    } else if (EgalMajuscules(d + a, e - a, "IMG", utf8)) {
        type = LienImage;
        attribut = "SRC";
    } else if (EgalMajuscules(d + a, e - a, "FRAME", utf8)) {
        type = LienFrame;
        attribut = "SRC";
    } else {
        return LienAucun;
    }
    qsizetype b = e + 1;
    while (b < z && d[b] == ' ')
        ++b;
    valeur = ValeurAttribut(attribut, d + b, z - b, utf8);
    if (valeur.isEmpty() || valeur.front() == '#' ||
        EgalMajuscules(valeur.constData(), valeur.size(), "JAVASCRIPT:", utf8, true))
        return LienAucun;
    return type;
}

// Steps 1 to 5 on the page's bytes [0, n) of `page`, a text with its line ends
// already handled.
void Extrait(QByteArray& page, qsizetype n, bool utf8, const Sorties& sorties) {
    char* d = page.data();
    n = SupprimeSegmentsEnPlace(d, n, Motif("<!--", false, utf8), Motif("-->", false, utf8));

    const Motif debutScript(kDebutScript, true, utf8), finScript(kFinScript, true, utf8);
    {
        QByteArray bloc;
        PourChaqueSegment(d, n, debutScript, finScript, [&](qsizetype debut, qsizetype fin) {
            bloc.resize(fin - debut);
            std::memcpy(bloc.data(), d + debut, size_t(fin - debut));
            LiensScript(bloc, utf8, sorties);
        });
    }
    n = SupprimeSegmentsEnPlace(d, n, debutScript, finScript);
    n = SautsDeLigneEnEspaces(d, n);

    // Tags one at a time. An anchor's text is what lies between it and a
    // directly following "</A>", so an anchor waits for the next tag; an
    // anchor holding another tag has none.
    bool ancreEnAttente = false;
    QString valeurAncre;
    qsizetype apresAncre = 0;
    QByteArray valeur;
    const auto termineAncre = [&](const QString& texte) {
        sorties.ajoute(valeurAncre, LienClic, texte);
        ancreEnAttente = false;
    };
    // The next `cherche` at or after `depuis` outside double quotes; -1 when none.
    const auto horsGuillemets = [d, n](qsizetype depuis, char cherche) -> qsizetype {
        bool guillemets = false;
        for (qsizetype j = depuis; j < n; ++j) {
            if (d[j] == '"')
                guillemets = !guillemets;
            else if (d[j] == cherche && !guillemets)
                return j;
        }
        return -1;
    };
    qsizetype i = 0;
    for (;;) {
        const qsizetype ouvre = horsGuillemets(i, '<');
        if (ouvre < 0)
            break;
        const qsizetype ferme = horsGuillemets(ouvre + 1, '>');
        if (ferme < 0)
            break; // an unfinished tag ends the cut
        if (ancreEnAttente) {
            const bool fermeture = ferme - ouvre == 3 && d[ouvre + 1] == '/' && (d[ouvre + 2] | 0x20) == 'a';
            termineAncre(fermeture ? Decode(d + apresAncre, ouvre - apresAncre, utf8) : QString());
        }
        const int type = LienBalise(d, ouvre + 1, ferme, utf8, valeur);
        if (type == LienClic && sorties.textes) {
            ancreEnAttente = true;
            valeurAncre = Decode(valeur.constData(), valeur.size(), utf8);
            apresAncre = ferme + 1;
        } else if (type != LienAucun) {
            sorties.ajoute(Decode(valeur.constData(), valeur.size(), utf8), type, QString());
        }
        i = ferme + 1;
    }
    if (ancreEnAttente)
        termineAncre(QString());
}

} // namespace

QString NomTypeLien(int code) {
    switch (code) {
    case LienAucun: return QStringLiteral("Aucun lien");
    case LienFrame: return QStringLiteral("Frame HTML");
    case LienImage: return QStringLiteral("Image");
    case LienJavascript: return QStringLiteral("Appel Javascript");
    case LienImageFond: return QStringLiteral("Image de fond");
    case LienClic: return QStringLiteral("Clic souris");
    case LienRedirection: return QStringLiteral("Redirection");
    default: return QString();
    }
}

void SupprimeSegments(QByteArray& texte, QByteArrayView debut, QByteArrayView fin, bool ignorerCasse,
                      bool utf8) {
    const Motif d(debut, ignorerCasse, utf8), f(fin, ignorerCasse, utf8);
    qsizetype finD = 0, finF = 0;
    // Nothing to cut: leave the text (and its sharing) alone.
    const qsizetype s = d.vide() || f.vide() ? -1 : d.cherche(texte.constData(), texte.size(), 0, finD);
    if (s < 0 || f.cherche(texte.constData(), texte.size(), finD, finF) < 0)
        return;
    texte.truncate(SupprimeSegmentsEnPlace(texte.data(), texte.size(), d, f));
}

void ExtraitLiensOctets(QByteArray page, const QString& adresseBase, ListeAuto& adresses,
                        ListeAuto& types, ListeAuto* textes) {
    // The charset is decided on the whole file, as its text would be decoded.
    const bool utf8 = QByteArrayView(page).isValidUtf8();
    const qsizetype marque = utf8 && page.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    // The page is read line by line and the lines joined: a carriage return
    // ends a line, with the line feed that may follow it; a lone line feed stays.
    const qsizetype n = SansRetoursChariot(page.data(), marque, page.size());
    Extrait(page, n, utf8, Sorties{adresseBase, adresses, types, textes});
}

void ExtraitLiensTexte(const QString& page, const QString& adresseBase, ListeAuto& adresses,
                       ListeAuto& types, ListeAuto* textes) {
    QByteArray octets = page.toUtf8();
    Extrait(octets, octets.size(), true, Sorties{adresseBase, adresses, types, textes});
}

bool ExtraitLiensHTML(const QString& cheminPage, const QString& adresseBase, ListeAuto& adresses,
                      ListeAuto& types, ListeAuto* textes) {
    QFile fichier(cheminPage);
    if (!fichier.open(QIODevice::ReadOnly))
        return false;
    ExtraitLiensOctets(fichier.readAll(), adresseBase, adresses, types, textes);
    return true;
}
