#pragma once

// What Access 2007 and later keep about columns beyond what libmdb reads:
// calculated columns (a flag in the column's definition, the result type and
// expression in the table's properties), the extended date/time, and the
// values of attachment and multi-valued columns, which live in hidden tables
// linked through MSysComplexColumns.

#include "jetfile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace kolta::jet::engine {

// Jet column types that libmdb has no name for.
enum AceJetType { JetBigInt = 0x13, JetExtendedDate = 0x14 };

// Bytes that the wrapping of a calculated value adds to it.
constexpr int CalculatedOverhead = 23;

struct AceColumn
{
    bool calculated = false;
    int resultType = 0;   // Jet type of a calculated column's values
    QString expression;
};

// One entry per column of table, in column order; all default for files
// older than Access 2010 or tables without calculated columns.
QList<AceColumn> readAceColumns(MdbHandle *mdb, MdbTableDef *table);

// The bytes of a calculated value inside its stored form; data and size are
// narrowed in place. False when the stored form is too short to hold one.
bool unwrapCalculated(const unsigned char **data, int *size);

// A calculated Decimal as text ("-12.5"); empty when it cannot be read.
QString calculatedDecimalText(const unsigned char *data, int size);

// An extended date/time ("0000000000000737592:0000000459000000000:7") as
// Access shows it: "6/14/2021 12:45:00.0000000 PM", the date alone at
// midnight. Empty when the text is not of that form.
QString extendedDateText(const unsigned char *data, int size);

// The values of one attachment or multi-valued column of a local table,
// keyed by the number stored in the table's row: file names for
// attachments, the values for the others, joined by "; " in stored order.
QHash<qint32, QString> readComplexValues(JetFile &file, quint32 tablePage, const QString &column);

// The MSysObjects ids of the hidden tables that hold complex values.
QList<quint32> complexValueTables(JetFile &file, const QList<CatalogEntry> &catalog);

} // namespace kolta::jet::engine
