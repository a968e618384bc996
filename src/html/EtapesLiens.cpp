// The link extraction's steps on texts. Case-insensitive matching compares
// capitals one code unit for one, so that positions in the compared copy are
// positions in the text.
#include "html/EtapesLiens.h"

#include "html/Fonctions_Chemin.h"
#include "html/Fonctions_Internet.h"

#include <algorithm>

namespace {

QString Majuscules(const QString& texte) {
    QString copie = texte;
    for (QChar& c : copie)
        c = QChar(QChar::toUpper(c.unicode()));
    return copie;
}

QString SansEspaces(QString t) {
    SupprimeEspacesDebut(t);
    SupprimeEspacesFin(t);
    return t;
}

} // namespace

void SupprimeEspacesDebut(QString& texte) {
    qsizetype k = 0;
    while (k < texte.size() && texte[k] == QLatin1Char(' '))
        ++k;
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
    const QString t = ignorerCasse ? Majuscules(texte) : texte;
    const QString d = ignorerCasse ? Majuscules(debut) : debut, f = ignorerCasse ? Majuscules(fin) : fin;
    qsizetype p = 0;
    for (int vus = 1;; ++vus) {
        const qsizetype s = t.indexOf(d, p);
        const qsizetype e = s < 0 ? -1 : t.indexOf(f, s + d.size());
        if (e < 0)
            return false;
        if (vus == n) {
            segment = texte.mid(s + d.size(), e - s - d.size());
            return true;
        }
        p = e + f.size();
    }
}

void SupprimeSegments(QString& texte, const QString& debut, const QString& fin, bool ignorerCasse) {
    if (debut.isEmpty() || fin.isEmpty())
        return;
    QString majuscules = ignorerCasse ? Majuscules(texte) : QString();
    QString& t = ignorerCasse ? majuscules : texte;
    const QString d = ignorerCasse ? Majuscules(debut) : debut, f = ignorerCasse ? Majuscules(fin) : fin;
    qsizetype depuis = 0;
    for (;;) {
        const qsizetype s = t.indexOf(d, depuis);
        const qsizetype e = s < 0 ? -1 : t.indexOf(f, s + d.size());
        if (e < 0)
            return;
        texte.remove(s, e + f.size() - s);
        if (ignorerCasse)
            majuscules.remove(s, e + f.size() - s);
        // The text before the cut holds no start delimiter: a new one can only
        // straddle the join, so looking again from the start finds no other.
        depuis = std::max<qsizetype>(0, s - d.size() + 1);
    }
}

void DecoupeBalises(const QString& texte, ListeAuto& balises, ListeAuto* positions) {
    // Position of the next `cherche` from `i` outside double quotes, the quote
    // state starting outside; -1 when there is none.
    const auto prochain = [&](qsizetype i, QChar cherche) {
        bool guillemets = false;
        for (; i < texte.size(); ++i) {
            if (texte[i] == QLatin1Char('"'))
                guillemets = !guillemets;
            else if (texte[i] == cherche && !guillemets)
                return i;
        }
        return qsizetype(-1);
    };
    for (qsizetype i = 0;;) {
        const qsizetype ouvre = prochain(i, QLatin1Char('<'));
        const qsizetype ferme = ouvre < 0 ? -1 : prochain(ouvre + 1, QLatin1Char('>'));
        if (ferme < 0)
            return; // an unfinished tag ends the cut
        balises.AjoutElement(texte.mid(ouvre + 1, ferme - ouvre - 1));
        if (positions)
            positions->AjoutElement(QString::number(ouvre + 1));
        i = ferme + 1;
    }
}

QString ValeurAttribut(const QString& nomAttribut, const QString& texteAttributs) {
    const QString nom = Majuscules(nomAttribut);
    const QString& t = texteAttributs;
    const qsizetype n = t.size();
    // The quote character is that of the last value that began with a quote.
    QChar guillemet;
    bool aGuillemet = false;
    for (qsizetype p = 0; p <= n;) {
        const qsizetype egal = t.indexOf(QLatin1Char('='), p);
        if (egal < 0)
            return QString();
        const QString cle = SansEspaces(t.mid(p, egal - p));
        QString valeur;
        bool entre = false;
        qsizetype suite = n + 1;
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
        if (Majuscules(cle) == nom)
            return valeur;
        p = suite;
    }
    return QString();
}

void ExtraitLiensScripts(const QString& page, const QString& adresseBase, ListeAuto& adresses,
                         ListeAuto& types, ListeAuto* textes) {
    const QString debutScript = QStringLiteral("<Script Language=\"JAVASCRIPT\">");
    const QString finScript = QStringLiteral("</Script>"), location = QStringLiteral("location.href");
    QString bloc, segment;
    for (int n = 1; ExtraitSegment(page, debutScript, finScript, n, true, bloc); ++n) {
        SupprimeSegments(bloc, QStringLiteral("/*"), QStringLiteral("*/"), false);
        SupprimeSegments(bloc, QStringLiteral("//"), QStringLiteral("\n"), false);
        bloc.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
        for (int k = 1; ExtraitSegment(bloc, location, QStringLiteral(";"), k, true, segment); ++k) {
            const qsizetype egal = segment.indexOf(QLatin1Char('='));
            if (egal < 0)
                continue;
            QString valeur = SansEspaces(segment.mid(egal + 1));
            if (valeur.startsWith(QLatin1Char('"')) || valeur.startsWith(QLatin1Char('\'')))
                valeur = valeur.mid(1, valeur.size() - 2);
            if (valeur.isEmpty())
                continue;
            types.AjoutElement(QString::number(LienJavascript));
            adresses.AjoutElement(ResoutLien(adresseBase, valeur));
            if (textes)
                textes->AjoutElement(QString());
        }
    }
}
