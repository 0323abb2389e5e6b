#include "daotypes.h"

#include "acecolumns.h"
#include "schema.h"

#include <mdbtools.h>

namespace kolta::jet::engine {

qint16 daoType(int jetType)
{
    switch (jetType) {
    case MDB_BOOL: return dbBoolean;
    case MDB_BYTE: return dbByte;
    case MDB_INT: return dbInteger;
    case MDB_LONGINT: return dbLong;
    case MDB_MONEY: return dbCurrency;
    case MDB_FLOAT: return dbSingle;
    case MDB_DOUBLE: return dbDouble;
    case MDB_DATETIME: return dbDate;
    case MDB_BINARY: return dbBinary;
    case MDB_TEXT: return dbText;
    case MDB_OLE: return dbLongBinary;
    case MDB_MEMO: return dbMemo;
    case MDB_REPID: return dbGUID;
    case MDB_NUMERIC: return dbDecimal;
    // Attachment and multi-valued columns of ACE files; which kind a column
    // is lies in another system table, so they all report as attachments.
    case MDB_COMPLEX: return dbAttachment;
    case JetBigInt: return dbBigInt;   // Large Number
    case JetExtendedDate: return ExtendedDateTime;
    default: return 0;      // no DAO type; the browser names it by its code
    }
}

qint16 complexDaoType(const QString &templateName)
{
    static const QLatin1String prefix("MSysComplexType_");
    // Append-only memo columns keep their earlier texts in a column whose
    // template is named "MSysComplexTypeVH_" and a number.
    if (templateName.startsWith(QLatin1String("MSysComplexTypeVH_"), Qt::CaseInsensitive))
        return VersionHistory;
    static const struct { const char *kind; DaoType type; } kinds[] = {
        {"Attachment", dbAttachment}, {"UnsignedByte", dbComplexByte}, {"Short", dbComplexInteger},
        {"Long", dbComplexLong}, {"IEEESingle", dbComplexSingle}, {"IEEEDouble", dbComplexDouble},
        {"GUID", dbComplexGUID}, {"Decimal", dbComplexDecimal}, {"Text", dbComplexText},
    };
    if (templateName.startsWith(prefix, Qt::CaseInsensitive)) {
        const QStringView kind = QStringView(templateName).mid(prefix.size());
        for (const auto &known : kinds) {
            if (kind.compare(QLatin1String(known.kind), Qt::CaseInsensitive) == 0)
                return known.type;
        }
    }
    return daoType(MDB_COMPLEX);
}

qint32 daoSize(int jetType, int storedSize, bool jet3)
{
    switch (jetType) {
    case MDB_BOOL:
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_COMPLEX: return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case JetBigInt: return 8;
    case MDB_REPID:
    case MDB_NUMERIC: return 16;
    case MDB_OLE:
    case MDB_MEMO: return 0;
    // Jet 4 stores text as UCS-2 and declares two bytes per character.
    case MDB_TEXT: return jet3 ? storedSize : storedSize / 2;
    default: return storedSize;
    }
}

} // namespace kolta::jet::engine
