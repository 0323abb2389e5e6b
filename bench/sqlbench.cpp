// Times statements through the engine, each next to a yardstick in the same
// run, and shows what the engine and the program hold in memory meanwhile.
//
//   sqlbench first [ROWS...]  SELECT * FROM Big: Refresh and the first 100
//                             rows, memory of both processes (100,000 and
//                             1,000,000 rows by default)
//   sqlbench count [ROWS]     SELECT Count(*) FROM Big next to mdb-export
//   sqlbench join             Orders (100,000) joined to Customers (10,000)
//                             with GROUP BY, next to SQLite on plain tables
//   sqlbench grid [ROWS]      the SQL window on SELECT * FROM Big: Set, then
//                             the last record, with memory before and after
//   sqlbench engine [ROWS]    where the engine's time to the end of
//                             SELECT * FROM Big goes, measured in-process
//   sqlbench sort [ROWS]      TOP 10 by a number and by a text, and Like,
//                             on Big next to SQLite on the same rows
//   sqlbench index [ROWS]     statements an index answers (a key, TOP 10 by
//                             a key, the grid's first rows by a key, a join
//                             on one key) on Big with its primary key and
//                             Name index and on the joined tables with
//                             theirs, next to SQLite with the same indexes
//
// Files are written to a temporary folder first. Run a Release build.

#include "benchdata.h"
#include "timing.h"

#include "desktop.h"
#include "dao.h"
#include "datacontrol.h"
#include "jettables.h"
#include "statement.h"
#include "engineclient.h"
#include "frmlabels.h"
#include "frmsql.h"
#include "recordsetmodel.h"
#include "module1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <memory>

using namespace kolta;
using namespace kolta::bench;

namespace {

// Runs the data control's statement and reads the first count rows of it, as
// the grid does before it can show anything; the rows, or why not.
Result<QList<QVariantList>> firstRows(jet::DataControl &data, int count)
{
    const auto refreshed = data.Refresh();
    if (!refreshed.ok())
        return refreshed.error();
    const auto shown = refreshed.value()->rows(0, count);
    if (shown.ok() && shown.value().size() < count)
        return Error{QStringLiteral("the first %1 rows did not come").arg(count)};
    return shown;
}

// Runs statement on the file at path and reads its whole result into the
// engine; the recordset, or why not. The time it took goes to times.
Result<std::shared_ptr<jet::Recordset>> wholeResult(jet::DBEngine &engine, const QString &path,
                                                        const QString &statement, QList<double> *times)
{
    QElapsedTimer timer;
    timer.start();
    jet::DataControl control(engine);
    control.DatabaseName = path;
    control.RecordSource = statement;
    const auto refreshed = control.Refresh();
    if (!refreshed.ok())
        return refreshed.error();
    const auto &recordset = refreshed.value();
    while (!recordset->atEnd()) {
        if (!recordset->fetchMore(16384).ok())
            return Error{QStringLiteral("the result broke off")};
    }
    times->append(ms(timer));
    return recordset;
}

// a. The first 100 rows of SELECT * and the memory this takes.
int first(QList<qint64> sizes)
{
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    QTemporaryDir dir;
    QList<QString> paths;
    for (qint64 size : sizes) {
        paths.append(dir.filePath(QStringLiteral("big%1.mdb").arg(size)));
        if (timed(QStringLiteral("Big, %1 rows").arg(size), [&] { return writeBig(paths.last(), size); }) < 0)
            return 1;
    }
    QList<QStringList> rows{{QStringLiteral("rows"), QStringLiteral("first use"), QStringLiteral("running"),
                             QStringLiteral("engine VmHWM"), QStringLiteral("engine VmRSS"),
                             QStringLiteral("program VmRSS"), QStringLiteral("program VmHWM")}};
    for (int n = 0; n < sizes.size(); ++n) {
        // A fresh engine per size, so its peak belongs to this size alone.
        jet::DBEngine engine;
        jet::DataControl data(engine);
        data.DatabaseName = paths.at(n);
        data.RecordSource = QStringLiteral("SELECT * FROM Big");
        resetPeak();
        QList<double> warm;
        double cold = 0;
        for (int run = 0; run < 6; ++run) {
            QElapsedTimer timer;
            timer.start();
            const auto shown = firstRows(data, 100);
            if (!shown.ok())
                return fail(shown.error().message);
            if (run == 0)
                cold = ms(timer);
            else
                warm.append(ms(timer));
        }
        const qint64 pid = engine.client()->processId();
        rows.append({QString::number(sizes.at(n)), fmt(cold) + QStringLiteral(" ms"),
                     fmt(median(warm)) + QStringLiteral(" ms"), mb(statusKb(pid, "VmHWM")),
                     mb(statusKb(pid, "VmRSS")), mb(statusKb(0, "VmRSS")), mb(statusKb(0, "VmHWM"))});
    }
    out << "\nSELECT * FROM Big: Refresh + rows(0, 100)  (first use starts the engine; running: median of 5)\n";
    table(rows);
    return 0;
}

// b. Count(*) through the engine next to mdb-export of the same table.
int count(qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mdb"));
    if (timed(QStringLiteral("Big, %1 rows").arg(size), [&] { return writeBig(path, size); }) < 0)
        return 1;
    jet::DBEngine engine;
    jet::DataControl data(engine);
    data.DatabaseName = path;
    data.RecordSource = QStringLiteral("SELECT Count(*) FROM Big");
    QList<double> engineMs, exportMs;
    QString counted;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const auto result = firstRows(data, 1);
        if (!result.ok())
            return fail(result.error().message);
        engineMs.append(ms(timer));
        counted = result.value().at(0).value(0).toString();

        QProcess mdbExport;
        mdbExport.setStandardOutputFile(QProcess::nullDevice());
        timer.start();
        mdbExport.start(QStringLiteral("mdb-export"), {path, QStringLiteral("Big")});
        if (!mdbExport.waitForFinished(600000) || mdbExport.exitCode() != 0)
            return fail(QStringLiteral("mdb-export failed"));
        exportMs.append(ms(timer));
    }
    const double e = median(engineMs), x = median(exportMs);
    out << "\nSELECT Count(*) FROM Big, " << size << " rows (count: " << counted << "), median of 5\n";
    table({{QStringLiteral("what"), QStringLiteral("time"), QStringLiteral("ratio")},
           {QStringLiteral("engine: Refresh + rows(0, 1)"), fmt(e) + QStringLiteral(" ms"), fmt(e / x, 2)},
           {QStringLiteral("mdb-export FILE Big > /dev/null"), fmt(x) + QStringLiteral(" ms"), QStringLiteral("1.00")}});
    return 0;
}

// c. A join with GROUP BY through the engine next to SQLite.

struct JoinQuery
{
    QString label;
    QString jet;
    QByteArray sqlite;
};

int join()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("join.mdb"));
    const QString sqlitePath = dir.filePath(QStringLiteral("join.sqlite"));
    const JoinData data = joinData();
    if (timed(QStringLiteral("Orders and Customers (.mdb)"), [&] { return writeJoin(path, data); }) < 0
        || timed(QStringLiteral("the same rows (SQLite)"), [&] { return writeSqlite(sqlitePath, data); }) < 0)
        return 1;

    const QList<JoinQuery> queries{
        {QStringLiteral("by City (50 groups)"),
         QStringLiteral("SELECT Customers.City, Count(*) AS Orders, Sum(Orders.Total) AS Amount "
                        "FROM Orders INNER JOIN Customers ON Orders.CustomerID = Customers.CustomerID "
                        "GROUP BY Customers.City"),
         "SELECT Customers.City, Count(*) AS Orders, Sum(Orders.Total) AS Amount "
         "FROM Orders INNER JOIN Customers ON Orders.CustomerID = Customers.CustomerID "
         "GROUP BY Customers.City"},
        {QStringLiteral("by customer (10,000 groups)"),
         QStringLiteral("SELECT Customers.CustomerID, Customers.Company, Count(*) AS Orders, Sum(Orders.Total) AS Amount "
                        "FROM Orders INNER JOIN Customers ON Orders.CustomerID = Customers.CustomerID "
                        "GROUP BY Customers.CustomerID, Customers.Company"),
         "SELECT Customers.CustomerID, Customers.Company, Count(*) AS Orders, Sum(Orders.Total) AS Amount "
         "FROM Orders INNER JOIN Customers ON Orders.CustomerID = Customers.CustomerID "
         "GROUP BY Customers.CustomerID, Customers.Company"},
    };

    jet::DBEngine engine;
    QList<QStringList> rows{{QStringLiteral("query"), QStringLiteral("engine"), QStringLiteral("SQLite"),
                             QStringLiteral("ratio"), QStringLiteral("rows"), QStringLiteral("orders"),
                             QStringLiteral("amount")}};
    bool mismatch = false;
    for (const JoinQuery &query : queries) {
        QList<double> engineMs, sqliteMs;
        qint64 engineRows = 0, sqliteRows = 0;
        // Orders counted and amounts summed over the groups: both sides must agree.
        std::pair<qint64, double> engineSum, sqliteSum;
        for (int run = 0; run < 5; ++run) {
            const auto whole = wholeResult(engine, path, query.jet, &engineMs);
            if (!whole.ok())
                return fail(whole.error().message);
            const auto &recordset = whole.value();
            engineRows = recordset->rowsRead();
            const auto all = recordset->rows(0, int(engineRows));
            if (!all.ok())
                return fail(all.error().message);
            engineSum = {0, 0};
            for (const QVariantList &row : all.value()) {
                engineSum.first += row.value(row.size() - 2).toLongLong();
                engineSum.second += row.value(row.size() - 1).toDouble();
            }

            // A fresh connection each time, as the engine opens the file afresh.
            QElapsedTimer timer;
            timer.start();
            sqlite3 *db = nullptr;
            sqlite3_open_v2(sqlitePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt *statement = nullptr;
            if (sqlite3_prepare_v2(db, query.sqlite.constData(), -1, &statement, nullptr) != SQLITE_OK) {
                const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
                sqlite3_close(db);
                return fail(reason);
            }
            sqliteRows = 0;
            sqliteSum = {0, 0};
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const int columns = sqlite3_column_count(statement);
                for (int i = 0; i < columns; ++i)
                    sqlite3_column_text(statement, i);
                sqliteSum.first += sqlite3_column_int64(statement, columns - 2);
                sqliteSum.second += sqlite3_column_double(statement, columns - 1);
                ++sqliteRows;
            }
            sqlite3_finalize(statement);
            sqlite3_close(db);
            sqliteMs.append(ms(timer));
        }
        const double e = median(engineMs), s = median(sqliteMs);
        rows.append({query.label, fmt(e) + QStringLiteral(" ms"), fmt(s) + QStringLiteral(" ms"), fmt(e / s, 2),
                     QStringLiteral("%1 / %2").arg(engineRows).arg(sqliteRows),
                     QStringLiteral("%1 / %2").arg(engineSum.first).arg(sqliteSum.first),
                     QStringLiteral("%1 / %2").arg(fmt(engineSum.second, 2), fmt(sqliteSum.second, 2))});
        if (engineRows != sqliteRows || engineSum.first != sqliteSum.first
            || qAbs(engineSum.second - sqliteSum.second) > 0.005)
            mismatch = true;
    }
    out << "\nOrders (100,000) INNER JOIN Customers (10,000) ON CustomerID, GROUP BY; whole result, median of 5\n";
    table(rows);
    if (mismatch)
        return fail(QStringLiteral("the engine and SQLite disagree on the result"));
    return 0;
}

// f. Sorting for TOP and matching with Like through the engine next to SQLite.
int sort(qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mdb"));
    const QString sqlitePath = dir.filePath(QStringLiteral("big.sqlite"));
    if (timed(QStringLiteral("Big, %1 rows (.mdb)").arg(size), [&] { return writeBig(path, size); }) < 0
        || timed(QStringLiteral("the same rows (SQLite)"), [&] { return writeBigSqlite(sqlitePath, size); }) < 0)
        return 1;
    const QList<JoinQuery> queries{
        {QStringLiteral("TOP 10 ORDER BY number"), QStringLiteral("SELECT TOP 10 ID, Amount FROM Big ORDER BY Amount DESC"),
         "SELECT ID, Amount FROM Big ORDER BY Amount DESC LIMIT 10"},
        {QStringLiteral("TOP 10 ORDER BY text"), QStringLiteral("SELECT TOP 10 ID, Name FROM Big ORDER BY Name"),
         "SELECT ID, Name FROM Big ORDER BY Name COLLATE NOCASE LIMIT 10"},
        {QStringLiteral("Count(*) WHERE Like"), QStringLiteral("SELECT Count(*) FROM Big WHERE Name Like '*77*'"),
         "SELECT count(*) FROM Big WHERE Name LIKE '%77%'"},
    };
    jet::DBEngine engine;
    QList<QStringList> rows{{QStringLiteral("statement"), QStringLiteral("engine"), QStringLiteral("SQLite"),
                             QStringLiteral("ratio"), QStringLiteral("first row (engine / SQLite)")}};
    bool mismatch = false;
    for (const JoinQuery &query : queries) {
        QList<double> engineMs, sqliteMs;
        QString engineFirst, sqliteFirst;
        for (int run = 0; run < 5; ++run) {
            const auto whole = wholeResult(engine, path, query.jet, &engineMs);
            if (!whole.ok())
                return fail(whole.error().message);
            const auto &recordset = whole.value();
            const auto first = recordset->rows(0, 1);
            if (!first.ok() || first.value().isEmpty())
                return fail(QStringLiteral("no rows from the engine"));
            QStringList cells;
            for (const QVariant &v : first.value().first())
                cells << v.toString();
            engineFirst = cells.join(QLatin1Char('|'));

            QElapsedTimer timer;
            timer.start();
            sqlite3 *db = nullptr;
            sqlite3_open_v2(sqlitePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt *statement = nullptr;
            if (sqlite3_prepare_v2(db, query.sqlite.constData(), -1, &statement, nullptr) != SQLITE_OK) {
                const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
                sqlite3_close(db);
                return fail(reason);
            }
            cells.clear();
            for (bool firstRow = true; sqlite3_step(statement) == SQLITE_ROW; firstRow = false) {
                for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, i)));
                    if (firstRow)
                        cells << text;
                }
            }
            sqlite3_finalize(statement);
            sqlite3_close(db);
            sqliteMs.append(ms(timer));
            sqliteFirst = cells.join(QLatin1Char('|'));
        }
        const double e = median(engineMs), q = median(sqliteMs);
        rows.append({query.label, fmt(e) + QStringLiteral(" ms"), fmt(q) + QStringLiteral(" ms"), fmt(e / q, 2),
                     engineFirst + QStringLiteral(" / ") + sqliteFirst});
        if (engineFirst.section(QLatin1Char('|'), 0, 0) != sqliteFirst.section(QLatin1Char('|'), 0, 0))
            mismatch = true;
    }
    out << "\nBig, " << size << " rows: whole result, median of 5 (SQLite on a plain table of the same rows)\n";
    table(rows);
    if (mismatch)
        return fail(QStringLiteral("the engine and SQLite disagree on the first row"));
    return 0;
}

// g. Statements an index answers, on the indexed files next to SQLite with
// the same indexes.

// Reads a statement through SQLite on a fresh connection (as the engine
// opens its file afresh), at most limit rows (-1: all); the time in ms, or
// -1 on a failure. first gets the first row's first value, rows the count.
double sqliteRun(const QString &path, const QByteArray &sql, int limit, QString *first, qint64 *rows)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> owner(db, sqlite3_close);
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK) {
        fail(QString::fromUtf8(sqlite3_errmsg(db)));
        return -1;
    }
    *rows = 0;
    while ((limit < 0 || *rows < limit) && sqlite3_step(statement) == SQLITE_ROW) {
        // Every value as text, as the engine makes its texts.
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, i));
            if (*rows == 0 && i == 0)
                *first = QString::fromUtf8(text);
        }
        ++*rows;
    }
    sqlite3_finalize(statement);
    return ms(timer);
}

// The same as a whole process: kolta-engine query, and the sqlite3 shell
// when there is one (else SQLite in this process, said in the label).
double processRun(const QString &program, const QStringList &args, QString *first, qint64 *rows)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        fail(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError()));
        return -1;
    }
    const double elapsed = ms(timer);
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    // kolta-engine prints the column names first; the shell is run without.
    const bool header = program.endsWith(QLatin1String("kolta-engine"));
    *rows = 0;
    for (qsizetype i = header ? 1 : 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        if (*rows == 0)
            *first = QString::fromUtf8(lines.at(i).split(lines.at(i).contains('\t') ? '\t' : '|').value(0));
        ++*rows;
    }
    return elapsed;
}

int indexed(qint64 size)
{
    QTemporaryDir dir;
    const QString bigPath = dir.filePath(QStringLiteral("big.mdb"));
    const QString bigSqlite = dir.filePath(QStringLiteral("big.sqlite"));
    const QString joinPath = dir.filePath(QStringLiteral("join.mdb"));
    const QString joinSqlite = dir.filePath(QStringLiteral("join.sqlite"));
    const JoinData joinRows = joinData();
    if (timed(QStringLiteral("Big, %1 rows, indexed (.mdb)").arg(size),
              [&] { return writeBig(bigPath, size, Indexes::Keys); }) < 0
        || timed(QStringLiteral("the same rows and indexes (SQLite)"),
                 [&] { return writeBigSqlite(bigSqlite, size, Indexes::Keys); }) < 0
        || timed(QStringLiteral("Orders and Customers, indexed (.mdb)"),
                 [&] { return writeJoin(joinPath, joinRows, Indexes::Keys); }) < 0
        || timed(QStringLiteral("the same rows and indexes (SQLite)"),
                 [&] { return writeSqlite(joinSqlite, joinRows, Indexes::Keys); }) < 0)
        return 1;

    const QString engineProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/kolta-engine");
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    jet::DBEngine engine;
    QList<QStringList> rows{{QStringLiteral("statement"), QStringLiteral("how"), QStringLiteral("KOLTA ms"),
                             QStringLiteral("SQLite ms"), QStringLiteral("ratio"),
                             QStringLiteral("rows, first value (KOLTA / SQLite)")}};
    bool mismatch = false;
    auto add = [&](const QString &label, const QString &how, const QList<double> &k, const QList<double> &q,
                   qint64 kRows, const QString &kFirst, qint64 qRows, const QString &qFirst) {
        const double e = median(k), l = median(q);
        rows.append({label, how, fmt(e), fmt(l), fmt(e / l, 2),
                     QStringLiteral("%1, %2 / %3, %4").arg(kRows).arg(kFirst).arg(qRows).arg(qFirst)});
        if (kRows != qRows || kFirst != qFirst)
            mismatch = true;
    };
    const int runs = 5;

    // Statements read whole in the running engine, next to a fresh SQLite connection.
    struct InEngine
    {
        QString label;
        QString path, sqlitePath;
        QString jet;
        QByteArray sqlite;
    };
    const qint64 key = size / 2 + 1;
    const QList<InEngine> inEngine{
        {QStringLiteral("SELECT * FROM Big WHERE ID = %1").arg(key), bigPath, bigSqlite,
         QStringLiteral("SELECT * FROM Big WHERE ID = %1").arg(key),
         QStringLiteral("SELECT * FROM Big WHERE ID = %1").arg(key).toUtf8()},
        {QStringLiteral("Orders INNER JOIN Customers ... WHERE Customers.CustomerID = 42"), joinPath, joinSqlite,
         QStringLiteral("SELECT * FROM Orders INNER JOIN Customers ON Orders.CustomerID = Customers.CustomerID "
                        "WHERE Customers.CustomerID = 42"),
         "SELECT * FROM Orders INNER JOIN Customers ON Orders.CustomerID = Customers.CustomerID "
         "WHERE Customers.CustomerID = 42"},
    };
    for (const InEngine &q : inEngine) {
        QList<double> k, l;
        qint64 kRows = 0, qRows = 0;
        QString kFirst, qFirst;
        // One unmeasured run first, so the engine is up and the file cached.
        for (int run = 0; run <= runs; ++run) {
            QList<double> unmeasured;
            const auto whole = wholeResult(engine, q.path, q.jet, run == 0 ? &unmeasured : &k);
            if (!whole.ok())
                return fail(whole.error().message);
            kRows = whole.value()->rowsRead();
            const auto firstRow = whole.value()->rows(0, 1);
            kFirst = firstRow.ok() && !firstRow.value().isEmpty() ? firstRow.value().first().value(0).toString()
                                                                  : QString();
            const double t = sqliteRun(q.sqlitePath, q.sqlite, -1, &qFirst, &qRows);
            if (t < 0)
                return 1;
            if (run > 0)
                l.append(t);
        }
        add(q.label, QStringLiteral("running engine, whole result"), k, l, kRows, kFirst, qRows, qFirst);
    }

    // TOP 10 by a key as whole processes.
    struct Whole
    {
        QString jet;
        QString sqlite;
    };
    const QList<Whole> whole{
        {QStringLiteral("SELECT TOP 10 * FROM Big ORDER BY ID"), QStringLiteral("SELECT * FROM Big ORDER BY ID LIMIT 10")},
        {QStringLiteral("SELECT TOP 10 * FROM Big ORDER BY Name"),
         QStringLiteral("SELECT * FROM Big ORDER BY Name COLLATE NOCASE LIMIT 10")},
    };
    for (const Whole &q : whole) {
        QList<double> k, l;
        qint64 kRows = 0, qRows = 0;
        QString kFirst, qFirst;
        for (int run = 0; run <= runs; ++run) {
            const double t = processRun(engineProgram, {QStringLiteral("query"), bigPath, q.jet, QStringLiteral("--raw")},
                                        &kFirst, &kRows);
            const double u = shell.isEmpty()
                ? sqliteRun(bigSqlite, q.sqlite.toUtf8(), -1, &qFirst, &qRows)
                : processRun(shell, {QStringLiteral("-readonly"), bigSqlite, q.sqlite}, &qFirst, &qRows);
            if (t < 0 || u < 0)
                return 1;
            if (run > 0) {
                k.append(t);
                l.append(u);
            }
        }
        add(q.jet, shell.isEmpty() ? QStringLiteral("kolta-engine query / SQLite in-process")
                                   : QStringLiteral("kolta-engine query / sqlite3 shell"),
            k, l, kRows, kFirst, qRows, qFirst);
    }

    // The grid's first 100 rows by a key.
    {
        jet::DataControl data(engine);
        data.DatabaseName = bigPath;
        data.RecordSource = QStringLiteral("SELECT * FROM Big ORDER BY ID");
        QList<double> k, l;
        qint64 qRows = 0;
        QString kFirst, qFirst;
        for (int run = 0; run <= runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const auto shown = firstRows(data, 100);
            if (!shown.ok())
                return fail(shown.error().message);
            if (run > 0)
                k.append(ms(timer));
            kFirst = shown.value().value(0).value(0).toString();
            const double t = sqliteRun(bigSqlite, "SELECT * FROM Big ORDER BY ID", 100, &qFirst, &qRows);
            if (t < 0)
                return 1;
            if (run > 0)
                l.append(t);
        }
        add(QStringLiteral("SELECT * FROM Big ORDER BY ID, first 100 rows"),
            QStringLiteral("Refresh + rows(0, 100) / 100 steps"), k, l, 100, kFirst, qRows, qFirst);
    }

    out << "\nBig, " << size << " rows (primary key on ID, index on Name); Orders (100,000) and Customers (10,000)"
        << " with their keys; SQLite with the same indexes. Median of " << runs << " after one unmeasured run.\n";
    table(rows);
    if (mismatch)
        return fail(QStringLiteral("KOLTA and SQLite disagree on a result"));
    return 0;
}

// d. The SQL window: Set, then the last record.

class BenchDesktop : public Desktop
{
public:
    std::optional<QString> showFileDialog(QWidget *, FileDialogKind, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<quint32> showColorDialog(QWidget *, quint32) override { return std::nullopt; }
    void messageBox(QWidget *, const QString &prompt, const QString &detail) override
    {
        messages.append(prompt + QLatin1Char(' ') + detail);
    }
    bool askYesNo(QWidget *, const QString &) override { return false; }
    void clearClipboard() override {}
    void setClipboardText(const QString &) override {}
    QString clipboardText() override { return QString(); }
    Result<PrintOutcome> print(QWidget *, const Printout &) override { return PrintOutcome::Declined; }
    bool openInBrowser(const QUrl &) override { return false; }

    QStringList messages;
};

int grid(qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mdb"));
    if (timed(QStringLiteral("Big, %1 rows").arg(size), [&] { return writeBig(path, size); }) < 0)
        return 1;

    Module1 session;
    session.gDataSource = path;
    BenchDesktop desktop;
    jet::DBEngine engine;
    std::unique_ptr<frmLabels> labels;
    frmSQL window(session, desktop, engine, [&]() -> frmLabels & {
        if (!labels)
            labels = std::make_unique<frmLabels>(session);
        return *labels;
    });
    window.show();
    window.Form_Activate();
    QApplication::processEvents();
    window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(QStringLiteral("SELECT * FROM Big"));
    QTableView *view = window.findChild<QTableView *>(QStringLiteral("MSFlexGrid1"));

    // The first Set starts the engine; the second is a Set in a running session.
    QList<QStringList> rows{{QStringLiteral("step"), QStringLiteral("time"), QStringLiteral("grid rows"),
                             QStringLiteral("program VmRSS"), QStringLiteral("program VmHWM"),
                             QStringLiteral("engine VmRSS"), QStringLiteral("engine VmHWM")}};
    auto measure = [&](const QString &step, double elapsed) {
        const qint64 pid = engine.client()->processId();
        rows.append({step, fmt(elapsed) + QStringLiteral(" ms"), QString::number(window.grid().rowCount()),
                     mb(statusKb(0, "VmRSS")), mb(statusKb(0, "VmHWM")), mb(statusKb(pid, "VmRSS")),
                     mb(statusKb(pid, "VmHWM"))});
    };
    for (const QString &step : {QStringLiteral("Set (engine starts)"), QStringLiteral("Set again")}) {
        QElapsedTimer timer;
        timer.start();
        window.cmdSet_Click();
        view->viewport()->repaint();
        const double elapsed = ms(timer);
        if (!desktop.messages.isEmpty())
            return fail(desktop.messages.join(QLatin1Char('\n')));
        if (window.grid().rowCount() == 0 || !window.grid().data(window.grid().index(0, 0)).isValid())
            return fail(QStringLiteral("the grid shows no rows"));
        measure(step, elapsed);
    }
    resetPeak();
    measure(QStringLiteral("(peak reset)"), 0);

    QElapsedTimer timer;
    timer.start();
    window.moveLast();
    view->viewport()->repaint();
    const double lastMs = ms(timer);
    const QModelIndex last = view->currentIndex();
    measure(QStringLiteral("last record"), lastMs);
    const QString lastId = window.grid().data(window.grid().index(last.row(), 0)).toString();

    // Back to the top and down again by pages, as a user dragging the bar would.
    timer.start();
    QScrollBar *bar = view->verticalScrollBar();
    const int steps = 200;
    for (int i = 0; i <= steps; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * i / steps));
        view->viewport()->repaint();
    }
    measure(QStringLiteral("%1 jumps top to bottom").arg(steps), ms(timer));

    const int pagesCached = window.grid().cachedPages();
    // What the grid itself keeps per row shows when it lets go of the result.
    window.grid().setRecordset(nullptr);
    measure(QStringLiteral("grid emptied"), 0);

    // The same reading without a window: the engine's share of the time.
    jet::DataControl data(engine);
    data.DatabaseName = path;
    data.RecordSource = QStringLiteral("SELECT * FROM Big");
    timer.start();
    const auto refreshed = data.Refresh();
    if (!refreshed.ok())
        return fail(refreshed.error().message);
    while (!refreshed.value()->atEnd()) {
        if (!refreshed.value()->fetchMore(16384).ok())
            return fail(QStringLiteral("the result broke off"));
    }
    measure(QStringLiteral("no window: Refresh, fetchMore to the end"), ms(timer));

    out << "\nThe SQL window on SELECT * FROM Big, " << size << " rows (offscreen); last record row "
        << last.row() + 1 << ", ID " << lastId << ", pages cached at most " << pagesCached << "\n";
    table(rows);
    return lastId == QString::number(size) ? 0 : 1;
}

// Reads the table over the Jet tables straight into a scratch store as the
// values come (no texts made), in batches as the grid asks; the time in ms,
// -1 on a failure. openFlags are added to both connections.
double storeValues(const QString &path, qint64 size, int openFlags)
{
    const auto file = jet::engine::JetFile::open(path);
    const auto entries = file.ok() ? file.value()->readCatalog() : file.error();
    if (!entries.ok()) {
        fail(entries.error().message);
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr, *store = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | openFlags;
    sqlite3_open_v2(":memory:", &db, flags, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> dbOwner(db, sqlite3_close);
    sqlite3_open_v2("", &store, flags, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> storeOwner(store, sqlite3_close);
    jet::engine::registerJetModule(db, file.value().get());
    for (const auto &entry : entries.value()) {
        // A table that cannot be made fails the statement below.
        if (entry.name == QLatin1String("Big"))
            static_cast<void>(jet::engine::createJetTable(db, entry.name, entry));
    }
    sqlite3_stmt *select = nullptr, *insert = nullptr;
    if (!sqliteExec(store, "CREATE TABLE r(c0, c1, c2, c3, c4)")
        || sqlite3_prepare_v2(store, "INSERT INTO r VALUES(?, ?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(db, "SELECT * FROM Big", -1, &select, nullptr) != SQLITE_OK) {
        sqlite3_finalize(insert);
        fail(QStringLiteral("cannot prepare the store"));
        return -1;
    }
    qint64 read = 0;
    bool done = false;
    while (!done) {
        sqliteExec(store, "BEGIN");
        for (int got = 0; got < 16384; ++got) {
            if (sqlite3_step(select) != SQLITE_ROW) {
                done = true;
                break;
            }
            for (int i = 0; i < 5; ++i)
                sqlite3_bind_value(insert, i + 1, sqlite3_column_value(select, i));
            sqlite3_step(insert);
            sqlite3_reset(insert);
            ++read;
        }
        sqliteExec(store, "COMMIT");
    }
    sqlite3_finalize(select);
    sqlite3_finalize(insert);
    if (read != size) {
        fail(QStringLiteral("rows missing"));
        return -1;
    }
    return ms(timer);
}

// e. The engine's share of reading a whole result, step by step, in-process.
int engineSplit(qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mdb"));
    if (timed(QStringLiteral("Big, %1 rows").arg(size), [&] { return writeBig(path, size); }) < 0)
        return 1;
    const jet::protocol::OpenArgs args{path, QString(), QStringLiteral("Admin"), QString()};
    const QString sql = QStringLiteral("SELECT * FROM Big");
    using Form = jet::engine::Statement::Form;
    QList<QStringList> rows{{QStringLiteral("reading"), QStringLiteral("time"), QStringLiteral("per row")}};
    auto add = [&](const QString &label, double elapsed) {
        rows.append({label, fmt(elapsed) + QStringLiteral(" ms"), fmt(elapsed * 1000.0 / double(size), 2) + QStringLiteral(" us")});
    };
    auto each = [&](Form form) -> double {
        QElapsedTimer timer;
        timer.start();
        const auto statement = jet::engine::Statement::prepare(args, sql, form);
        if (!statement.ok()) {
            fail(statement.error().message);
            return -1;
        }
        qint64 seen = 0;
        if (!statement.value()->each([&](const QVariantList &) { ++seen; }).ok() || seen != size) {
            fail(QStringLiteral("the statement broke off"));
            return -1;
        }
        return ms(timer);
    };
    const double raw = each(Form::Raw);
    const double display = each(Form::Display);
    if (raw < 0 || display < 0)
        return 1;

    QElapsedTimer timer;
    timer.start();
    const auto prepared = jet::engine::Statement::prepare(args, sql, Form::Display);
    if (!prepared.ok())
        return fail(prepared.error().message);
    const auto &statement = prepared.value();
    while (!statement->atEnd()) {
        if (!statement->fetch(16384).ok())
            return fail(QStringLiteral("the statement broke off"));
    }
    const double stored = ms(timer);

    const double values = storeValues(path, size, 0);
    const double valuesNoMutex = storeValues(path, size, SQLITE_OPEN_NOMUTEX);
    if (values < 0 || valuesNoMutex < 0)
        return 1;

    QProcess mdbExport;
    mdbExport.setStandardOutputFile(QProcess::nullDevice());
    timer.start();
    mdbExport.start(QStringLiteral("mdb-export"), {path, QStringLiteral("Big")});
    if (!mdbExport.waitForFinished(600000) || mdbExport.exitCode() != 0)
        return fail(QStringLiteral("mdb-export failed"));
    const double exported = ms(timer);

    add(QStringLiteral("rows as stored values (Statement::each, raw)"), raw);
    add(QStringLiteral("rows as display texts (Statement::each)"), display);
    add(QStringLiteral("display texts kept in the scratch store (fetch)"), stored);
    add(QStringLiteral("stored values kept in a scratch store, no texts"), values);
    add(QStringLiteral("the same, connections opened SQLITE_OPEN_NOMUTEX"), valuesNoMutex);
    add(QStringLiteral("mdb-export FILE Big > /dev/null"), exported);
    out << "\nSELECT * FROM Big, " << size << " rows, to the end, in this process\n";
    table(rows);
    return 0;
}

const char *const Usage =
    "usage: sqlbench first [ROWS...] | count [ROWS] | join | grid [ROWS] | engine [ROWS] | sort [ROWS]\n"
    "                | index [ROWS]\n";

} // namespace

int main(int argc, char **argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    std::unique_ptr<QCoreApplication> app;
    if (command == QLatin1String("grid")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const QStringList args = app->arguments().mid(2);
    if (command == QLatin1String("first")) {
        QList<qint64> sizes;
        for (const QString &arg : args)
            sizes.append(arg.toLongLong());
        return first(sizes);
    }
    if (command == QLatin1String("count"))
        return count(args.value(0, QStringLiteral("1000000")).toLongLong());
    if (command == QLatin1String("join"))
        return join();
    if (command == QLatin1String("grid"))
        return grid(args.value(0, QStringLiteral("1000000")).toLongLong());
    if (command == QLatin1String("engine"))
        return engineSplit(args.value(0, QStringLiteral("1000000")).toLongLong());
    if (command == QLatin1String("sort"))
        return sort(args.value(0, QStringLiteral("1000000")).toLongLong());
    if (command == QLatin1String("index"))
        return indexed(args.value(0, QStringLiteral("1000000")).toLongLong());
    QTextStream(stderr) << Usage;
    return 2;
}
