#pragma once

// Pieces of the Jet writer shared between its source files.

#include "jetwriter.h"

namespace kolta::jetwriter::detail {

// The MSysQueries rows (ObjectId, Attribute, Order, Name1, Name2,
// Expression, Flag, LvExtra) that describe each query; ids are the queries'
// MSysObjects ids, in the same order.
QList<Row> queryRows(const QList<SavedQuery> &queries, const QList<quint32> &ids);

// The MSysObjects Flags Access gives a query of that kind (0 select, 16
// crosstab ... 128 union).
quint32 queryObjectFlags(const SavedQuery &query);

} // namespace kolta::jetwriter::detail
