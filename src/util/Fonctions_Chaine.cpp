// String helpers.
#include "util/Fonctions_Chaine.h"

#include <charconv>
#include <cmath>
#include <limits>

bool Remplace(QString& texte, const QString& cherche, const QString& par, bool ignorerCasse,
              int nombre) {
    if (cherche.isEmpty() || nombre == 0 || nombre < -1)
        return false;
    const Qt::CaseSensitivity casse = ignorerCasse ? Qt::CaseInsensitive : Qt::CaseSensitive;
    // Build the result in one pass so that replacing in a long text stays linear.
    QString resultat;
    qsizetype depart = 0;
    int faits = 0;
    while (nombre == -1 || faits < nombre) {
        const qsizetype trouve = texte.indexOf(cherche, depart, casse);
        if (trouve < 0)
            break;
        if (faits == 0)
            resultat.reserve(texte.size());
        resultat.append(QStringView(texte).mid(depart, trouve - depart));
        resultat.append(par);
        depart = trouve + cherche.size();
        ++faits;
    }
    if (faits == 0)
        return false;
    resultat.append(QStringView(texte).mid(depart));
    texte = resultat;
    return true;
}

QString FormateNombre(double valeur) {
    if (std::isnan(valeur))
        return QStringLiteral("NaN");
    QString texte = QString::number(valeur, 'g', 15).toUpper();
    // The classic form has no zero before the point; a leading "." then gets it
    // back, but a sign stays glued to the point ("-.5").
    if (texte.startsWith(QLatin1String("-0.")))
        texte.remove(1, 1);
    return texte;
}

bool EstNombre(QStringView texte) {
    if (texte.isEmpty())
        return false;
    bool point = false;
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const QChar c = texte[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            continue;
        if (c == QLatin1Char('.') && !point) {
            point = true;
            continue;
        }
        if (c == QLatin1Char('-') && i == 0)
            continue;
        return false;
    }
    return true;
}

double ValeurNombre(QStringView texte) {
    // Read for every selected row's size: no copy unless a comma has to become
    // a point, and digits only reach the converter once known to be a number.
    if (texte.contains(QLatin1Char(','))) {
        QString copie = texte.toString();
        Remplace(copie, QStringLiteral(","), QStringLiteral("."), false, -1);
        return ValeurNombre(QStringView(copie));
    }
    if (!EstNombre(texte))
        return 0;
    char chiffres[64];
    if (texte.size() >= qsizetype(sizeof chiffres))
        return NombreSouple(texte.toString());
    for (qsizetype i = 0; i < texte.size(); ++i)
        chiffres[i] = char(texte[i].unicode());
    double valeur = 0;
    const auto [fin, erreur] = std::from_chars(chiffres, chiffres + texte.size(), valeur);
    (void)fin;
    // "-" and "." are numbers worth 0; an overflow is no size at all.
    return erreur == std::errc() && std::isfinite(valeur) ? valeur : 0;
}

double ValeurNombreOctets(QByteArrayView texte) {
    // The same rule as above, on the list's UTF-8 bytes: every byte of a
    // number is ASCII, and any other byte makes the text no number.
    char chiffres[64];
    if (texte.size() >= qsizetype(sizeof chiffres))
        return ValeurNombre(QString::fromUtf8(texte));
    if (texte.isEmpty())
        return 0;
    // Plain digits, as sizes mostly are: up to 15 of them the integer is
    // exact in a double, the very value from_chars gives.
    if (texte.size() <= 15) {
        qint64 entier = 0;
        qsizetype i = 0;
        for (; i < texte.size(); ++i) {
            const unsigned chiffre = unsigned(static_cast<unsigned char>(texte[i])) - '0';
            if (chiffre > 9)
                break;
            entier = entier * 10 + chiffre;
        }
        if (i == texte.size())
            return double(entier);
    }
    bool point = false;
    for (qsizetype i = 0; i < texte.size(); ++i) {
        char c = texte[i];
        if (c == ',')
            c = '.';
        chiffres[i] = c;
        if ((c >= '0' && c <= '9') || (c == '-' && i == 0))
            continue;
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        return 0;
    }
    double valeur = 0;
    const auto [fin, erreur] = std::from_chars(chiffres, chiffres + texte.size(), valeur);
    (void)fin;
    return erreur == std::errc() && std::isfinite(valeur) ? valeur : 0;
}

QString Pluriel(qint64 nombre, const QString& singulier, const QString& pluriel) {
    QString texte = (nombre == 0 || nombre == 1) ? singulier : pluriel;
    Remplace(texte, QStringLiteral("#"), FormateNombre(double(nombre)), false, -1);
    return texte;
}

QString ExtraitColonne(const QString& ligne, int numero, const QString& separateur,
                       int& nbColonnes, int& position) {
    position = 0;
    nbColonnes = 0;
    if (separateur.isEmpty()) {
        nbColonnes = ligne.isEmpty() ? 0 : 1;
        if (numero == 1 && !ligne.isEmpty()) {
            position = 1;
            return ligne;
        }
        return QString();
    }
    const QChar sep = separateur[0];
    const QChar* d = ligne.constData();
    const qsizetype n = ligne.size();
    qsizetype compte = 0;
    qsizetype dernier = -1;    // 0-based index of the last separator found
    qsizetype precedent = -1;  // and of the one before it
    qsizetype i = 0;
    while (numero <= 0 || compte < numero) {
        while (i < n && d[i] != sep)
            ++i;
        if (i >= n)
            break;
        // A multi-character separator has to match as a whole.
        if (separateur.size() > 1 && QStringView(ligne).mid(i, separateur.size()) != separateur) {
            ++i;
            continue;
        }
        precedent = dernier;
        dernier = i;
        ++compte;
        ++i; // the next search starts after the separator's first character
    }
    if (numero > 0 && compte == numero) {
        const qsizetype debut = precedent < 0 ? 0 : precedent + 1;
        nbColonnes = numero;
        position = int(debut + 1);
        return ligne.mid(debut, dernier - debut);
    }
    const qsizetype reste = dernier < 0 ? 0 : dernier + 1;
    const bool texteRestant = reste < n;
    nbColonnes = int(std::min<qsizetype>(texteRestant ? compte + 1 : compte,
                                          std::numeric_limits<int>::max()));
    if (texteRestant && numero == compte + 1) {
        position = int(reste + 1);
        return ligne.mid(reste);
    }
    return QString();
}

QString ExtraitColonne(const QString& ligne, int numero, const QString& separateur) {
    int nb = 0;
    int pos = 0;
    return ExtraitColonne(ligne, numero, separateur, nb, pos);
}

QStringView ColonneVue(QStringView ligne, int numero, QChar separateur) {
    if (numero < 1)
        return {};
    qsizetype debut = 0;
    for (int champ = 1; champ < numero; ++champ) {
        const qsizetype sep = ligne.indexOf(separateur, debut);
        if (sep < 0)
            return {};
        debut = sep + 1;
    }
    const qsizetype fin = ligne.indexOf(separateur, debut);
    return ligne.mid(debut, fin < 0 ? ligne.size() - debut : fin - debut);
}

QString ArgumentLigneCommande(const QString& ligne, int numero) {
    int compte = 0;
    bool guillemets = false;
    QString courant;
    bool dansArgument = false;
    for (qsizetype i = 0; i <= ligne.size(); ++i) {
        const bool fin = i == ligne.size();
        const QChar c = fin ? QChar() : ligne[i];
        if (fin || (c == QLatin1Char(' ') && !guillemets)) {
            if (dansArgument) {
                if (++compte == numero)
                    return courant;
                courant.clear();
                dansArgument = false;
            }
            continue;
        }
        if (c == QLatin1Char('"'))
            guillemets = !guillemets;
        courant.append(c);
        dansArgument = true;
    }
    return QString();
}

double NombreSouple(const QString& texte) {
    qsizetype i = 0;
    const qsizetype n = texte.size();
    while (i < n && (texte[i] == QLatin1Char(' ') || texte[i] == QLatin1Char('\t')))
        ++i;
    QByteArray chiffres;
    if (i < n && (texte[i] == QLatin1Char('-') || texte[i] == QLatin1Char('+')))
        chiffres.append(char(texte[i++].unicode()));
    bool auMoinsUn = false;
    auto prendChiffres = [&] {
        while (i < n && texte[i] >= QLatin1Char('0') && texte[i] <= QLatin1Char('9')) {
            chiffres.append(char(texte[i++].unicode()));
            auMoinsUn = true;
        }
    };
    prendChiffres();
    if (i < n && texte[i] == QLatin1Char('.')) {
        chiffres.append('.');
        ++i;
        prendChiffres();
    }
    if (!auMoinsUn)
        return 0;
    // An exponent counts only when digits follow it.
    if (i + 1 < n && (texte[i] == QLatin1Char('e') || texte[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (texte[j] == QLatin1Char('-') || texte[j] == QLatin1Char('+')))
            ++j;
        if (j < n && texte[j] >= QLatin1Char('0') && texte[j] <= QLatin1Char('9')) {
            chiffres.append('e');
            for (qsizetype k = i + 1; k < j; ++k)
                chiffres.append(char(texte[k].unicode()));
            i = j;
            prendChiffres();
        }
    }
    bool ok = false;
    const double valeur = chiffres.toDouble(&ok);
    return ok && std::isfinite(valeur) ? valeur : 0;
}

int Entier16(double valeur) {
    if (std::isnan(valeur))
        return 0;
    const double arrondi = std::nearbyint(valeur); // default rounding: halves to even
    if (arrondi > 32767)
        return 32767;
    if (arrondi < -32768)
        return -32768;
    return int(arrondi);
}

int EntierSouple(const QString& texte) {
    return Entier16(NombreSouple(texte));
}
