#pragma once

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
};

} // namespace kolta
