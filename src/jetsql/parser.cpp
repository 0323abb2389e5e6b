// One piece on purpose: a recursive-descent parser of Jet SQL whose
// functions follow the grammar and call one another (a statement holds
// subqueries, an expression holds statements); split, each part would need
// the others' private declarations.
#include "parser.h"

#include "lexer.h"
#include "sqltexts.h"

#include <QScopeGuard>

#include <cmath>
#include <functional>
#include <utility>

namespace kolta::jetsql {

namespace {

struct ParseError
{
    QString message;
};

const char *const kClauseWords[] = {"FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "INTO", "PIVOT", nullptr};

bool isClauseWord(const Token &t)
{
    for (int i = 0; kClauseWords[i]; ++i)
        if (t.is(kClauseWords[i]))
            return true;
    return false;
}

class Parser
{
public:
    explicit Parser(const QString &sql) : m_sql(sql), m_toks(tokenize(sql)) {}

    std::shared_ptr<Query> statement()
    {
        QList<ParameterDecl> declared;
        if (cur().is("PARAMETERS"))
            declared = parameters();
        const Token &first = cur();
        static const char *const actions[] = {"INSERT", "UPDATE", "DELETE", nullptr};
        static const char *const definitions[] = {"CREATE", "DROP", "ALTER", "GRANT", "REVOKE", nullptr};
        for (int i = 0; actions[i]; ++i)
            if (first.is(actions[i]))
                fail(QString::fromLatin1(texts::kRefusedAction).arg(first.text.toUpper()));
        for (int i = 0; definitions[i]; ++i)
            if (first.is(definitions[i]))
                fail(QString::fromLatin1(texts::kRefusedDefinition).arg(first.text.toUpper()));
        if (first.is("TRANSFORM")) {
            auto q = crosstab();
            q->parameters = declared;
            return q;
        }
        if (first.is("PROCEDURE") || first.is("EXECUTE") || first.is("EXEC"))
            fail(QString::fromLatin1(texts::kRefusedProcedure).arg(first.text.toUpper()));
        if (!first.is("SELECT") && !first.sym("("))
            fail(QString::fromLatin1(texts::kInvalidStatement));
        auto q = query();
        if (cur().sym(";"))
            ++m_i;
        if (cur().type != TokenType::End)
            fail(QString::fromLatin1(texts::kCharactersAfterEnd));
        q->parameters = declared;
        return q;
    }

private:
    // PARAMETERS name type [(size)], ... ;
    QList<ParameterDecl> parameters()
    {
        ++m_i;
        QList<ParameterDecl> out;
        do {
            if (cur().type != TokenType::Name && cur().type != TokenType::Bracketed)
                fail(texts::kSyntaxParameters);
            ParameterDecl d;
            d.name = cur().text;
            ++m_i;
            if (cur().type != TokenType::Name)
                fail(texts::kSyntaxParameters);
            d.daoType = daoTypeOf(cur().text);
            if (d.daoType == 0)
                fail(texts::kSyntaxParameters);
            ++m_i;
            if (acceptSym("(")) {
                if (cur().type != TokenType::Number || !cur().integer || cur().number < 1 || cur().number > 255)
                    fail(texts::kSyntaxParameters);
                d.size = int(cur().number);
                ++m_i;
                if (!acceptSym(")"))
                    fail(texts::kSyntaxParameters);
            }
            for (const ParameterDecl &o : std::as_const(out))
                if (o.name.compare(d.name, Qt::CaseInsensitive) == 0)
                    fail(QString::fromLatin1(texts::kDuplicateParameter).arg(d.name));
            out.append(d);
        } while (acceptSym(","));
        if (!acceptSym(";"))
            fail(texts::kSyntaxParameters);
        return out;
    }

    // Jet's type names in a PARAMETERS clause and their DAO codes; 0: none.
    static int daoTypeOf(const QString &word)
    {
        static const std::pair<const char *, int> names[] = {
            {"Bit", 1}, {"Boolean", 1}, {"Logical", 1}, {"Logical1", 1}, {"YesNo", 1},
            {"Byte", 2}, {"Integer1", 2}, {"TinyInt", 2},
            {"Short", 3}, {"Integer2", 3}, {"SmallInt", 3},
            {"Long", 4}, {"Int", 4}, {"Integer", 4}, {"Integer4", 4},
            {"Currency", 5}, {"Money", 5},
            {"IEEESingle", 6}, {"Single", 6}, {"Float4", 6}, {"Real", 6},
            {"IEEEDouble", 7}, {"Double", 7}, {"Float", 7}, {"Float8", 7}, {"Number", 7}, {"Numeric", 7},
            {"DateTime", 8}, {"Date", 8}, {"Time", 8}, {"TimeStamp", 8},
            {"Binary", 9}, {"VarBinary", 9},
            {"Text", 10}, {"Char", 10}, {"VarChar", 10}, {"String", 10}, {"Alphanumeric", 10}, {"Value", 10},
            {"LongBinary", 11}, {"OLEObject", 11}, {"General", 11}, {"Image", 11},
            {"LongText", 12}, {"Memo", 12}, {"Note", 12},
            {"Guid", 15}, {"UniqueIdentifier", 15},
            {"Decimal", 20}, {"Dec", 20},
        };
        for (const auto &[name, code] : names)
            if (word.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return code;
        return 0;
    }

    std::shared_ptr<Query> crosstab()
    {
        ++m_i;
        auto ct = std::make_shared<Crosstab>();
        ct->value = topExpr(false, [](const Token &t) { return t.type == TokenType::End || t.is("SELECT") || t.is("AS"); },
                            nullptr);
        if (accept("AS")) {
            if (cur().type != TokenType::Name && cur().type != TokenType::Bracketed)
                fail(texts::kSyntaxTransform);
            ++m_i;
        }
        if (!cur().is("SELECT"))
            fail(texts::kSyntaxTransform);
        m_crosstab = true;
        auto q = query();
        if (q->parts.size() != 1 || !accept("PIVOT"))
            fail(texts::kSyntaxTransform);
        // IN after the pivot lists the headings; it is no comparison there.
        m_pivotLevel = true;
        ct->pivot = topExpr(false, [](const Token &t) { return t.type == TokenType::End || t.sym(";") || t.is("IN"); },
                            nullptr);
        m_pivotLevel = false;
        if (accept("IN")) {
            if (!acceptSym("("))
                fail(texts::kSyntaxTransform);
            ct->fixedHeadings = true;
            do {
                ct->headings.append(expr());
            } while (acceptSym(","));
            if (!acceptSym(")"))
                fail(texts::kSyntaxTransform);
        }
        if (cur().sym(";"))
            ++m_i;
        if (cur().type != TokenType::End)
            fail(QString::fromLatin1(texts::kCharactersAfterEnd));
        q->crosstab = ct;
        return q;
    }

    // PIVOT closes the SELECT of a crosstab as the next clause would.
    bool pivotWord(const Token &t) const { return m_crosstab && t.is("PIVOT"); }
    bool m_crosstab = false;
    bool m_pivotLevel = false;   // reading PIVOT's expression outside parentheses

    const QString &m_sql;
    QList<Token> m_toks;
    int m_i = 0;
    // The top-level expression being read, for "in query expression '...'".
    int m_exprStart = 0;
    bool m_exprInList = false;
    // How deep the reading recurses now, and in how many queries.
    int m_nesting = 0;
    int m_queries = 0;

    // One level deeper for as long as it lives; too deep a statement is refused.
    class Deeper
    {
    public:
        Deeper(Parser &parser, int *counter, int limit) : m_counter(counter)
        {
            if (++*m_counter > limit)
                parser.fail(texts::kTooComplex);
        }
        ~Deeper() { --*m_counter; }
        Deeper(const Deeper &) = delete;
        Deeper &operator=(const Deeper &) = delete;

    private:
        int *m_counter;
    };
    Deeper deeper() { return Deeper(*this, &m_nesting, texts::kMaxDepth); }

    // A node made of others: a tree deeper than the bound is refused here,
    // before anything recurses over it.
    ExprP sized(ExprP e)
    {
        int below = 0;
        for (const ExprP &arg : std::as_const(e->args))
            below = std::max(below, arg->depth);
        e->depth = below + 1;
        if (e->depth > texts::kMaxDepth)
            fail(texts::kTooComplex);
        return e;
    }

    const Token &cur() const { return m_toks.at(m_i); }
    const Token &peek(int k = 1) const { return m_toks.at(std::min<int>(m_i + k, m_toks.size() - 1)); }
    [[noreturn]] void fail(const QString &m) { throw ParseError{m}; }
    [[noreturn]] void fail(const char *m) { throw ParseError{QString::fromLatin1(m)}; }

    bool accept(const char *kw)
    {
        if (cur().is(kw)) {
            ++m_i;
            return true;
        }
        return false;
    }
    bool acceptSym(const char *s)
    {
        if (cur().sym(s)) {
            ++m_i;
            return true;
        }
        return false;
    }

    QString expressionText() const
    {
        QString text = expressionText(false);
        return text.isEmpty() ? expressionText(true) : text;
    }

    // Up to the next clause at the same level; with `unbalanced`, an opening
    // parenthesis never closed ends at the next clause word.
    QString expressionText(bool unbalanced) const
    {
        int depth = 0;
        int k = m_exprStart;
        int endPos = m_toks.at(k).pos;
        for (; k < m_toks.size(); ++k) {
            const Token &t = m_toks.at(k);
            if (t.type == TokenType::End || t.sym(";"))
                break;
            if (t.sym("("))
                ++depth;
            if (t.sym(")") && --depth < 0)
                break;
            if ((depth == 0 || unbalanced) && (isClauseWord(t) || (m_exprInList && depth == 0 && t.sym(","))))
                break;
            endPos = t.end;
        }
        if (!unbalanced && depth > 0)
            return QString();
        int startPos = m_toks.at(m_exprStart).pos;
        return m_sql.mid(startPos, std::max(0, endPos - startPos)).trimmed();
    }

    [[noreturn]] void exprFail(const char *templ) { fail(QString::fromLatin1(templ).arg(expressionText())); }

    // A whole top-level expression: after it only a clause boundary may follow.
    ExprP topExpr(bool inList, const std::function<bool(const Token &)> &boundary, QString *source)
    {
        m_exprStart = m_i;
        m_exprInList = inList;
        ExprP e = expr();
        if (!boundary(cur()))
            missingOperator();
        if (source)
            *source = m_sql.mid(e->pos, e->end - e->pos);
        return e;
    }

    [[noreturn]] void missingOperator()
    {
        if (cur().type == TokenType::BadString)
            exprFail(texts::kSyntaxString);
        if (cur().type == TokenType::BadDate)
            exprFail(texts::kSyntaxDate);
        exprFail(texts::kSyntaxMissingOperator);
    }

    std::shared_ptr<Query> query()
    {
        const Deeper level = deeper();
        const Deeper nested(*this, &m_queries, texts::kMaxQueryNesting);
        auto q = std::make_shared<Query>();
        q->parts.append(select());
        while (cur().is("UNION")) {
            ++m_i;
            q->unionAll.append(accept("ALL"));
            if (accept("SELECT")) {
                --m_i;
                q->parts.append(select());
            } else if (cur().sym("(") && peek().is("SELECT")) {
                ++m_i;
                auto inner = query();
                if (!acceptSym(")"))
                    fail(texts::kSyntaxSelect);
                if (inner->parts.size() != 1 || !inner->orderBy.isEmpty())
                    fail(texts::kSyntaxSelect);
                q->parts.append(inner->parts.first());
            } else
                fail(texts::kSyntaxSelect);
        }
        if (cur().is("ORDER")) {
            ++m_i;
            if (!accept("BY"))
                fail(texts::kSyntaxOrderBy);
            do {
                OrderItem item;
                item.expr = topExpr(true, [this](const Token &t) {
                    return t.type == TokenType::End || t.sym(",") || t.sym(";") || t.sym(")") || t.is("ASC")
                           || t.is("DESC") || pivotWord(t);
                }, &item.source);
                if (accept("DESC"))
                    item.descending = true;
                else
                    accept("ASC");
                q->orderBy.append(item);
            } while (acceptSym(","));
        }
        return q;
    }

    Select select()
    {
        Select s;
        if (cur().sym("(")) {
            fail(texts::kSyntaxSelect);
        }
        if (!accept("SELECT"))
            fail(texts::kSyntaxSelect);
        if (accept("DISTINCTROW"))
            s.distinctRow = true;
        else if (accept("DISTINCT"))
            s.distinct = true;
        else
            accept("ALL");
        if (accept("TOP")) {
            if (cur().type != TokenType::Number || cur().number <= 0)
                fail(texts::kSyntaxSelect);
            s.top = cur().number;
            ++m_i;
            s.percent = accept("PERCENT");
            if (!s.percent && s.top && *s.top != std::floor(*s.top))
                fail(texts::kSyntaxSelect);
        }
        if (cur().is("FROM") || cur().type == TokenType::End)
            fail(texts::kSyntaxSelect);
        do {
            s.items.append(selectItem());
        } while (acceptSym(","));
        if (cur().is("INTO"))
            fail(texts::kRefusedSelectInto);
        // A misspelt FROM: Jet blames the SELECT, not the end of the statement.
        if (!(cur().type == TokenType::End || cur().sym(";") || cur().sym(")") || cur().is("FROM")
              || cur().is("WHERE") || cur().is("GROUP") || cur().is("HAVING") || cur().is("ORDER")
              || cur().is("UNION") || pivotWord(cur())))
            fail(texts::kSyntaxSelect);
        if (accept("FROM")) {
            do {
                s.from.append(joinLevel());
            } while (acceptSym(","));
            if (!(cur().type == TokenType::End || cur().sym(";") || cur().sym(")") || cur().is("WHERE")
                  || cur().is("GROUP") || cur().is("HAVING") || cur().is("ORDER") || cur().is("UNION")
                  || pivotWord(cur())))
                fail(texts::kSyntaxFrom);
        }
        auto clauseEnd = [this](const Token &t) {
            return t.type == TokenType::End || t.sym(";") || t.sym(")") || t.is("GROUP") || t.is("HAVING")
                   || t.is("ORDER") || t.is("UNION") || pivotWord(t);
        };
        if (accept("WHERE"))
            s.where = topExpr(false, clauseEnd, &s.whereSource);
        if (cur().is("GROUP")) {
            ++m_i;
            if (!accept("BY"))
                fail(texts::kSyntaxGroupBy);
            do {
                QString src;
                s.groupBy.append(topExpr(true, [this](const Token &t) {
                    return t.type == TokenType::End || t.sym(";") || t.sym(")") || t.sym(",") || t.is("HAVING")
                           || t.is("ORDER") || t.is("UNION") || pivotWord(t);
                }, &src));
                s.groupBySource.append(src);
            } while (acceptSym(","));
        }
        if (accept("HAVING"))
            s.having = topExpr(false, clauseEnd, &s.havingSource);
        return s;
    }

    SelectItem selectItem()
    {
        SelectItem item;
        int start = cur().pos;
        if (acceptSym("*")) {
            item.star = true;
            item.source = QStringLiteral("*");
            return item;
        }
        if ((cur().type == TokenType::Name || cur().type == TokenType::Bracketed)
            && (peek().sym(".") || peek().sym("!")) && peek(2).sym("*")) {
            item.star = true;
            item.starQualifier = cur().text;
            m_i += 3;
            item.source = m_sql.mid(start, m_toks.at(m_i - 1).end - start);
            return item;
        }
        item.expr = topExpr(true, [](const Token &t) {
            return t.type == TokenType::End || t.sym(",") || t.sym(";") || t.sym(")") || t.is("AS") || t.is("FROM")
                   || t.is("INTO") || t.is("WHERE") || t.is("GROUP") || t.is("HAVING") || t.is("ORDER")
                   || t.is("UNION");
        }, nullptr);
        item.source = m_sql.mid(start, item.expr->end - start);
        if (accept("AS")) {
            if (cur().type != TokenType::Name && cur().type != TokenType::Bracketed)
                fail(texts::kSyntaxSelect);
            item.alias = cur().text;
            item.hasAlias = true;
            ++m_i;
        }
        return item;
    }

    // Jet reads one join per level; more need parentheses around the left side.
    FromP joinLevel()
    {
        const Deeper level = deeper();
        FromP left = source();
        int joins = 0;
        while (cur().is("INNER") || cur().is("LEFT") || cur().is("RIGHT")) {
            if (++joins > texts::kMaxDepth)
                fail(texts::kTooComplex);
            auto j = std::make_shared<FromItem>();
            j->kind = FromItem::Join;
            j->joinType = cur().is("INNER") ? FromItem::Inner : cur().is("LEFT") ? FromItem::Left : FromItem::Right;
            ++m_i;
            if (j->joinType != FromItem::Inner)
                accept("OUTER");
            if (!accept("JOIN"))
                fail(texts::kSyntaxFrom);
            j->left = left;
            j->right = source();
            if (!accept("ON"))
                fail(texts::kSyntaxJoin);
            j->on = topExpr(false, [this](const Token &t) {
                return t.type == TokenType::End || t.sym(";") || t.sym(")") || t.sym(",") || t.is("WHERE")
                       || t.is("GROUP") || t.is("HAVING") || t.is("ORDER") || t.is("UNION") || pivotWord(t);
            }, &j->onSource);
            left = j;
        }
        return left;
    }

    FromP source()
    {
        auto f = std::make_shared<FromItem>();
        if (acceptSym("(")) {
            if (cur().is("SELECT")) {
                f->kind = FromItem::Derived;
                f->query = query();
                if (!acceptSym(")"))
                    fail(texts::kSyntaxFrom);
            } else {
                FromP inner = joinLevel();
                if (!acceptSym(")"))
                    fail(texts::kSyntaxFrom);
                if (inner->kind == FromItem::Join)
                    return inner;
                f = inner;   // (Table) alone
                return f;
            }
        } else if (cur().type == TokenType::Name || cur().type == TokenType::Bracketed) {
            if (cur().type == TokenType::Name && isReserved(cur()))
                fail(texts::kSyntaxFrom);
            if (cur().type == TokenType::Bracketed && peek().sym(".")
                && (cur().text.startsWith(QLatin1Char(';')) || cur().text.contains(QLatin1Char(';'))))
                fail(texts::kRefusedExternal);
            f->name = cur().text;
            ++m_i;
            if (cur().is("IN") && (peek().type == TokenType::String || peek().type == TokenType::Bracketed))
                fail(texts::kRefusedExternal);
            // owner.table is not Jet; a dotted name is a syntax error there too
            if (cur().sym("."))
                fail(texts::kSyntaxFrom);
        } else
            fail(texts::kSyntaxFrom);
        if (accept("AS")) {
            if (cur().type != TokenType::Name && cur().type != TokenType::Bracketed)
                fail(texts::kSyntaxFrom);
            f->alias = cur().text;
            ++m_i;
        } else if ((cur().type == TokenType::Name && !isReserved(cur())) || cur().type == TokenType::Bracketed) {
            f->alias = cur().text;
            ++m_i;
        }
        if (f->kind == FromItem::Derived && f->alias.isEmpty())
            f->alias = QStringLiteral("Query%1").arg(++m_derivedCount);
        return f;
    }
    int m_derivedCount = 0;

    static bool isReserved(const Token &t)
    {
        static const char *const words[] = {"SELECT", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION",
                                            "INNER", "LEFT", "RIGHT", "JOIN", "ON", "AS", "AND", "OR", "NOT",
                                            "INTO", "OUTER", "BY", "IN", "PIVOT", "TRANSFORM", nullptr};
        for (int i = 0; words[i]; ++i)
            if (t.is(words[i]))
                return true;
        return false;
    }

    // ---- expressions, loosest first: Imp Eqv Xor Or And Not compare & +- Mod \ */ unary ^
    ExprP binary(const QString &op, ExprP a, ExprP b)
    {
        auto e = std::make_shared<Expr>();
        e->kind = Expr::Binary;
        e->op = op;
        e->pos = a->pos;
        e->end = b->end;
        e->args = {a, b};
        return sized(e);
    }

    // And, Or and & are associative: their chains are built balanced, so
    // that a long list of alternatives nests only as deep as its logarithm.
    ExprP balanced(const QString &op, const QList<ExprP> &terms, qsizetype first, qsizetype count)
    {
        if (count == 1)
            return terms.at(first);
        const qsizetype half = count / 2;
        return binary(op, balanced(op, terms, first, half), balanced(op, terms, first + half, count - half));
    }

    ExprP expr()
    {
        const Deeper level = deeper();
        return impExpr();
    }

    ExprP keywordLevel(const char *kw, ExprP (Parser::*next)())
    {
        ExprP a = (this->*next)();
        const QString op = QString::fromLatin1(kw);
        if (op == QLatin1String("AND") || op == QLatin1String("OR")) {
            QList<ExprP> terms = {a};
            while (cur().is(kw)) {
                ++m_i;
                terms.append((this->*next)());
            }
            return balanced(op, terms, 0, terms.size());
        }
        while (cur().is(kw)) {
            ++m_i;
            a = binary(op, a, (this->*next)());
        }
        return a;
    }
    ExprP impExpr() { return keywordLevel("IMP", &Parser::eqvExpr); }
    ExprP eqvExpr() { return keywordLevel("EQV", &Parser::xorExpr); }
    ExprP xorExpr() { return keywordLevel("XOR", &Parser::orExpr); }
    ExprP orExpr() { return keywordLevel("OR", &Parser::andExpr); }
    ExprP andExpr() { return keywordLevel("AND", &Parser::notExpr); }

    ExprP notExpr()
    {
        if (cur().is("NOT")) {
            const Deeper level = deeper();
            int pos = cur().pos;
            ++m_i;
            auto e = std::make_shared<Expr>();
            e->kind = Expr::Unary;
            e->op = QStringLiteral("NOT");
            e->args = {notExpr()};
            e->pos = pos;
            e->end = e->args[0]->end;
            return sized(e);
        }
        return compareExpr();
    }

    ExprP compareExpr()
    {
        ExprP a = concatExpr();
        while (true) {
            const Token &t = cur();
            static const char *const ops[] = {"=", "<>", "<", ">", "<=", ">=", nullptr};
            bool isOp = false;
            for (int k = 0; ops[k]; ++k)
                if (t.sym(ops[k]))
                    isOp = true;
            if (isOp) {
                QString op = t.text;
                ++m_i;
                if ((cur().is("ALL") || cur().is("ANY") || cur().is("SOME")) && peek().sym("(")
                    && peek(2).is("SELECT")) {
                    auto e = std::make_shared<Expr>();
                    e->kind = Expr::Quantified;
                    e->pos = a->pos;
                    e->op = op;
                    e->name = cur().is("ALL") ? QStringLiteral("ALL") : QStringLiteral("ANY");
                    e->args = {a};
                    m_i += 2;
                    e->query = subquery();
                    if (!acceptSym(")"))
                        exprFail(texts::kSyntaxExpression);
                    e->end = m_toks.at(m_i - 1).end;
                    a = sized(e);
                    continue;
                }
                a = binary(op, a, concatExpr());
                continue;
            }
            bool negated = false;
            if (t.is("NOT") && (peek().is("LIKE") || peek().is("ALIKE") || peek().is("IN") || peek().is("BETWEEN"))) {
                negated = true;
                ++m_i;
            }
            auto e = std::make_shared<Expr>();
            e->pos = a->pos;
            e->negated = negated;
            if (cur().is("LIKE") || cur().is("ALIKE")) {
                e->kind = Expr::Like;
                e->ansi = cur().is("ALIKE");
                ++m_i;
                e->args = {a, concatExpr()};
            } else if (accept("BETWEEN")) {
                e->kind = Expr::Between;
                ExprP low = concatExpr();
                if (!accept("AND"))
                    missingOperator();
                e->args = {a, low, concatExpr()};
            } else if (!m_pivotLevel && accept("IN")) {
                if (!acceptSym("("))
                    exprFail(texts::kSyntaxExpression);
                if (cur().is("SELECT")) {
                    e->kind = Expr::InQuery;
                    e->args = {a};
                    e->query = subquery();
                } else {
                    e->kind = Expr::InList;
                    e->args = {a};
                    do {
                        e->args.append(expr());
                    } while (acceptSym(","));
                }
                if (!acceptSym(")"))
                    exprFail(texts::kSyntaxExpression);
                e->end = m_toks.at(m_i - 1).end;
                a = sized(e);
                continue;
            } else if (accept("IS")) {
                e->kind = Expr::IsNull;
                e->negated = accept("NOT");
                if (!accept("NULL"))
                    exprFail(texts::kSyntaxExpression);
                e->args = {a};
                e->end = m_toks.at(m_i - 1).end;
                a = sized(e);
                continue;
            } else
                break;
            e->end = e->args.last()->end;
            a = sized(e);
        }
        return a;
    }

    ExprP symLevel(const QStringList &syms, const QStringList &words, ExprP (Parser::*next)())
    {
        ExprP a = (this->*next)();
        if (syms == QStringList{QStringLiteral("&")}) {
            QList<ExprP> terms = {a};
            while (cur().sym("&")) {
                ++m_i;
                terms.append((this->*next)());
            }
            return balanced(QStringLiteral("&"), terms, 0, terms.size());
        }
        while (true) {
            QString op;
            for (const QString &s : syms)
                if (cur().type == TokenType::Symbol && cur().text == s)
                    op = s;
            for (const QString &w : words)
                if (cur().type == TokenType::Name && cur().text.compare(w, Qt::CaseInsensitive) == 0)
                    op = w;
            if (op.isEmpty())
                return a;
            ++m_i;
            a = binary(op, a, (this->*next)());
        }
    }
    ExprP concatExpr() { return symLevel({QStringLiteral("&")}, {}, &Parser::addExpr); }
    ExprP addExpr() { return symLevel({QStringLiteral("+"), QStringLiteral("-")}, {}, &Parser::modExpr); }
    ExprP modExpr() { return symLevel({}, {QStringLiteral("MOD")}, &Parser::idivExpr); }
    ExprP idivExpr() { return symLevel({QStringLiteral("\\")}, {}, &Parser::mulExpr); }
    ExprP mulExpr() { return symLevel({QStringLiteral("*"), QStringLiteral("/")}, {}, &Parser::unaryExpr); }

    ExprP unaryExpr()
    {
        if (cur().sym("-") || cur().sym("+")) {
            const Deeper level = deeper();
            int pos = cur().pos;
            QString op = cur().text;
            ++m_i;
            auto e = std::make_shared<Expr>();
            e->kind = Expr::Unary;
            e->op = op;
            e->args = {unaryExpr()};
            e->pos = pos;
            e->end = e->args[0]->end;
            return sized(e);
        }
        return powExpr();
    }

    ExprP powExpr()
    {
        ExprP a = primary();
        while (cur().sym("^")) {
            ++m_i;
            ExprP b;
            if (cur().sym("-") || cur().sym("+"))
                b = unaryExpr();
            else
                b = primary();
            a = binary(QStringLiteral("^"), a, b);
        }
        return a;
    }

    std::shared_ptr<Query> subquery()
    {
        int savedStart = m_exprStart;
        bool savedList = m_exprInList;
        auto q = query();
        m_exprStart = savedStart;
        m_exprInList = savedList;
        return q;
    }

    ExprP primary()
    {
        const Token t = cur();
        auto e = std::make_shared<Expr>();
        e->pos = t.pos;
        e->end = t.end;
        switch (t.type) {
        case TokenType::Number:
            ++m_i;
            e->kind = Expr::Number;
            e->number = t.number;
            e->integer = t.integer;
            e->text = t.text;
            return e;
        case TokenType::String:
            ++m_i;
            e->kind = Expr::String;
            e->text = t.text;
            return e;
        case TokenType::Date:
            ++m_i;
            e->kind = Expr::Date;
            e->number = t.number;
            return e;
        case TokenType::BadString:
            exprFail(texts::kSyntaxString);
        case TokenType::BadDate:
            exprFail(texts::kSyntaxDate);
        case TokenType::Symbol:
            if (t.sym("(")) {
                ++m_i;
                const bool pivotLevel = std::exchange(m_pivotLevel, false);
                const auto restore = qScopeGuard([&] { m_pivotLevel = pivotLevel; });
                if (cur().is("SELECT")) {
                    e->kind = Expr::Subquery;
                    e->query = subquery();
                } else {
                    ExprP inner = expr();
                    if (!acceptSym(")"))
                        exprFail(texts::kSyntaxExpression);
                    inner->pos = t.pos;
                    inner->end = m_toks.at(m_i - 1).end;
                    return inner;
                }
                if (!acceptSym(")"))
                    exprFail(texts::kSyntaxExpression);
                e->end = m_toks.at(m_i - 1).end;
                return e;
            }
            exprFail(texts::kSyntaxExpression);
        case TokenType::Name:
            if (t.is("NULL")) {
                ++m_i;
                e->kind = Expr::Null;
                return e;
            }
            if (t.is("TRUE") || t.is("YES") || t.is("ON") || t.is("FALSE") || t.is("NO") || t.is("OFF")) {
                ++m_i;
                e->kind = Expr::Boolean;
                e->number = (t.is("TRUE") || t.is("YES") || t.is("ON")) ? -1 : 0;
                return e;
            }
            if (t.is("EXISTS")) {
                ++m_i;
                if (!acceptSym("(") || !cur().is("SELECT"))
                    exprFail(texts::kSyntaxExpression);
                e->kind = Expr::Exists;
                e->query = subquery();
                if (!acceptSym(")"))
                    exprFail(texts::kSyntaxExpression);
                e->end = m_toks.at(m_i - 1).end;
                return e;
            }
            if ((isReserved(t) && !((t.is("LEFT") || t.is("RIGHT")) && peek().sym("("))) || t.is("SELECT")
                || t.is("LIKE") || t.is("ALIKE") || t.is("BETWEEN") || t.is("IN") || t.is("IS")
                || t.is("MOD") || t.is("XOR") || t.is("EQV") || t.is("IMP"))
                exprFail(texts::kSyntaxExpression);
            if (peek().sym("(")) {
                m_i += 2;
                const bool pivotLevel = std::exchange(m_pivotLevel, false);
                const auto restore = qScopeGuard([&] { m_pivotLevel = pivotLevel; });
                e->kind = Expr::Call;
                e->name = t.text;
                if (cur().sym("*")) {
                    ++m_i;
                    e->star = true;
                } else if (!cur().sym(")")) {
                    do {
                        e->args.append(expr());
                    } while (acceptSym(","));
                }
                if (!acceptSym(")"))
                    exprFail(texts::kSyntaxExpression);
                e->end = m_toks.at(m_i - 1).end;
                e->text = m_sql.mid(e->pos, e->end - e->pos);
                return sized(e);
            }
            [[fallthrough]];
        case TokenType::Bracketed: {
            ++m_i;
            e->kind = Expr::Column;
            e->name = t.text;
            if ((cur().sym(".") || cur().sym("!"))
                && (peek().type == TokenType::Name || peek().type == TokenType::Bracketed)) {
                e->qualifier = t.text;
                e->op = cur().text;   // "." or "!": how a parameter's name is written
                e->name = peek().text;
                m_i += 2;
                // Forms!frmOrders!txtDate and the like: a parameter for Jet
                QString chain = e->qualifier + QLatin1Char('!') + e->name;
                bool longer = false;
                while ((cur().sym(".") || cur().sym("!"))
                       && (peek().type == TokenType::Name || peek().type == TokenType::Bracketed)) {
                    chain += QLatin1Char('!') + peek().text;
                    longer = true;
                    m_i += 2;
                }
                if (longer) {
                    e->qualifier = QStringLiteral("!");   // no source is named so
                    e->name = chain;
                }
            }
            e->end = m_toks.at(m_i - 1).end;
            return e;
        }
        default:
            exprFail(texts::kSyntaxExpression);
        }
    }
};

} // namespace

Result<std::shared_ptr<Query>> parseStatement(const QString &sql)
{
    try {
        Parser p(sql);
        return p.statement();
    } catch (const ParseError &e) {
        return Error{e.message};
    }
}

} // namespace kolta::jetsql
