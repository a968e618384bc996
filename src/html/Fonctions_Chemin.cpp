// Path and address helpers shared by the link extractor, the download loop and
// the launching of downloaded files.
#include "html/Fonctions_Chemin.h"

#include <QRegularExpression>

#include <algorithm>

#include "util/NomsFichiers.h"

namespace {

bool EstSeparateur(QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); }

// Searched in this order against the same number of leading characters in capitals.
const char* const kSchemas[] = {"HTTP://", "FTP://", "MAILTO:", "HTTPS://", "TELNET://", "NEWS://"};

qsizetype LongueurSchema(const QString& chemin) {
    for (const char* schema : kSchemas) {
        const QLatin1StringView s(schema);
        if (chemin.size() >= s.size() && QStringView(chemin).left(s.size()).compare(s, Qt::CaseInsensitive) == 0)
            return s.size();
    }
    return 0;
}

// Position of the last separator at index 1 or beyond (the first character is
// never examined), or -1.
qsizetype DernierSeparateurApresPremier(QStringView texte) {
    for (qsizetype k = texte.size() - 1; k >= 1; --k) {
        if (EstSeparateur(texte[k]))
            return k;
    }
    return -1;
}

QString SansSeparateurFinal(const QString& chemin) {
    if (!chemin.isEmpty() && EstSeparateur(chemin.back()))
        return chemin.left(chemin.size() - 1);
    return chemin;
}

} // namespace

QString RacineChemin(const QString& chemin, bool& estAdresseInternet) {
    estAdresseInternet = false;
    if (chemin.size() >= 2 && chemin[1] == QLatin1Char(':'))
        return chemin.left(2);
    if (chemin.startsWith(QLatin1String("\\\\"))) {
        for (qsizetype k = 2; k < chemin.size(); ++k) {
            if (EstSeparateur(chemin[k]))
                return chemin.left(k + 1);
        }
        return chemin;
    }
    const qsizetype n = LongueurSchema(chemin);
    if (n > 0) {
        estAdresseInternet = true;
        return chemin.left(n);
    }
    return QString();
}

QString RacineChemin(const QString& chemin) {
    bool internet = false;
    return RacineChemin(chemin, internet);
}

bool EstAdresseInternet(const QString& chemin) { return LongueurSchema(chemin) > 0; }

QString RepertoireChemin(const QString& chemin) {
    const QString racine = RacineChemin(chemin);
    const QStringView reste = QStringView(chemin).mid(racine.size());
    const qsizetype k = DernierSeparateurApresPremier(reste);
    if (k < 0)
        return racine;
    return racine + reste.left(k + 1).toString();
}

QString NomFichierChemin(const QString& chemin) {
    bool aSeparateur = false;
    for (QChar c : chemin)
        aSeparateur = aSeparateur || EstSeparateur(c);
    if (!aSeparateur)
        return chemin;
    const qsizetype k = DernierSeparateurApresPremier(chemin);
    if (k < 0)
        return QString(); // the only separator is the first character
    return chemin.mid(k + 1);
}

QString ExtensionFichier(const QString& chemin) {
    if (!chemin.contains(QLatin1Char('.')))
        return QString();
    QString texte = chemin;
    if (texte.endsWith(QLatin1Char('"')))
        texte.chop(1);
    if (texte.startsWith(QLatin1Char('"')))
        texte.remove(0, 1);
    const qsizetype point = texte.lastIndexOf(QLatin1Char('.'));
    if (point < 0)
        return QString();
    return texte.mid(point + 1).toUpper();
}

QString DernierElementChemin(const QString& chemin) {
    QString texte = chemin;
    if (!texte.isEmpty() && EstSeparateur(texte.front()))
        texte.remove(0, 1);
    texte = SansSeparateurFinal(texte);
    const QString racine = RacineChemin(texte);
    const QStringView reste = QStringView(texte).mid(racine.size());
    const qsizetype k = DernierSeparateurApresPremier(reste);
    if (k < 0)
        return reste.toString();
    return reste.mid(k + 1).toString();
}

int ProfondeurChemin(const QString& chemin) {
    const QString racine = RacineChemin(chemin);
    QStringView reste = QStringView(chemin).mid(racine.size());
    while (!reste.isEmpty() && EstSeparateur(reste.front()))
        reste = reste.mid(1);
    while (!reste.isEmpty() && EstSeparateur(reste.back()))
        reste.chop(1);
    return int(reste.count(QLatin1Char('/')) + reste.count(QLatin1Char('\\'))) + 1;
}

QString CheminParent(const QString& chemin) {
    const QString texte = SansSeparateurFinal(chemin);
    if (ProfondeurChemin(texte) == 1)
        return texte;
    const qsizetype dernier = DernierElementChemin(texte).size();
    return texte.left(std::max<qsizetype>(0, texte.size() - dernier));
}

QString ResoutLien(const QString& base, const QString& lien) {
    if (!RacineChemin(lien).isEmpty())
        return lien;
    QStringView reste(lien);
    QString dossier = base;
    auto commencePar = [](QStringView t, QLatin1StringView prefixe) {
        return t.size() > prefixe.size() && t.left(prefixe.size()) == prefixe &&
               EstSeparateur(t[prefixe.size()]);
    };
    if (commencePar(reste, QLatin1StringView(".")))
        reste = reste.mid(2);
    while (commencePar(reste, QLatin1StringView(".."))) {
        reste = reste.mid(3);
        dossier = CheminParent(dossier);
    }
    if (!reste.isEmpty() && EstSeparateur(reste.front())) {
        // A leading separator climbs one level from the base; it does not go to
        // the server's root.
        dossier = CheminParent(dossier);
        reste = reste.mid(1);
    }
    if (dossier.isEmpty() || !EstSeparateur(dossier.back()))
        dossier += QLatin1Char('/');
    return dossier + reste.toString();
}

void SepareLigneCommande(const QString& ligneCommande, QString& programme, QString& arguments) {
    bool entreGuillemets = false;
    qsizetype coupure = -1;
    for (qsizetype k = 0; k < ligneCommande.size(); ++k) {
        const QChar c = ligneCommande[k];
        if (c == QLatin1Char('"')) {
            entreGuillemets = !entreGuillemets;
        } else if (c == QLatin1Char(' ') && !entreGuillemets) {
            coupure = k;
            break;
        }
    }
    if (coupure < 0) {
        programme = ligneCommande;
        arguments.clear();
    } else {
        programme = ligneCommande.left(coupure);
        arguments = ligneCommande.mid(coupure + 1);
    }
    // A lone double quote is left as it is.
    if (programme.size() >= 2 && programme.startsWith(QLatin1Char('"')) &&
        programme.endsWith(QLatin1Char('"')))
        programme = programme.mid(1, programme.size() - 2);
}

int CompteOccurrences(const QString& texte, QChar caractere) {
    return int(texte.count(caractere));
}

bool NomDansDossier(const QString& nom) {
    if (nom.isEmpty() || nom == QLatin1String(".") || nom.startsWith(QLatin1Char('/')) ||
        nom.startsWith(QLatin1Char('\\')) || (nom.size() >= 2 && nom[1] == QLatin1Char(':')))
        return false;
    return ElementsAcceptables(nom);
}
