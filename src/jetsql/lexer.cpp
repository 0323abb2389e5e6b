#include "lexer.h"

#include "vba.h"

namespace kolta::jetsql {

bool Token::is(const char *keyword) const
{
    return type == TokenType::Name && text.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
}

bool Token::sym(const char *symbol) const
{
    return type == TokenType::Symbol && text == QLatin1String(symbol);
}

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool isNamePart(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

} // namespace

QList<Token> tokenize(const QString &sql)
{
    QList<Token> out;
    int i = 0;
    const int n = sql.size();
    while (true) {
        while (i < n && sql.at(i).isSpace())
            ++i;
        Token t;
        t.pos = i;
        if (i >= n) {
            t.end = n;
            out.append(t);
            break;
        }
        QChar c = sql.at(i);
        if (isNameStart(c)) {
            int j = i;
            while (j < n && isNamePart(sql.at(j)))
                ++j;
            // Left$( and the other text-only forms of the VBA functions
            if (j < n && sql.at(j) == QLatin1Char('$')) {
                int k = j + 1;
                while (k < n && sql.at(k).isSpace())
                    ++k;
                if (k < n && sql.at(k) == QLatin1Char('('))
                    ++j;
            }
            t.type = TokenType::Name;
            t.text = sql.mid(i, j - i);
            i = j;
        } else if (c == QLatin1Char('[')) {
            int j = sql.indexOf(QLatin1Char(']'), i + 1);
            if (j < 0) {
                t.type = TokenType::BadChar;
                t.text = sql.mid(i);
                i = n;
            } else {
                t.type = TokenType::Bracketed;
                t.text = sql.mid(i + 1, j - i - 1);
                i = j + 1;
            }
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            QString text;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) {
                        text += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                text += sql.at(j++);
            }
            t.type = closed ? TokenType::String : TokenType::BadString;
            t.text = text;
            i = j;
        } else if (c == QLatin1Char('#')) {
            int j = sql.indexOf(QLatin1Char('#'), i + 1);
            if (j < 0) {
                t.type = TokenType::BadDate;
                t.text = sql.mid(i + 1);
                i = n;
            } else {
                t.text = sql.mid(i + 1, j - i - 1);
                std::optional<double> d = vba::parseDate(t.text);
                t.type = d ? TokenType::Date : TokenType::BadDate;
                t.number = d.value_or(0);
                i = j + 1;
            }
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && sql.at(i + 1).isDigit())) {
            int j = i;
            while (j < n && sql.at(j).isDigit())
                ++j;
            bool integer = true;
            if (j < n && sql.at(j) == QLatin1Char('.')) {
                integer = false;
                ++j;
                while (j < n && sql.at(j).isDigit())
                    ++j;
            }
            if (j < n && (sql.at(j) == QLatin1Char('e') || sql.at(j) == QLatin1Char('E'))) {
                int k = j + 1;
                if (k < n && (sql.at(k) == QLatin1Char('+') || sql.at(k) == QLatin1Char('-')))
                    ++k;
                if (k < n && sql.at(k).isDigit()) {
                    integer = false;
                    while (k < n && sql.at(k).isDigit())
                        ++k;
                    j = k;
                }
            }
            t.type = TokenType::Number;
            t.text = sql.mid(i, j - i);
            t.number = t.text.toDouble();
            // Jet's whole-number literals are Long up to 2^31, Double beyond.
            t.integer = integer && std::abs(t.number) < 2147483648.0;
            i = j;
        } else {
            static const char *const two[] = {"<>", "<=", ">=", nullptr};
            t.type = TokenType::Symbol;
            QString pair = sql.mid(i, 2);
            bool matched = false;
            for (int k = 0; two[k]; ++k)
                if (pair == QLatin1String(two[k])) {
                    t.text = pair;
                    i += 2;
                    matched = true;
                    break;
                }
            if (!matched) {
                if (QStringLiteral("(),.!*/\\^+-&=<>;").contains(c))
                    t.type = TokenType::Symbol;
                else
                    t.type = TokenType::BadChar;
                t.text = c;
                ++i;
            }
        }
        t.end = i;
        out.append(t);
    }
    return out;
}

} // namespace kolta::jetsql
