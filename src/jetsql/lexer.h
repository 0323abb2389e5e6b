#pragma once

// Tokens of Jet SQL. Keywords are plain names; the parser compares them
// case-insensitively, since any of them may be a bracketed column name.

#include <QList>
#include <QString>

namespace kolta::jetsql {

enum class TokenType {
    End,
    Name,        // bare word
    Bracketed,   // [any name]
    String,      // 'text' or "text", quotes removed
    Number,
    Date,        // #...#, value in `number`
    Symbol,      // ( ) , . ! * / \ ^ + - & = <> < > <= >= ;
    BadString,   // unterminated string
    BadDate,     // #...# that is not a date
    BadChar,
};

struct Token
{
    TokenType type = TokenType::End;
    QString text;        // name, string contents, symbol
    int pos = 0;         // offset in the statement
    int end = 0;
    double number = 0;
    bool integer = false;

    bool is(const char *keyword) const;   // a bare Name equal to keyword
    bool sym(const char *symbol) const;
};

QList<Token> tokenize(const QString &sql);

} // namespace kolta::jetsql
