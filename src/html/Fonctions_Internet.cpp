// Link extraction from HTML pages.
//
// The scanner works on the page as one string, in this order:
//   1. comments "<!--" ... "-->" are removed;
//   2. <Script Language="JAVASCRIPT"> ... </Script> blocks (that exact opening
//      apart from letter case) are scanned for "location.href = value;", then
//      removed;
//   3. line feeds become spaces;
//   4. the text is cut into tags at "<" and ">" outside double quotes;
//   5. BODY BACKGROUND, A HREF, IMG SRC and FRAME SRC values are kept, except
//      empty ones, "#..." and "javascript:..." ones, and made absolute.
// Case-insensitive matching compares capitals, one code unit for one, so that
// positions in the compared copy are positions in the text.
#include "html/Fonctions_Internet.h"

#include "html/Fonctions_Chemin.h"
#include "util/Fonctions_Texte.h"

#include <QFile>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const QString& DebutScript() {
    static const QString s = QStringLiteral("<Script Language=\"JAVASCRIPT\">");
    return s;
}
const QString& FinScript() {
    static const QString s = QStringLiteral("</Script>");
    return s;
}

// Capital of one code unit; ASCII without a table look-up.
inline char16_t Majuscule(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    return QChar::toUpper(c);
}

QString Majuscules(QStringView texte) {
    QString copie(texte.size(), Qt::Uninitialized);
    QChar* sortie = copie.data();
    for (qsizetype k = 0; k < texte.size(); ++k)
        sortie[k] = QChar(Majuscule(texte[k].unicode()));
    return copie;
}

QStringView SansEspaces(QStringView t) {
    while (!t.isEmpty() && t.front() == QLatin1Char(' '))
        t = t.mid(1);
    while (!t.isEmpty() && t.back() == QLatin1Char(' '))
        t.chop(1);
    return t;
}

// A delimiter, looked for as written or comparing capitals. Comparing capitals
// is done on the fly rather than on an upper-case copy of the page, which for
// a large page costs more than the search itself.
class Motif {
public:
    Motif(const QString& texte, bool ignorerCasse)
        : motif_(ignorerCasse ? Majuscules(texte) : texte), casse_(ignorerCasse) {}

    qsizetype taille() const { return motif_.size(); }
    bool vide() const { return motif_.isEmpty(); }

    // True when `morceau` equals, for its whole length, the delimiter's
    // characters from `debut` on.
    bool egalPartie(QStringView morceau, qsizetype debut) const {
        if (debut < 0 || debut + morceau.size() > motif_.size())
            return false;
        const QChar* a = morceau.data();
        const QChar* b = motif_.constData() + debut;
        for (qsizetype k = 0; k < morceau.size(); ++k) {
            const char16_t c = casse_ ? Majuscule(a[k].unicode()) : a[k].unicode();
            if (c != b[k].unicode())
                return false;
        }
        return true;
    }

    // True when `texte` begins with the part of the delimiter from `debut` on.
    bool suiteEn(QStringView texte, qsizetype debut = 0) const {
        const qsizetype m = motif_.size() - debut;
        return texte.size() >= m && egalPartie(texte.left(m), debut);
    }

    qsizetype cherche(QStringView texte, qsizetype depuis) const {
        if (depuis > texte.size())
            return -1;
        if (!casse_)
            return texte.indexOf(motif_, depuis);
        const qsizetype m = motif_.size();
        const qsizetype n = texte.size();
        const char16_t premier = motif_[0].unicode();
        // Only that character has a non-letter ASCII capital: jump between
        // its occurrences.
        const bool sautRapide = premier < 0x80 && !(premier >= u'A' && premier <= u'Z');
        for (qsizetype i = depuis; i + m <= n; ++i) {
            if (sautRapide) {
                i = texte.indexOf(QChar(premier), i);
                if (i < 0 || i + m > n)
                    return -1;
            } else if (Majuscule(texte[i].unicode()) != premier) {
                continue;
            }
            if (suiteEn(texte.mid(i, m)))
                return i;
        }
        return -1;
    }

private:
    QString motif_;
    bool casse_;
};

// Next segment from `depuis`: start delimiter at `posDebut`, end delimiter at
// `posFin`.
bool ProchainSegment(QStringView texte, const Motif& debut, const Motif& fin, qsizetype depuis,
                     qsizetype& posDebut, qsizetype& posFin) {
    posDebut = debut.cherche(texte, depuis);
    if (posDebut < 0)
        return false;
    posFin = fin.cherche(texte, posDebut + debut.taille());
    return posFin >= 0;
}

// Calls `traite(segment)` for every segment, in order, as ExtraitSegment would
// give them for n = 1, 2, ... but in one pass over the text.
template <typename Traite>
void PourChaqueSegment(QStringView texte, const QString& debut, const QString& fin,
                       bool ignorerCasse, Traite traite) {
    const Motif d(debut, ignorerCasse), f(fin, ignorerCasse);
    if (d.vide() || f.vide())
        return;
    qsizetype p = 0, posDebut = 0, posFin = 0;
    while (ProchainSegment(texte, d, f, p, posDebut, posFin)) {
        const qsizetype depuis = posDebut + d.taille();
        traite(texte.mid(depuis, posFin - depuis));
        p = posFin + f.taille();
    }
}

// Every CR LF pair, then every remaining LF, becomes one space.
void SautsDeLigneEnEspaces(QString& texte) {
    const qsizetype n = texte.size();
    qsizetype k = texte.indexOf(QLatin1Char('\n'));
    if (k < 0)
        return;
    if (k > 0 && texte[k - 1] == QLatin1Char('\r'))
        --k;
    QChar* d = texte.data();
    qsizetype w = k;
    for (qsizetype r = k; r < n; ++r) {
        const QChar c = d[r];
        if (c == QLatin1Char('\r') && r + 1 < n && d[r + 1] == QLatin1Char('\n')) {
            d[w++] = QLatin1Char(' ');
            ++r;
        } else if (c == QLatin1Char('\n')) {
            d[w++] = QLatin1Char(' ');
        } else {
            d[w++] = c;
        }
    }
    texte.truncate(w);
}

struct Balise {
    qsizetype position; // index of its "<"
    qsizetype longueur; // characters between "<" and ">"
};

std::vector<Balise> Balises(QStringView texte) {
    std::vector<Balise> balises;
    const qsizetype n = texte.size();
    qsizetype i = 0;
    for (;;) {
        bool guillemets = false;
        qsizetype ouvre = -1;
        for (; i < n; ++i) {
            const QChar c = texte[i];
            if (c == QLatin1Char('"'))
                guillemets = !guillemets;
            else if (c == QLatin1Char('<') && !guillemets) {
                ouvre = i;
                break;
            }
        }
        if (ouvre < 0)
            break;
        guillemets = false;
        qsizetype ferme = -1;
        for (qsizetype j = ouvre + 1; j < n; ++j) {
            const QChar c = texte[j];
            if (c == QLatin1Char('"'))
                guillemets = !guillemets;
            else if (c == QLatin1Char('>') && !guillemets) {
                ferme = j;
                break;
            }
        }
        if (ferme < 0)
            break; // an unfinished tag ends the cut
        balises.push_back({ouvre, ferme - ouvre - 1});
        i = ferme + 1;
    }
    return balises;
}

void AjouteLien(const QString& base, const QString& valeur, int type, const QString& texte,
                ListeAuto& adresses, ListeAuto& types, ListeAuto* textes) {
    types.AjoutElement(QString::number(type));
    adresses.AjoutElement(ResoutLien(base, valeur));
    if (textes)
        textes->AjoutElement(texte);
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

void SupprimeEspacesDebut(QString& texte) {
    qsizetype k = 0;
    while (k < texte.size() && texte[k] == QLatin1Char(' '))
        ++k;
    if (k > 0)
        texte.remove(0, k);
}

void SupprimeEspacesFin(QString& texte) {
    qsizetype k = texte.size();
    while (k > 0 && texte[k - 1] == QLatin1Char(' '))
        --k;
    texte.truncate(k);
}

bool ExtraitSegment(const QString& texte, const QString& debut, const QString& fin, int n,
                    bool ignorerCasse, QString& segment) {
    segment.clear();
    const Motif d(debut, ignorerCasse), f(fin, ignorerCasse);
    if (n < 1 || d.vide() || f.vide())
        return false;
    qsizetype p = 0, posDebut = 0, posFin = 0;
    for (int vus = 1; ProchainSegment(texte, d, f, p, posDebut, posFin); ++vus) {
        if (vus == n) {
            const qsizetype depuis = posDebut + d.taille();
            segment = texte.mid(depuis, posFin - depuis);
            return true;
        }
        p = posFin + f.taille();
    }
    return false;
}

void SupprimeSegments(QString& texte, const QString& debut, const QString& fin, bool ignorerCasse) {
    const Motif d(debut, ignorerCasse), f(fin, ignorerCasse);
    if (d.vide() || f.vide())
        return;
    const qsizetype l = d.taille();
    // Nothing to cut: leave the text (and its sharing) alone.
    qsizetype s = d.cherche(texte, 0);
    qsizetype e = s < 0 ? -1 : f.cherche(texte, s + l);
    if (e < 0)
        return;
    // Looking again from the start after each cut only matters where the cut
    // joins two pieces: the kept text before it holds no start delimiter, so a
    // new one can only straddle the join. One pass therefore gives the same
    // result. The kept text is compacted in place: it never grows past the
    // reading position.
    QChar* donnees = texte.data();
    const QStringView tout(donnees, texte.size());
    qsizetype garde = s; // kept characters, at the start of the buffer
    qsizetype pos = e + f.taille();
    for (;;) {
        // A start delimiter beginning in the last l - 1 kept characters and
        // ending in the rest of the text?
        qsizetype chevauche = -1, apresDebut = -1;
        for (qsizetype k = std::max<qsizetype>(0, garde - (l - 1)); k < garde; ++k) {
            const qsizetype dedans = garde - k;
            if (d.egalPartie(tout.mid(k, dedans), 0) && d.suiteEn(tout.mid(pos), dedans)) {
                chevauche = k;
                apresDebut = pos + (l - dedans);
                break;
            }
        }
        if (chevauche >= 0) {
            e = f.cherche(tout, apresDebut);
            if (e < 0)
                break;
            garde = chevauche;
            pos = e + f.taille();
            continue;
        }
        s = d.cherche(tout, pos);
        if (s < 0)
            break;
        e = f.cherche(tout, s + l);
        if (e < 0)
            break;
        std::copy(donnees + pos, donnees + s, donnees + garde);
        garde += s - pos;
        pos = e + f.taille();
    }
    std::copy(donnees + pos, donnees + texte.size(), donnees + garde);
    texte.truncate(garde + (texte.size() - pos));
}

void DecoupeBalises(const QString& texte, ListeAuto& balises, ListeAuto* positions) {
    for (const Balise& b : Balises(texte)) {
        balises.AjoutElement(texte.mid(b.position + 1, b.longueur));
        if (positions)
            positions->AjoutElement(QString::number(b.position + 1));
    }
}

QString ValeurAttribut(const QString& nomAttribut, const QString& texteAttributs) {
    const QString nom = Majuscules(nomAttribut);
    const QString& t = texteAttributs;
    const qsizetype n = t.size();
    // The quote character is that of the last value that began with a quote.
    QChar guillemet;
    bool aGuillemet = false;
    qsizetype p = 0;
    while (p <= n) {
        const qsizetype egal = t.indexOf(QLatin1Char('='), p);
        if (egal < 0)
            return QString();
        const QStringView cle = SansEspaces(QStringView(t).mid(p, egal - p));
        QString valeur;
        bool entre = false;
        qsizetype suite = n;
        for (qsizetype k = egal + 1; k < n; ++k) {
            const QChar c = t[k];
            if (valeur.isEmpty() && c == QLatin1Char(' '))
                continue;
            if (valeur.isEmpty() && (c == QLatin1Char('"') || c == QLatin1Char('\''))) {
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
            if (c == QLatin1Char(' ') && !entre) {
                suite = k + 1;
                break;
            }
            valeur.append(c);
        }
        if (cle.size() == nom.size() && Majuscules(cle) == nom)
            return valeur;
        p = suite;
    }
    return QString();
}

void ExtraitLiensScripts(const QString& page, const QString& adresseBase, ListeAuto& adresses,
                         ListeAuto& types, ListeAuto* textes) {
    static const QString debutCommentaire = QStringLiteral("/*"), finCommentaire = QStringLiteral("*/");
    static const QString debutLigne = QStringLiteral("//"), finLigne = QStringLiteral("\n");
    static const QString location = QStringLiteral("location.href"), pointVirgule = QStringLiteral(";");
    PourChaqueSegment(page, DebutScript(), FinScript(), true, [&](QStringView blocVue) {
        QString bloc = blocVue.toString();
        SupprimeSegments(bloc, debutCommentaire, finCommentaire, false);
        SupprimeSegments(bloc, debutLigne, finLigne, false);
        SautsDeLigneEnEspaces(bloc);
        PourChaqueSegment(bloc, location, pointVirgule, true, [&](QStringView segment) {
            const qsizetype egal = segment.indexOf(QLatin1Char('='));
            if (egal < 0)
                return;
            QString valeur = segment.mid(egal + 1).toString();
            SupprimeEspacesDebut(valeur);
            SupprimeEspacesFin(valeur);
            if (valeur.startsWith(QLatin1Char('"')) || valeur.startsWith(QLatin1Char('\'')))
                valeur = valeur.size() >= 2 ? valeur.mid(1, valeur.size() - 2) : QString();
            if (!valeur.isEmpty())
                AjouteLien(adresseBase, valeur, LienJavascript, QString(), adresses, types, textes);
        });
    });
}

void ExtraitLiensTexte(QString page, const QString& adresseBase, ListeAuto& adresses,
                       ListeAuto& types, ListeAuto* textes) {
    SupprimeSegments(page, QStringLiteral("<!--"), QStringLiteral("-->"), false);
    ExtraitLiensScripts(page, adresseBase, adresses, types, textes);
    SupprimeSegments(page, DebutScript(), FinScript(), true);
    SautsDeLigneEnEspaces(page);

    const std::vector<Balise> balises = Balises(page);
    const QStringView vue(page);
    for (size_t k = 0; k < balises.size(); ++k) {
        const Balise& b = balises[k];
        const QStringView balise = SansEspaces(vue.mid(b.position + 1, b.longueur));
        const qsizetype espace = balise.indexOf(QLatin1Char(' '));
        if (espace < 0)
            continue;
        const QString nom = Majuscules(balise.left(espace));
        QStringView attributs = balise.mid(espace + 1);
        while (!attributs.isEmpty() && attributs.front() == QLatin1Char(' '))
            attributs = attributs.mid(1);

        int type = LienAucun;
        QLatin1StringView attribut;
        if (nom == QLatin1String("BODY")) {
            type = LienImageFond;
            attribut = QLatin1StringView("BACKGROUND");
        } else if (nom == QLatin1String("A")) {
            type = LienClic;
            attribut = QLatin1StringView("HREF");
        } else if (nom == QLatin1String("IMG")) {
            type = LienImage;
            attribut = QLatin1StringView("SRC");
        } else if (nom == QLatin1String("FRAME")) {
            type = LienFrame;
            attribut = QLatin1StringView("SRC");
        } else {
            continue;
        }
        const QString valeur = ValeurAttribut(attribut, attributs.toString());
        if (valeur.isEmpty() || valeur.front() == QLatin1Char('#') ||
            Majuscules(QStringView(valeur).left(11)) == QLatin1String("JAVASCRIPT:"))
            continue;

        // The text of an anchor is what lies between it and a directly
        // following "</A>"; an anchor holding another tag has none.
        QString texte;
        if (type == LienClic && textes && k + 1 < balises.size()) {
            const Balise& suivante = balises[k + 1];
            const QStringView fermeture = vue.mid(suivante.position + 1, suivante.longueur);
            if (fermeture.size() == 2 && Majuscules(fermeture) == QLatin1String("/A")) {
                const qsizetype debut = b.position + b.longueur + 2;
                texte = vue.mid(debut, suivante.position - debut).toString();
            }
        }
        AjouteLien(adresseBase, valeur, type, texte, adresses, types, textes);
    }
}

QString TextePageHTML(const QByteArray& octets) {
    // The page is read line by line and the lines joined: a carriage return
    // ends a line, with the line feed that may follow it; a lone line feed stays.
    QString page = DecodeTexte(octets);
    const qsizetype premier = page.indexOf(QLatin1Char('\r'));
    if (premier < 0)
        return page;
    QChar* d = page.data();
    const qsizetype n = page.size();
    qsizetype w = premier;
    for (qsizetype r = premier; r < n; ++r) {
        const QChar c = d[r];
        if (c == QLatin1Char('\r')) {
            if (r + 1 < n && d[r + 1] == QLatin1Char('\n'))
                ++r;
            continue;
        }
        d[w++] = c;
    }
    page.truncate(w);
    return page;
}

QString LitPageHTML(const QString& cheminPage, bool& ok) {
    QFile fichier(cheminPage);
    ok = fichier.open(QIODevice::ReadOnly);
    if (!ok)
        return QString();
    return TextePageHTML(fichier.readAll());
}

bool ExtraitLiensHTML(const QString& cheminPage, const QString& adresseBase, ListeAuto& adresses,
                      ListeAuto& types, ListeAuto* textes) {
    bool ok = false;
    QString page = LitPageHTML(cheminPage, ok);
    if (!ok)
        return false;
    ExtraitLiensTexte(std::move(page), adresseBase, adresses, types, textes);
    return true;
}
