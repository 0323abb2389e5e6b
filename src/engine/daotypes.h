#pragma once

// How DAO describes a Jet column: its type code (the DaoType of schema.h)
// and its size.

#include <QString>
#include <QtGlobal>

namespace kolta::jet::engine {

// DAO type code and size of a Jet column.
qint16 daoType(int jetType);
// DAO type code of an attachment or multi-valued column from the name of its
// template table in MSysObjects ("MSysComplexType_Long" ...).
qint16 complexDaoType(const QString &templateName);
qint32 daoSize(int jetType, int storedSize, bool jet3);

} // namespace kolta::jet::engine
