// Writes Jet 4 benchmark databases with the test fixture writer.

#include "jetwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextStream>

using namespace kolta::jetwriter;

namespace {

const char *const Usage =
    "usage: jetwrite big OUT.mdb ROWS   one table Big (ID Long, Name Text(50), Amount Double,\n"
    "                                   When DateTime, Flag Yes/No) with ROWS rows\n"
    "       jetwrite wide OUT.mdb       200 tables T000..T199, 20 columns and 10 rows each\n"
    "       jetwrite join OUT.mdb       Orders (100,000 rows) and Customers (10,000 rows)\n"
    "                                   sharing the key CustomerID\n";

const QDateTime BaseTime(QDate(2020, 1, 1), QTime(8, 0));

QString big(const QString &out, qint64 rows)
{
    Table shape;
    shape.name = QStringLiteral("Big");
    shape.columns = {
        {QStringLiteral("ID"), ColumnType::Long},
        {QStringLiteral("Name"), ColumnType::Text, 50},
        {QStringLiteral("Amount"), ColumnType::Double},
        {QStringLiteral("When"), ColumnType::DateTime},
        {QStringLiteral("Flag"), ColumnType::YesNo},
    };
    return writeLarge(out, shape, rows, [](qint64 i) {
        return Row{i + 1, QStringLiteral("Name %1").arg(i + 1), double(i % 100000) / 100.0,
                   BaseTime.addSecs(i * 60), i % 3 == 0};
    });
}

QString wide(const QString &out)
{
    Database db;
    for (int t = 0; t < 200; ++t) {
        Table table;
        table.name = QStringLiteral("T%1").arg(t, 3, 10, QLatin1Char('0'));
        for (int c = 0; c < 20; ++c) {
            const bool text = c % 2 == 1;
            table.columns.append({QStringLiteral("C%1").arg(c, 2, 10, QLatin1Char('0')),
                                  text ? ColumnType::Text : ColumnType::Long, text ? 30 : 0});
        }
        for (int r = 0; r < 10; ++r) {
            Row row;
            for (int c = 0; c < 20; ++c)
                row.append(c % 2 == 1 ? QVariant(QStringLiteral("r%1c%2").arg(r).arg(c)) : QVariant(r * 100 + c));
            table.rows.append(row);
        }
        db.tables.append(table);
    }
    return write(out, db);
}

QString join(const QString &out)
{
    Database db;
    Table customers;
    customers.name = QStringLiteral("Customers");
    customers.columns = {
        {QStringLiteral("CustomerID"), ColumnType::Long},
        {QStringLiteral("Company"), ColumnType::Text, 40},
        {QStringLiteral("City"), ColumnType::Text, 30},
    };
    for (int i = 1; i <= 10000; ++i)
        customers.rows.append(Row{i, QStringLiteral("Company %1").arg(i), QStringLiteral("City %1").arg(i % 50)});
    Table orders;
    orders.name = QStringLiteral("Orders");
    orders.columns = {
        {QStringLiteral("OrderID"), ColumnType::Long},
        {QStringLiteral("CustomerID"), ColumnType::Long},
        {QStringLiteral("OrderDate"), ColumnType::DateTime},
        {QStringLiteral("Total"), ColumnType::Currency},
    };
    for (int i = 1; i <= 100000; ++i)
        orders.rows.append(Row{i, (i * 7) % 10000 + 1, BaseTime.addDays(i % 1000), double(i % 5000) / 4.0});
    db.tables = {customers, orders};
    return write(out, db);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream err(stderr);
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (args.size() == 3 && args.at(0) == QLatin1String("big")) {
        bool ok = false;
        const qint64 rows = args.at(2).toLongLong(&ok);
        if (!ok || rows < 0) {
            err << Usage;
            return 2;
        }
        error = big(args.at(1), rows);
    } else if (args.size() == 2 && args.at(0) == QLatin1String("wide")) {
        error = wide(args.at(1));
    } else if (args.size() == 2 && args.at(0) == QLatin1String("join")) {
        error = join(args.at(1));
    } else {
        err << Usage;
        return 2;
    }
    if (!error.isEmpty()) {
        err << "jetwrite: " << error << "\n";
        return 1;
    }
    err << "wrote " << args.at(1) << " in " << timer.elapsed() << " ms\n";
    return 0;
}
