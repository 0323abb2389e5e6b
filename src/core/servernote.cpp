#include "servernote.h"

#include <QRegularExpression>

namespace kolta::query {

namespace {

struct AccessOnly
{
    const char *name;
    const char *instead;
};

// Methods of the Access application, which neither DAO outside Access nor the
// page's provider can call.
const AccessOnly kAccessOnly[] = {
    {"Nz", "IIf(value Is Null, other, value)"},
    {"DLookup", "a subquery, (SELECT field FROM table WHERE ...)"},
    {"DCount", "a subquery, (SELECT Count(*) FROM table WHERE ...)"},
    {"DSum", "a subquery, (SELECT Sum(field) FROM table WHERE ...)"},
    {"DAvg", "a subquery, (SELECT Avg(field) FROM table WHERE ...)"},
    {"DMin", "a subquery, (SELECT Min(field) FROM table WHERE ...)"},
    {"DMax", "a subquery, (SELECT Max(field) FROM table WHERE ...)"},
    {"DFirst", "a subquery, (SELECT First(field) FROM table WHERE ...)"},
    {"DLast", "a subquery, (SELECT Last(field) FROM table WHERE ...)"},
    {"DStDev", "a subquery, (SELECT StDev(field) FROM table WHERE ...)"},
    {"DStDevP", "a subquery, (SELECT StDevP(field) FROM table WHERE ...)"},
    {"DVar", "a subquery, (SELECT Var(field) FROM table WHERE ...)"},
    {"DVarP", "a subquery, (SELECT VarP(field) FROM table WHERE ...)"},
    {"Eval", "the expression itself"},
};

} // namespace

QString accessOnlyNote(const QString &reason)
{
    static const QRegularExpression undefined(QStringLiteral("Undefined function '([^']+)' in expression"));
    const QRegularExpressionMatch m = undefined.match(reason);
    if (!m.hasMatch())
        return QString();
    for (const AccessOnly &function : kAccessOnly) {
        if (m.captured(1).compare(QLatin1String(function.name), Qt::CaseInsensitive) == 0)
            return QStringLiteral("%1 belongs to Access itself: the server refuses it as the try did. Write %2 instead.")
                .arg(QLatin1String(function.name), QLatin1String(function.instead));
    }
    return QString();
}

} // namespace kolta::query
