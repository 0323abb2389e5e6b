#include "benchdata.h"

#include "timing.h"

#include <QDateTime>

#include <sqlite3.h>

#include <memory>

namespace kolta::bench {

namespace {

const QDateTime BaseTime(QDate(2020, 1, 1), QTime(8, 0));

} // namespace

jetwriter::Table bigShape(Indexes indexes)
{
    jetwriter::Table shape;
    shape.name = QStringLiteral("Big");
    shape.columns = {
        {QStringLiteral("ID"), jetwriter::ColumnType::Long},
        {QStringLiteral("Name"), jetwriter::ColumnType::Text, 50},
        {QStringLiteral("Amount"), jetwriter::ColumnType::Double},
        {QStringLiteral("When"), jetwriter::ColumnType::DateTime},
        {QStringLiteral("Flag"), jetwriter::ColumnType::YesNo},
    };
    if (indexes == Indexes::Keys) {
        jetwriter::Index primary;
        primary.name = QStringLiteral("PrimaryKey");
        primary.columns = {{QStringLiteral("ID"), true}};
        primary.primary = true;
        jetwriter::Index name;
        name.name = QStringLiteral("Name");
        name.columns = {{QStringLiteral("Name"), true}};
        shape.indexes = {primary, name};
    }
    return shape;
}

jetwriter::Row bigRow(qint64 i)
{
    return jetwriter::Row{i + 1, QStringLiteral("Name %1").arg(i + 1), double(i % 100000) / 100.0,
                          BaseTime.addSecs(i * 60), i % 3 == 0};
}

QString writeBig(const QString &path, qint64 rows, Indexes indexes)
{
    return jetwriter::writeLarge(path, bigShape(indexes), rows, bigRow);
}

JoinData joinData()
{
    JoinData d;
    for (int i = 1; i <= 10000; ++i)
        d.customers.append(jetwriter::Row{i, QStringLiteral("Company %1").arg(i), QStringLiteral("City %1").arg(i % 50)});
    for (int i = 1; i <= 100000; ++i)
        d.orders.append(jetwriter::Row{i, (i * 7) % 10000 + 1, BaseTime.addDays(i % 1000), double(i % 5000) / 4.0});
    return d;
}

QString writeJoin(const QString &path, const JoinData &d, Indexes indexes)
{
    jetwriter::Database db;
    jetwriter::Table customers;
    customers.name = QStringLiteral("Customers");
    customers.columns = {
        {QStringLiteral("CustomerID"), jetwriter::ColumnType::Long},
        {QStringLiteral("Company"), jetwriter::ColumnType::Text, 40},
        {QStringLiteral("City"), jetwriter::ColumnType::Text, 30},
    };
    customers.rows = d.customers;
    jetwriter::Table orders;
    orders.name = QStringLiteral("Orders");
    orders.columns = {
        {QStringLiteral("OrderID"), jetwriter::ColumnType::Long},
        {QStringLiteral("CustomerID"), jetwriter::ColumnType::Long},
        {QStringLiteral("OrderDate"), jetwriter::ColumnType::DateTime},
        {QStringLiteral("Total"), jetwriter::ColumnType::Currency},
    };
    orders.rows = d.orders;
    if (indexes == Indexes::Keys) {
        jetwriter::Index customerKey;
        customerKey.name = QStringLiteral("PrimaryKey");
        customerKey.columns = {{QStringLiteral("CustomerID"), true}};
        customerKey.primary = true;
        customers.indexes = {customerKey};
        jetwriter::Index orderKey = customerKey;
        orderKey.columns = {{QStringLiteral("OrderID"), true}};
        jetwriter::Index byCustomer;
        byCustomer.name = QStringLiteral("CustomerID");
        byCustomer.columns = {{QStringLiteral("CustomerID"), true}};
        orders.indexes = {orderKey, byCustomer};
    }
    db.tables = {customers, orders};
    return jetwriter::write(path, db);
}

bool sqliteExec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    fail(QString::fromUtf8(message));
    sqlite3_free(message);
    return false;
}

QString writeSqlite(const QString &path, const JoinData &d, Indexes indexes)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return QStringLiteral("cannot open");
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> owner(db, sqlite3_close);
    if (!sqliteExec(db, "CREATE TABLE Customers(CustomerID INTEGER, Company TEXT, City TEXT);"
                        "CREATE TABLE Orders(OrderID INTEGER, CustomerID INTEGER, OrderDate REAL, Total REAL);"
                        "BEGIN"))
        return QStringLiteral("cannot create the tables");
    auto load = [db](const char *sql, const QList<jetwriter::Row> &rows) {
        sqlite3_stmt *insert = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &insert, nullptr) != SQLITE_OK)
            return false;
        for (const jetwriter::Row &row : rows) {
            for (int i = 0; i < row.size(); ++i) {
                const QVariant &v = row.at(i);
                if (v.typeId() == QMetaType::QString) {
                    const QByteArray text = v.toString().toUtf8();
                    sqlite3_bind_text(insert, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
                } else if (v.typeId() == QMetaType::QDateTime) {
                    sqlite3_bind_double(insert, i + 1, v.toDateTime().toMSecsSinceEpoch() / 86400000.0 + 2440587.5);
                } else if (v.typeId() == QMetaType::Double) {
                    sqlite3_bind_double(insert, i + 1, v.toDouble());
                } else {
                    sqlite3_bind_int64(insert, i + 1, v.toLongLong());
                }
            }
            if (sqlite3_step(insert) != SQLITE_DONE) {
                sqlite3_finalize(insert);
                return false;
            }
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        return true;
    };
    if (!load("INSERT INTO Customers VALUES(?, ?, ?)", d.customers) || !load("INSERT INTO Orders VALUES(?, ?, ?, ?)", d.orders)
        || !sqliteExec(db, "COMMIT"))
        return QStringLiteral("cannot load the rows");
    // Unique indexes stand for the primary keys (the tables keep their rowid).
    if (indexes == Indexes::Keys
        && !sqliteExec(db, "CREATE UNIQUE INDEX CustomersKey ON Customers(CustomerID);"
                           "CREATE UNIQUE INDEX OrdersKey ON Orders(OrderID);"
                           "CREATE INDEX OrdersCustomer ON Orders(CustomerID)"))
        return QStringLiteral("cannot make the indexes");
    return QString();
}

QString writeBigSqlite(const QString &path, qint64 rows, Indexes indexes)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return QStringLiteral("cannot open");
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> owner(db, sqlite3_close);
    if (!sqliteExec(db, "CREATE TABLE Big(ID INTEGER, Name TEXT, Amount REAL, \"When\" REAL, Flag INTEGER); BEGIN"))
        return QStringLiteral("cannot create the table");
    sqlite3_stmt *insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO Big VALUES(?, ?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK)
        return QStringLiteral("cannot prepare");
    for (qint64 i = 0; i < rows; ++i) {
        const QByteArray name = QStringLiteral("Name %1").arg(i + 1).toUtf8();
        sqlite3_bind_int64(insert, 1, i + 1);
        sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 3, double(i % 100000) / 100.0);
        sqlite3_bind_double(insert, 4, BaseTime.addSecs(i * 60).toMSecsSinceEpoch() / 86400000.0 + 2440587.5);
        sqlite3_bind_int(insert, 5, i % 3 == 0 ? -1 : 0);
        if (sqlite3_step(insert) != SQLITE_DONE)
            break;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (!sqliteExec(db, "COMMIT"))
        return QStringLiteral("cannot load the rows");
    // Jet's General order folds case, as NOCASE does for these names.
    if (indexes == Indexes::Keys
        && !sqliteExec(db, "CREATE UNIQUE INDEX BigKey ON Big(ID);"
                           "CREATE INDEX BigName ON Big(Name COLLATE NOCASE)"))
        return QStringLiteral("cannot make the indexes");
    return QString();
}

} // namespace kolta::bench
