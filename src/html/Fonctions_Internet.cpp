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
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Texte.h"

#include <QFile>

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

QString Majuscules(QStringView texte) {
    QString copie(texte.size(), Qt::Uninitialized);
    QChar* sortie = copie.data();
    for (qsizetype k = 0; k < texte.size(); ++k)
        sortie[k] = QChar(QChar::toUpper(texte[k].unicode()));
    return copie;
}

QStringView SansEspaces(QStringView t) {
    while (!t.isEmpty() && t.front() == QLatin1Char(' '))
        t = t.mid(1);
    while (!t.isEmpty() && t.back() == QLatin1Char(' '))
        t.chop(1);
    return t;
}

// Next segment from `depuis`: start delimiter at `posDebut`, end delimiter at
// `posFin`, both searched in the compared form of the text.
bool ProchainSegment(QStringView compare, QStringView debut, QStringView fin, qsizetype depuis,
                     qsizetype& posDebut, qsizetype& posFin) {
    if (depuis > compare.size())
        return false;
    posDebut = compare.indexOf(debut, depuis);
    if (posDebut < 0)
        return false;
    posFin = compare.indexOf(fin, posDebut + debut.size());
    return posFin >= 0;
}

// Calls `traite(segment)` for every segment, in order, as ExtraitSegment would
// give them for n = 1, 2, ... but in one pass over the text.
template <typename Traite>
void PourChaqueSegment(const QString& texte, const QString& debut, const QString& fin,
                       bool ignorerCasse, Traite traite) {
    if (debut.isEmpty() || fin.isEmpty())
        return;
    const QString compare = ignorerCasse ? Majuscules(texte) : texte;
    const QString d = ignorerCasse ? Majuscules(debut) : debut;
    const QString f = ignorerCasse ? Majuscules(fin) : fin;
    qsizetype p = 0, posDebut = 0, posFin = 0;
    while (ProchainSegment(compare, d, f, p, posDebut, posFin)) {
        const qsizetype depuis = posDebut + d.size();
        traite(QStringView(texte).mid(depuis, posFin - depuis));
        p = posFin + f.size();
    }
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
    if (n < 1 || debut.isEmpty() || fin.isEmpty())
        return false;
    const QString compare = ignorerCasse ? Majuscules(texte) : texte;
    const QString d = ignorerCasse ? Majuscules(debut) : debut;
    const QString f = ignorerCasse ? Majuscules(fin) : fin;
    qsizetype p = 0, posDebut = 0, posFin = 0;
    for (int vus = 1; ProchainSegment(compare, d, f, p, posDebut, posFin); ++vus) {
        if (vus == n) {
            const qsizetype depuis = posDebut + d.size();
            segment = texte.mid(depuis, posFin - depuis);
            return true;
        }
        p = posFin + f.size();
    }
    return false;
}

void SupprimeSegments(QString& texte, const QString& debut, const QString& fin, bool ignorerCasse) {
    if (debut.isEmpty() || fin.isEmpty())
        return;
    // Looking again from the start after each cut only matters where the cut
    // joins two pieces: the kept text before it holds no start delimiter, so a
    // new one can only straddle the join. One pass over the text therefore gives
    // the same result.
    const QString source = texte;
    const QString compare = ignorerCasse ? Majuscules(source) : source;
    const QString d = ignorerCasse ? Majuscules(debut) : debut;
    const QString f = ignorerCasse ? Majuscules(fin) : fin;
    const qsizetype l = d.size();
    QString garde, gardeCompare; // gardeCompare is only kept when it differs
    auto compareGarde = [&]() -> const QString& { return ignorerCasse ? gardeCompare : garde; };
    qsizetype pos = 0;
    bool coupe = false;
    for (;;) {
        // A start delimiter beginning in the last l - 1 kept characters?
        qsizetype chevauche = -1, apresDebut = -1;
        const QString& gc = compareGarde();
        for (qsizetype k = std::max<qsizetype>(0, gc.size() - (l - 1)); k < gc.size(); ++k) {
            const qsizetype dedans = gc.size() - k;
            if (QStringView(gc).mid(k) == QStringView(d).left(dedans) &&
                QStringView(compare).mid(pos).startsWith(QStringView(d).mid(dedans))) {
                chevauche = k;
                apresDebut = pos + (l - dedans);
                break;
            }
        }
        if (chevauche >= 0) {
            const qsizetype e = compare.indexOf(f, apresDebut);
            if (e < 0)
                break;
            garde.truncate(chevauche);
            if (ignorerCasse)
                gardeCompare.truncate(chevauche);
            pos = e + f.size();
            coupe = true;
            continue;
        }
        const qsizetype s = compare.indexOf(d, pos);
        if (s < 0)
            break;
        const qsizetype e = compare.indexOf(f, s + l);
        if (e < 0)
            break;
        garde.append(QStringView(source).mid(pos, s - pos));
        if (ignorerCasse)
            gardeCompare.append(QStringView(compare).mid(pos, s - pos));
        pos = e + f.size();
        coupe = true;
    }
    if (!coupe)
        return;
    garde.append(QStringView(source).mid(pos));
    texte = garde;
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
        Remplace(bloc, QStringLiteral("\r\n"), QStringLiteral(" "), false, -1);
        Remplace(bloc, QStringLiteral("\n"), QStringLiteral(" "), false, -1);
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

void ExtraitLiensTexte(const QString& pageLue, const QString& adresseBase, ListeAuto& adresses,
                       ListeAuto& types, ListeAuto* textes) {
    QString page = pageLue;
    SupprimeSegments(page, QStringLiteral("<!--"), QStringLiteral("-->"), false);
    ExtraitLiensScripts(page, adresseBase, adresses, types, textes);
    SupprimeSegments(page, DebutScript(), FinScript(), true);
    Remplace(page, QStringLiteral("\r\n"), QStringLiteral(" "), false, -1);
    Remplace(page, QStringLiteral("\n"), QStringLiteral(" "), false, -1);

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

QString LitPageHTML(const QString& cheminPage, bool& ok) {
    QFile fichier(cheminPage);
    ok = fichier.open(QIODevice::ReadOnly);
    if (!ok)
        return QString();
    const QString brut = DecodeTexte(fichier.readAll());
    // The page is read line by line and the lines joined: a carriage return
    // ends a line, with the line feed that may follow it; a lone line feed stays.
    QString page;
    page.reserve(brut.size());
    const qsizetype n = brut.size();
    for (qsizetype k = 0; k < n; ++k) {
        const QChar c = brut[k];
        if (c == QLatin1Char('\r')) {
            if (k + 1 < n && brut[k + 1] == QLatin1Char('\n'))
                ++k;
            continue;
        }
        page.append(c);
    }
    return page;
}

bool ExtraitLiensHTML(const QString& cheminPage, const QString& adresseBase, ListeAuto& adresses,
                      ListeAuto& types, ListeAuto* textes) {
    bool ok = false;
    const QString page = LitPageHTML(cheminPage, ok);
    if (!ok)
        return false;
    ExtraitLiensTexte(page, adresseBase, adresses, types, textes);
    return true;
}
