#pragma once

#include <QString>

namespace kolta::browse {

// The type text of a DAO type code, at most 10 characters; a calculated
// column's is its result's behind "=".
QString typeText(qint16 type, bool calculated = false);

// Character columns of a field line: the name's, then type and size together.
inline constexpr int NameColumns = 44;
inline constexpr int TypeSizeColumns = 12;

// One line of the field list: the name in 44 columns, then type text and
// size in 12 columns with the size right-aligned behind its sign place.
QString fieldLine(const QString &name, qint16 type, qint32 size, bool calculated = false);

// A number as the classic number-to-text conversion writes it: a blank in
// the sign place of values that are not negative.
QString signedText(qint64 value);

} // namespace kolta::browse
