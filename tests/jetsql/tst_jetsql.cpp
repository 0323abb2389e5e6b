#include "jetsql.h"
#include "values.h"

#include <QtTest>
#include <sqlite3.h>

using namespace kolta::jetsql;

namespace {

// Stand-ins for the .mdb tables: ordinary SQLite tables holding values the way
// the engine's virtual tables deliver them (dates as OLE days, Yes/No -1/0,
// Currency in ten-thousandths).
const char *const kSetup[] = {
    "CREATE TABLE Customers (CustomerID INTEGER, Name TEXT, City TEXT, Active INTEGER, Joined REAL)",
    "INSERT INTO Customers VALUES (1, 'Alice', 'Berlin', -1, 36540.0)",           // 2000-01-15
    "INSERT INTO Customers VALUES (2, 'bob', 'paris', 0, 37072.604166666664)",      // 2001-06-30 14:30
    "INSERT INTO Customers VALUES (3, 'Carol', NULL, -1, NULL)",
    "INSERT INTO Customers VALUES (4, 'dave', 'Berlin', 0, 36525.0)",             // 1999-12-31
    "CREATE TABLE Orders (OrderID INTEGER, CustomerID INTEGER, OrderDate REAL, Amount INTEGER, Qty INTEGER, Note TEXT)",
    "INSERT INTO Orders VALUES (10, 1, 36557.0, 125000, 3, 'first')",              // 2000-02-01
    "INSERT INTO Orders VALUES (11, 1, 36586.0, 1000000, 1, NULL)",                // 2000-03-01
    "INSERT INTO Orders VALUES (12, 2, 37076.0, 72500, 10, 'x')",                 // 2001-07-04
    "INSERT INTO Orders VALUES (13, 5, 37257.0, 10000, 1, 'orphan')",              // 2002-01-01
    "CREATE TABLE Products (ProductID INTEGER, Name TEXT, Price REAL)",
    "INSERT INTO Products VALUES (1, 'Widget', 2.5)",
    "INSERT INTO Products VALUES (2, 'Gadget', 10.0)",
    "INSERT INTO Products VALUES (3, 'Gizmo', NULL)",
    "CREATE TABLE \"Order Details\" (OrderID INTEGER, ProductID INTEGER, Quantity INTEGER)",
    "INSERT INTO \"Order Details\" VALUES (10, 1, 4)",
    "INSERT INTO \"Order Details\" VALUES (10, 2, 1)",
    "INSERT INTO \"Order Details\" VALUES (12, 1, 2)",
    nullptr,
};

Catalog testCatalog()
{
    Catalog c;
    c.tables.append({QStringLiteral("Customers"), QString(),
                     {{QStringLiteral("CustomerID"), 4}, {QStringLiteral("Name"), 10}, {QStringLiteral("City"), 10},
                      {QStringLiteral("Active"), 1}, {QStringLiteral("Joined"), 8}}});
    c.tables.append({QStringLiteral("Orders"), QString(),
                     {{QStringLiteral("OrderID"), 4}, {QStringLiteral("CustomerID"), 4},
                      {QStringLiteral("OrderDate"), 8}, {QStringLiteral("Amount"), 5}, {QStringLiteral("Qty"), 3},
                      {QStringLiteral("Note"), 12}}});
    c.tables.append({QStringLiteral("Products"), QString(),
                     {{QStringLiteral("ProductID"), 4}, {QStringLiteral("Name"), 10}, {QStringLiteral("Price"), 7}}});
    c.tables.append({QStringLiteral("Order Details"), QString(),
                     {{QStringLiteral("OrderID"), 4}, {QStringLiteral("ProductID"), 4},
                      {QStringLiteral("Quantity"), 3}}});
    c.queries.append({QStringLiteral("BerlinCustomers"),
                      QStringLiteral("SELECT CustomerID, Name FROM Customers WHERE City = 'Berlin';")});
    c.queries.append({QStringLiteral("ACustomers"), QStringLiteral("SELECT Name FROM Customers WHERE Name Like 'a*'")});
    c.queries.append({QStringLiteral("ByCity"),
                      QStringLiteral("PARAMETERS [Which City] Text (30); SELECT Name FROM Customers WHERE City = [Which City]")});
    c.queries.append({QStringLiteral("Loop1"), QStringLiteral("SELECT * FROM Loop2")});
    c.queries.append({QStringLiteral("Loop2"), QStringLiteral("SELECT * FROM Loop1")});
    return c;
}

struct Db
{
    sqlite3 *db = nullptr;
    Db()
    {
        sqlite3_open(":memory:", &db);
        for (int i = 0; kSetup[i]; ++i)
            sqlite3_exec(db, kSetup[i], nullptr, nullptr, nullptr);
        registerJetFunctions(db);
        sqlite3_set_authorizer(db, readOnlyAuthorizer, nullptr);
    }
    ~Db() { sqlite3_close(db); }
};

QVariant columnValue(sqlite3_stmt *st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(st, i));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i)),
                                          sqlite3_column_bytes(st, i)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i)));
    default: return QVariant();
    }
}

struct Outcome
{
    QString error;
    QString names;
    QString rows;
    QString sql;
    QString notes;
};

// Rows as "a|b;c|d" in the neutral form; an error as its text.
Outcome run(sqlite3 *db, const QString &jet, const Catalog &catalog = testCatalog(),
            LikeWildcards like = LikeWildcards::Dao)
{
    Outcome o;
    const kolta::Result<Translation> t = translate(jet, catalog, db, like);
    if (!t.ok()) {
        o.error = t.error().message;
        return o;
    }
    const Translation &tr = t.value();
    o.sql = tr.sqliteSql;
    o.notes = tr.serverNotes.join(QLatin1Char('\n'));
    o.names = tr.columnNames.join(QLatin1Char('|'));
    sqlite3_stmt *st = nullptr;
    QByteArray sql = tr.sqliteSql.toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
        o.error = QStringLiteral("prepare: ") + QString::fromUtf8(sqlite3_errmsg(db)) + QStringLiteral(" in ")
                  + tr.sqliteSql;
        sqlite3_finalize(st);
        return o;
    }
    QStringList rows;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QStringList cells;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            cells << rawText(columnValue(st, i), tr.columnKinds.value(i));
        rows << cells.join(QLatin1Char('|'));
    }
    if (rc != SQLITE_DONE)
        o.error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    o.rows = rows.join(QLatin1Char(';'));
    return o;
}

// A virtual table that reads an ordinary table and cannot use any index, the
// way the engine's tables over the .mdb file behave.
struct MirrorTable
{
    sqlite3_vtab base;
    sqlite3 *db;
    QByteArray source;
};

struct MirrorCursor
{
    sqlite3_vtab_cursor base;
    sqlite3_stmt *stmt;
    bool eof;
    sqlite3_int64 row;
};

int mirrorConnect(sqlite3 *db, void *, int argc, const char *const *argv, sqlite3_vtab **out, char **)
{
    if (argc < 4)
        return SQLITE_ERROR;
    QByteArray source = argv[3];
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT * FROM " + source, -1, &st, nullptr) != SQLITE_OK)
        return SQLITE_ERROR;
    QByteArrayList columns;
    for (int i = 0; i < sqlite3_column_count(st); ++i)
        columns << QByteArray("\"") + sqlite3_column_name(st, i) + "\"";
    sqlite3_finalize(st);
    int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(" + columns.join(", ") + ")");
    if (rc != SQLITE_OK)
        return rc;
    auto *t = new MirrorTable{};
    t->db = db;
    t->source = source;
    *out = &t->base;
    return SQLITE_OK;
}

int mirrorBestIndex(sqlite3_vtab *, sqlite3_index_info *info)
{
    info->estimatedCost = 1e6;
    info->estimatedRows = 100000;
    return SQLITE_OK;
}

int mirrorDisconnect(sqlite3_vtab *v)
{
    delete reinterpret_cast<MirrorTable *>(v);
    return SQLITE_OK;
}

int mirrorOpen(sqlite3_vtab *, sqlite3_vtab_cursor **out)
{
    auto *c = new MirrorCursor{};
    *out = &c->base;
    return SQLITE_OK;
}

int mirrorClose(sqlite3_vtab_cursor *cur)
{
    auto *c = reinterpret_cast<MirrorCursor *>(cur);
    sqlite3_finalize(c->stmt);
    delete c;
    return SQLITE_OK;
}

int mirrorNext(sqlite3_vtab_cursor *cur)
{
    auto *c = reinterpret_cast<MirrorCursor *>(cur);
    c->eof = sqlite3_step(c->stmt) != SQLITE_ROW;
    ++c->row;
    return SQLITE_OK;
}

int mirrorFilter(sqlite3_vtab_cursor *cur, int, const char *, int, sqlite3_value **)
{
    auto *c = reinterpret_cast<MirrorCursor *>(cur);
    auto *t = reinterpret_cast<MirrorTable *>(cur->pVtab);
    sqlite3_finalize(c->stmt);
    c->stmt = nullptr;
    if (sqlite3_prepare_v2(t->db, "SELECT * FROM " + t->source, -1, &c->stmt, nullptr) != SQLITE_OK)
        return SQLITE_ERROR;
    c->row = 0;
    return mirrorNext(cur);
}

int mirrorEof(sqlite3_vtab_cursor *cur) { return reinterpret_cast<MirrorCursor *>(cur)->eof; }

int mirrorColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int i)
{
    sqlite3_result_value(ctx, sqlite3_column_value(reinterpret_cast<MirrorCursor *>(cur)->stmt, i));
    return SQLITE_OK;
}

int mirrorRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *row)
{
    *row = reinterpret_cast<MirrorCursor *>(cur)->row;
    return SQLITE_OK;
}

sqlite3_module mirrorModule()
{
    sqlite3_module m{};
    m.xCreate = mirrorConnect;
    m.xConnect = mirrorConnect;
    m.xBestIndex = mirrorBestIndex;
    m.xDisconnect = mirrorDisconnect;
    m.xDestroy = mirrorDisconnect;
    m.xOpen = mirrorOpen;
    m.xClose = mirrorClose;
    m.xFilter = mirrorFilter;
    m.xNext = mirrorNext;
    m.xEof = mirrorEof;
    m.xColumn = mirrorColumn;
    m.xRowid = mirrorRowid;
    return m;
}

} // namespace

class TestJetSql : public QObject
{
    Q_OBJECT
private slots:
    void display_data();
    void display();
    void pageText_data();
    void pageText();
    void queries_data();
    void queries();
    void wildcards_data();
    void wildcards();
    void names_data();
    void names();
    void functions_data();
    void functions();
    void errors_data();
    void errors();
    void parameters_data();
    void parameters();
    void kinds();
    void everyPrefixTranslatesOrFails();
    void authorizerRefusesWrites_data();
    void authorizerRefusesWrites();
    void sqliteErrorsInJetWords_data();
    void sqliteErrorsInJetWords();
    void joinOnKeysScales_data();
    void joinOnKeysScales();
};

void TestJetSql::display_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("raw");
    QTest::newRow("null") << QVariant() << int(ValueKind::Text) << "" << "";
    QTest::newRow("date") << QVariant(36526.0) << int(ValueKind::Date) << "1/1/2000" << "2000-01-01 00:00:00";
    QTest::newRow("date time") << QVariant(36526.75) << int(ValueKind::Date) << "1/1/2000 6:00:00 PM"
                               << "2000-01-01 18:00:00";
    QTest::newRow("time only") << QVariant(0.5) << int(ValueKind::Date) << "12:00:00 PM" << "1899-12-30 12:00:00";
    QTest::newRow("before 1900") << QVariant(-1.25) << int(ValueKind::Date) << "12/29/1899 6:00:00 AM"
                                 << "1899-12-29 06:00:00";
    QTest::newRow("true") << QVariant(qlonglong(-1)) << int(ValueKind::Boolean) << "True" << "-1";
    QTest::newRow("false") << QVariant(qlonglong(0)) << int(ValueKind::Boolean) << "False" << "0";
    QTest::newRow("currency") << QVariant(12.5) << int(ValueKind::Currency) << "12.5" << "12.5";
    QTest::newRow("currency whole") << QVariant(3.0) << int(ValueKind::Currency) << "3" << "3";
    QTest::newRow("currency large whole") << QVariant(1237500.0) << int(ValueKind::Currency) << "1237500" << "1237500";
    QTest::newRow("currency exact") << QVariant(qlonglong(649426900)) << int(ValueKind::Currency) << "64942.69"
                                    << "64942.69";
    QTest::newRow("currency largest") << QVariant(qlonglong(-9223372036854775807LL - 1)) << int(ValueKind::Currency)
                                      << "-922337203685477.5808" << "-922337203685477.5808";
    QTest::newRow("double") << QVariant(0.1 + 0.2) << int(ValueKind::Double) << "0.3" << "0.3";
    QTest::newRow("big") << QVariant(1e20) << int(ValueKind::Double) << "1E+20" << "1E+20";
    QTest::newRow("small") << QVariant(0.00001) << int(ValueKind::Double) << "1E-05" << "1E-05";
    QTest::newRow("integer") << QVariant(qlonglong(-42)) << int(ValueKind::Integer) << "-42" << "-42";
    QTest::newRow("text") << QVariant(QStringLiteral("abc")) << int(ValueKind::Text) << "abc" << "abc";
    QTest::newRow("binary") << QVariant(QByteArray("\x01\xff", 2)) << int(ValueKind::Binary) << "(binary data)"
                            << "01ff";
}

void TestJetSql::display()
{
    QFETCH(QVariant, value);
    QFETCH(int, kind);
    QFETCH(QString, shown);
    QFETCH(QString, raw);
    QCOMPARE(displayText(value, ValueKind(kind)), shown);
    QCOMPARE(rawText(value, ValueKind(kind)), raw);
    // A page writes what the grid shows, but for the two cases of pageText_data.
    if (ValueKind(kind) != ValueKind::Binary)
        QCOMPARE(kolta::jetsql::pageText(value, ValueKind(kind)), shown);
}

void TestJetSql::pageText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("written");
    QTest::newRow("midnight of day 0") << QVariant(0.0) << int(ValueKind::Date) << "12:00:00 AM";
    QTest::newRow("bytes") << QVariant(QByteArray("A\0B\0C", 5)) << int(ValueKind::Binary) << "AB";
}

void TestJetSql::pageText()
{
    QFETCH(QVariant, value);
    QFETCH(int, kind);
    QFETCH(QString, written);
    QCOMPARE(kolta::jetsql::pageText(value, ValueKind(kind)), written);
}

void TestJetSql::queries_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("names");

    // names, literals
    QTest::newRow("bracketed") << "SELECT [Name] FROM [Customers] WHERE [CustomerID] = 1" << "Alice" << "Name";
    QTest::newRow("qualified") << "SELECT Customers.Name FROM Customers WHERE Customers.CustomerID = 2" << "bob" << "Name";
    QTest::newRow("bang") << "SELECT Customers!Name FROM Customers WHERE CustomerID = 2" << "bob" << "Name";
    QTest::newRow("spaces in name") << "SELECT Quantity FROM [Order Details] WHERE OrderID = 12" << "2" << "Quantity";
    QTest::newRow("single quotes") << "SELECT 'it''s'" << "it's" << "Expr1000";
    QTest::newRow("double quotes") << "SELECT \"say \"\"hi\"\"\"" << "say \"hi\"" << "Expr1000";
    QTest::newRow("NUL in a literal") << QStringLiteral("SELECT Len('a") + QChar(u'\0') + QStringLiteral("b')") << "3"
                                      << "Expr1000";
    QTest::newRow("date literal") << "SELECT Name FROM Customers WHERE Joined = #1/15/2000#" << "Alice" << "Name";
    QTest::newRow("date time literal") << "SELECT Name FROM Customers WHERE Joined = #6/30/2001 14:30:00#" << "bob" << "Name";
    QTest::newRow("date literal value") << "SELECT #12/31/1999 6:00:00 PM#" << "1999-12-31 18:00:00" << "Expr1000";
    QTest::newRow("true is -1") << "SELECT True, False, Yes, No" << "-1|0|-1|0" << "Expr1000|Expr1001|Expr1002|Expr1003";
    QTest::newRow("null literal") << "SELECT Null" << "" << "Expr1000";
    QTest::newRow("numbers") << "SELECT 3, 2.5, 1e3" << "3|2.5|1000" << "Expr1000|Expr1001|Expr1002";
    QTest::newRow("trailing semicolon") << "SELECT 1;" << "1" << "Expr1000";

    // operators
    QTest::newRow("amp") << "SELECT Name & ' from ' & City FROM Customers WHERE CustomerID IN (1, 3)"
                         << "Alice from Berlin;Carol from " << "Expr1000";
    QTest::newRow("amp null null") << "SELECT Null & Null" << "" << "Expr1000";
    QTest::newRow("amp number") << "SELECT 'n' & 1.5 & True" << "n1.5-1" << "Expr1000";
    QTest::newRow("amp date") << "SELECT 'd ' & Joined FROM Customers WHERE CustomerID = 2" << "d 6/30/2001 2:30:00 PM" << "Expr1000";
    QTest::newRow("plus text") << "SELECT Name + '!' FROM Customers WHERE CustomerID = 1" << "Alice!" << "Expr1000";
    QTest::newRow("plus null") << "SELECT Name + City FROM Customers WHERE CustomerID = 3" << "" << "Expr1000";
    QTest::newRow("plus numbers") << "SELECT 1 + 2, '1' + 2" << "3|3" << "Expr1000|Expr1001";
    QTest::newRow("mod") << "SELECT 7 Mod 3, -7 Mod 3, 5.5 Mod 2" << "1|-1|0" << "Expr1000|Expr1001|Expr1002";
    QTest::newRow("integer division") << "SELECT 7 \\ 2, -7 \\ 2, 7.6 \\ 2" << "3|-3|4" << "Expr1000|Expr1001|Expr1002";
    QTest::newRow("division") << "SELECT 7 / 2" << "3.5" << "Expr1000";
    QTest::newRow("power") << "SELECT 2 ^ 10, -2 ^ 2" << "1024|-4" << "Expr1000|Expr1001";
    QTest::newRow("precedence") << "SELECT 1 + 2 * 3, (1 + 2) * 3, 2 * 3 ^ 2" << "7|9|18" << "Expr1000|Expr1001|Expr1002";
    QTest::newRow("not and or") << "SELECT Not True, True And False, True Or False, Not 0" << "0|0|-1|-1" << "Expr1000|Expr1001|Expr1002|Expr1003";
    QTest::newRow("xor eqv imp") << "SELECT True Xor False, True Xor True, True Eqv False, False Imp False"
                                 << "-1|0|0|-1" << "Expr1000|Expr1001|Expr1002|Expr1003";
    QTest::newRow("comparison value") << "SELECT 1 < 2, 'a' = 'A'" << "-1|-1" << "Expr1000|Expr1001";
    QTest::newRow("date arithmetic") << "SELECT #1/31/2000# + 1, #3/1/2000# - #2/1/2000#" << "2000-02-01 00:00:00|29" << "Expr1000|Expr1001";
    QTest::newRow("unary minus") << "SELECT -Qty FROM Orders WHERE OrderID = 10" << "-3" << "Expr1000";

    // WHERE
    QTest::newRow("text compare ignores case") << "SELECT Name FROM Customers WHERE Name = 'ALICE'" << "Alice" << "Name";
    QTest::newRow("text order compare") << "SELECT Name FROM Customers WHERE Name > 'B' ORDER BY Name"
                                        << "bob;Carol;dave" << "Name";
    QTest::newRow("like star") << "SELECT Name FROM Customers WHERE Name Like 'a*'" << "Alice" << "Name";
    QTest::newRow("like question") << "SELECT Name FROM Customers WHERE Name Like '?ob'" << "bob" << "Name";
    QTest::newRow("like hash") << "SELECT OrderID FROM Orders WHERE Note Like 'fir#t' OR 'a1' Like 'a#'" << "10;11;12;13" << "OrderID";
    QTest::newRow("like range") << "SELECT Name FROM Customers WHERE Name Like '[a-c]*' ORDER BY Name"
                                << "Alice;bob;Carol" << "Name";
    QTest::newRow("like not in set") << "SELECT Name FROM Customers WHERE Name Like '[!a-c]*'" << "dave" << "Name";
    QTest::newRow("not like") << "SELECT Name FROM Customers WHERE Name Not Like '*a*' " << "bob" << "Name";
    QTest::newRow("like literal percent") << "SELECT 'a%' Like 'a%', 'ab' Like 'a%'" << "-1|0" << "Expr1000|Expr1001";
    QTest::newRow("between") << "SELECT OrderID FROM Orders WHERE Amount Between 5 And 20 ORDER BY OrderID" << "10;12" << "OrderID";
    QTest::newRow("not between") << "SELECT OrderID FROM Orders WHERE Amount Not Between 5 And 20 ORDER BY OrderID"
                                 << "11;13" << "OrderID";
    QTest::newRow("between dates") << "SELECT OrderID FROM Orders WHERE OrderDate Between #1/1/2000# And #12/31/2000#"
                                   << "10;11" << "OrderID";
    QTest::newRow("in list text") << "SELECT CustomerID FROM Customers WHERE City In ('BERLIN') ORDER BY 1" << "1;4" << "CustomerID";
    QTest::newRow("not in") << "SELECT CustomerID FROM Customers WHERE CustomerID Not In (1, 2) ORDER BY 1" << "3;4" << "CustomerID";
    QTest::newRow("is null") << "SELECT Name FROM Customers WHERE City Is Null" << "Carol" << "Name";
    QTest::newRow("is not null") << "SELECT Count(*) FROM Customers WHERE City Is Not Null" << "3" << "Expr1000";
    QTest::newRow("yes/no field as condition") << "SELECT Name FROM Customers WHERE Active ORDER BY Name"
                                               << "Alice;Carol" << "Name";
    QTest::newRow("not yes/no field") << "SELECT Name FROM Customers WHERE Not Active ORDER BY Name" << "bob;dave" << "Name";
    QTest::newRow("yes/no equals true") << "SELECT Count(*) FROM Customers WHERE Active = True" << "2" << "Expr1000";
    QTest::newRow("text date compared") << "SELECT Name FROM Customers WHERE Joined < '1/1/2000'" << "dave" << "Name";

    // SELECT options
    QTest::newRow("distinct ignores case") << "SELECT DISTINCT City FROM Customers WHERE City Is Not Null" << "Berlin;paris" << "City";
    QTest::newRow("distinctrow") << "SELECT DISTINCTROW Name FROM Customers WHERE CustomerID < 3 ORDER BY Name"
                                 << "Alice;bob" << "Name";
    QTest::newRow("top") << "SELECT TOP 2 OrderID FROM Orders ORDER BY Amount DESC" << "11;10" << "OrderID";
    QTest::newRow("top keeps ties") << "SELECT TOP 1 OrderID FROM Orders ORDER BY Qty" << "11;13" << "OrderID";
    QTest::newRow("top without order") << "SELECT TOP 1 OrderID FROM Orders" << "10" << "OrderID";
    QTest::newRow("top percent") << "SELECT TOP 50 PERCENT OrderID FROM Orders ORDER BY OrderID" << "10;11" << "OrderID";
    QTest::newRow("top percent rounds up") << "SELECT TOP 30 PERCENT OrderID FROM Orders ORDER BY OrderID DESC"
                                           << "13;12" << "OrderID";
    QTest::newRow("top distinct") << "SELECT DISTINCT TOP 1 City FROM Customers ORDER BY City DESC" << "paris" << "City";
    QTest::newRow("order asc desc") << "SELECT Name FROM Customers ORDER BY City DESC, Name ASC"
                                    << "bob;Alice;dave;Carol" << "Name";
    QTest::newRow("nulls first") << "SELECT CustomerID FROM Customers ORDER BY Joined" << "3;4;1;2" << "CustomerID";
    QTest::newRow("order by case-insensitive") << "SELECT Name FROM Customers ORDER BY Name" << "Alice;bob;Carol;dave" << "Name";

    // joins
    QTest::newRow("inner join") << "SELECT Customers.Name, Orders.OrderID FROM Customers INNER JOIN Orders ON "
                                   "Customers.CustomerID = Orders.CustomerID ORDER BY Orders.OrderID"
                                << "Alice|10;Alice|11;bob|12" << "Name|OrderID";
    QTest::newRow("left join") << "SELECT c.Name, o.OrderID FROM Customers AS c LEFT JOIN Orders AS o ON "
                                  "c.CustomerID = o.CustomerID WHERE o.OrderID Is Null ORDER BY c.Name"
                               << "Carol|;dave|" << "Name|OrderID";
    QTest::newRow("right join") << "SELECT o.OrderID, c.Name FROM Customers c RIGHT OUTER JOIN Orders o ON "
                                   "c.CustomerID = o.CustomerID WHERE c.Name Is Null"
                                << "13|" << "OrderID|Name";
    QTest::newRow("nested joins") << "SELECT c.Name, p.Name, d.Quantity FROM (Customers AS c INNER JOIN Orders AS o ON "
                                     "c.CustomerID = o.CustomerID) INNER JOIN ([Order Details] AS d INNER JOIN "
                                     "Products AS p ON d.ProductID = p.ProductID) ON o.OrderID = d.OrderID "
                                     "ORDER BY d.Quantity"
                                  << "Alice|Gadget|1;bob|Widget|2;Alice|Widget|4" << "c.Name|p.Name|Quantity";
    QTest::newRow("left nested") << "SELECT Count(*) FROM ((Customers INNER JOIN Orders ON Customers.CustomerID = "
                                    "Orders.CustomerID) INNER JOIN [Order Details] ON Orders.OrderID = "
                                    "[Order Details].OrderID) INNER JOIN Products ON [Order Details].ProductID = "
                                    "Products.ProductID"
                                 << "3" << "Expr1000";
    QTest::newRow("join on text ignores case") << "SELECT a.CustomerID, b.CustomerID FROM Customers a INNER JOIN "
                                                  "Customers b ON a.City = UCase(b.City) WHERE a.CustomerID = 2"
                                               << "2|2" << "a.CustomerID|b.CustomerID";
    QTest::newRow("comma join") << "SELECT c.Name, o.OrderID FROM Customers c, Orders o WHERE c.CustomerID = "
                                   "o.CustomerID AND o.Amount > 50"
                                << "Alice|11" << "Name|OrderID";

    // grouping
    QTest::newRow("group by") << "SELECT CustomerID, Count(*), Sum(Amount) FROM Orders GROUP BY CustomerID"
                              << "1|2|112.5;2|1|7.25;5|1|1" << "CustomerID|Expr1001|Expr1002";
    QTest::newRow("having") << "SELECT CustomerID FROM Orders GROUP BY CustomerID HAVING Count(*) > 1" << "1" << "CustomerID";
    QTest::newRow("group by text ignores case") << "SELECT Count(*) FROM Customers GROUP BY UCase(City), City"
                                                << "1;2;1" << "Expr1000";
    QTest::newRow("aggregates") << "SELECT Count(Note), Min(Amount), Max(Amount), Avg(Qty) FROM Orders"
                                << "3|1|100|3.75" << "Expr1000|Expr1001|Expr1002|Expr1003";
    QTest::newRow("min text ignores case") << "SELECT Min(Name), Max(Name) FROM Customers" << "Alice|dave" << "Expr1000|Expr1001";
    QTest::newRow("first last") << "SELECT First(Note), Last(Note) FROM (SELECT Note FROM Orders ORDER BY OrderID)"
                                << "first|orphan" << "Expr1000|Expr1001";
    QTest::newRow("first keeps null") << "SELECT First(City) FROM (SELECT City FROM Customers ORDER BY CustomerID DESC)"
                                      << "Berlin" << "Expr1000";
    QTest::newRow("stdev var") << "SELECT StDev(Qty), Var(Qty), VarP(Qty) FROM Orders WHERE OrderID < 12"
                               << "1.4142135623731|2|1" << "Expr1000|Expr1001|Expr1002";
    QTest::newRow("stdev one row") << "SELECT StDev(Qty) FROM Orders WHERE OrderID = 10" << "" << "Expr1000";
    QTest::newRow("count distinct via subquery")
        << "SELECT Count(*) FROM (SELECT DISTINCT City FROM Customers WHERE City Is Not Null)" << "2" << "Expr1000";
    QTest::newRow("group by join") << "SELECT c.Name, Sum(o.Amount) AS Total FROM Customers c INNER JOIN Orders o ON "
                                      "c.CustomerID = o.CustomerID GROUP BY c.Name ORDER BY Sum(o.Amount) DESC"
                                   << "Alice|112.5;bob|7.25" << "Name|Total";

    // as the Access query designer writes it
    QTest::newRow("designer criteria") << "SELECT Customers.Name FROM Customers WHERE (((Customers.City)=\"Berlin\") AND "
                                          "((Customers.Joined)>#1/1/2000#)) ORDER BY Customers.Name;"
                                       << "Alice" << "Name";
    QTest::newRow("designer totals") << "SELECT DISTINCTROW Orders.OrderID, Sum([Order Details].Quantity) AS "
                                        "SumOfQuantity FROM Orders INNER JOIN [Order Details] ON Orders.OrderID = "
                                        "[Order Details].OrderID GROUP BY Orders.OrderID HAVING "
                                        "(((Sum([Order Details].Quantity))>1)) ORDER BY Orders.OrderID;"
                                     << "10|5;12|2" << "OrderID|SumOfQuantity";
    QTest::newRow("designer left join") << "SELECT Customers.Name, Count(Orders.OrderID) AS CountOfOrderID FROM "
                                           "Customers LEFT JOIN Orders ON Customers.CustomerID = Orders.CustomerID "
                                           "GROUP BY Customers.Name ORDER BY Customers.Name;"
                                        << "Alice|2;bob|1;Carol|0;dave|0" << "Name|CountOfOrderID";

    // sub-queries, unions, saved queries
    QTest::newRow("in subquery") << "SELECT Name FROM Customers WHERE CustomerID In (SELECT CustomerID FROM Orders) "
                                    "ORDER BY Name"
                                 << "Alice;bob" << "Name";
    QTest::newRow("exists correlated") << "SELECT Name FROM Customers c WHERE NOT EXISTS (SELECT * FROM Orders o "
                                          "WHERE o.CustomerID = c.CustomerID) ORDER BY Name"
                                       << "Carol;dave" << "Name";
    QTest::newRow("scalar subquery") << "SELECT Name, (SELECT Count(*) FROM Orders WHERE Orders.CustomerID = "
                                        "Customers.CustomerID) AS N FROM Customers WHERE CustomerID < 3"
                                     << "Alice|2;bob|1" << "Name|N";
    QTest::newRow("union") << "SELECT City FROM Customers WHERE City Is Not Null UNION SELECT 'Rome' ORDER BY City"
                           << "Berlin;paris;Rome" << "City";
    QTest::newRow("union ignores case") << "SELECT Count(*) FROM (SELECT City FROM Customers WHERE City Is Not Null "
                                           "UNION SELECT 'BERLIN')"
                                        << "2" << "Expr1000";
    QTest::newRow("union all") << "SELECT CustomerID FROM Customers WHERE CustomerID < 3 UNION ALL SELECT CustomerID "
                                  "FROM Orders WHERE OrderID < 12"
                               << "1;2;1;1" << "CustomerID";
    QTest::newRow("union top part") << "SELECT TOP 1 OrderID FROM Orders UNION ALL SELECT OrderID FROM Orders "
                                       "WHERE OrderID = 13"
                                    << "10;13" << "OrderID";
    QTest::newRow("saved query") << "SELECT Name FROM BerlinCustomers ORDER BY Name" << "Alice;dave" << "Name";
    QTest::newRow("saved query join") << "SELECT b.Name, o.OrderID FROM BerlinCustomers AS b INNER JOIN Orders AS o ON "
                                         "b.CustomerID = o.CustomerID ORDER BY o.OrderID"
                                      << "Alice|10;Alice|11" << "Name|OrderID";
    QTest::newRow("derived table") << "SELECT x.N FROM (SELECT Count(*) AS N FROM Orders) AS x" << "4" << "N";
    QTest::newRow("alias in select list") << "SELECT Qty * 2 AS Twice, Twice + 1 FROM Orders WHERE OrderID = 10"
                                          << "6|7" << "Twice|Expr1001";
    QTest::newRow("alias in where") << "SELECT Qty * 2 AS Twice FROM Orders WHERE Twice > 6 ORDER BY 1" << "20" << "Twice";
    QTest::newRow("star") << "SELECT * FROM Products WHERE ProductID = 1" << "1|Widget|2.5" << "ProductID|Name|Price";
    QTest::newRow("like pattern from column") << "SELECT Count(*) FROM Customers a, Customers b WHERE a.Name Like "
                                                 "b.Name & '*'"
                                              << "4" << "Expr1000";
    QTest::newRow("between text") << "SELECT Name FROM Customers WHERE Name Between 'B' And 'CZ' ORDER BY Name"
                                  << "bob;Carol" << "Name";
    QTest::newRow("in subquery text") << "SELECT Name FROM Products WHERE Name In (SELECT UCase(Name) FROM Products "
                                         "WHERE ProductID = 2)"
                                      << "Gadget" << "Name";
    QTest::newRow("top percent without order") << "SELECT TOP 25 PERCENT OrderID FROM Orders" << "10" << "OrderID";
    QTest::newRow("order by alias") << "SELECT Qty * 2 AS Twice FROM Orders ORDER BY Twice DESC, OrderID"
                                    << "20;6;2;2" << "Twice";
    QTest::newRow("saved query twice") << "SELECT Count(*) FROM BerlinCustomers a, BerlinCustomers b" << "4" << "Expr1000";
    QTest::newRow("self join") << "SELECT a.Name, b.Name FROM Customers a INNER JOIN Customers b ON a.City = b.City "
                                  "AND a.CustomerID < b.CustomerID"
                               << "Alice|dave" << "a.Name|b.Name";
    QTest::newRow("sort date nulls first desc") << "SELECT CustomerID FROM Customers ORDER BY Joined DESC"
                                                << "2;1;4;3" << "CustomerID";
    QTest::newRow("table star") << "SELECT p.*, 1 FROM Products p WHERE ProductID = 2" << "2|Gadget|10|1" << "ProductID|Name|Price|Expr1003";
    // DISTINCTROW: per row of the tables that supply output columns
    QTest::newRow("distinctrow one side of a join")
        << "SELECT DISTINCTROW Customers.Name FROM Customers INNER JOIN Orders ON Customers.CustomerID = "
           "Orders.CustomerID ORDER BY Name"
        << "Alice;bob" << "Name";
    QTest::newRow("distinctrow keeps equal rows apart")
        << "SELECT Count(*) FROM (SELECT DISTINCTROW a.City FROM Customers a INNER JOIN Customers b ON a.City = b.City)"
        << "3" << "Expr1000";
    QTest::newRow("distinctrow both sides") << "SELECT DISTINCTROW c.Name, o.OrderID FROM Customers c INNER JOIN Orders o "
                                               "ON c.CustomerID = o.CustomerID ORDER BY o.OrderID"
                                            << "Alice|10;Alice|11;bob|12" << "Name|OrderID";
    // ORDER BY a column position
    QTest::newRow("distinct order by position") << "SELECT DISTINCT City FROM Customers ORDER BY 1 DESC"
                                                << "paris;Berlin;" << "City";
    QTest::newRow("top order by position") << "SELECT TOP 2 OrderID, Qty FROM Orders ORDER BY 2 DESC, 1"
                                           << "12|10;10|3" << "OrderID|Qty";
    QTest::newRow("order by position without case") << "SELECT Name FROM Customers ORDER BY 1"
                                                    << "Alice;bob;Carol;dave" << "Name";
    // TOP with more ties than the bounded sort holds
    QTest::newRow("top ties past the first rows")
        << "SELECT Count(*) FROM (SELECT TOP 2 a.Active FROM Customers a, Customers b, Customers c, Orders d "
           "ORDER BY a.Active)"
        << "128" << "Expr1000";
    QTest::newRow("top ties reach the next key")
        << "SELECT Count(*) FROM (SELECT TOP 129 a.Active FROM Customers a, Customers b, Customers c, Orders d "
           "ORDER BY a.Active)"
        << "256" << "Expr1000";
    // crosstabs
    QTest::newRow("crosstab") << "TRANSFORM Count(*) SELECT City FROM Customers GROUP BY City PIVOT Active"
                              << "|1|;Berlin|1|1;paris||1" << "City|-1|0";
    QTest::newRow("crosstab null heading") << "TRANSFORM Count(*) AS N SELECT Active FROM Customers GROUP BY Active "
                                              "PIVOT City;"
                                           << "-1|1|1|;0||1|1" << "Active|<>|Berlin|paris";
    QTest::newRow("crosstab in list") << "TRANSFORM Sum(Qty) SELECT CustomerID, Count(*) AS N FROM Orders "
                                         "GROUP BY CustomerID ORDER BY CustomerID DESC PIVOT Year(OrderDate) IN (2002, 2000)"
                                      << "5|1|1|;2|1||;1|2||4" << "CustomerID|N|2002|2000";
    QTest::newRow("crosstab over a join") << "TRANSFORM Sum(o.Amount) SELECT c.Name FROM Customers c INNER JOIN Orders o "
                                             "ON c.CustomerID = o.CustomerID GROUP BY c.Name PIVOT o.Note"
                                          << "Alice|100|12.5|;bob|||7.25" << "Name|<>|first|x";
    QTest::newRow("crosstab first") << "TRANSFORM First(Note) SELECT CustomerID FROM Orders GROUP BY CustomerID "
                                       "PIVOT Qty > 2"
                                    << "1|first|;2|x|;5||orphan" << "CustomerID|-1|0";
    // Currency stays exact
    QTest::newRow("currency exact") << "SELECT Sum(Amount), Max(Amount) - 0.01, Min(Amount) + 1, -Amount "
                                       "FROM Orders WHERE OrderID = 12 GROUP BY Amount"
                                    << "7.25|7.24|8.25|-7.25" << "Expr1000|Expr1001|Expr1002|Expr1003";
    QTest::newRow("currency compared") << "SELECT OrderID FROM Orders WHERE Amount > 7 AND Amount <= 12.5 "
                                          "ORDER BY Amount"
                                       << "12;10" << "OrderID";
}

void TestJetSql::queries()
{
    QFETCH(QString, jet);
    QFETCH(QString, rows);
    QFETCH(QString, names);
    Db db;
    Outcome o = run(db.db, jet);
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error + QStringLiteral(" | ") + o.sql));
    QCOMPARE(o.rows, rows);
    QCOMPARE(o.names, names);
}

void TestJetSql::wildcards_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("daoRows");
    QTest::addColumn<QString>("ansiRows");
    QTest::addColumn<QString>("note");
    const QString note = QStringLiteral("The server reads Like with % and _: to get these rows there too, write %1 in place of %2.");
    QTest::newRow("star") << "SELECT Name FROM Customers WHERE Name Like 'a*'" << "Alice" << ""
                          << note.arg("Name ALike 'a%'", "Name Like 'a*'");
    QTest::newRow("alike") << "SELECT Name FROM Customers WHERE Name ALike 'a%'" << "Alice" << "Alice" << "";
    QTest::newRow("not like question") << "SELECT Name FROM Customers WHERE Name Not Like '?ob'" << "Alice;Carol;dave"
                                       << "Alice;bob;Carol;dave" << note.arg("Name Not ALike '_ob'", "Name Not Like '?ob'");
    QTest::newRow("literal percent") << "SELECT 'ab' Like 'a%'" << "0" << "-1" << note.arg("'ab' ALike 'a[%]'", "'ab' Like 'a%'");
    QTest::newRow("hash") << "SELECT 'a1' Like \"a#\"" << "-1" << "0" << note.arg("'a1' ALike \"a[0-9]\"", "'a1' Like \"a#\"");
    QTest::newRow("set") << "SELECT Name FROM Customers WHERE Name Like '[!a-c]*'" << "dave" << ""
                         << note.arg("Name ALike '[^a-c]%'", "Name Like '[!a-c]*'");
    QTest::newRow("ansi set") << "SELECT Name FROM Customers WHERE Name ALike '[^a-c]%'" << "dave" << "dave" << "";
    QTest::newRow("same either way") << "SELECT Name FROM Customers WHERE Name Like 'bob' OR Name Like '[c]arol'"
                                     << "bob;Carol" << "bob;Carol" << "";
    QTest::newRow("concatenated") << "SELECT Name FROM Customers WHERE Name Like 'a' & '*'" << "Alice" << ""
                                  << note.arg("Name ALike 'a' & '%'", "Name Like 'a' & '*'");
    QTest::newRow("saved query") << "SELECT * FROM ACustomers" << "Alice" << ""
                                 << QStringLiteral("The server reads Like with % and _: in the saved query ACustomers, "
                                                   "write Name ALike 'a%' in place of Name Like 'a*'.");
}

void TestJetSql::wildcards()
{
    QFETCH(QString, jet);
    QFETCH(QString, daoRows);
    QFETCH(QString, ansiRows);
    QFETCH(QString, note);
    Db db;
    const Outcome dao = run(db.db, jet);
    QVERIFY2(dao.error.isEmpty(), qPrintable(dao.error));
    QCOMPARE(dao.rows, daoRows);
    QCOMPARE(dao.notes, note);
    const Outcome ansi = run(db.db, jet, testCatalog(), LikeWildcards::Ansi);
    QVERIFY2(ansi.error.isEmpty(), qPrintable(ansi.error));
    QCOMPARE(ansi.rows, ansiRows);
    QCOMPARE(ansi.notes, QString());
}

void TestJetSql::names_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("names");
    QTest::newRow("plain and expression") << "SELECT Name, Price*2 FROM Products" << "Name|Expr1001";
    QTest::newRow("first unnamed") << "SELECT Price*2, Name FROM Products" << "Expr1000|Name";
    QTest::newRow("qualifier dropped") << "SELECT Products.Name FROM Products" << "Name";
    QTest::newRow("alias wins") << "SELECT Name AS Product, Count(*) AS N FROM Products GROUP BY Name" << "Product|N";
    QTest::newRow("aggregate") << "SELECT Count(*) FROM Products" << "Expr1000";
    QTest::newRow("same column twice") << "SELECT Name, Price, Name FROM Products" << "Expr1000|Price|Name";
    QTest::newRow("star over join") << "SELECT * FROM Products INNER JOIN [Order Details] ON Products.ProductID = "
                                       "[Order Details].ProductID"
                                    << "Products.ProductID|Name|Price|OrderID|"
                                       "Order Details.ProductID|Quantity";
    QTest::newRow("aliases over join") << "SELECT * FROM Customers AS c INNER JOIN Orders AS o ON c.CustomerID = "
                                          "o.CustomerID"
                                       << "c.CustomerID|Name|City|Active|Joined|OrderID|o.CustomerID|OrderDate|"
                                          "Amount|Qty|Note";
    QTest::newRow("qualified same name") << "SELECT c.Name, p.Name FROM Customers c, Products p" << "c.Name|p.Name";
    QTest::newRow("expression after star") << "SELECT *, Price FROM Products" << "ProductID|Name|Expr1002|Price";
    QTest::newRow("name as written") << "SELECT name FROM Products" << "name";
    QTest::newRow("saved query columns") << "SELECT * FROM BerlinCustomers" << "CustomerID|Name";
    QTest::newRow("alias takes a column's name") << "SELECT Name, City AS Name FROM Customers" << "Expr1000|Name";
    QTest::newRow("derived alias") << "SELECT q.N FROM (SELECT Count(*) AS N FROM Products) AS q" << "N";
    QTest::newRow("union takes first") << "SELECT Name FROM Products UNION SELECT City AS Town FROM Customers" << "Name";
}

void TestJetSql::names()
{
    QFETCH(QString, jet);
    QFETCH(QString, names);
    Db db;
    Outcome o = run(db.db, jet);
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error + QStringLiteral(" | ") + o.sql));
    QCOMPARE(o.names, names);
}

void TestJetSql::functions_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("result");   // neutral form, or the run-time error
    QTest::newRow("IIf") << "IIf(1 > 2, 'a', 'b')" << "b";
    QTest::newRow("IIf null") << "IIf(Null, 1, 2)" << "2";
    QTest::newRow("IsNull") << "IsNull(Null) & IsNull(1)" << "-10";
    QTest::newRow("Left Right") << "Left('abcdef', 2) & Right('abcdef', 2)" << "abef";
    QTest::newRow("Left beyond") << "Left('ab', 5)" << "ab";
    QTest::newRow("Left negative") << "Left('ab', -1)" << "ERROR Invalid procedure call or argument";
    QTest::newRow("Left null") << "Left(Null, 2) Is Null" << "-1";
    QTest::newRow("Mid") << "Mid('abcdef', 2, 3) & Mid('abcdef', 5)" << "bcdef";
    QTest::newRow("Len") << "Len('abc') + Len(12.5)" << "7";
    QTest::newRow("Len null") << "Len(Null)" << "";
    QTest::newRow("LCase UCase") << "LCase('AbC') & UCase('AbC')" << "abcABC";
    QTest::newRow("Trim") << "'[' & Trim('  a b  ') & '|' & LTrim('  a ') & '|' & RTrim(' a  ') & ']'"
                          << "[a b|a | a]";
    QTest::newRow("InStr") << "InStr('Hello', 'L')" << "3";
    QTest::newRow("InStr start") << "InStr(4, 'Hello', 'l')" << "4";
    QTest::newRow("InStr binary") << "InStr(1, 'Hello', 'L', 0)" << "0";
    QTest::newRow("Replace") << "Replace('a-b-c', '-', '+')" << "a+b+c";
    QTest::newRow("Space String") << "'[' & Space(2) & String(3, 'xy') & ']'" << "[  xxx]";
    QTest::newRow("Str") << "Str(5) & '|' & Str(-5)" << " 5|-5";
    QTest::newRow("Val") << "Val(' 12 34abc') + Val('x')" << "1234";
    QTest::newRow("CStr") << "CStr(2.50)" << "2.5";
    QTest::newRow("CStr date") << "CStr(#2/3/2004#)" << "2/3/2004";
    QTest::newRow("CStr null") << "CStr(Null)" << "ERROR Invalid use of Null";
    QTest::newRow("CInt bankers") << "CInt(2.5) & CInt(3.5) & CInt(-2.5)" << "24-2";
    QTest::newRow("CInt overflow") << "CInt(40000)" << "ERROR Overflow";
    QTest::newRow("CLng overflow") << "CLng(3000000000)" << "ERROR Overflow";
    QTest::newRow("CLng text") << "CLng('42')" << "42";
    QTest::newRow("CInt bad text") << "CInt('abc')" << "ERROR Data type mismatch in criteria expression.";
    QTest::newRow("CDbl") << "CDbl('1.25') * 2" << "2.5";
    QTest::newRow("CCur") << "CCur(1.23456)" << "1.2346";
    QTest::newRow("CDate") << "CDate('2000-01-02 03:04:05')" << "2000-01-02 03:04:05";
    QTest::newRow("CBool") << "CBool(5) & CBool(0)" << "-10";
    QTest::newRow("Int Fix") << "Int(-2.5) & '|' & Fix(-2.5) & '|' & Int(2.7)" << "-3|-2|2";
    QTest::newRow("Abs Sgn") << "Abs(-3) & Sgn(-3) & Sgn(0)" << "3-10";
    QTest::newRow("Round bankers") << "Round(2.5) & '|' & Round(3.5) & '|' & Round(2.345, 2) & '|' & Round(-1.5)"
                                   << "2|4|2.34|-2";
    QTest::newRow("Sqr") << "Sqr(16)" << "4";
    QTest::newRow("Sqr negative") << "Sqr(-1)" << "ERROR Invalid procedure call or argument";
    QTest::newRow("date parts") << "Year(#3/4/2005 6:07:08#) & '-' & Month(#3/4/2005#) & '-' & Day(#3/4/2005#) & ' ' & "
                                   "Hour(#3/4/2005 6:07:08#) & ':' & Minute(#3/4/2005 6:07:08#) & ':' & "
                                   "Second(#3/4/2005 6:07:08#)"
                                << "2005-3-4 6:7:8";
    QTest::newRow("Weekday") << "Weekday(#12/7/2026#) & Weekday(#12/7/2026#, 2)" << "21";
    QTest::newRow("DateAdd month end") << "DateAdd('m', 1, #1/31/2000#)" << "2000-02-29 00:00:00";
    QTest::newRow("DateAdd days hours") << "DateAdd('d', -1, #3/1/2000#) & '|' & DateAdd('h', 30, #1/1/2000#)"
                                        << "2/29/2000|1/2/2000 6:00:00 AM";
    QTest::newRow("DateAdd year") << "DateAdd('yyyy', 1, #2/29/2000#)" << "2001-02-28 00:00:00";
    QTest::newRow("DateDiff days") << "DateDiff('d', #1/1/2000 23:00#, #1/2/2000 01:00#)" << "1";
    QTest::newRow("DateDiff months") << "DateDiff('m', #1/31/2000#, #2/1/2000#)" << "1";
    QTest::newRow("DateDiff years negative") << "DateDiff('yyyy', #1/1/2001#, #12/31/2000#)" << "-1";
    QTest::newRow("DateDiff hours") << "DateDiff('h', #1/1/2000 10:59#, #1/1/2000 11:01#)" << "1";
    QTest::newRow("DateDiff weeks") << "DateDiff('ww', #12/5/2026#, #12/6/2026#) & DateDiff('w', #12/1/2026#, #12/14/2026#)"
                                    << "11";
    QTest::newRow("DateDiff text dates") << "DateDiff('d', '1/1/2000', '1/31/2000')" << "30";
    QTest::newRow("DateDiff bad interval") << "DateDiff('x', #1/1/2000#, #1/2/2000#)"
                                           << "ERROR Invalid procedure call or argument";
    QTest::newRow("DatePart") << "DatePart('q', #8/1/2000#) & DatePart('y', #2/1/2000#) & DatePart('ww', #1/8/2000#)"
                              << "3322";
    QTest::newRow("DateSerial rolls over") << "DateSerial(2000, 13, 0)" << "2000-12-31 00:00:00";
    QTest::newRow("DateSerial two digits") << "DateSerial(99, 1, 1)" << "1999-01-01 00:00:00";
    QTest::newRow("DateValue") << "DateValue('March 5, 2001')" << "2001-03-05 00:00:00";
    QTest::newRow("Format named numbers")
        << "Format(1234.5, 'General Number') & '|' & Format(1234.5, 'Currency') & '|' & Format(-1234.5, 'Currency') "
           "& '|' & Format(1234.5, 'Fixed') & '|' & Format(1234.5, 'Standard') & '|' & Format(0.125, 'Percent')"
        << "1234.5|$1,234.50|($1,234.50)|1234.50|1,234.50|12.50%";
    QTest::newRow("Format booleans") << "Format(-1, 'Yes/No') & Format(0, 'True/False') & Format(1, 'On/Off')"
                                     << "YesFalseOn";
    QTest::newRow("Format named dates")
        << "Format(#3/4/2005 13:05:09#, 'Short Date') & '|' & Format(#3/4/2005#, 'Long Date') & '|' & "
           "Format(#3/4/2005#, 'Medium Date') & '|' & Format(#3/4/2005 13:05:09#, 'Short Time') & '|' & "
           "Format(#3/4/2005 13:05:09#, 'Long Time')"
        << "3/4/2005|Friday, March 4, 2005|04-Mar-05|13:05|1:05:09 PM";
    QTest::newRow("Format custom numbers") << "Format(3.14159, '0.00') & '|' & Format(1234567, '#,##0') & '|' & "
                                              "Format(0.5, '#.##') & '|' & Format(5, '000')"
                                           << "3.14|1,234,567|.5|005";
    QTest::newRow("Format custom dates")
        << "Format(#3/4/2005 13:05:09#, 'yyyy-mm-dd') & '|' & Format(#3/4/2005 13:05:09#, 'dd/mm/yyyy hh:nn:ss') & "
           "'|' & Format(#3/4/2005 13:05:09#, 'mmm d, yyyy h:nn AM/PM')"
        << "2005-03-04|04/03/2005 13:05:09|Mar 4, 2005 1:05 PM";
    QTest::newRow("Format case") << "Format('MiXed', '>') & Format('MiXed', '<')" << "MIXEDmixed";
    QTest::newRow("Format no format") << "Format(#1/2/2003#) & '|' & Format(2.5)" << "1/2/2003|2.5";
    QTest::newRow("Format null") << "Format(Null, '0') Is Null" << "-1";
    QTest::newRow("Format date column") << "Format(Joined, 'yyyy') FROM Customers WHERE CustomerID = 1" << "2000";
    QTest::newRow("Format negative section") << "Format(-5, '0;(0)')" << "(5)";
    QTest::newRow("Date Now Time") << "(Date() = Int(Now())) & (Time() < 1) & (Time() >= 0)" << "-1-1-1";
    QTest::newRow("CSng") << "CSng(1.23456789)" << "1.234568";
    QTest::newRow("Asc Chr") << "Asc('A') & Chr(66)" << "65B";
    QTest::newRow("IsNumeric IsDate") << "IsNumeric('1.5') & IsNumeric('x') & IsDate('1/2/2000')" << "-10-1";
    QTest::newRow("TimeSerial TimeValue") << "TimeSerial(25, 0, 0) & '|' & TimeValue('6:30 PM')"
                                          << "12/31/1899 1:00:00 AM|6:30:00 PM";
    QTest::newRow("InStrRev StrComp") << "InStrRev('a.b.c', '.') & StrComp('abc', 'ABC') & StrComp('a', 'b', 0)"
                                      << "40-1";
    QTest::newRow("MonthName WeekdayName") << "MonthName(2) & '|' & MonthName(12, True) & '|' & WeekdayName(1) & '|' & "
                                              "WeekdayName(1, True, 2)"
                                           << "February|Dec|Sunday|Mon";
    QTest::newRow("MonthName out of range") << "MonthName(13)" << "ERROR Invalid procedure call or argument";
    QTest::newRow("FormatNumber") << "FormatNumber(1234.5) & '|' & FormatNumber(-0.5, 1, 0) & '|' & "
                                     "FormatNumber(1234.567, 0, -1, -1, 0) & '|' & FormatNumber(-1234.5, 2, -2, -1)"
                                  << "1,234.50|-.5|1235|(1,234.50)";
    QTest::newRow("FormatCurrency FormatPercent") << "FormatCurrency(-1234.5) & '|' & FormatCurrency(1234.5, 0) & '|' & "
                                                     "FormatPercent(0.256) & '|' & FormatPercent(-0.5, 0)"
                                                  << "($1,234.50)|$1,235|25.60%|-50%";
    QTest::newRow("FormatDateTime") << "FormatDateTime(#6/15/2002 13:45#) & '|' & FormatDateTime(#6/15/2002#, 1) & "
                                       "'|' & FormatDateTime(#6/15/2002 13:45#, 2) & '|' & "
                                       "FormatDateTime(#6/15/2002 13:45#, 3) & '|' & FormatDateTime(#6/15/2002 13:05#, 4)"
                                    << "6/15/2002 1:45:00 PM|Saturday, June 15, 2002|6/15/2002|1:45:00 PM|13:05";
    QTest::newRow("function names any case") << "left('abc', 1) & UCASE('b') & mId('xcx', 2, 1)" << "aBc";
    QTest::newRow("Division by zero") << "1 / 0" << "ERROR Division by zero";
    QTest::newRow("Choose") << "Choose(2, 'a', 'b', 'c') & '|' & Choose(2.6, 'a', 'b', 'c') & '|' & "
                               "IsNull(Choose(4, 'a', 'b'))"
                            << "b|c|-1";
    QTest::newRow("Switch") << "Switch(1 > 2, 'a', 2 > 1, 'b') & IsNull(Switch(False, 1))" << "b-1";
    QTest::newRow("Partition") << "Partition(17, 0, 99, 5) & '|' & Partition(-3, 0, 99, 5) & '|' & "
                                  "Partition(120, 0, 99, 5) & '|' & Partition(1005, 100, 1010, 20)"
                               << " 15: 19|   : -1|100:   |1000:1010";
    QTest::newRow("CVar IsEmpty") << "CVar(5) + 1 & IsEmpty(Null) & IsEmpty('')" << "600";
    QTest::newRow("StrConv") << "StrConv('hello wORLD', 1) & '|' & StrConv('Hello', 2) & '|' & "
                                "StrConv('hello wORLD-x', 3)"
                             << "HELLO WORLD|hello|Hello World-x";
    QTest::newRow("dollar forms") << "Left$('abc', 2) & Right$('abc', 1) & Mid$('abc', 2, 1) & UCase$('a') & "
                                     "LCase$('B') & Trim$(' c ') & LTrim$(' d') & RTrim$('e ') & Space$(1) & "
                                     "String$(2, 'f') & Str$(3) & Chr$(71) & Format$(4, '00')"
                                  << "abcbAbcde ff 3G04";
    QTest::newRow("dollar form refuses Null") << "Left$(Null, 1)" << "ERROR Invalid use of Null";
    QTest::newRow("Like without case") << "('abc77x' Like '*77*') & ('A?C' Like 'a[?]c') & ('ABC' Like 'a?c') & "
                                          "('a1c' Like 'a#c') & ('ÄBC' Like 'ä*') & ('ab' Like 'a*b*')"
                                       << "-1-1-1-1-1-1";
    QTest::newRow("Mod by zero") << "5 Mod 0" << "ERROR Division by zero";
}

void TestJetSql::functions()
{
    QFETCH(QString, expression);
    QFETCH(QString, result);
    Db db;
    Outcome o = run(db.db, QStringLiteral("SELECT ") + expression);
    if (result.startsWith(QLatin1String("ERROR "))) {
        QCOMPARE(o.error, result.mid(6));
        return;
    }
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error + QStringLiteral(" | ") + o.sql));
    QCOMPARE(o.rows, result);
}

void TestJetSql::errors_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing table")
        << "SELECT * FROM Nowhere"
        << "The Microsoft Jet database engine cannot find the input table or query 'Nowhere'. Make sure it exists "
           "and that its name is spelled correctly.";
    QTest::newRow("missing joined table")
        << "SELECT * FROM Customers INNER JOIN [No Such] ON Customers.CustomerID = [No Such].ID"
        << "The Microsoft Jet database engine cannot find the input table or query 'No Such'. Make sure it exists "
           "and that its name is spelled correctly.";
    QTest::newRow("unknown column") << "SELECT Nam FROM Customers" << "Too few parameters. Expected 1.";
    QTest::newRow("unknown columns counted") << "SELECT Foo, Bar, foo FROM Customers WHERE Baz = 1"
                                             << "Too few parameters. Expected 3.";
    QTest::newRow("bracketed parameter") << "SELECT * FROM Orders WHERE OrderDate > [Start date]"
                                         << "Too few parameters. Expected 1.";
    QTest::newRow("form reference") << "SELECT * FROM Orders WHERE OrderDate > Forms!frmMain!txtDate"
                                    << "Too few parameters. Expected 1.";
    QTest::newRow("unknown qualifier") << "SELECT x.Name FROM Customers" << "Too few parameters. Expected 1.";
    QTest::newRow("external database") << "SELECT * FROM Customers IN 'c:\\other.mdb'"
                                       << "Tables of other databases (IN '...' or [;DATABASE=...]) are not read here; "
                                          "only the open database is.";
    QTest::newRow("external connect") << "SELECT * FROM [;DATABASE=c:\\other.mdb].Customers"
                                      << "Tables of other databases (IN '...' or [;DATABASE=...]) are not read here; "
                                         "only the open database is.";
    QTest::newRow("distinct order by position beyond") << "SELECT DISTINCT City FROM Customers ORDER BY 2"
                                                       << "ORDER BY clause (2) conflicts with DISTINCT.";
    QTest::newRow("distinct order by conflict") << "SELECT DISTINCT City FROM Customers ORDER BY Name"
                                                << "ORDER BY clause (Name) conflicts with DISTINCT.";
    QTest::newRow("union order by unknown")
        << "SELECT Name FROM Customers UNION SELECT Name FROM Products ORDER BY City"
        << "The ORDER BY expression (City) includes fields that are not selected by the query. Only those fields "
           "requested in the first query can be included in an ORDER BY expression.";
    QTest::newRow("order by not grouped") << "SELECT City FROM Customers GROUP BY City ORDER BY Name"
                                          << "You tried to execute a query that does not include the specified "
                                             "expression 'Name' as part of an aggregate function.";
    QTest::newRow("star with group by") << "SELECT * FROM Products GROUP BY Name"
                                        << "You tried to execute a query that does not include the specified "
                                           "expression 'Products.ProductID' as part of an aggregate function.";
    QTest::newRow("nested aggregate") << "SELECT Sum(Count(*)) FROM Products"
                                      << "Cannot have aggregate function in expression (Count).";
    QTest::newRow("wrong argument count") << "SELECT Left('a') FROM Products"
                                          << "Wrong number of arguments used with function in query expression "
                                             "'Left('a')'.";
    QTest::newRow("missing operator in select list") << "SELECT Name, Price 2, City FROM Products"
                                                     << "Syntax error (missing operator) in query expression "
                                                        "'Price 2'.";
    QTest::newRow("ambiguous")
        << "SELECT CustomerID FROM Customers INNER JOIN Orders ON Customers.CustomerID = Orders.CustomerID"
        << "The specified field 'CustomerID' could refer to more than one table listed in the FROM clause of your "
           "SQL statement.";
    QTest::newRow("missing operator") << "SELECT * FROM Customers WHERE Name = 'a' City = 'b'"
                                      << "Syntax error (missing operator) in query expression 'Name = 'a' City = 'b''.";
    QTest::newRow("alias without as") << "SELECT Name N FROM Customers"
                                      << "Syntax error (missing operator) in query expression 'Name N'.";
    QTest::newRow("unclosed paren") << "SELECT (1 + 2 FROM Customers" << "Syntax error in query expression '(1 + 2'.";
    QTest::newRow("unterminated string") << "SELECT * FROM Customers WHERE Name = 'abc"
                                         << "Syntax error in string in query expression 'Name = 'abc'.";
    QTest::newRow("bad date") << "SELECT * FROM Orders WHERE OrderDate = #13/45/2000#"
                              << "Syntax error in date in query expression 'OrderDate = #13/45/2000#'.";
    QTest::newRow("joins need parentheses")
        << "SELECT * FROM Customers INNER JOIN Orders ON Customers.CustomerID = Orders.CustomerID INNER JOIN "
           "[Order Details] ON Orders.OrderID = [Order Details].OrderID"
        << "Syntax error (missing operator) in query expression 'Customers.CustomerID = Orders.CustomerID INNER JOIN "
           "[Order Details] ON Orders.OrderID = [Order Details].OrderID'.";
    QTest::newRow("bad from") << "SELECT * FROM Customers INNER Orders" << "Syntax error in FROM clause.";
    QTest::newRow("join without type") << "SELECT * FROM Customers JOIN Orders ON 1 = 1"
                                       << "Syntax error in FROM clause.";
    QTest::newRow("nothing selected") << "SELECT FROM Customers"
                                      << "The SELECT statement includes a reserved word or an argument name that is "
                                         "misspelled or missing, or the punctuation is incorrect.";
    QTest::newRow("not a statement") << "SHOW TABLES"
                                     << "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', "
                                        "or 'UPDATE'.";
    QTest::newRow("two statements") << "SELECT 1; SELECT 2" << "Characters found after end of SQL statement.";
    QTest::newRow("undefined function Nz") << "SELECT Nz(City, '') FROM Customers"
                                           << "Undefined function 'Nz' in expression.";
    QTest::newRow("undefined function as written") << "SELECT dlookup('a', 'b') FROM Customers"
                                                   << "Undefined function 'dlookup' in expression.";
    QTest::newRow("type mismatch number text") << "SELECT * FROM Customers WHERE CustomerID = '1'"
                                               << "Data type mismatch in criteria expression.";
    QTest::newRow("type mismatch text number") << "SELECT * FROM Customers WHERE Name = 1"
                                               << "Data type mismatch in criteria expression.";
    QTest::newRow("type mismatch text date") << "SELECT * FROM Customers WHERE Joined = 'soon'"
                                             << "Data type mismatch in criteria expression.";
    QTest::newRow("not aggregated") << "SELECT City, Count(*) FROM Customers"
                                    << "You tried to execute a query that does not include the specified expression "
                                       "'City' as part of an aggregate function.";
    QTest::newRow("not grouped") << "SELECT City, Name FROM Customers GROUP BY City"
                                 << "You tried to execute a query that does not include the specified expression "
                                    "'Name' as part of an aggregate function.";
    QTest::newRow("aggregate in where") << "SELECT City FROM Customers WHERE Count(*) > 1"
                                        << "Cannot have aggregate function in WHERE clause (Count(*) > 1).";
    QTest::newRow("duplicate alias") << "SELECT Name AS X, City AS X FROM Customers" << "Duplicate output alias 'X'.";
    QTest::newRow("circular alias") << "SELECT Price * 2 AS Price FROM Products"
                                    << "Circular reference caused by alias 'Price' in query definition's SELECT list.";
    QTest::newRow("subquery two fields")
        << "SELECT * FROM Customers WHERE CustomerID IN (SELECT CustomerID, OrderID FROM Orders)"
        << "You have written a subquery that can return more than one field without using the EXISTS reserved word "
           "in the main query's FROM clause. Revise the SELECT statement of the subquery to request only one field.";
    QTest::newRow("union columns") << "SELECT Name, City FROM Customers UNION SELECT Name FROM Products"
                                   << "The number of columns in the two selected tables or queries of a union query "
                                      "do not match.";
    QTest::newRow("circular saved query") << "SELECT * FROM Loop1" << "Circular reference caused by 'Loop1'.";
    // refusals: only reading
    QTest::newRow("insert") << "INSERT INTO Customers (Name) VALUES ('x')"
                            << "INSERT statements change the database; only SELECT queries can be run here (the "
                               "database is opened read-only).";
    QTest::newRow("update") << "UPDATE Customers SET Name = 'x'"
                            << "UPDATE statements change the database; only SELECT queries can be run here (the "
                               "database is opened read-only).";
    QTest::newRow("delete") << "delete * from Customers"
                            << "DELETE statements change the database; only SELECT queries can be run here (the "
                               "database is opened read-only).";
    QTest::newRow("select into") << "SELECT * INTO Copy FROM Customers"
                                 << "SELECT ... INTO creates a table; only SELECT queries that read can be run here.";
    QTest::newRow("create") << "CREATE TABLE t (a int)"
                            << "CREATE statements change the database's design; only SELECT queries can be run here.";
    QTest::newRow("drop") << "DROP TABLE Customers"
                          << "DROP statements change the database's design; only SELECT queries can be run here.";
    QTest::newRow("alter") << "ALTER TABLE Customers ADD COLUMN x TEXT"
                           << "ALTER statements change the database's design; only SELECT queries can be run here.";
    QTest::newRow("transform without pivot") << "TRANSFORM Count(*) SELECT City FROM Customers GROUP BY City"
                                             << "Syntax error in TRANSFORM statement.";
    QTest::newRow("parameters unbound") << "PARAMETERS x Long; SELECT * FROM Customers WHERE CustomerID = x"
                                        << "Too few parameters. Expected 1.";
    QTest::newRow("parameters: unknown type") << "PARAMETERS x Lng; SELECT * FROM Customers"
                                              << "Syntax error in PARAMETER clause.";
    QTest::newRow("parameters: no semicolon") << "PARAMETERS x Long SELECT * FROM Customers"
                                              << "Syntax error in PARAMETER clause.";
    QTest::newRow("statement after select") << "SELECT * FROM Customers; DELETE FROM Customers"
                                            << "Characters found after end of SQL statement.";
}

void TestJetSql::errors()
{
    QFETCH(QString, jet);
    QFETCH(QString, error);
    Db db;
    Outcome o = run(db.db, jet);
    QCOMPARE(o.error, error);
}

// Binding order: declared ones as declared (the statement's, then a saved
// query's), then the others as first used; a name once, without case.
void TestJetSql::parameters_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QStringList>("expected");   // name:DAO type:size
    QTest::newRow("declared order, not use order")
        << "PARAMETERS [Ending Date] DateTime, [Beginning Date] DateTime; "
           "SELECT * FROM Orders WHERE OrderDate Between [Beginning Date] And [Ending Date]"
        << QStringList{"Ending Date:8:0", "Beginning Date:8:0"};
    QTest::newRow("undeclared after declared, once each")
        << "PARAMETERS n Text (20); SELECT [b], [A] FROM Customers WHERE Name = [B] OR Name = N OR City = [a]"
        << QStringList{"n:10:20", "b:10:0", "A:10:0"};
    QTest::newRow("form reference") << "SELECT * FROM Orders WHERE OrderID = [Forms]![Orders]![OrderID]"
                                    << QStringList{"Forms!Orders!OrderID:10:0"};
    QTest::newRow("unknown qualifier") << "SELECT x.Name FROM Customers" << QStringList{"x.Name:10:0"};
    QTest::newRow("saved query's declaration")
        << "SELECT * FROM ByCity WHERE Name = [Who]" << QStringList{"Which City:10:30", "Who:10:0"};
    QTest::newRow("crosstab") << "PARAMETERS [Since] DateTime; TRANSFORM Sum(Amount) SELECT CustomerID FROM Orders "
                                 "WHERE OrderDate >= [Since] GROUP BY CustomerID PIVOT Qty IN (1, 2)"
                              << QStringList{"Since:8:0"};
    QTest::newRow("none") << "SELECT * FROM Customers" << QStringList{};
}

void TestJetSql::parameters()
{
    QFETCH(QString, jet);
    QFETCH(QStringList, expected);
    const kolta::Result<Translation> t = translate(jet, testCatalog(), nullptr, LikeWildcards::Dao, Parameters::Bound);
    QVERIFY2(t.ok(), qPrintable(t.ok() ? QString() : t.error().message));
    QStringList got;
    for (const Parameter &p : t.value().parameters) {
        got.append(QStringLiteral("%1:%2:%3").arg(p.name).arg(p.daoType).arg(p.size));
        QVERIFY2(t.value().sqliteSql.contains(p.sqliteName), qPrintable(t.value().sqliteSql));
    }
    QCOMPARE(got, expected);
}

void TestJetSql::kinds()
{
    const kolta::Result<Translation> t = translate(QStringLiteral("SELECT Joined, Active, Name, Customers.CustomerID, Joined + 1, Joined - Joined, "
                                      "Format(Joined), DateAdd('d', 1, Joined), IIf(Active, Joined, Null), "
                                      "Amount * 2, Max(Joined), True, Qty > 1, Not Active, IIf(Qty > 1, 'a', 1) "
                                      "FROM Customers, Orders GROUP BY Joined, Active, Name, Customers.CustomerID, "
                                      "Amount, Qty"),
                       testCatalog());
    if (!t.ok())
        QFAIL(qPrintable(t.error().message));
    const QList<ValueKind> expected = {ValueKind::Date, ValueKind::Boolean, ValueKind::Text, ValueKind::Integer,
                                       ValueKind::Date, ValueKind::Double, ValueKind::Text, ValueKind::Date,
                                       ValueKind::Date, ValueKind::Currency, ValueKind::Date, ValueKind::Integer,
                                       ValueKind::Integer, ValueKind::Integer, ValueKind::Variant};
    QCOMPARE(t.value().columnKinds, expected);
}

void TestJetSql::everyPrefixTranslatesOrFails()
{
    // Cut anywhere, a statement gives Jet's error or SQL that SQLite accepts.
    const QStringList statements = {
        QStringLiteral("SELECT DISTINCT TOP 2 c.Name AS N, Count(*) FROM (Customers AS c INNER JOIN Orders o ON "
                       "c.CustomerID = o.CustomerID) LEFT JOIN [Order Details] d ON o.OrderID = d.OrderID WHERE "
                       "c.Name Like '[a-c]*' AND o.OrderDate Between #1/1/2000# And #12/31/2001 12:00:00# GROUP BY "
                       "c.Name HAVING Count(*) > 1 ORDER BY c.Name DESC;"),
        QStringLiteral("SELECT IIf(IsNull(City), \"none\", UCase(City)) & '-' & Format(Joined, 'yyyy') FROM "
                       "Customers WHERE CustomerID In (SELECT CustomerID FROM Orders WHERE Amount > 2 ^ 3 Mod 5) "
                       "UNION ALL SELECT Name FROM Products WHERE Not Exists (SELECT * FROM Orders) ORDER BY 1"),
    };
    Db db;
    for (const QString &statement : statements) {
        for (int n = 0; n <= statement.size(); ++n) {
            const QString prefix = statement.left(n);
            const kolta::Result<Translation> t = translate(prefix, testCatalog());
            if (!t.ok()) {
                QVERIFY2(!t.error().message.isEmpty(), qPrintable(prefix));
                continue;
            }
            sqlite3_stmt *st = nullptr;
            int rc = sqlite3_prepare_v2(db.db, t.value().sqliteSql.toUtf8().constData(), -1, &st, nullptr);
            sqlite3_finalize(st);
            QVERIFY2(rc == SQLITE_OK, qPrintable(prefix + QStringLiteral(" -> ") + t.value().sqliteSql
                                                 + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db.db))));
        }
    }
}

void TestJetSql::authorizerRefusesWrites_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("insert") << "INSERT INTO Customers VALUES (9, 'x', 'y', 0, 0)";
    QTest::newRow("delete") << "DELETE FROM Customers";
    QTest::newRow("update") << "UPDATE Customers SET Name = 'x'";
    QTest::newRow("attach") << "ATTACH DATABASE '/tmp/x.db' AS x";
    QTest::newRow("pragma") << "PRAGMA writable_schema = 1";
    QTest::newRow("create") << "CREATE TABLE t (a)";
    QTest::newRow("core function") << "SELECT sqlite_version()";
    QTest::newRow("core function on a table") << "SELECT hex(Name) FROM Customers";
}

void TestJetSql::authorizerRefusesWrites()
{
    QFETCH(QString, sql);
    Db db;
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &st, nullptr);
    sqlite3_finalize(st);
    QVERIFY(rc != SQLITE_OK);
    QVERIFY2(QString::fromUtf8(sqlite3_errmsg(db.db)).contains(QLatin1String("not authorized")),
             sqlite3_errmsg(db.db));
}

void TestJetSql::sqliteErrorsInJetWords_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("words");   // empty: the caller words it
    QTest::newRow("parser stack") << "SELECT " + QStringLiteral("jet_abs(").repeated(100) + "1" + QString(100, u')')
                                  << "Query is too complex.";
    QTest::newRow("expression depth") << "SELECT " + QStringList(1200, QStringLiteral("1")).join(u'+')
                                      << "Query is too complex.";
    QTest::newRow("compound") << QStringList(600, QStringLiteral("SELECT 1")).join(QStringLiteral(" UNION ALL "))
                              << "Query is too complex.";
    QTest::newRow("text too long") << "SELECT jet_string(40000000, 'x')" << "Out of string space";
    QTest::newRow("our own error") << "SELECT jet_cint(100000)" << "Overflow";
    QTest::newRow("anything else") << "SELECT inf" << "";
}

// SQLite's own texts never reach the user; its limits are Jet's words.
void TestJetSql::sqliteErrorsInJetWords()
{
    QFETCH(QString, sql);
    QFETCH(QString, words);
    Db db;
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &st, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st);
    sqlite3_finalize(st);
    QVERIFY(rc != SQLITE_OK && rc != SQLITE_ROW);
    QCOMPARE(jetMessage(db.db, rc), words);
}

void TestJetSql::joinOnKeysScales_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("firstRow");
    QTest::newRow("join on numbers") << "SELECT s.Label, Count(*) AS N, Sum(b.Val) FROM Big AS b INNER JOIN Small AS s "
                                        "ON b.Ref = s.Ref GROUP BY s.Label ORDER BY s.Label"
                                     << "L0|14290|357285710";
    QTest::newRow("join on text") << "SELECT s.Label, Count(*) FROM Small AS s INNER JOIN Big AS b ON s.Code = b.Code "
                                     "GROUP BY s.Label ORDER BY s.Label"
                                  << "L0|14290";
    QTest::newRow("correlated exists") << "SELECT Count(*) FROM Small AS s WHERE EXISTS (SELECT * FROM Big AS b WHERE "
                                          "b.Ref = s.Ref AND b.Val > 49000)"
                                       << "2000";
}

void TestJetSql::joinOnKeysScales()
{
    // 100,000 x 10,000 rows of virtual tables: a nested loop over both would take many minutes.
    QFETCH(QString, jet);
    QFETCH(QString, firstRow);
    Db db;
    static const sqlite3_module module = mirrorModule();
    sqlite3_set_authorizer(db.db, nullptr, nullptr);
    sqlite3_create_module(db.db, "mirror", &module, nullptr);
    sqlite3_exec(db.db,
                 "CREATE TABLE BigData (ID INTEGER, Ref INTEGER, Val REAL, Code TEXT);"
                 "CREATE TABLE SmallData (Ref INTEGER, Label TEXT, Code TEXT);"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
                 "INSERT INTO BigData SELECT i, i % 10000, i * 0.5, 'k' || (i % 10000) FROM n;"
                 "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9999) "
                 "INSERT INTO SmallData SELECT i, 'L' || (i % 7), 'K' || i FROM n;"
                 "CREATE VIRTUAL TABLE BigV USING mirror(BigData);"
                 "CREATE VIRTUAL TABLE SmallV USING mirror(SmallData);",
                 nullptr, nullptr, nullptr);
    sqlite3_set_authorizer(db.db, readOnlyAuthorizer, nullptr);
    Catalog c;
    c.tables.append({QStringLiteral("Big"), QStringLiteral("BigV"),
                     {{QStringLiteral("ID"), 4}, {QStringLiteral("Ref"), 4}, {QStringLiteral("Val"), 7},
                      {QStringLiteral("Code"), 10}}});
    c.tables.append({QStringLiteral("Small"), QStringLiteral("SmallV"),
                     {{QStringLiteral("Ref"), 4}, {QStringLiteral("Label"), 10}, {QStringLiteral("Code"), 10}}});
    Outcome o = run(db.db, jet, c);
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
    QCOMPARE(o.rows.section(QLatin1Char(';'), 0, 0), firstRow);
}

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
