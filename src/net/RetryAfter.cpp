// The wait a server asks for in its Retry-After.
#include "net/Fonctions_Internet_INET.h"

#include <algorithm>

#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

qint64 SecondesRetryAfter(const QString& texte, const QDateTime& maintenant) {
    constexpr qint64 UnJour = 24 * 3600;
    const QString t = texte.trimmed();
    if (t.isEmpty())
        return -1;
    if (std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); })) {
        bool ok = false;
        const qint64 n = t.toLongLong(&ok);
        return ok && n <= UnJour ? n : -1;
    }
    // HTTP dates, always in GMT: the IMF form, and the two obsolete ones
    // servers still send (RFC 850 with a two-digit year, and asctime's).
    static const QRegularExpression formes[] = {
        QRegularExpression(QStringLiteral(R"(^[A-Za-z]{3}, (\d{1,2}) ([A-Za-z]{3}) (\d{4}) (\d\d):(\d\d):(\d\d) GMT$)")),
        QRegularExpression(QStringLiteral(R"(^[A-Za-z]+, (\d{1,2})-([A-Za-z]{3})-(\d\d) (\d\d):(\d\d):(\d\d) GMT$)")),
        QRegularExpression(QStringLiteral(R"(^[A-Za-z]{3} ([A-Za-z]{3}) +(\d{1,2}) (\d\d):(\d\d):(\d\d) (\d{4})$)")),
    };
    static const QStringList mois = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};
    QDateTime date;
    for (int f = 0; f < 3 && !date.isValid(); ++f) {
        const QRegularExpressionMatch m = formes[f].match(t);
        if (!m.hasMatch())
            continue;
        const auto n = [&](int i) { return m.captured(i).toInt(); };
        const bool asc = f == 2;
        const int jour = asc ? n(2) : n(1);
        const int numeroMois = int(mois.indexOf(m.captured(asc ? 1 : 2).toLower())) + 1;
        int annee = asc ? n(6) : n(3);
        if (f == 1)
            annee += 2000;
        date = QDateTime(QDate(annee, numeroMois, jour), QTime(n(asc ? 3 : 4), n(asc ? 4 : 5), n(asc ? 5 : 6)),
                         QTimeZone::utc());
    }
    if (!date.isValid())
        return -1;
    const qint64 ecart = maintenant.secsTo(date);
    if (ecart > UnJour)
        return -1;
    return std::max<qint64>(ecart, 0);
}
