#pragma once

// Saved queries: Access keeps a query not as its SQL text but taken apart
// into MSysQueries rows (one per table, output column, join, clause ...,
// sharing the query's MSysObjects Id). The engine puts the SQL together
// again so that a statement can read a saved query as it reads a table.

#include "jetfile.h"
#include "jetsql.h"
#include "result.h"

#include <QList>
#include <QString>

namespace kolta::jet::engine {

// One MSysQueries row.
struct QueryAttribute
{
    int attribute = 0;
    int flag = 0;
    QString name1;
    QString name2;
    QString expression;
};

// The Jet SQL of a select, union or crosstab query from its rows in stored
// order; the refusal when the query cannot be read (an action,
// data-definition or pass-through query, another database ...). Declared
// parameters lead the text as a PARAMETERS clause.
Result<QString> rebuildQuery(const QString &name, const QList<QueryAttribute> &rows);

// Every saved query of the file (queries as readCatalog lists them, tables
// to find MSysQueries). A query that cannot be read is listed with its
// refusal. The reason when MSysQueries cannot be read.
Result<QList<jetsql::CatalogQuery>> readSavedQueries(JetFile &file, const QList<CatalogEntry> &tables,
                                                     const QList<CatalogEntry> &queries);

} // namespace kolta::jet::engine
