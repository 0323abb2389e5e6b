#pragma once

#include "schema.h"
#include "varianttext.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace kolta {

namespace jet { class Database; }

// The dynamic array of column headings. It holds no element until it is first
// sized; elements that were never assigned read as the empty text.
class FieldLabels
{
public:
    bool isSized() const { return m_sized; }
    // Highest valid index, -1 while the array was never sized.
    int upperBound() const { return m_sized ? int(m_items.size()) - 1 : -1; }
    bool contains(int index) const { return index >= 0 && index <= upperBound(); }

    // Resizes to the index range 0..upper, keeping the elements that remain.
    void redimPreserve(int upper);
    // The element at index, or nothing when the index lies outside the array.
    std::optional<QString> at(int index) const;
    // Returns false (and changes nothing) when the index lies outside the array.
    bool set(int index, const QString &text);

private:
    QList<QString> m_items;
    bool m_sized = false;
};

// A value the statement asks for when it runs (a PARAMETERS declaration, or a
// bracketed name that is no field), as Jet binds them: by position.
struct QueryParameter
{
    QString name;                      // as the statement writes it, without brackets
    jet::DaoType type = jet::dbText;   // the declared type; an undeclared one is text
    int size = 0;                      // a declared text size, 0 when none is given
    QString value;                     // what was typed for it in the last try
};

// The values every window shares, one instance for the whole run.
struct Module1
{
    FieldLabels gFieldLabels;
    VariantText gSqlQuery;
    VariantText gDataSource;
    VariantText gSystemDatabase;
    VariantText gUserId;
    VariantText gPassword;
    QString gPageHeader;
    std::shared_ptr<jet::Database> gDatabase;
    qint16 gLoginCancelled = 0;
    qint16 gFieldCount = 0;
    // The statement's parameters in binding order, from its last Set.
    QList<QueryParameter> gParameters;
    // Page options: rows per page (0: all on one page) and the text shown
    // when the statement gives no records (empty: none).
    int gRowsPerPage = 0;
    QString gNoRecordsText;
};

} // namespace kolta
