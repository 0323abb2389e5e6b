// Jet SQL end to end: statements run by the real kolta-engine process over
// files made by the fixture writer, read through the data control (as the
// SQL window reads them) and through `kolta-engine query`.

#include "jetwriter.h"

#include "dao.h"
#include "datacontrol.h"
#include "jetfile.h"
#include "queries.h"
#include "engineclient.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace kolta;
using jetwriter::ColumnType;
using jetwriter::Row;

namespace {

const QString EngineProgram = QStringLiteral(KOLTA_BIN_DIR "/kolta-engine");
const QString NullText = QStringLiteral("<null>");

jetwriter::Table table(const QString &name, const QList<jetwriter::Column> &columns, const QList<Row> &rows)
{
    jetwriter::Table t;
    t.name = name;
    t.columns = columns;
    t.rows = rows;
    return t;
}

QDateTime at(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, mi, s));
}

// The shop: the tables every construct is tried on.
jetwriter::Database shop()
{
    jetwriter::Database db;
    db.tables.append(table(QStringLiteral("Customers"),
                           {{QStringLiteral("ID"), ColumnType::Long},
                            {QStringLiteral("Name"), ColumnType::Text, 50},
                            {QStringLiteral("City"), ColumnType::Text, 50},
                            {QStringLiteral("Joined"), ColumnType::DateTime},
                            {QStringLiteral("Vip"), ColumnType::YesNo},
                            {QStringLiteral("Credit"), ColumnType::Currency}},
                           {Row{1, QStringLiteral("Ann"), QStringLiteral("Oslo"), QDate(2001, 2, 3), true, 100.5},
                            Row{2, QStringLiteral("Bo"), QStringLiteral("Bergen"), at(2002, 6, 15, 13, 45), false, 0.0},
                            Row{3, QStringLiteral("cy"), QStringLiteral("oslo"), QVariant(), false, 250.25},
                            Row{4, QStringLiteral("Dag"), QVariant(), QDate(1999, 12, 31), true, QVariant()},
                            Row{5, QStringLiteral("Eve"), QStringLiteral("Trondheim"), QDate(2003, 1, 1), false,
                                75.0}}));
    db.tables.append(table(QStringLiteral("Orders"),
                           {{QStringLiteral("OrderID"), ColumnType::Long},
                            {QStringLiteral("CustomerID"), ColumnType::Long},
                            {QStringLiteral("Total"), ColumnType::Currency},
                            {QStringLiteral("Placed"), ColumnType::DateTime},
                            {QStringLiteral("Note"), ColumnType::Text, 100}},
                           {Row{10, 1, 9.5, QDate(2003, 3, 1), QStringLiteral("first")},
                            Row{11, 1, 20.0, QDate(2003, 3, 5), QVariant()},
                            Row{12, 2, 5.25, QDate(2003, 4, 10), QStringLiteral("rush")},
                            Row{13, 3, 100.0, QDate(2003, 5, 20), QStringLiteral("big")},
                            Row{14, 9, 1.0, QDate(2003, 6, 1), QStringLiteral("orphan")}}));
    db.tables.last().indexes = {{QStringLiteral("PrimaryKey"), {{QStringLiteral("OrderID")}}, true}};
    db.tables.append(table(QStringLiteral("Items"),
                           {{QStringLiteral("OrderID"), ColumnType::Long},
                            {QStringLiteral("Product"), ColumnType::Text, 50},
                            {QStringLiteral("Qty"), ColumnType::Integer},
                            {QStringLiteral("Price"), ColumnType::Double}},
                           {Row{10, QStringLiteral("Apple"), 3, 1.5}, Row{10, QStringLiteral("Pear"), 2, 2.0},
                            Row{11, QStringLiteral("Apple"), 10, 1.5}, Row{12, QStringLiteral("Plum"), 1, 5.25},
                            Row{13, QStringLiteral("Melon"), 4, 25.0}}));
    db.tables.append(table(QStringLiteral("Order Details"),
                           {{QStringLiteral("Order ID"), ColumnType::Long},
                            {QStringLiteral("Unit Price"), ColumnType::Currency}},
                           {Row{10, 1.25}, Row{12, 3.0}}));
    QList<Row> words;
    const char *const texts[] = {"abc", "Abd", "a1c", "a c", "b*x", "xyz", "ab", "ABC", nullptr, "a-c"};
    for (int i = 0; i < 10; ++i)
        words.append(Row{i + 1, texts[i] ? QVariant(QString::fromLatin1(texts[i])) : QVariant()});
    db.tables.append(table(QStringLiteral("Words"),
                           {{QStringLiteral("ID"), ColumnType::Long}, {QStringLiteral("W"), ColumnType::Text, 50}},
                           words));
    db.tables.append(table(QStringLiteral("Signs"),
                           {{QStringLiteral("ID"), ColumnType::Long}, {QStringLiteral("S"), ColumnType::Text, 20}},
                           {Row{1, QStringLiteral("a_c")}, Row{2, QStringLiteral("abc")}, Row{3, QStringLiteral("50%")},
                            Row{4, QStringLiteral("a.c")}, Row{5, QStringLiteral("a\\c")},
                            Row{6, QStringLiteral("a'c")}, Row{7, QStringLiteral("a c ")}}));
    QList<Row> series;
    for (int i = 1; i <= 600; ++i)
        series.append(Row{i});
    db.tables.append(table(QStringLiteral("Series"), {{QStringLiteral("ID"), ColumnType::Long}}, series));

    db.queries = {
        {QStringLiteral("Joined Between"),
         QStringLiteral("PARAMETERS [Beginning Date] DateTime, [Ending Date] DateTime; SELECT Name FROM Customers "
                        "WHERE Joined Between [Beginning Date] And [Ending Date] ORDER BY Name")},
        {QStringLiteral("Oslo Customers"),
         QStringLiteral("SELECT Name, City FROM Customers WHERE City = 'Oslo' ORDER BY Name DESC")},
        {QStringLiteral("Order Totals"),
         QStringLiteral("SELECT c.Name AS Customer, Sum(o.Total) AS Spent, Count(*) AS N "
                        "FROM Customers AS c INNER JOIN Orders AS o ON c.ID = o.CustomerID "
                        "GROUP BY c.Name HAVING Sum(o.Total) > 6 ORDER BY Sum(o.Total) DESC")},
        {QStringLiteral("Top Orders"), QStringLiteral("SELECT TOP 2 OrderID, Total FROM Orders ORDER BY Total DESC")},
        {QStringLiteral("Top Percent"),
         QStringLiteral("SELECT TOP 40 PERCENT OrderID FROM Orders ORDER BY OrderID")},
        {QStringLiteral("Cities"), QStringLiteral("SELECT DISTINCT UCase(City) AS Town FROM Customers "
                                                  "WHERE City Is Not Null")},
        {QStringLiteral("Buyers"), QStringLiteral("SELECT DISTINCTROW Customers.Name FROM Customers "
                                                  "INNER JOIN Orders ON Customers.ID = Orders.CustomerID")},
        {QStringLiteral("All Customers"),
         QStringLiteral("SELECT Customers.Name, Orders.OrderID FROM Customers LEFT JOIN Orders "
                        "ON Customers.ID = Orders.CustomerID")},
        {QStringLiteral("All Orders"),
         QStringLiteral("SELECT Customers.Name, Orders.OrderID FROM Customers RIGHT JOIN Orders "
                        "ON Customers.ID = Orders.CustomerID")},
        {QStringLiteral("Bought"),
         QStringLiteral("SELECT c.Name, i.Product FROM (Customers AS c INNER JOIN Orders AS o "
                        "ON c.ID = o.CustomerID) INNER JOIN Items AS i ON o.OrderID = i.OrderID")},
        {QStringLiteral("Big Orders"), QStringLiteral("SELECT * FROM Orders WHERE Total > 10")},
        {QStringLiteral("Regulars"), QStringLiteral("SELECT Customer FROM [Order Totals] WHERE N > 1")},
        {QStringLiteral("Delete Small"), QStringLiteral("DELETE FROM Orders WHERE Total < 5")},
        {QStringLiteral("Chain"),
         QStringLiteral("SELECT Customers.Name, Items.Product FROM (Customers LEFT JOIN Orders "
                        "ON Customers.ID = Orders.CustomerID) LEFT JOIN Items ON Orders.OrderID = Items.OrderID")},
        {QStringLiteral("Labels"), QStringLiteral("SELECT [Name] & ' (' & [City] & ')' AS Label FROM Customers "
                                                  "WHERE Name <> 'from where, order by' ORDER BY ID DESC")},
        {QStringLiteral("Loop1"), QStringLiteral("SELECT * FROM Loop2")},
        {QStringLiteral("Loop2"), QStringLiteral("SELECT * FROM Loop1")},
        {QStringLiteral("Gone Table"), QStringLiteral("SELECT * FROM Gone")},
        {QStringLiteral("Asks"), QStringLiteral("SELECT Name FROM Customers WHERE City = [Which City]")},
        {QStringLiteral("Names"), QStringLiteral("SELECT Name FROM Customers WHERE ID < 3\r\nUNION\r\n"
                                                 "SELECT Product FROM Items WHERE Qty > 3;")},
        {QStringLiteral("Every Product"), QStringLiteral("SELECT Product FROM Items WHERE OrderID = 10 UNION ALL "
                                                         "SELECT Product FROM Items WHERE Qty < 5 ORDER BY Product")},
        {QStringLiteral("Spent by Month"), QStringLiteral("TRANSFORM Sum(Total) AS Spent SELECT CustomerID FROM Orders "
                                                          "GROUP BY CustomerID PIVOT Month(Placed)")},
    };
    // Each over the one before: Nested50 is 50 saved queries deep, Nested51 one too many.
    db.queries.append({QStringLiteral("Nested1"), QStringLiteral("SELECT ID, Name FROM Customers WHERE ID < 3")});
    for (int i = 2; i <= 51; ++i)
        db.queries.append({QStringLiteral("Nested%1").arg(i), QStringLiteral("SELECT * FROM Nested%1").arg(i - 1)});
    return db;
}

// One table of every column type: a full row, a row of Nulls.
jetwriter::Database everyType(const QString &memo)
{
    jetwriter::Database db;
    db.tables.append(table(
        QStringLiteral("Everything"),
        {{QStringLiteral("ID"), ColumnType::Long},
         {QStringLiteral("Flag"), ColumnType::YesNo},
         {QStringLiteral("Tiny"), ColumnType::Byte},
         {QStringLiteral("Small"), ColumnType::Integer},
         {QStringLiteral("Price"), ColumnType::Currency},
         {QStringLiteral("Ratio"), ColumnType::Single},
         {QStringLiteral("Measure"), ColumnType::Double},
         {QStringLiteral("When"), ColumnType::DateTime},
         {QStringLiteral("Day"), ColumnType::DateTime},
         {QStringLiteral("Blob"), ColumnType::Binary, 16},
         {QStringLiteral("Title"), ColumnType::Text, 40},
         {QStringLiteral("Picture"), ColumnType::Ole},
         {QStringLiteral("Notes"), ColumnType::Memo},
         {QStringLiteral("Guid"), ColumnType::Guid},
         {QStringLiteral("Amount"), ColumnType::Decimal, 0, 18, 4}},
        {Row{1, true, 7, -300, 1234.5678, 0.1, -2.25, at(2001, 2, 3, 16, 5, 6), QDate(1999, 12, 31),
             QByteArray("\x01\xab", 2), QStringLiteral("tab\there"), QByteArray("ole"), memo,
             QUuid::fromString(QStringLiteral("{12345678-1234-1234-1234-123456789abc}")),
             QStringLiteral("-123.4567")},
         Row{2, false}}));
    return db;
}

struct Outcome
{
    QString names;       // joined with |
    QStringList rows;    // values joined with |, Null as <null>
    QString error;
};

// The reason of a failed result, for messages of checks that may pass.
template<typename T>
QString messageOf(const Result<T> &result)
{
    return result.ok() ? QString() : result.error().message;
}

QString joined(const QVariantList &row)
{
    QStringList values;
    for (const QVariant &v : row)
        values.append(v.isNull() ? NullText : v.toString());
    return values.join(u'|');
}

struct FileState
{
    QByteArray bytes;
    qint64 modifiedNs = 0;
    QStringList folder;
    bool operator==(const FileState &) const = default;
};

FileState stateOf(const QString &path)
{
    FileState state;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        state.bytes = file.readAll();
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    QDirIterator it(QFileInfo(path).absolutePath(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext())
        state.folder.append(it.next());
    state.folder.sort();
    return state;
}

} // namespace

Q_DECLARE_METATYPE(kolta::jet::engine::QueryAttribute)

class TestJetSqlEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void names_data();
    void names();
    void literals_data();
    void literals();
    void operators_data();
    void operators();
    void criteria_data();
    void criteria();
    void predicates_data();
    void predicates();
    void joins_data();
    void joins();
    void grouping_data();
    void grouping();
    void ordering_data();
    void ordering();
    void subqueries_data();
    void subqueries();
    void unions_data();
    void unions();
    void functions_data();
    void functions();
    void savedQueries_data();
    void savedQueries();
    void parameters_data();
    void parameters();
    void parameterRowsAsAccessWrites();
    void realFile_data();
    void realFile();
    void corpusSavedQueries_data();
    void corpusSavedQueries();
    void columnTypes_data();
    void columnTypes();
    void longValues();
    void accessTwentyTenValues_data();
    void accessTwentyTenValues();
    void refusals_data();
    void refusals();
    void jetErrors_data();
    void jetErrors();
    void failureAfterRows();
    void scratchStoreBound();
    void scratchStoreLeavesOthersRoom();
    void unreadableTable();
    void commandLine();
    void commandLineFailures_data();
    void commandLineFailures();
    void commandLineHelpAndVersion();
    void stopDuringStatement();
    void rebuildQuery_data();
    void rebuildQuery();

private:
    // values: "NAME=VALUE" for the statement's parameters.
    Outcome viaDataControl(const QString &path, const QString &statement, const QStringList &values = {});
    Outcome viaCommandLine(const QString &path, const QString &statement, bool raw = true,
                           const QStringList &values = {});
    // Runs the current row's statement on path and compares names and rows.
    void checkStatement(const QString &path);

    QTemporaryDir m_dir;
    QString m_shop;
    QString m_types;
    QString m_workgroup;
    QString m_memo;
    jet::DBEngine m_engine;
    QStringList m_reportsBefore;
};

namespace {

// The sanitizer reports engines wrote so far (sanitizer builds under ctest
// name the log in KOLTA_SANITIZER_LOG; one file per process).
QStringList engineReports()
{
    const QFileInfo log(qEnvironmentVariable("KOLTA_SANITIZER_LOG"));
    if (log.fileName().isEmpty())
        return {};
    return QDir(log.absolutePath()).entryList({log.fileName() + QLatin1String(".*")}, QDir::Files);
}

} // namespace

void TestJetSqlEndToEnd::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo(EngineProgram).isExecutable(), qPrintable(EngineProgram));
    if (qEnvironmentVariableIsEmpty("KOLTA_ENGINE"))
        qputenv("KOLTA_ENGINE", EngineProgram.toLocal8Bit());
    m_engine.client()->setProgram(qEnvironmentVariable("KOLTA_ENGINE"));
    m_reportsBefore = engineReports();
    m_shop = m_dir.filePath(QStringLiteral("shop.mdb"));
    QCOMPARE(jetwriter::write(m_shop, shop()), QString());
    // Long enough for long value pages, in characters that Jet stores
    // uncompressed.
    for (int i = 0; i < 5000; ++i)
        m_memo += QChar(0x3b1 + i % 20);
    m_workgroup = m_dir.filePath(QStringLiteral("system.mdw"));
    jetwriter::Database workgroup;
    workgroup.accounts = {{QStringLiteral("Admin"), QString(), false},
                          {QStringLiteral("Bob"), QStringLiteral("pw"), false},
                          {QStringLiteral("Users"), QString(), true}};
    QCOMPARE(jetwriter::write(m_workgroup, workgroup), QString());
    m_types = m_dir.filePath(QStringLiteral("types.mdb"));
    QCOMPARE(jetwriter::write(m_types, everyType(m_memo)), QString());
}

// No statement left a sanitizer report behind in an engine.
void TestJetSqlEndToEnd::cleanupTestCase()
{
    QStringList reports = engineReports();
    for (const QString &old : std::as_const(m_reportsBefore))
        reports.removeOne(old);
    QCOMPARE(reports, QStringList());
}

Outcome TestJetSqlEndToEnd::viaDataControl(const QString &path, const QString &statement, const QStringList &values)
{
    Outcome outcome;
    jet::DataControl data(m_engine);
    data.DatabaseName = path;
    data.RecordSource = statement;
    for (const QString &v : values)
        data.ParameterValues.append({v.section(u'=', 0, 0), v.section(u'=', 1)});
    const auto refreshed = data.Refresh();
    if (!refreshed.ok()) {
        outcome.error = refreshed.error().message;
        return outcome;
    }
    const auto recordset = data.Recordset();
    outcome.names = recordset->fieldNames().join(u'|');
    while (!recordset->atEnd()) {
        const auto more = recordset->fetchMore(1000);
        if (!more.ok()) {
            outcome.error = more.error().message;
            break;
        }
    }
    const auto rows = recordset->rows(0, int(recordset->rowsRead()));
    if (!rows.ok()) {
        outcome.error = rows.error().message;
        return outcome;
    }
    for (const QVariantList &row : rows.value())
        outcome.rows.append(joined(row));
    return outcome;
}

Outcome TestJetSqlEndToEnd::viaCommandLine(const QString &path, const QString &statement, bool raw,
                                           const QStringList &values)
{
    Outcome outcome;
    QProcess process;
    QStringList args = {QStringLiteral("query"), path, statement};
    if (raw)
        args.append(QStringLiteral("--raw"));
    for (const QString &v : values)
        args << QStringLiteral("--param") << v;
    process.start(EngineProgram, args);
    if (!process.waitForFinished(60000)) {
        outcome.error = QStringLiteral("the engine did not finish");
        return outcome;
    }
    outcome.error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (process.exitCode() != 0 && outcome.error.isEmpty())
        outcome.error = QStringLiteral("exit code %1").arg(process.exitCode());
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return outcome;
    outcome.names = lines.takeFirst().replace(u'\t', u'|');
    for (QString &line : lines)
        outcome.rows.append(line.replace(u'\t', u'|'));
    return outcome;
}

// ---- every construct family, as the SQL window runs it

namespace {

void statementColumns()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QStringList>("rows");
}

} // namespace

void TestJetSqlEndToEnd::checkStatement(const QString &path)
{
    QFETCH(QString, statement);
    QFETCH(QString, names);
    QFETCH(QStringList, rows);
    const Outcome got = viaDataControl(path, statement);
    QCOMPARE(got.error, QString());
    QCOMPARE(got.names, names);
    QCOMPARE(got.rows, rows);
}

// Names: bracketed, qualified, aliased, with spaces; the result columns as Jet names them.
void TestJetSqlEndToEnd::names_data()
{
    statementColumns();
    QTest::newRow("names: bracketed") << "SELECT [Name] FROM [Customers] WHERE [ID] = 1" << "Name"
                                      << QStringList{"Ann"};
    QTest::newRow("names: qualified") << "SELECT Customers.Name FROM Customers WHERE Customers.ID = 2" << "Name"
                                      << QStringList{"Bo"};
    QTest::newRow("names: spaces") << "SELECT [Order Details].[Unit Price] FROM [Order Details] ORDER BY [Order ID]"
                                   << "Unit Price" << QStringList{"1.25", "3"};
    QTest::newRow("names: alias with AS") << "SELECT c.Name FROM Customers AS c WHERE c.ID = 3" << "Name"
                                          << QStringList{"cy"};
    QTest::newRow("names: alias without AS") << "SELECT c.[Name] FROM Customers c WHERE c.ID = 3" << "Name"
                                             << QStringList{"cy"};
    QTest::newRow("names: bang qualifier") << "SELECT Customers!Name FROM Customers WHERE ID = 2" << "Name"
                                           << QStringList{"Bo"};
    QTest::newRow("names: table.*") << "SELECT Customers.* FROM Customers WHERE ID = 1"
                                    << "ID|Name|City|Joined|Vip|Credit"
                                    << QStringList{"1|Ann|Oslo|2/3/2001|True|100.5"};
    QTest::newRow("names: alias in WHERE") << "SELECT Credit * 2 AS Twice FROM Customers WHERE Twice > 200 "
                                              "ORDER BY ID"
                                           << "Twice" << QStringList{"201", "500.5"};
    QTest::newRow("names: any case") << "select name from CUSTOMERS where id = 5" << "name" << QStringList{"Eve"};
    QTest::newRow("names: aliases") << "SELECT Name AS Who, Credit * 2 AS Twice FROM Customers WHERE ID = 1"
                                    << "Who|Twice" << QStringList{"Ann|201"};
    QTest::newRow("names: expression positions") << "SELECT ID, ID + 1, Name, Len(Name) FROM Customers WHERE ID = 1"
                                                 << "ID|Expr1001|Name|Expr1003" << QStringList{"1|2|Ann|3"};
    QTest::newRow("names: bracketed alias") << "SELECT Name AS [The Name] FROM Customers WHERE ID = 2"
                                            << "The Name" << QStringList{"Bo"};
}

void TestJetSqlEndToEnd::names()
{
    checkStatement(m_shop);
}

// Literals, #dates# among them.
void TestJetSqlEndToEnd::literals_data()
{
    statementColumns();
    QTest::newRow("literals: numbers and strings")
        << "SELECT 1 + 2, 'a''b', \"q\"\"r\", 1.5, -4 FROM Customers WHERE ID = 1"
        << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004" << QStringList{"3|a'b|q\"r|1.5|-4"};
    QTest::newRow("literals: dates") << "SELECT #2/3/2001#, #2/3/2001 14:05:00#, #1999-12-31#, #14:30:00# "
                                        "FROM Customers WHERE ID = 1"
                                     << "Expr1000|Expr1001|Expr1002|Expr1003"
                                     << QStringList{"2/3/2001|2/3/2001 2:05:00 PM|12/31/1999|2:30:00 PM"};
    QTest::newRow("literals: date compare") << "SELECT Name FROM Customers WHERE Joined < #1/1/2002# ORDER BY ID"
                                            << "Name" << QStringList{"Ann", "Dag"};
    QTest::newRow("literals: True False Null") << "SELECT True, False, Null FROM Customers WHERE ID = 1"
                                               << "Expr1000|Expr1001|Expr1002" << QStringList{"-1|0|<null>"};
}

void TestJetSqlEndToEnd::literals()
{
    checkStatement(m_shop);
}

// Concatenation, arithmetic, logic; text compares without case.
void TestJetSqlEndToEnd::operators_data()
{
    statementColumns();
    QTest::newRow("concat: & with Null") << "SELECT Name & ' from ' & City FROM Customers WHERE ID IN (1, 4) "
                                            "ORDER BY ID"
                                         << "Expr1000" << QStringList{"Ann from Oslo", "Dag from "};
    QTest::newRow("concat: + with Null") << "SELECT Name + ' from ' + City FROM Customers WHERE ID IN (1, 4) "
                                            "ORDER BY ID"
                                         << "Expr1000" << QStringList{"Ann from Oslo", NullText};
    QTest::newRow("concat: & of numbers") << "SELECT 1 & 2, ID & '' FROM Customers WHERE ID = 3"
                                          << "Expr1000|Expr1001" << QStringList{"12|3"};
    QTest::newRow("arith: Mod \\ ^ /") << "SELECT 7 Mod 3, -7 Mod 3, 7 \\ 2, 2 ^ 10, 7 / 2 FROM Customers WHERE ID = 1"
                                       << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004"
                                       << QStringList{"1|-1|3|1024|3.5"};
    QTest::newRow("arith: operands rounded") << "SELECT 10.5 \\ 3, 11.5 \\ 2, 5.5 Mod 2 FROM Customers WHERE ID = 1"
                                             << "Expr1000|Expr1001|Expr1002" << QStringList{"3|6|0"};
    QTest::newRow("arith: precedence") << "SELECT 2 + 3 * 4 ^ 2, (2 + 3) * 4, 2 ^ 3 ^ 2 FROM Customers WHERE ID = 1"
                                       << "Expr1000|Expr1001|Expr1002" << QStringList{"50|20|64"};
    QTest::newRow("arith: Null propagates") << "SELECT Credit * 2 FROM Customers WHERE ID IN (1, 4) ORDER BY ID"
                                            << "Expr1000" << QStringList{"201", NullText};
    QTest::newRow("arith: dates") << "SELECT Placed + 1, Placed - #3/1/2003# FROM Orders WHERE OrderID = 11"
                                  << "Expr1000|Expr1001" << QStringList{"3/6/2003|4"};
    QTest::newRow("arith: date plus fractions") << "SELECT Placed + 0.5, Total + Placed FROM Orders "
                                                   "WHERE OrderID = 12"
                                                << "Expr1000|Expr1001"
                                                << QStringList{"4/10/2003 12:00:00 PM|4/15/2003 6:00:00 AM"};
    QTest::newRow("logic: And Or Not") << "SELECT Name FROM Customers WHERE Vip Or Credit > 200 ORDER BY ID"
                                       << "Name" << QStringList{"Ann", "cy", "Dag"};
    QTest::newRow("logic: Not with Null") << "SELECT Name FROM Customers WHERE Not (City = 'Oslo') ORDER BY ID"
                                          << "Name" << QStringList{"Bo", "Eve"};
    QTest::newRow("logic: Xor") << "SELECT Name FROM Customers WHERE ID = 1 Xor ID < 3" << "Name"
                                << QStringList{"Bo"};
    QTest::newRow("logic: values") << "SELECT 3 > 2, 3 < 2, True Eqv False, False Imp True, Not 0 "
                                      "FROM Customers WHERE ID = 1"
                                   << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004"
                                   << QStringList{"-1|0|0|-1|-1"};
    QTest::newRow("logic: <> and <=") << "SELECT ID FROM Customers WHERE ID <> 2 AND ID <= 3 ORDER BY ID" << "ID"
                                      << QStringList{"1", "3"};
    QTest::newRow("case: equality") << "SELECT Name FROM Customers WHERE City = 'OSLO' ORDER BY ID" << "Name"
                                    << QStringList{"Ann", "cy"};
    QTest::newRow("case: order") << "SELECT Name FROM Customers WHERE Name > 'b' ORDER BY Name" << "Name"
                                 << QStringList{"Bo", "cy", "Dag", "Eve"};
    QTest::newRow("case: grouping") << "SELECT Count(*) FROM Customers GROUP BY City HAVING City = 'oslo'"
                                    << "Expr1000" << QStringList{"2"};
    QTest::newRow("case: distinct") << "SELECT Count(*) FROM (SELECT DISTINCT City FROM Customers "
                                       "WHERE City Is Not Null) AS T"
                                    << "Expr1000" << QStringList{"3"};
}

void TestJetSqlEndToEnd::operators()
{
    checkStatement(m_shop);
}

// Like with Jet's wildcards, Between, In, Is Null.
void TestJetSqlEndToEnd::criteria_data()
{
    statementColumns();
    QTest::newRow("like: *") << "SELECT ID FROM Words WHERE W Like 'a*' ORDER BY ID" << "ID"
                             << QStringList{"1", "2", "3", "4", "7", "8", "10"};
    QTest::newRow("like: * first") << "SELECT ID FROM Words WHERE W Like '*C' ORDER BY ID" << "ID"
                                   << QStringList{"1", "3", "4", "8", "10"};
    QTest::newRow("like: ?") << "SELECT ID FROM Words WHERE W Like 'a?c' ORDER BY ID" << "ID"
                             << QStringList{"1", "3", "4", "8", "10"};
    QTest::newRow("like: #") << "SELECT ID FROM Words WHERE W Like 'a#c'" << "ID" << QStringList{"3"};
    QTest::newRow("like: range") << "SELECT ID FROM Words WHERE W Like 'a[a-c]?' ORDER BY ID" << "ID"
                                 << QStringList{"1", "2", "8"};
    QTest::newRow("like: negated class") << "SELECT ID FROM Words WHERE W Like 'a[!b]c' ORDER BY ID" << "ID"
                                         << QStringList{"3", "4", "10"};
    QTest::newRow("like: literal star") << "SELECT ID FROM Words WHERE W Like 'b[*]x'" << "ID"
                                        << QStringList{"5"};
    QTest::newRow("like: Not Like") << "SELECT ID FROM Words WHERE W Not Like 'a*' ORDER BY ID" << "ID"
                                    << QStringList{"5", "6"};
    QTest::newRow("like: whole value") << "SELECT ID FROM Words WHERE W Like 'ab'" << "ID" << QStringList{"7"};
    QStringList alternatives;
    for (int i = 0; i < 50000; ++i)
        alternatives.append(QStringLiteral("ID = %1").arg(i % 2 ? i : -i));
    QTest::newRow("50,000 alternatives") << "SELECT ID FROM Customers WHERE " + alternatives.join(" OR ")
            + " ORDER BY ID" << "ID" << QStringList{"1", "3", "5"};
    QTest::newRow("like: _ is no wildcard") << "SELECT ID FROM Signs WHERE S Like 'a_c'" << "ID" << QStringList{"1"};
    QTest::newRow("like: % is no wildcard") << "SELECT ID FROM Signs WHERE S Like '5%' OR S Like '*0%'" << "ID"
                                            << QStringList{"3"};
    QTest::newRow("like: . and backslash") << "SELECT ID FROM Signs WHERE S Like 'a.c' OR S Like 'a\\c' "
                                              "ORDER BY ID"
                                           << "ID" << QStringList{"4", "5"};
    QTest::newRow("like: quote") << "SELECT ID FROM Signs WHERE S Like 'a''*'" << "ID" << QStringList{"6"};
    QTest::newRow("like: trailing space counts") << "SELECT ID FROM Signs WHERE S Like 'a?c'" << "ID"
                                                 << QStringList{"1", "2", "4", "5", "6"};
    QTest::newRow("compare: trailing space counts") << "SELECT ID FROM Signs WHERE S = 'a c'" << "ID"
                                                    << QStringList{};
    QTest::newRow("like: as a value") << "SELECT 'abc' Like 'A*', 'abc' Like 'b*' FROM Words WHERE ID = 1"
                                      << "Expr1000|Expr1001" << QStringList{"-1|0"};
    QTest::newRow("between: numbers") << "SELECT OrderID FROM Orders WHERE Total Between 5 And 20 ORDER BY OrderID"
                                      << "OrderID" << QStringList{"10", "11", "12"};
    QTest::newRow("between: dates") << "SELECT OrderID FROM Orders WHERE Placed Between #3/5/2003# And #5/20/2003# "
                                       "ORDER BY OrderID"
                                    << "OrderID" << QStringList{"11", "12", "13"};
    QTest::newRow("between: Not") << "SELECT OrderID FROM Orders WHERE Total Not Between 5 And 20 ORDER BY OrderID"
                                  << "OrderID" << QStringList{"13", "14"};
    QTest::newRow("in: numbers") << "SELECT OrderID FROM Orders WHERE CustomerID In (1, 3) ORDER BY OrderID"
                                 << "OrderID" << QStringList{"10", "11", "13"};
    QTest::newRow("in: Not In") << "SELECT OrderID FROM Orders WHERE CustomerID Not In (1, 3) ORDER BY OrderID"
                                << "OrderID" << QStringList{"12", "14"};
    QTest::newRow("in: texts") << "SELECT ID FROM Customers WHERE City In ('OSLO', 'bergen') ORDER BY ID" << "ID"
                               << QStringList{"1", "2", "3"};
    QTest::newRow("is null") << "SELECT Name FROM Customers WHERE City Is Null" << "Name" << QStringList{"Dag"};
    QTest::newRow("is not null") << "SELECT OrderID FROM Orders WHERE Note Is Not Null ORDER BY OrderID"
                                 << "OrderID" << QStringList{"10", "12", "13", "14"};
    QTest::newRow("= Null is never true") << "SELECT Name FROM Customers WHERE City = Null" << "Name"
                                          << QStringList{};
}

void TestJetSqlEndToEnd::criteria()
{
    checkStatement(m_shop);
}

// DISTINCT, DISTINCTROW, TOP [PERCENT].
void TestJetSqlEndToEnd::predicates_data()
{
    statementColumns();
    QTest::newRow("distinct") << "SELECT DISTINCT CustomerID FROM Orders ORDER BY CustomerID" << "CustomerID"
                              << QStringList{"1", "2", "3", "9"};
    QTest::newRow("distinctrow") << "SELECT DISTINCTROW Product FROM Items ORDER BY Product" << "Product"
                                 << QStringList{"Apple", "Apple", "Melon", "Pear", "Plum"};
    QTest::newRow("top") << "SELECT TOP 2 OrderID, Total FROM Orders ORDER BY Total DESC" << "OrderID|Total"
                         << QStringList{"13|100", "11|20"};
    QTest::newRow("top keeps ties") << "SELECT TOP 1 Product FROM Items ORDER BY Price" << "Product"
                                    << QStringList{"Apple", "Apple"};
    QTest::newRow("top without order") << "SELECT TOP 3 Name FROM Customers" << "Name"
                                       << QStringList{"Ann", "Bo", "cy"};
    QTest::newRow("top by the primary key") << "SELECT TOP 2 OrderID FROM Orders ORDER BY OrderID DESC" << "OrderID"
                                            << QStringList{"14", "13"};
    // A join repeats the key: the rows tied with the last stay.
    QTest::newRow("top by a key a join repeats")
        << "SELECT Count(*) FROM (SELECT TOP 1 Orders.OrderID FROM Orders INNER JOIN Items "
           "ON Orders.OrderID = Items.OrderID ORDER BY Orders.OrderID)"
        << "Expr1000" << QStringList{"2"};
    QTest::newRow("top percent") << "SELECT TOP 40 PERCENT OrderID FROM Orders ORDER BY OrderID" << "OrderID"
                                 << QStringList{"10", "11"};
    QTest::newRow("top percent rounds up") << "SELECT TOP 50 PERCENT OrderID FROM Orders ORDER BY OrderID"
                                           << "OrderID" << QStringList{"10", "11", "12"};
}

void TestJetSqlEndToEnd::predicates()
{
    checkStatement(m_shop);
}

// Joins: inner, outer, nested in parentheses, by comma.
void TestJetSqlEndToEnd::joins_data()
{
    statementColumns();
    QTest::newRow("join: inner") << "SELECT Customers.Name, Orders.OrderID FROM Customers INNER JOIN Orders "
                                    "ON Customers.ID = Orders.CustomerID ORDER BY Orders.OrderID"
                                 << "Name|OrderID" << QStringList{"Ann|10", "Ann|11", "Bo|12", "cy|13"};
    QTest::newRow("join: left") << "SELECT Customers.Name, Orders.OrderID FROM Customers LEFT JOIN Orders "
                                   "ON Customers.ID = Orders.CustomerID ORDER BY Customers.ID, Orders.OrderID"
                                << "Name|OrderID"
                                << QStringList{"Ann|10", "Ann|11", "Bo|12", "cy|13", "Dag|<null>", "Eve|<null>"};
    QTest::newRow("join: left outer") << "SELECT Count(*) FROM Customers LEFT OUTER JOIN Orders "
                                         "ON Customers.ID = Orders.CustomerID"
                                      << "Expr1000" << QStringList{"6"};
    QTest::newRow("join: right") << "SELECT Customers.Name, Orders.OrderID FROM Customers RIGHT JOIN Orders "
                                    "ON Customers.ID = Orders.CustomerID ORDER BY Orders.OrderID"
                                 << "Name|OrderID" << QStringList{"Ann|10", "Ann|11", "Bo|12", "cy|13", "<null>|14"};
    QTest::newRow("join: nested left-deep")
        << "SELECT c.Name, i.Product FROM (Customers AS c INNER JOIN Orders AS o ON c.ID = o.CustomerID) "
           "INNER JOIN Items AS i ON o.OrderID = i.OrderID ORDER BY i.Product, c.Name"
        << "Name|Product" << QStringList{"Ann|Apple", "Ann|Apple", "cy|Melon", "Ann|Pear", "Bo|Plum"};
    QTest::newRow("join: nested on the right")
        << "SELECT c.Name, i.Product FROM Customers AS c INNER JOIN (Orders AS o INNER JOIN Items AS i "
           "ON o.OrderID = i.OrderID) ON c.ID = o.CustomerID ORDER BY i.Product, c.Name"
        << "Name|Product" << QStringList{"Ann|Apple", "Ann|Apple", "cy|Melon", "Ann|Pear", "Bo|Plum"};
    QTest::newRow("join: nested outer")
        << "SELECT Count(*), Count(Items.Product) FROM (Customers LEFT JOIN Orders "
           "ON Customers.ID = Orders.CustomerID) LEFT JOIN Items ON Orders.OrderID = Items.OrderID"
        << "Expr1000|Expr1001" << QStringList{"7|5"};
    QTest::newRow("join: doubly nested")
        << "SELECT Count(*) FROM ((Customers INNER JOIN Orders ON Customers.ID = Orders.CustomerID) "
           "INNER JOIN Items ON Orders.OrderID = Items.OrderID) INNER JOIN [Order Details] "
           "ON Orders.OrderID = [Order Details].[Order ID]"
        << "Expr1000" << QStringList{"3"};
    QTest::newRow("join: two conditions") << "SELECT Orders.OrderID, Items.Product FROM Orders INNER JOIN Items "
                                             "ON (Orders.OrderID = Items.OrderID AND Items.Qty > 2) ORDER BY Product"
                                          << "OrderID|Product" << QStringList{"10|Apple", "11|Apple", "13|Melon"};
    QTest::newRow("join: not on equality") << "SELECT Count(*) FROM Customers AS a INNER JOIN Customers AS b "
                                              "ON a.ID < b.ID"
                                           << "Expr1000" << QStringList{"10"};
    QTest::newRow("join: with a derived table")
        << "SELECT c.Name, t.S FROM Customers AS c INNER JOIN (SELECT CustomerID, Sum(Total) AS S FROM Orders "
           "GROUP BY CustomerID) AS t ON c.ID = t.CustomerID ORDER BY t.S"
        << "Name|S" << QStringList{"Bo|5.25", "Ann|29.5", "cy|100"};
    QTest::newRow("join: comma") << "SELECT Name, OrderID FROM Customers, Orders WHERE Customers.ID = "
                                    "Orders.CustomerID AND Total > 10 ORDER BY OrderID"
                                 << "Name|OrderID" << QStringList{"Ann|11", "cy|13"};
    QTest::newRow("join: cross") << "SELECT Count(*) FROM Customers, Orders" << "Expr1000" << QStringList{"25"};
    QTest::newRow("join: same column names")
        << "SELECT Orders.OrderID, Items.OrderID, Product FROM Orders INNER JOIN Items "
           "ON Orders.OrderID = Items.OrderID WHERE Product = 'Plum'"
        << "Orders.OrderID|Items.OrderID|Product" << QStringList{"12|12|Plum"};
    QTest::newRow("join: table.* with aliases")
        << "SELECT o.*, i.* FROM Orders AS o INNER JOIN Items AS i ON o.OrderID = i.OrderID WHERE i.Product = 'Plum'"
        << "o.OrderID|CustomerID|Total|Placed|Note|i.OrderID|Product|Qty|Price"
        << QStringList{"12|2|5.25|4/10/2003|rush|12|Plum|1|5.25"};
    QTest::newRow("join: *") << "SELECT * FROM Orders INNER JOIN [Order Details] "
                                "ON Orders.OrderID = [Order Details].[Order ID] ORDER BY OrderID"
                             << "OrderID|CustomerID|Total|Placed|Note|Order ID|Unit Price"
                             << QStringList{"10|1|9.5|3/1/2003|first|10|1.25", "12|2|5.25|4/10/2003|rush|12|3"};
}

void TestJetSqlEndToEnd::joins()
{
    checkStatement(m_shop);
}

// GROUP BY, HAVING and the aggregates.
void TestJetSqlEndToEnd::grouping_data()
{
    statementColumns();
    QTest::newRow("group: aggregates")
        << "SELECT CustomerID, Count(*), Sum(Total), Avg(Total), Min(Total), Max(Total) FROM Orders "
           "GROUP BY CustomerID ORDER BY CustomerID"
        << "CustomerID|Expr1001|Expr1002|Expr1003|Expr1004|Expr1005"
        << QStringList{"1|2|29.5|14.75|9.5|20", "2|1|5.25|5.25|5.25|5.25", "3|1|100|100|100|100", "9|1|1|1|1|1"};
    QTest::newRow("group: having") << "SELECT CustomerID, Count(*) AS N FROM Orders GROUP BY CustomerID "
                                      "HAVING Count(*) > 1"
                                   << "CustomerID|N" << QStringList{"1|2"};
    QTest::newRow("group: Count skips Null") << "SELECT Count(Note), Count(*) FROM Orders" << "Expr1000|Expr1001"
                                             << QStringList{"4|5"};
    QTest::newRow("group: First Last") << "SELECT First(Product), Last(Product) FROM Items" << "Expr1000|Expr1001"
                                       << QStringList{"Apple|Melon"};
    QTest::newRow("group: StDev Var") << "SELECT StDev(Qty), Var(Qty), StDevP(Qty), VarP(Qty) FROM Items"
                                      << "Expr1000|Expr1001|Expr1002|Expr1003"
                                      << QStringList{"3.53553390593274|12.5|3.16227766016838|10"};
    QTest::newRow("group: expression") << "SELECT Sum(Qty * Price) AS Amount FROM Items" << "Amount"
                                       << QStringList{"128.75"};
    QTest::newRow("group: by expression") << "SELECT Year(Placed), Count(*) FROM Orders GROUP BY Year(Placed)"
                                          << "Expr1000|Expr1001" << QStringList{"2003|5"};
    QTest::newRow("group: Yes/No summed") << "SELECT Sum(Vip), Min(Vip), Avg(Qty) FROM Customers, Items "
                                             "WHERE Items.OrderID = 10 AND Items.Qty = 3"
                                          << "Expr1000|Expr1001|Expr1002" << QStringList{"-2|True|3"};
    QTest::newRow("group: dates") << "SELECT Min(Placed), Max(Placed) FROM Orders" << "Expr1000|Expr1001"
                                  << QStringList{"3/1/2003|6/1/2003"};
    QTest::newRow("group: texts without case") << "SELECT Min(City), Max(Name) FROM Customers" << "Expr1000|Expr1001"
                                               << QStringList{"Bergen|Eve"};
    QTest::newRow("group: empty table aggregate") << "SELECT Count(*), Sum(Total) FROM Orders WHERE Total > 1000"
                                                  << "Expr1000|Expr1001" << QStringList{"0|<null>"};
}

void TestJetSqlEndToEnd::grouping()
{
    checkStatement(m_shop);
}

// ORDER BY.
void TestJetSqlEndToEnd::ordering_data()
{
    statementColumns();
    QTest::newRow("order: Null first") << "SELECT Name FROM Customers ORDER BY City, Name" << "Name"
                                       << QStringList{"Dag", "Bo", "Ann", "cy", "Eve"};
    QTest::newRow("order: descending") << "SELECT Name FROM Customers ORDER BY City DESC, Name" << "Name"
                                       << QStringList{"Eve", "Ann", "cy", "Bo", "Dag"};
    QTest::newRow("order: by expression") << "SELECT Product FROM Items ORDER BY Qty * Price DESC" << "Product"
                                          << QStringList{"Melon", "Apple", "Plum", "Apple", "Pear"};
    QTest::newRow("order: dates") << "SELECT ID FROM Customers WHERE Joined Is Not Null ORDER BY Joined DESC"
                                  << "ID" << QStringList{"5", "2", "1", "4"};
}

void TestJetSqlEndToEnd::ordering()
{
    checkStatement(m_shop);
}

// Sub-queries.
void TestJetSqlEndToEnd::subqueries_data()
{
    statementColumns();
    QTest::newRow("subquery: In") << "SELECT Name FROM Customers WHERE ID In (SELECT CustomerID FROM Orders "
                                     "WHERE Total > 9) ORDER BY Name"
                                  << "Name" << QStringList{"Ann", "cy"};
    QTest::newRow("subquery: Exists") << "SELECT Name FROM Customers WHERE Exists (SELECT * FROM Orders "
                                         "WHERE Orders.CustomerID = Customers.ID) ORDER BY ID"
                                      << "Name" << QStringList{"Ann", "Bo", "cy"};
    QTest::newRow("subquery: Not Exists") << "SELECT Name FROM Customers AS c WHERE Not Exists (SELECT * FROM Orders "
                                             "AS o WHERE o.CustomerID = c.ID) ORDER BY ID"
                                          << "Name" << QStringList{"Dag", "Eve"};
    QTest::newRow("subquery: scalar") << "SELECT Name, (SELECT Count(*) FROM Orders WHERE Orders.CustomerID = "
                                         "Customers.ID) AS N FROM Customers ORDER BY ID"
                                      << "Name|N" << QStringList{"Ann|2", "Bo|1", "cy|1", "Dag|0", "Eve|0"};
    QTest::newRow("subquery: compared") << "SELECT OrderID FROM Orders WHERE Total > (SELECT Avg(Total) FROM Orders)"
                                        << "OrderID" << QStringList{"13"};
    QTest::newRow("subquery: one row as a value")
        << "SELECT OrderID FROM Orders WHERE CustomerID = (SELECT ID FROM Customers WHERE Name Like 'B*')"
        << "OrderID" << QStringList{"12"};
    QTest::newRow("subquery: no row is Null")
        << "SELECT Count(*) FROM Orders WHERE CustomerID = (SELECT ID FROM Customers WHERE Name = 'Zed')"
        << "Expr1000" << QStringList{"0"};
    QTest::newRow("subquery: > All") << "SELECT OrderID FROM Orders WHERE Total > All (SELECT Credit FROM Customers "
                                        "WHERE Credit < 100)"
                                     << "OrderID" << QStringList{"13"};
    QTest::newRow("subquery: = Any") << "SELECT Name FROM Customers WHERE ID = Any (SELECT CustomerID FROM Orders) "
                                        "ORDER BY ID"
                                     << "Name" << QStringList{"Ann", "Bo", "cy"};
    QTest::newRow("subquery: < Some") << "SELECT OrderID FROM Orders WHERE Total < Some (SELECT Total FROM Orders "
                                         "WHERE OrderID > 12) ORDER BY OrderID"
                                      << "OrderID" << QStringList{"10", "11", "12", "14"};
    QTest::newRow("subquery: = Any without case")
        << "SELECT Name FROM Customers WHERE City = Any (SELECT City FROM Customers WHERE Name = 'Ann') ORDER BY ID"
        << "Name" << QStringList{"Ann", "cy"};
    QTest::newRow("subquery: All correlated")
        << "SELECT OrderID FROM Orders AS o WHERE o.Total >= All (SELECT p.Total FROM Orders AS p "
           "WHERE p.CustomerID = o.CustomerID) ORDER BY OrderID"
        << "OrderID" << QStringList{"11", "12", "13", "14"};
    QTest::newRow("subquery: All of no rows") << "SELECT Count(*) FROM Customers WHERE ID > All (SELECT CustomerID "
                                                 "FROM Orders WHERE Total > 1000)"
                                              << "Expr1000" << QStringList{"5"};
    QTest::newRow("subquery: Any of no rows") << "SELECT Count(*) FROM Customers WHERE ID = Any (SELECT CustomerID "
                                                 "FROM Orders WHERE Total > 1000)"
                                              << "Expr1000" << QStringList{"0"};
    QTest::newRow("subquery: All with a Null")
        << "SELECT ID, Credit < All (SELECT Credit FROM Customers WHERE ID > 3) AS B FROM Customers ORDER BY ID"
        << "ID|B" << QStringList{"1|0", "2|<null>", "3|0", "4|<null>", "5|0"};
    QTest::newRow("subquery: Any with a Null")
        << "SELECT ID, Credit > Any (SELECT Credit FROM Customers WHERE ID > 3) AS B FROM Customers ORDER BY ID"
        << "ID|B" << QStringList{"1|-1", "2|<null>", "3|-1", "4|<null>", "5|<null>"};
    QTest::newRow("subquery: derived table")
        << "SELECT Max(T.S) FROM (SELECT CustomerID, Sum(Total) AS S FROM Orders GROUP BY CustomerID) AS T"
        << "Expr1000" << QStringList{"100"};
    QString nested = QStringLiteral("SELECT ID, Name FROM Customers WHERE ID < 3");
    for (int i = 1; i <= 49; ++i)
        nested = QStringLiteral("SELECT * FROM (%1) AS s%2").arg(nested).arg(i);
    QTest::newRow("subquery: 49 derived tables deep") << nested + " ORDER BY ID" << "ID|Name"
                                                      << QStringList{"1|Ann", "2|Bo"};
    QString within = QStringLiteral("SELECT ID FROM Customers WHERE ID < 3");
    for (int i = 1; i <= 48; ++i)
        within = QStringLiteral("SELECT ID FROM Customers WHERE ID IN (%1)").arg(within);
    QTest::newRow("subquery: 49 IN subqueries deep") << within + " ORDER BY ID" << "ID" << QStringList{"1", "2"};
}

void TestJetSqlEndToEnd::subqueries()
{
    checkStatement(m_shop);
}

// UNION [ALL].
void TestJetSqlEndToEnd::unions_data()
{
    statementColumns();
    QTest::newRow("union") << "SELECT Name FROM Customers WHERE ID <= 2 UNION SELECT Product FROM Items "
                              "WHERE Qty > 3 ORDER BY Name"
                           << "Name" << QStringList{"Ann", "Apple", "Bo", "Melon"};
    QTest::newRow("union: duplicates go") << "SELECT Product FROM Items UNION SELECT Product FROM Items "
                                             "ORDER BY Product"
                                          << "Product" << QStringList{"Apple", "Melon", "Pear", "Plum"};
    QTest::newRow("union all") << "SELECT CustomerID FROM Orders WHERE OrderID < 12 UNION ALL SELECT ID "
                                  "FROM Customers WHERE ID < 3 ORDER BY CustomerID"
                               << "CustomerID" << QStringList{"1", "1", "1", "2"};
    QTest::newRow("union: without case") << "SELECT Count(*) FROM (SELECT City FROM Customers WHERE ID = 1 "
                                            "UNION SELECT City FROM Customers WHERE ID = 3) AS U"
                                         << "Expr1000" << QStringList{"1"};
}

void TestJetSqlEndToEnd::unions()
{
    checkStatement(m_shop);
}

// VBA functions Jet knows outside Access.
void TestJetSqlEndToEnd::functions_data()
{
    statementColumns();
    QTest::newRow("vba: text") << "SELECT Left(Name, 2), Right(Name, 2), Mid(Name, 2, 1), Len(Name), UCase(Name), "
                                  "LCase(Name), InStr(Name, 'N') FROM Customers WHERE ID = 1"
                               << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004|Expr1005|Expr1006"
                               << QStringList{"An|nn|n|3|ANN|ann|2"};
    QTest::newRow("vba: trim space string") << "SELECT '[' & Trim('  x ') & ']', '[' & LTrim(' x ') & ']', "
                                               "'[' & RTrim(' x ') & ']', Space(2) & 'y', String(3, 'z') "
                                               "FROM Customers WHERE ID = 1"
                                            << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004"
                                            << QStringList{"[x]|[x ]|[ x]|  y|zzz"};
    QTest::newRow("vba: IIf") << "SELECT IIf(Vip, 'yes', 'no') FROM Customers ORDER BY ID" << "Expr1000"
                              << QStringList{"yes", "no", "no", "yes", "no"};
    QTest::newRow("vba: Format") << "SELECT Format(Joined, 'yyyy-mm-dd'), Format(Credit, '0.00'), "
                                    "Format(1234.5, '#,##0.00'), Format(#2/3/2001#, 'dddd d mmmm yyyy') "
                                    "FROM Customers WHERE ID = 1"
                                 << "Expr1000|Expr1001|Expr1002|Expr1003"
                                 << QStringList{"2001-02-03|100.50|1,234.50|Saturday 3 February 2001"};
    QTest::newRow("vba: Format named") << "SELECT Format(0.5, 'Percent'), Format(Joined, 'Short Date'), "
                                          "Format(Joined, 'hh:nn') FROM Customers WHERE ID = 2"
                                       << "Expr1000|Expr1001|Expr1002" << QStringList{"50.00%|6/15/2002|13:45"};
    QTest::newRow("vba: date parts") << "SELECT Year(Joined), Month(Joined), Day(Joined), Weekday(Joined), "
                                        "Hour(Joined), Minute(Joined) FROM Customers WHERE ID = 2"
                                     << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004|Expr1005"
                                     << QStringList{"2002|6|15|7|13|45"};
    QTest::newRow("vba: date arithmetic") << "SELECT DateAdd('m', 1, Joined), DateDiff('d', #1/1/2001#, Joined), "
                                             "DatePart('q', Joined), DateSerial(2001, 2, 30) "
                                             "FROM Customers WHERE ID = 1"
                                          << "Expr1000|Expr1001|Expr1002|Expr1003"
                                          << QStringList{"3/3/2001|33|1|3/2/2001"};
    QTest::newRow("vba: conversions") << "SELECT CStr(12), CLng(2.5), CLng(3.5), CDbl('1.25'), Val('12abc'), "
                                         "Str(5), CInt(-2.5) FROM Customers WHERE ID = 1"
                                      << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004|Expr1005|Expr1006"
                                      << QStringList{"12|2|4|1.25|12| 5|-2"};
    QTest::newRow("vba: math") << "SELECT Abs(-3), Int(-2.5), Fix(-2.5), Round(2.5), Round(3.14159, 2), Sgn(-7), "
                                  "Sqr(16) FROM Customers WHERE ID = 1"
                               << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004|Expr1005|Expr1006"
                               << QStringList{"3|-3|-2|2|3.14|-1|4"};
    QTest::newRow("vba: Format of numbers") << "SELECT Format(-1234.567, '#,##0.0'), Format(0.075, '0.0%'), "
                                               "Format(5, '000'), Format(1234.5, 'Standard'), Format(3, 'Fixed') "
                                               "FROM Customers WHERE ID = 1"
                                            << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004"
                                            << QStringList{"-1,234.6|7.5%|005|1,234.50|3.00"};
    QTest::newRow("vba: Format of dates") << "SELECT Format(Joined, 'mmm d, yyyy'), Format(Joined, 'ddd'), "
                                             "Format(Joined, 'General Date'), Format(Joined, 'Long Time') "
                                             "FROM Customers WHERE ID = 2"
                                          << "Expr1000|Expr1001|Expr1002|Expr1003"
                                          << QStringList{"Jun 15, 2002|Sat|6/15/2002 1:45:00 PM|1:45:00 PM"};
    QTest::newRow("vba: DateDiff and DatePart") << "SELECT DateDiff('yyyy', #12/31/2000#, #1/1/2001#), "
                                                   "DateDiff('m', #1/31/2001#, #2/1/2001#), "
                                                   "DateDiff('h', #1/1/2001#, #1/2/2001 6:00#), "
                                                   "DatePart('ww', #1/7/2001#), DatePart('y', #2/1/2001#) "
                                                   "FROM Customers WHERE ID = 1"
                                                << "Expr1000|Expr1001|Expr1002|Expr1003|Expr1004"
                                                << QStringList{"1|1|30|2|32"};
    QTest::newRow("vba: DateAdd") << "SELECT DateAdd('d', -1, #3/1/2004#), DateAdd('m', 1, #1/31/2001#), "
                                     "DateAdd('yyyy', 1, #2/29/2004#), DateAdd('n', 90, #1/1/2001#) "
                                     "FROM Customers WHERE ID = 1"
                                  << "Expr1000|Expr1001|Expr1002|Expr1003"
                                  << QStringList{"2/29/2004|2/28/2001|2/28/2005|1/1/2001 1:30:00 AM"};
    QTest::newRow("vba: Null handling") << "SELECT IsNull(City), Len(City), UCase(City) FROM Customers WHERE ID = 4"
                                        << "Expr1000|Expr1001|Expr1002" << QStringList{"-1|<null>|<null>"};
}

void TestJetSqlEndToEnd::functions()
{
    checkStatement(m_shop);
}

// ---- saved queries, read as tables

// A file written by Access: crosstab, exact money, TOP ties, Like, DISTINCTROW.
void TestJetSqlEndToEnd::realFile_data()
{
    statementColumns();
    QTest::newRow("crosstab") << "TRANSFORM Sum(Cost) AS Total SELECT Owner FROM [Asset Items] GROUP BY Owner "
                                 "PIVOT [Asset Category]"
                              << "Owner|Computer Hardware|Computer Software|General Equipment|Office Furniture"
                              << QStringList{"Admin & Accounts|16332|<null>|3744|1212",
                                             "Maintenance|6974.5|899|4656|3504",
                                             "Management|<null>|<null>|<null>|3425.5",
                                             "Production|9784.5|<null>|1200|6861", "Sales|18804|<null>|11849|8919"};
    QTest::newRow("crosstab in list") << "TRANSFORM Count(*) SELECT Owner FROM [Asset Items] "
                                         "WHERE Owner = 'Management' GROUP BY Owner "
                                         "PIVOT [Asset Category] IN ('Office Furniture', 'Nothing')"
                                      << "Owner|Office Furniture|Nothing" << QStringList{"Management|1|<null>"};
    QTest::newRow("money summed exactly") << "SELECT Sum(Cost), Max(Cost) + 0.01, Min(Cost) FROM [Asset Items]"
                                          << "Expr1000|Expr1001|Expr1002" << QStringList{"98164.5|6799.01|244"};
    QTest::newRow("top keeps ties, by position") << "SELECT Count(*), Min(Cost) FROM (SELECT TOP 3 Cost, [Asset No] "
                                                    "FROM [Asset Items] ORDER BY 1 DESC)"
                                                 << "Expr1000|Expr1001" << QStringList{"4|5433"};
    QTest::newRow("like") << "SELECT Count(*) FROM [Asset Items] WHERE [Serial No] Like '*77*' OR Description Like "
                             "'*CHAIR*'"
                          << "Expr1000" << QStringList{"18"};
    QTest::newRow("distinctrow of one table") << "SELECT Count(*) FROM (SELECT DISTINCTROW Owner FROM [Asset Items])"
                                              << "Expr1000" << QStringList{"65"};
}

void TestJetSqlEndToEnd::realFile()
{
    const QString path = qEnvironmentVariable("KOLTA_SHARED_MDB", QStringLiteral(KOLTA_SHARED_MDB))
                         + QStringLiteral("/ASampleDatabase.accdb");
    if (!QFileInfo::exists(path))
        QSKIP("the real Access files are not here");
    checkStatement(path);
}

void TestJetSqlEndToEnd::savedQueries_data()
{
    statementColumns();

    QTest::newRow("where, order") << "SELECT * FROM [Oslo Customers]" << "Name|City"
                                  << QStringList{"cy|oslo", "Ann|Oslo"};
    QTest::newRow("join, group, having, aliases") << "SELECT * FROM [Order Totals]" << "Customer|Spent|N"
                                                  << QStringList{"cy|100|1", "Ann|29.5|2"};
    QTest::newRow("top") << "SELECT * FROM [Top Orders]" << "OrderID|Total" << QStringList{"13|100", "11|20"};
    QTest::newRow("top without order") << "SELECT TOP 3 Name FROM Customers" << "Name"
                                       << QStringList{"Ann", "Bo", "cy"};
    QTest::newRow("top percent") << "SELECT * FROM [Top Percent]" << "OrderID" << QStringList{"10", "11"};
    QTest::newRow("distinct") << "SELECT Town FROM Cities ORDER BY Town" << "Town"
                              << QStringList{"BERGEN", "OSLO", "TRONDHEIM"};
    // one row per customer with orders, not per order
    QTest::newRow("distinctrow") << "SELECT Name FROM Buyers ORDER BY Name" << "Name"
                                 << QStringList{"Ann", "Bo", "cy"};
    QTest::newRow("left join") << "SELECT * FROM [All Customers] WHERE OrderID Is Null ORDER BY Name"
                               << "Name|OrderID" << QStringList{"Dag|<null>", "Eve|<null>"};
    QTest::newRow("right join") << "SELECT * FROM [All Orders] WHERE Name Is Null" << "Name|OrderID"
                                << QStringList{"<null>|14"};
    QTest::newRow("nested joins") << "SELECT * FROM Bought ORDER BY Product, Name" << "Name|Product"
                                  << QStringList{"Ann|Apple", "Ann|Apple", "cy|Melon", "Ann|Pear", "Bo|Plum"};
    QTest::newRow("outer join chain") << "SELECT Count(*), Count(Product) FROM Chain" << "Expr1000|Expr1001"
                                      << QStringList{"7|5"};
    QTest::newRow("keywords inside strings") << "SELECT * FROM Labels" << "Label"
                                             << QStringList{"Eve (Trondheim)", "Dag ()", "cy (oslo)", "Bo (Bergen)",
                                                            "Ann (Oslo)"};
    QTest::newRow("star") << "SELECT OrderID, Note FROM [Big Orders] ORDER BY OrderID" << "OrderID|Note"
                          << QStringList{"11|<null>", "13|big"};
    QTest::newRow("query of a query") << "SELECT * FROM Regulars" << "Customer" << QStringList{"Ann"};
    QTest::newRow("crosstab of a query") << "TRANSFORM Sum(Total) SELECT CustomerID FROM [Big Orders] "
                                            "GROUP BY CustomerID PIVOT Month(Placed)"
                                         << "CustomerID|3|5" << QStringList{"1|20|<null>", "3|<null>|100"};
    QTest::newRow("50 deep") << "SELECT Name FROM Nested50 ORDER BY ID" << "Name" << QStringList{"Ann", "Bo"};
    QTest::newRow("joined with a table")
        << "SELECT q.Customer, c.City FROM [Order Totals] AS q INNER JOIN Customers AS c ON q.Customer = c.Name "
           "ORDER BY c.City DESC"
        << "Customer|City" << QStringList{"cy|oslo", "Ann|Oslo"};
    QTest::newRow("in a sub-query") << "SELECT Name FROM Customers WHERE Name In (SELECT Customer FROM Regulars)"
                                    << "Name" << QStringList{"Ann"};
    QTest::newRow("name in any case") << "SELECT Count(*) FROM [oslo customers]" << "Expr1000" << QStringList{"2"};
    QTest::newRow("union") << "SELECT * FROM [Names] ORDER BY Name" << "Name"
                           << QStringList{"Ann", "Apple", "Bo", "Melon"};
    QTest::newRow("union all, ordered") << "SELECT * FROM [Every Product]" << "Product"
                                        << QStringList{"Apple", "Apple", "Melon", "Pear", "Pear", "Plum"};
    QTest::newRow("crosstab") << "SELECT * FROM [Spent by Month] WHERE CustomerID < 9 ORDER BY CustomerID"
                              << "CustomerID|3|4|5|6"
                              << QStringList{"1|29.5|<null>|<null>|<null>", "2|<null>|5.25|<null>|<null>",
                                             "3|<null>|<null>|100|<null>"};
}

// Saved queries of real files, as Jet reads them.
void TestJetSqlEndToEnd::corpusSavedQueries_data()
{
    QTest::addColumn<QString>("file");
    statementColumns();
    QTest::newRow("group by, no type row")
        << "ASampleDatabase.accdb" << "SELECT * FROM qryCostsSummedByOwner" << "Owner|Asset Category|SumOfCost"
        << QStringList{"Admin & Accounts|Computer Hardware|16332", "Admin & Accounts|General Equipment|3744",
                       "Admin & Accounts|Office Furniture|1212",   "Maintenance|Computer Hardware|6974.5",
                       "Maintenance|Computer Software|899",        "Maintenance|General Equipment|4656",
                       "Maintenance|Office Furniture|3504",        "Management|Office Furniture|3425.5",
                       "Production|Computer Hardware|9784.5",      "Production|General Equipment|1200",
                       "Production|Office Furniture|6861",         "Sales|Computer Hardware|18804",
                       "Sales|General Equipment|11849",            "Sales|Office Furniture|8919"};
    QTest::newRow("where, order by") << "ASampleDatabase.accdb"
                                     << "SELECT Count(*), Sum(Cost) FROM qryComputerHardwareInOwnerOrder"
                                     << "Expr1000|Expr1001" << QStringList{"24|51895"};
    QTest::newRow("qualified columns")
        << "ASampleDatabase.accdb" << "SELECT * FROM qryComputerHardwareInOwnerOrder WHERE [Asset No] = '30110'"
        << "Asset No|Owner|Asset Category|Make|Model|Cost"
        << QStringList{"30110|Admin & Accounts|Computer Hardware|GEO Blast|Laptop VVZ|5999"};
    QTest::newRow("expressions with aliases")
        << "ASampleDatabase.accdb" << "SELECT * FROM qryGSTCalculations WHERE [Asset No] = '30052'"
        << "Asset No|Make|Model|Acquired|Cost|Ex Tax|GST" << QStringList{"30052|FurnTown|GasRiser|9/2/1997|244|200|44"};
    QTest::newRow("all fields, distinctrow") << "ASampleDatabase.accdb"
                                             << "SELECT Count(*) FROM [~sq_ffrmAssetInventory]" << "Expr1000"
                                             << QStringList{"65"};
    QTest::newRow("star and joins, type row")
        << "queryTestV2007.accdb" << "SELECT * FROM SelectQuery"
        << "Table1.col1|Table1.col2|Table1.col3|Table2.col1|Table2.col2|Table3.col3" << QStringList{};
}

void TestJetSqlEndToEnd::corpusSavedQueries()
{
    const QString corpus = QStringLiteral(KOLTA_SHARED_MDB);
    if (!QFileInfo::exists(corpus))
        QSKIP("the shared corpus of real files is not here");
    QFETCH(QString, file);
    checkStatement(corpus + QLatin1Char('/') + file);
}

void TestJetSqlEndToEnd::savedQueries()
{
    checkStatement(m_shop);
}

// Values for parameters, bound by the engine, never put into the statement:
// the same through the program's client and on the command line.
void TestJetSqlEndToEnd::parameters_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("rows");   // or
    QTest::addColumn<QString>("error");

    const QString between = QStringLiteral("SELECT * FROM [Joined Between]");
    QTest::newRow("saved query's dates") << between << QStringList{"Beginning Date=1/1/2001", "Ending Date=12/31/2002"}
                                         << QStringList{"Ann", "Bo"} << "";
    QTest::newRow("names without case") << between << QStringList{"ending date=2001-12-31", "BEGINNING DATE=1/1/1990"}
                                        << QStringList{"Ann", "Dag"} << "";
    QTest::newRow("one missing") << between << QStringList{"Beginning Date=1/1/2001"} << QStringList{}
                                 << "Too few parameters. Expected 1.";
    QTest::newRow("none given") << between << QStringList{} << QStringList{} << "Too few parameters. Expected 2.";
    QTest::newRow("not a date") << between << QStringList{"Beginning Date=31/31/2001", "Ending Date=1/1/2002"}
                                << QStringList{} << "The parameter [Beginning Date]: '31/31/2001' is not a date.";
    QTest::newRow("undeclared beside the saved query's")
        << "SELECT * FROM [Joined Between] WHERE Name <> [Forms]![Main]![Skip]"
        << QStringList{"Beginning Date=1/1/2001", "Ending Date=12/31/2002", "Forms!Main!Skip=Bo"}
        << QStringList{"Ann"} << "";
    QTest::newRow("crosstab headings read with the values")
        << "PARAMETERS [From] DateTime; TRANSFORM Count(*) SELECT Year(Placed) AS Y FROM Orders "
           "WHERE Placed >= [From] GROUP BY Year(Placed) PIVOT CustomerID"
        << QStringList{"From=5/1/2003"} << QStringList{"2003|1|1"} << "";
    QTest::newRow("declared Long") << "PARAMETERS n Long; SELECT Name FROM Customers WHERE ID = n"
                                   << QStringList{"n=2"} << QStringList{"Bo"} << "";
    QTest::newRow("undeclared compared with a number") << "SELECT Name FROM Customers WHERE ID > [Above] ORDER BY ID"
                                                       << QStringList{"Above=3"} << QStringList{"Dag", "Eve"} << "";
    QTest::newRow("injection is data") << "SELECT Name FROM Customers WHERE Name = [Who]"
                                       << QStringList{"Who=x' OR 'a'='a'; DROP TABLE Customers; --"} << QStringList{}
                                       << "";
    QTest::newRow("quotes kept as typed") << "SELECT [Who] AS Echo FROM Customers WHERE ID = 1"
                                          << QStringList{"Who='; DROP TABLE x; --\"\""}
                                          << QStringList{"'; DROP TABLE x; --\"\""} << "";
    QTest::newRow("empty is Null") << "SELECT Name FROM Customers WHERE City = [c] OR [c] Is Null ORDER BY ID"
                                   << QStringList{"c="} << QStringList{"Ann", "Bo", "cy", "Dag", "Eve"} << "";
}

void TestJetSqlEndToEnd::parameters()
{
    QFETCH(QString, statement);
    QFETCH(QStringList, values);
    QFETCH(QStringList, rows);
    QFETCH(QString, error);
    const Outcome client = viaDataControl(m_shop, statement, values);
    QCOMPARE(client.error, error);
    QCOMPARE(client.rows, rows);
    const Outcome line = viaCommandLine(m_shop, statement, true, values);
    QCOMPARE(line.error, error);
    QCOMPARE(line.rows, rows);
    QCOMPARE(viaDataControl(m_shop, QStringLiteral("SELECT Count(*) FROM Customers")).rows, QStringList{"5"});
}

// The writer's PARAMETERS rows are those Access wrote for a query declaring
// [User Name] Text, and the engine reads them back as declared.
void TestJetSqlEndToEnd::parameterRowsAsAccessWrites()
{
    const QString rowsStatement = QStringLiteral("SELECT Attribute, Flag, Name1, Name2, Expression FROM MSysQueries "
                                                 "WHERE Attribute = 2");
    const Outcome access = viaDataControl(QStringLiteral(KOLTA_SHARED_MDB "/queryTestV2007.accdb"), rowsStatement);
    QCOMPARE(access.error, QString());
    QCOMPARE(access.rows, QStringList{"2|10|User Name|<null>|<null>"});

    jetwriter::Database db = shop();
    db.queries = {{QStringLiteral("Named"),
                   QStringLiteral("PARAMETERS [User Name] Text (255); SELECT ID FROM Customers WHERE Name = [User Name]")}};
    const QString path = m_dir.filePath(QStringLiteral("named.mdb"));
    QCOMPARE(jetwriter::write(path, db), QString());
    QCOMPARE(viaDataControl(path, rowsStatement).rows, access.rows);

    const auto parameters = m_engine.client()->parameters({path, QString(), QStringLiteral("Admin"), QString()},
                                                          QStringLiteral("SELECT * FROM Named"));
    QVERIFY(parameters.ok());
    QCOMPARE(parameters.value().size(), 1);
    QCOMPARE(parameters.value().first().name, QStringLiteral("User Name"));
    QCOMPARE(parameters.value().first().type, 10);
    QCOMPARE(viaDataControl(path, QStringLiteral("SELECT * FROM Named"), {"User Name=cy"}).rows, QStringList{"3"});
}

// ---- every column type of the writer

void TestJetSqlEndToEnd::columnTypes_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("shown");     // the grid's text
    QTest::addColumn<QString>("raw");       // kolta-engine query --raw
    // The second row holds Nulls; the writer stores a Null Yes/No as No, as Jet does.
    QTest::addColumn<QString>("nullShown");
    QTest::addColumn<QString>("nullRaw");

    QTest::newRow("Yes/No") << "Flag" << "True" << "-1" << "False" << "0";
    QTest::newRow("Byte") << "Tiny" << "7" << "7" << NullText << "";
    QTest::newRow("Integer") << "Small" << "-300" << "-300" << NullText << "";
    QTest::newRow("Currency") << "Price" << "1234.5678" << "1234.5678" << NullText << "";
    QTest::newRow("Single") << "Ratio" << "0.1" << "0.1" << NullText << "";
    QTest::newRow("Double") << "Measure" << "-2.25" << "-2.25" << NullText << "";
    QTest::newRow("Date/Time with time") << "When" << "2/3/2001 4:05:06 PM" << "2001-02-03 16:05:06" << NullText << "";
    QTest::newRow("Date/Time without time") << "Day" << "12/31/1999" << "1999-12-31 00:00:00" << NullText << "";
    QTest::newRow("Binary") << "Blob" << "(binary data)" << "01ab" << NullText << "";
    QTest::newRow("Text with a tab") << "Title" << "tab\there" << "tab\\there" << NullText << "";
    QTest::newRow("OLE Object") << "Picture" << "(binary data)" << "6f6c65" << NullText << "";
    QTest::newRow("Replication ID") << "Guid" << "{12345678-1234-1234-1234-123456789ABC}"
                                    << "{12345678-1234-1234-1234-123456789ABC}" << NullText << "";
    QTest::newRow("Decimal") << "Amount" << "-123.4567" << "-123.4567" << NullText << "";
    QTest::newRow("expression over a date") << "When + 1" << "2/4/2001 4:05:06 PM" << "2001-02-04 16:05:06"
                                            << NullText << "";
    QTest::newRow("date moved out of range") << "When + 3000000" << "3036925.67020833" << "3036925.67020833"
                                             << NullText << "";
    QTest::newRow("Yes/No in an expression") << "Not Flag" << "0" << "0" << "-1" << "-1";
}

void TestJetSqlEndToEnd::columnTypes()
{
    QFETCH(QString, column);
    QFETCH(QString, shown);
    QFETCH(QString, raw);
    QFETCH(QString, nullShown);
    QFETCH(QString, nullRaw);
    const QString statement = QStringLiteral("SELECT %1 FROM Everything ORDER BY ID").arg(column);

    const Outcome grid = viaDataControl(m_types, statement);
    QCOMPARE(grid.error, QString());
    QCOMPARE(grid.rows, (QStringList{shown, nullShown}));

    // The command line shows Null as nothing at all.
    const Outcome line = viaCommandLine(m_types, statement);
    QCOMPARE(line.error, QString());
    QCOMPARE(line.rows, (QStringList{raw, nullRaw}));
    const Outcome display = viaCommandLine(m_types, statement, false);
    QCOMPARE(display.error, QString());
    QCOMPARE(display.rows.first(), QString(shown).replace(u'\t', QLatin1String("\\t")));
}

void TestJetSqlEndToEnd::longValues()
{
    const Outcome grid = viaDataControl(m_types, QStringLiteral("SELECT Notes, Len(Notes), Picture FROM Everything "
                                                                "ORDER BY ID"));
    QCOMPARE(grid.error, QString());
    QCOMPARE(grid.rows.size(), 2);
    QCOMPARE(grid.rows.at(0), m_memo + QStringLiteral("|5000|(binary data)"));
    QCOMPARE(grid.rows.at(1), QStringLiteral("<null>|<null>|<null>"));
    const Outcome line = viaCommandLine(m_types, QStringLiteral("SELECT Mid(Notes, 4990) FROM Everything "
                                                                "WHERE ID = 1"));
    QCOMPARE(line.rows, QStringList{m_memo.mid(4989)});
}

// ---- the newer column types of real Access 2010 and 2019 files, as the grid shows them

void TestJetSqlEndToEnd::accessTwentyTenValues_data()
{
    QTest::addColumn<QString>("file");
    statementColumns();
    QTest::newRow("attachments and multi-valued") << "complexDataTestV2010.accdb"
        << "SELECT id, [multi-value-data], [attach-data] FROM Table1"
        << "id|multi-value-data|attach-data"
        << QStringList{"row1|<null>|<null>", "row2|value1; value4|test_data.txt; test_data2.txt",
                       "row3|value1; value2; value3; value4|<null>", "row4|<null>|test_data2.txt"};
    QTest::newRow("calculated") << "calcFieldTestV2010.accdb"
        << "SELECT LastFirst, LastFirstLen, MonthlySalary, IsRich, AllNames, DecimalTest, BoolTest FROM Table1 "
           "WHERE ID = 2"
        << "LastFirst|LastFirstLen|MonthlySalary|IsRich|AllNames|DecimalTest|BoolTest"
        << QStringList{"Simpson, Bart|13|-0.0833|False|Simpson, Bart=Simpson, Bart|-36.2222|True"};
    QTest::newRow("calculated from calculated") << "calcFieldTestV2010.accdb"
        << "SELECT ID FROM Table1 WHERE Abs(WeeklySalary * 52 - Salary) > 0.001 "
           "OR Abs(FloatTest - Salary * 0.13 / DecimalTest) > 0.001"
        << "ID" << QStringList{};
    QTest::newRow("decimal, every digit") << "calcFieldTestV2010.accdb"
        << "SELECT ID, Popularity, BigNumTest FROM Table1 WHERE ID In (1, 4) ORDER BY Popularity DESC"
        << "ID|Popularity|BigNumTest"
        << QStringList{"4|102030405060.654321|0.000000278701928982421698083", "1|50.325|56505085819.42479129657228018"};
    // The exact sum has 31 digits: it keeps the 29 a Decimal holds.
    QTest::newRow("decimal sums") << "calcFieldTestV2010.accdb"
        << "SELECT Sum(BigNumTest), Max(Popularity) - 1 FROM Table1"
        << "Expr1000|Expr1001" << QStringList{"56505085819.346318125356147863|102030405059.654321"};
    QTest::newRow("decimal sorts by value") << "calcFieldTestV2010.accdb"
        << "SELECT DISTINCT Popularity FROM Table1 ORDER BY 1 DESC"
        << "Popularity" << QStringList{"102030405060.654321", "50.325", "0.0123", "-36.2222"};
    // The file keeps Access's own text of each extended date beside it.
    QTest::newRow("extended date/time") << "extDateTestV2019.accdb"
        << "SELECT Count(*), Count(DateExt) FROM Table1 WHERE DateExt = DateExtStr OR DateExt Is Null"
        << "Expr1000|Expr1001" << QStringList{"9|8"};
}

void TestJetSqlEndToEnd::accessTwentyTenValues()
{
    QFETCH(QString, file);
    const QString path = QStringLiteral(KOLTA_SHARED_MDB "/") + file;
    if (!QFileInfo::exists(path))
        QSKIP("The real-world files are not here.");
    checkStatement(path);
}

// ---- what only reads is accepted; nothing else, and the file stays as it was

void TestJetSqlEndToEnd::refusals_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("reason");

    QTest::newRow("insert") << "INSERT INTO Customers (ID, Name) VALUES (9, 'x')"
                            << "INSERT statements change the database";
    QTest::newRow("insert select") << "INSERT INTO Customers SELECT * FROM Customers"
                                   << "INSERT statements change the database";
    QTest::newRow("update") << "UPDATE Customers SET Name = 'x'" << "UPDATE statements change the database";
    QTest::newRow("delete") << "DELETE FROM Customers" << "DELETE statements change the database";
    QTest::newRow("delete *") << "DELETE * FROM Customers WHERE ID = 1" << "DELETE statements change the database";
    QTest::newRow("select into") << "SELECT * INTO Copy FROM Customers" << "SELECT ... INTO creates a table";
    QTest::newRow("create") << "CREATE TABLE T (A Long)" << "statements change the database's design";
    QTest::newRow("drop") << "DROP TABLE Customers" << "statements change the database's design";
    QTest::newRow("alter") << "ALTER TABLE Customers ADD COLUMN X Long" << "statements change the database's design";
    QTest::newRow("attach") << "ATTACH DATABASE 'x.db' AS x" << "Invalid SQL statement";
    QTest::newRow("pragma") << "PRAGMA writable_schema = 1" << "Invalid SQL statement";
    QTest::newRow("two statements") << "SELECT * FROM Customers; DELETE FROM Customers"
                                    << "Characters found after end of SQL statement.";
    QTest::newRow("two selects") << "SELECT * FROM Customers; SELECT * FROM Orders"
                                 << "Characters found after end of SQL statement.";
    QTest::newRow("other database") << "SELECT * FROM Customers IN 'other.mdb'" << "Tables of other databases";
    QTest::newRow("other database bracket") << "SELECT * FROM [;DATABASE=other.mdb].Customers"
                                            << "Tables of other databases";
    QTest::newRow("sqlite function") << "SELECT load_extension('x') FROM Customers"
                                     << "Undefined function 'load_extension' in expression.";
    QTest::newRow("sqlite catalog") << "SELECT * FROM sqlite_master" << "cannot find the input table or query "
                                                                        "'sqlite_master'";
    QTest::newRow("saved action query") << "SELECT * FROM [Delete Small]"
                                        << "The saved query 'Delete Small' is not a select query";
}

void TestJetSqlEndToEnd::refusals()
{
    QFETCH(QString, statement);
    QFETCH(QString, reason);
    const FileState before = stateOf(m_shop);
    const Outcome got = viaDataControl(m_shop, statement);
    QVERIFY2(got.error.contains(reason), qPrintable(got.error));
    const Outcome line = viaCommandLine(m_shop, statement);
    QVERIFY2(line.error.contains(reason), qPrintable(line.error));
    QCOMPARE(line.names, QString());
    QVERIFY(stateOf(m_shop) == before);
    QCOMPARE(viaDataControl(m_shop, QStringLiteral("SELECT Count(*) FROM Customers")).rows, QStringList{"5"});
}

// ---- Jet's errors, in Jet's words

void TestJetSqlEndToEnd::jetErrors_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("error");

    QTest::newRow("syntax: misspelt FROM after a column")
        << "SELECT Name FORM Customers" << "Syntax error (missing operator) in query expression 'Name FORM Customers'.";
    QTest::newRow("syntax: misspelt keyword")
        << "SELECT * FORM Customers"
        << "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, "
           "or the punctuation is incorrect.";
    QTest::newRow("syntax: missing operator") << "SELECT * FROM Customers WHERE ID = 1 Name = 'x'"
                                              << "Syntax error (missing operator) in query expression "
                                                 "'ID = 1 Name = 'x''.";
    QTest::newRow("syntax: string") << "SELECT * FROM Customers WHERE Name = 'Ann"
                                    << "Syntax error in string in query expression 'Name = 'Ann'.";
    QTest::newRow("syntax: date") << "SELECT * FROM Customers WHERE Joined = #13/45/2001#"
                                  << "Syntax error in date in query expression 'Joined = #13/45/2001#'.";
    QTest::newRow("syntax: join") << "SELECT * FROM Customers INNER JOIN Orders"
                                  << "Syntax error in JOIN operation.";
    QTest::newRow("syntax: from") << "SELECT * FROM" << "Syntax error in FROM clause.";
    QTest::newRow("not a statement") << "SHOW TABLES"
                                     << "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', "
                                        "'SELECT', or 'UPDATE'.";
    QTest::newRow("unknown table") << "SELECT * FROM Nowhere"
                                   << "The Microsoft Jet database engine cannot find the input table or query "
                                      "'Nowhere'. Make sure it exists and that its name is spelled correctly.";
    QTest::newRow("unknown column") << "SELECT Nme FROM Customers" << "Too few parameters. Expected 1.";
    QTest::newRow("two unknown columns") << "SELECT Nme FROM Customers WHERE Cty = 'x' AND Nme <> ''"
                                         << "Too few parameters. Expected 2.";
    QTest::newRow("unknown qualified column") << "SELECT Customers.Nme FROM Customers"
                                              << "Too few parameters. Expected 1.";
    QTest::newRow("subquery: several rows as a value")
        << "SELECT OrderID FROM Orders WHERE CustomerID = (SELECT ID FROM Customers WHERE City Like 'O*')"
        << "At most one record can be returned by this subquery.";
    QTest::newRow("type mismatch") << "SELECT * FROM Customers WHERE ID = 'x'"
                                   << "Data type mismatch in criteria expression.";
    QTest::newRow("ambiguous") << "SELECT OrderID FROM Orders, Items"
                               << "The specified field 'OrderID' could refer to more than one table listed in the "
                                  "FROM clause of your SQL statement.";
    QTest::newRow("not aggregated") << "SELECT Name, Count(*) FROM Customers GROUP BY City"
                                    << "You tried to execute a query that does not include the specified expression "
                                       "'Name' as part of an aggregate function.";
    QTest::newRow("aggregate in where") << "SELECT * FROM Customers WHERE Count(*) > 1"
                                        << "Cannot have aggregate function in WHERE clause (Count(*) > 1).";
    QTest::newRow("Nz") << "SELECT Nz(City, 'none') FROM Customers" << "Undefined function 'Nz' in expression.";
    QTest::newRow("unknown function") << "SELECT Frobnicate(1) FROM Customers"
                                      << "Undefined function 'Frobnicate' in expression.";
    QTest::newRow("union columns") << "SELECT ID, Name FROM Customers UNION SELECT OrderID FROM Orders"
                                   << "The number of columns in the two selected tables or queries of a union query "
                                      "do not match.";
    QTest::newRow("saved query: circular") << "SELECT * FROM Loop1" << "Circular reference caused by 'Loop1'.";
    QTest::newRow("saved query: missing table")
        << "SELECT * FROM [Gone Table]"
        << "The Microsoft Jet database engine cannot find the input table or query 'Gone'. Make sure it exists and "
           "that its name is spelled correctly.";
    QTest::newRow("saved query: unknown name") << "SELECT * FROM Asks" << "Too few parameters. Expected 1.";
    QTest::newRow("run time: Null") << "SELECT CInt(City) FROM Customers WHERE ID = 4" << "Invalid use of Null";
    QTest::newRow("run time: overflow") << "SELECT CInt(100000) FROM Customers" << "Overflow";
    QTest::newRow("run time: division") << "SELECT 1 \\ 0 FROM Customers" << "Division by zero";
    // Deep or long statements end in Jet's words, never on the end of a stack.
    const QString tooComplex = QStringLiteral("Query is too complex.");
    QTest::newRow("3,000 parentheses") << "SELECT " + QString(3000, u'(') + "1" + QString(3000, u')')
            + " FROM Customers" << tooComplex;
    QStringList terms(5000, QStringLiteral("ID"));
    QTest::newRow("5,000-term sum") << "SELECT " + terms.join(u'+') + " FROM Customers" << tooComplex;
    QTest::newRow("10,000 Nots") << "SELECT ID FROM Customers WHERE " + QStringLiteral("Not ").repeated(10000)
            + "ID = 1" << tooComplex;
    QTest::newRow("5,000 nested calls") << "SELECT " + QStringLiteral("Abs(").repeated(5000) + "ID"
            + QString(5000, u')') + " FROM Customers" << tooComplex;
    QTest::newRow("60 nested subqueries") << "SELECT ID FROM Customers WHERE ID IN ("
            + QStringLiteral("SELECT ID FROM Customers WHERE ID IN (").repeated(60) + "1"
            + QString(61, u')') << tooComplex;
    QString derived = QStringLiteral("SELECT ID FROM Customers");
    for (int i = 1; i <= 60; ++i)
        derived = QStringLiteral("SELECT * FROM (%1) AS s%2").arg(derived).arg(i);
    QTest::newRow("60 nested derived tables") << derived << tooComplex;
    QTest::newRow("51 nested saved queries") << "SELECT * FROM Nested51" << tooComplex;
    QTest::newRow("100 nested joins") << "SELECT c0.ID FROM " + QString(100, u'(') + "Customers AS c0"
            + [] {
                  QString joins;
                  for (int i = 1; i <= 100; ++i)
                      joins += QStringLiteral(" INNER JOIN Customers AS c%1 ON c%1.ID = c0.ID)").arg(i);
                  return joins;
              }() << tooComplex;
    QTest::newRow("text too long") << "SELECT Replace(Space(10000000), ' ', Space(1000)) FROM Customers"
                                   << "Out of string space";
    QTest::newRow("number too large") << "SELECT 1E999 FROM Customers" << "Overflow";
}

void TestJetSqlEndToEnd::jetErrors()
{
    QFETCH(QString, statement);
    QFETCH(QString, error);
    const Outcome got = viaDataControl(m_shop, statement);
    QCOMPARE(got.error, error);
    const Outcome line = viaCommandLine(m_shop, statement);
    QCOMPARE(line.error, error);
}

// ---- a statement that fails part-way

// The rows read go to a scratch store of bounded size: a result beyond it
// ends with the reason, and the rows read before stay readable.
void TestJetSqlEndToEnd::scratchStoreBound()
{
    qputenv("KOLTA_SCRATCH_LIMIT_MB", "2");
    jet::DBEngine engine;
    engine.client()->setProgram(qEnvironmentVariable("KOLTA_ENGINE"));
    jet::DataControl data(engine);
    data.DatabaseName = m_shop;
    data.RecordSource = QStringLiteral("SELECT ID, Space(5000) & ID AS Pad FROM Series");
    const auto refreshed = data.Refresh();
    qunsetenv("KOLTA_SCRATCH_LIMIT_MB");
    QVERIFY2(refreshed.ok(), qPrintable(messageOf(refreshed)));
    const auto recordset = data.Recordset();
    const qint64 first = recordset->rowsRead();
    QVERIFY(first > 0);
    const auto more = recordset->fetchMore(1000);
    QVERIFY(!more.ok());
    QVERIFY2(more.error().message.contains(QLatin1String("larger than the 2 MB")), qPrintable(more.error().message));
    QVERIFY(recordset->atEnd());
    QCOMPARE(recordset->rowsRead(), first);
    const auto rows = recordset->rows(first - 2, 10);
    QVERIFY2(rows.ok(), qPrintable(rows.ok() ? QString() : rows.error().message));
    QCOMPARE(rows.value().size(), 2);
    QCOMPARE(rows.value().last().at(0).toString(), QString::number(first));
    QCOMPARE(rows.value().last().at(1).toString(), QString(5000, u' ') + QString::number(first));
}

// Rows go on only while half of what was free at the start is left: another
// program (or statement) filling the same disk stops them before the disk
// is full. Needs a small disk of its own: a tmpfs, where the test may mount.
void TestJetSqlEndToEnd::scratchStoreLeavesOthersRoom()
{
    QTemporaryDir folder;
    if (::geteuid() != 0
        || QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                       QStringLiteral("size=16m"), QStringLiteral("tmpfs"), folder.path()})
            != 0)
        QSKIP("cannot mount a small disk here");
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {folder.path()}); });
    const auto freeSpace = [&] {
        struct statvfs space;
        return ::statvfs(QFile::encodeName(folder.path()).constData(), &space) == 0
            ? qint64(space.f_bavail) * qint64(space.f_frsize) : qint64(-1);
    };
    const QByteArray before = qgetenv("SQLITE_TMPDIR");
    qputenv("SQLITE_TMPDIR", QFile::encodeName(folder.path()));
    jet::DBEngine engine;
    engine.client()->setProgram(qEnvironmentVariable("KOLTA_ENGINE"));
    jet::DataControl data(engine);
    data.DatabaseName = m_shop;
    data.RecordSource = QStringLiteral("SELECT ID, Space(20000) & ID AS Pad, ID * 2 AS Twice, 'x' AS Mark FROM Series");
    const auto refreshed = data.Refresh();
    qputenv("SQLITE_TMPDIR", before);
    QVERIFY2(refreshed.ok(), qPrintable(messageOf(refreshed)));
    // The other program takes all but a quarter of what is left.
    QFile other(folder.filePath(QStringLiteral("other")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    const qint64 taken = freeSpace() * 3 / 4;
    for (qint64 written = 0; written < taken; written += 1 << 16)
        QVERIFY(other.write(QByteArray(1 << 16, 'x')) == 1 << 16);
    QVERIFY(other.flush());
    const auto recordset = data.Recordset();
    const qint64 first = recordset->rowsRead();
    const auto more = recordset->fetchMore(1000);
    QVERIFY(!more.ok());
    QVERIFY2(more.error().message.contains(QLatin1String("filling up")), qPrintable(more.error().message));
    QCOMPARE(recordset->rowsRead(), first);
    QVERIFY2(freeSpace() > (1 << 20), qPrintable(QString::number(freeSpace())));
    // Even with the disk full to the last byte, the rows read can be read.
    while (other.write(QByteArray(1 << 16, 'x')) > 0 && other.flush()) {
    }
    const auto rows = recordset->rows(0, 10);
    QVERIFY2(rows.ok(), qPrintable(rows.ok() ? QString() : rows.error().message));
    QCOMPARE(rows.value().size(), int(qMin<qint64>(first, 10)));
    QCOMPARE(rows.value().first().at(0).toString(), QStringLiteral("1"));
}

// A table the list shows but whose definition cannot be read is named in
// the error as the list shows it, with what is wrong.
void TestJetSqlEndToEnd::unreadableTable()
{
    QByteArray bytes;
    {
        QFile shop(m_shop);
        QVERIFY(shop.open(QIODevice::ReadOnly));
        bytes = shop.readAll();
    }
    const auto file = jet::engine::JetFile::open(m_shop);
    QVERIFY2(file.ok(), file.ok() ? "" : qPrintable(file.error().message));
    const auto read = file.value()->readCatalog();
    QVERIFY(read.ok());
    const QList<jet::engine::CatalogEntry> &entries = read.value();
    const auto orders = std::find_if(entries.cbegin(), entries.cend(),
                                     [](const auto &e) { return e.name == QLatin1String("Orders"); });
    QVERIFY(orders != entries.cend());
    // The table's definition page no longer says it is one.
    bytes[qsizetype(orders->id & 0x00FFFFFF) * 4096] = 0x01;
    const QString path = m_dir.filePath(QStringLiteral("unreadable.mdb"));
    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    QCOMPARE(damaged.write(bytes), bytes.size());
    damaged.close();
    const Outcome got = viaDataControl(path, QStringLiteral("SELECT * FROM Orders"));
    QVERIFY2(got.error.startsWith(QStringLiteral("Cannot read the table \"Orders\" of \"%1\": ").arg(path)),
             qPrintable(got.error));
    QVERIFY(got.error.endsWith(u'.'));
    QCOMPARE(viaDataControl(path, QStringLiteral("SELECT Count(*) FROM Customers")).rows, QStringList{"5"});
}

void TestJetSqlEndToEnd::failureAfterRows()
{
    // CInt overflows from ID 328 on (32,800), after the rows Refresh reads:
    // the rows before it come first, the error with the next read, and the
    // rows read stay.
    jet::DataControl data(m_engine);
    data.DatabaseName = m_shop;
    data.RecordSource = QStringLiteral("SELECT ID, CInt(ID * 100) AS Hundreds FROM Series");
    const auto refreshed = data.Refresh();
    QVERIFY2(refreshed.ok(), qPrintable(messageOf(refreshed)));
    const auto recordset = data.Recordset();
    QCOMPARE(recordset->rowsRead(), 256);
    QVERIFY(!recordset->atEnd());
    auto more = recordset->fetchMore(1000);
    QVERIFY(more.ok());
    QCOMPARE(more.value(), 327 - 256);
    QVERIFY(!recordset->atEnd());
    more = recordset->fetchMore(1000);
    QVERIFY(!more.ok());
    QCOMPARE(more.error().message, QStringLiteral("Overflow"));
    QVERIFY(recordset->atEnd());
    QCOMPARE(recordset->rowsRead(), 327);
    const auto rows = recordset->rows(320, 100);
    QVERIFY(rows.ok());
    QCOMPARE(rows.value().size(), 7);
    QCOMPARE(joined(rows.value().last()), QStringLiteral("327|32700"));
    // Nothing more comes after the end.
    more = recordset->fetchMore(1000);
    QVERIFY(more.ok());
    QCOMPARE(more.value(), 0);

    // Failing within the first rows Refresh reads (on the fourth row here,
    // or on the first): Refresh fails, as Jet refuses such a statement, and
    // the old result stays.
    for (const char *statement : {"SELECT CInt(ID * 10000) FROM Series", "SELECT CInt(ID * 100000) FROM Series"}) {
        data.RecordSource = QString::fromLatin1(statement);
        const auto failed = data.Refresh();
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().message, QStringLiteral("Overflow"));
        QCOMPARE(data.Recordset(), recordset);
    }

    // The command line prints the rows, then the error, and fails.
    const Outcome line = viaCommandLine(m_shop, QStringLiteral("SELECT ID, CInt(ID * 100) FROM Series"));
    QCOMPARE(line.error, QStringLiteral("Overflow"));
    QCOMPARE(line.names, QStringLiteral("ID|Expr1001"));
    QCOMPARE(line.rows.size(), 327);
    QCOMPARE(line.rows.last(), QStringLiteral("327|32700"));
}

// ---- kolta-engine query by hand

void TestJetSqlEndToEnd::commandLine()
{
    Outcome got = viaCommandLine(m_shop, QStringLiteral("SELECT Name, Joined, Vip, Credit FROM Customers "
                                                        "WHERE ID <= 2 ORDER BY ID"));
    QCOMPARE(got.error, QString());
    QCOMPARE(got.names, QStringLiteral("Name|Joined|Vip|Credit"));
    QCOMPARE(got.rows, (QStringList{"Ann|2001-02-03 00:00:00|-1|100.5", "Bo|2002-06-15 13:45:00|0|0"}));
    got = viaCommandLine(m_shop, QStringLiteral("SELECT Name, Joined, Vip, Credit FROM Customers "
                                                "WHERE ID <= 2 ORDER BY ID"), false);
    QCOMPARE(got.rows, (QStringList{"Ann|2/3/2001|True|100.5", "Bo|6/15/2002 1:45:00 PM|False|0"}));

    // Separators inside values and names are escaped, a backslash too.
    got = viaCommandLine(m_shop, QStringLiteral("SELECT 'a' & Chr(9) & 'b' & Chr(10) & 'c' & Chr(13) & '\\' "
                                                "AS [x\\y], '' AS Empty, Null AS Nothing FROM Customers "
                                                "WHERE ID = 1"));
    QCOMPARE(got.error, QString());
    QCOMPARE(got.names, QStringLiteral("x\\\\y|Empty|Nothing"));
    QCOMPARE(got.rows, QStringList{"a\\tb\\nc\\r\\\\||"});

    // Saved queries, a login, options anywhere.
    QProcess process;
    process.start(EngineProgram, {QStringLiteral("query"), QStringLiteral("--user"), QStringLiteral("bob"),
                                  QStringLiteral("--system-db"), m_workgroup, m_shop,
                                  QStringLiteral("SELECT * FROM [Top Orders]"), QStringLiteral("--raw"),
                                  QStringLiteral("--password"), QStringLiteral("pw")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("OrderID\tTotal\n13\t100\n11\t20\n"));
}

void TestJetSqlEndToEnd::commandLineFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("no statement") << QStringList{"query", "x.mdb"} << 2 << "usage: kolta-engine query FILE STATEMENT";
    QTest::newRow("too many") << QStringList{"query", "x.mdb", "SELECT 1", "more"} << 2 << "usage: kolta-engine query";
    QTest::newRow("option without value") << QStringList{"query", "x.mdb", "SELECT 1", "--user"} << 2
                                          << "kolta-engine: --user needs a value";
    QTest::newRow("param without a name") << QStringList{"query", "x.mdb", "SELECT 1", "--param", "=1"} << 2
                                          << "kolta-engine: --param needs NAME=VALUE";
    QTest::newRow("missing file") << QStringList{"query", "/nonexistent/x.mdb", "SELECT * FROM T"} << 1
                                  << "Cannot open \"/nonexistent/x.mdb\"";
    QTest::newRow("missing workgroup") << QStringList{"query", "@shop", "SELECT * FROM Customers", "--system-db",
                                                      "/nonexistent/system.mdw"}
                                       << 1 << "system.mdw";
    QTest::newRow("not an account") << QStringList{"query", "@shop", "SELECT * FROM Customers", "--system-db",
                                                   "@workgroup", "--user", "Users"}
                                    << 1 << "the user \"Users\" is not an account of the workgroup file";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "usage: kolta-engine [serve]";
}

void TestJetSqlEndToEnd::commandLineFailures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    args.replaceInStrings(QStringLiteral("@shop"), m_shop);
    args.replaceInStrings(QStringLiteral("@workgroup"), m_workgroup);
    QProcess process;
    process.start(EngineProgram, args);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), exitCode);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QString message = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(message.contains(error), qPrintable(message));
}

void TestJetSqlEndToEnd::commandLineHelpAndVersion()
{
    QProcess help;
    help.start(EngineProgram, {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(30000));
    QCOMPARE(help.exitCode(), 0);
    QCOMPARE(help.readAllStandardError(), QByteArray());
    const QByteArray usage = help.readAllStandardOutput();
    QVERIFY2(usage.startsWith("usage: kolta-engine [serve]\n"), usage.constData());
    QVERIFY(usage.contains("usage: kolta-engine query FILE STATEMENT"));

    QProcess version;
    version.start(EngineProgram, {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(30000));
    QCOMPARE(version.exitCode(), 0);
    QCOMPARE(version.readAllStandardError(), QByteArray());
    const QString line = QString::fromUtf8(version.readAllStandardOutput());
    QVERIFY2(QRegularExpression(QStringLiteral("^kolta-engine \\d+(\\.\\d+)*\n$")).match(line).hasMatch(),
             qPrintable(line));
}

// ---- Stop ends a long statement; the next one runs in a fresh engine

void TestJetSqlEndToEnd::stopDuringStatement()
{
    jetwriter::Database db;
    QList<Row> numbers;
    for (int i = 1; i <= 3000; ++i)
        numbers.append(Row{i, QStringLiteral("n%1").arg(i)});
    const QList<jetwriter::Column> columns = {{QStringLiteral("N"), ColumnType::Long},
                                              {QStringLiteral("Label"), ColumnType::Text, 20}};
    db.tables = {table(QStringLiteral("A"), columns, numbers), table(QStringLiteral("B"), columns, numbers)};
    const QString path = m_dir.filePath(QStringLiteral("numbers.mdb"));
    QCOMPARE(jetwriter::write(path, db), QString());

    jet::DBEngine engine;
    engine.client()->setProgram(EngineProgram);
    jet::DataControl data(engine);
    data.DatabaseName = path;
    data.RecordSource = QStringLiteral("SELECT Count(*), Max(Len(A.Label & B.Label)) FROM A, B "
                                       "WHERE A.N Mod 7 <> B.N Mod 5");
    int calls = 0;
    engine.setWaitHook([&](int elapsedMs) {
        ++calls;
        return elapsedMs < 300;
    });
    const auto stopped = data.Refresh();
    QVERIFY(!stopped.ok());
    QVERIFY2(messageOf(stopped).endsWith(QLatin1String("stopped.")), qPrintable(messageOf(stopped)));
    QVERIFY(calls > 0);
    QCOMPARE(engine.client()->processId(), 0);
    const int starts = engine.client()->startCount();

    engine.setWaitHook([](int) { return true; });
    data.RecordSource = QStringLiteral("SELECT Count(*) FROM A WHERE N > 2990");
    const auto next = data.Refresh();
    QVERIFY2(next.ok(), qPrintable(messageOf(next)));
    QCOMPARE(engine.client()->startCount(), starts + 1);
    const auto rows = next.value()->rows(0, 1);
    QVERIFY(rows.ok());
    QCOMPARE(joined(rows.value().first()), QStringLiteral("10"));
}

// ---- saved queries as Access stores them, beyond what the writer makes

void TestJetSqlEndToEnd::rebuildQuery_data()
{
    using jet::engine::QueryAttribute;
    QTest::addColumn<QList<QueryAttribute>>("rows");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("refusal");

    const auto row = [](int attribute, int flag, const QString &name1 = QString(), const QString &name2 = QString(),
                        const QString &expression = QString()) {
        return QueryAttribute{attribute, flag, name1, name2, expression};
    };
    QTest::newRow("all fields by flag") << QList<QueryAttribute>{row(0, 0), row(3, 0x01), row(5, 0, "T"), row(255, 0)}
                                        << "SELECT * FROM [T]" << "";
    QTest::newRow("top percent by two bits") << QList<QueryAttribute>{row(0, 0), row(3, 0x30, "25"), row(5, 0, "T"),
                                                                       row(6, 0, QString(), QString(), "A")}
                                             << "SELECT TOP 25 PERCENT A FROM [T]" << "";
    QTest::newRow("distinct and top") << QList<QueryAttribute>{row(0, 0), row(3, 0x12, "3"), row(5, 0, "T"),
                                                                row(6, 0, QString(), QString(), "A")}
                                      << "SELECT DISTINCT TOP 3 A FROM [T]" << "";
    QTest::newRow("rows out of order")
        << QList<QueryAttribute>{row(11, 0, "D", QString(), "A"), row(6, 0, "X", QString(), "A + 1"), row(0, 0),
                                 row(5, 0, "T", "t"), row(8, 0, QString(), QString(), "A > 1")}
        << "SELECT A + 1 AS [X] FROM [T] AS [t] WHERE A > 1 ORDER BY A DESC" << "";
    QTest::newRow("join nested on the right")
        << QList<QueryAttribute>{row(0, 0), row(5, 0, "A"), row(5, 0, "B"), row(5, 0, "C"), row(6, 0, {}, {}, "*"),
                                 row(7, 1, "B", "C", "B.x = C.x"), row(7, 2, "A", "B", "A.y = B.y")}
        << "SELECT * FROM [A] LEFT JOIN ([B] INNER JOIN [C] ON B.x = C.x) ON A.y = B.y" << "";
    QTest::newRow("second condition of a join")
        << QList<QueryAttribute>{row(0, 0), row(5, 0, "A"), row(5, 0, "B"), row(6, 0, {}, {}, "*"),
                                 row(7, 1, "A", "B", "A.x = B.x"), row(7, 1, "A", "B", "A.y = B.y")}
        << "SELECT * FROM [A] INNER JOIN [B] ON (A.x = B.x) AND (A.y = B.y)" << "";
    QTest::newRow("joined and listed tables")
        << QList<QueryAttribute>{row(0, 0), row(5, 0, "A"), row(5, 0, "B"), row(5, 0, "C"), row(6, 0, {}, {}, "*"),
                                 row(7, 3, "A", "C", "A.x = C.x")}
        << "SELECT * FROM [A] RIGHT JOIN [C] ON A.x = C.x, [B]" << "";
    QTest::newRow("group and having")
        << QList<QueryAttribute>{row(0, 0), row(5, 0, "T"), row(6, 0, {}, {}, "A"), row(6, 0, "N", {}, "Count(*)"),
                                 row(9, 0, {}, {}, "A"), row(9, 0, {}, {}, "B"), row(10, 0, {}, {}, "Count(*) > 1")}
        << "SELECT A, Count(*) AS [N] FROM [T] GROUP BY A, B HAVING Count(*) > 1" << "";
    QTest::newRow("select typed by attribute 1") << QList<QueryAttribute>{row(0, 0), row(1, 1), row(5, 0, "T"),
                                                                           row(6, 0, {}, {}, "A")}
                                                  << "SELECT A FROM [T]" << "";
    QTest::newRow("make-table") << QList<QueryAttribute>{row(0, 0), row(1, 2), row(5, 0, "T"), row(6, 0, {}, {}, "A")}
                                << ""
                                << "The saved query 'Q' is not a select query (its type: make-table); "
                                   "only select queries can be read here.";
    QTest::newRow("update") << QList<QueryAttribute>{row(0, 0), row(1, 4), row(5, 0, "T")} << ""
                            << "The saved query 'Q' is not a select query (its type: update); "
                                   "only select queries can be read here.";
    QTest::newRow("union all") << QList<QueryAttribute>{row(0, 0), row(1, 9), row(3, 1),
                                                         row(5, 0, {}, "X7YZ_____1", "SELECT A FROM T\r\n"),
                                                         row(5, 0, {}, "X7YZ_____2", "SELECT B FROM U;")}
                               << "SELECT A FROM T UNION ALL SELECT B FROM U" << "";
    QTest::newRow("union, ordered") << QList<QueryAttribute>{row(0, 0), row(1, 9), row(3, 3),
                                                              row(5, 0, {}, "X7YZ_____2", "SELECT B FROM U"),
                                                              row(5, 0, {}, "X7YZ_____1", "SELECT A FROM T"),
                                                              row(11, 0, "D", {}, "A")}
                                    << "SELECT A FROM T UNION SELECT B FROM U ORDER BY A DESC" << "";
    QTest::newRow("crosstab")
        << QList<QueryAttribute>{row(0, 0), row(1, 6), row(5, 0, "T"), row(6, 0, "N", {}, "Count(*)"),
                                 row(6, 2, {}, {}, "A"), row(6, 1, {}, {}, "B"), row(9, 2, {}, {}, "A"),
                                 row(9, 1, {}, {}, "B")}
        << "TRANSFORM Count(*) AS [N] SELECT A FROM [T] GROUP BY A PIVOT B" << "";
    // As Access writes them (queryTestV2007.accdb): Name1 the name, Flag the DAO type.
    QTest::newRow("parameters") << QList<QueryAttribute>{row(0, 0), row(2, 4, "Which"), row(2, 10, "User Name"),
                                                         row(5, 0, "T"), row(6, 0, {}, {}, "A")}
                                << "PARAMETERS [Which] Long, [User Name] Text; SELECT A FROM [T]" << "";
    QTest::newRow("no rows") << QList<QueryAttribute>{} << ""
                             << "The saved query 'Q' is not a select query; only select queries can be read here.";
    // A catalog chaining hundreds of joins (only damage writes one).
    QList<QueryAttribute> chain{row(0, 1), row(3, 0x01)};
    for (int i = 0; i <= 300; ++i)
        chain.append(row(5, 0, QStringLiteral("T%1").arg(i)));
    for (int i = 1; i <= 300; ++i)
        chain.append(row(7, 1, QStringLiteral("T%1").arg(i - 1), QStringLiteral("T%1").arg(i), "1 = 1"));
    QTest::newRow("300 chained joins") << chain << "" << "Query is too complex.";
}

void TestJetSqlEndToEnd::rebuildQuery()
{
    QFETCH(QList<jet::engine::QueryAttribute>, rows);
    QFETCH(QString, sql);
    QFETCH(QString, refusal);
    const Result<QString> rebuilt = jet::engine::rebuildQuery(QStringLiteral("Q"), rows);
    QCOMPARE(rebuilt.ok() ? rebuilt.value() : QString(), sql);
    QCOMPARE(rebuilt.ok() ? QString() : rebuilt.error().message, refusal);
}

QTEST_GUILESS_MAIN(TestJetSqlEndToEnd)
#include "tst_jetsql_e2e.moc"
