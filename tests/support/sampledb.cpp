#include "sampledb.h"

#include "jetwriter.h"

#include <QDateTime>

namespace kolta::sample {

namespace jw = kolta::jetwriter;

// No names from anyone's sample data.
QString writeLibrary(const QString &path)
{
    auto col = [](const char *name, jw::ColumnType type, int size = 0) {
        jw::Column c;
        c.name = QLatin1String(name);
        c.type = type;
        c.size = size;
        return c;
    };
    jw::Table books{QStringLiteral("Books"), false,
                    {col("BookID", jw::ColumnType::Long), col("Title", jw::ColumnType::Text, 60),
                     col("Price", jw::ColumnType::Currency), col("OnShelf", jw::ColumnType::YesNo),
                     col("Acquired", jw::ColumnType::DateTime), col("Notes", jw::ColumnType::Memo)},
                    {}};
    const char *titles[] = {"A Field Guide to Puddles", "The Quiet Harbour", "Salt and Cedar", "Counting Sheep at Noon",
                            "Letters from the Lighthouse", "Small Engines, Big Dreams", "The Orchard Ledger",
                            "Maps of Imaginary Rivers", "Tea for Eleven", "Under the Copper Roof",
                            "Notes on Patient Gardening", "Winter Radio"};
    for (int i = 0; i < 12; ++i)
        books.rows << jw::Row{i + 1, QLatin1String(titles[i]), 6.5 + i * 2.75, i % 3 != 0,
                              QDateTime(QDate(2024, 3, 1).addDays(i * 9), QTime(0, 0)), QVariant()};
    jw::Table loans{QStringLiteral("Loans"), false,
                    {col("LoanID", jw::ColumnType::Long), col("BookID", jw::ColumnType::Long),
                     col("MemberID", jw::ColumnType::Long), col("Days", jw::ColumnType::Integer)},
                    {}};
    jw::Database db;
    db.tables << books << loans
              << jw::Table{QStringLiteral("Members"), false, {col("MemberID", jw::ColumnType::Long)}, {}};
    return jw::write(path, db);
}

} // namespace kolta::sample
