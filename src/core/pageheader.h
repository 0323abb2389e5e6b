#pragma once

#include <QString>

namespace kolta::pagegen {

// The HTML that opens a generated page: title, heading, the body start tag
// and the result table's start tag. An empty text leaves its attribute out;
// every other text is written exactly as given.
QString BuildPageHeader(const QString &caption, const QString &bgColor, const QString &background,
                        const QString &align, const QString &border, const QString &borderColor,
                        const QString &rules, const QString &cellPadding, const QString &cellSpacing);

// A colour value (0x00BBGGRR) as upper-case hexadecimal without leading
// zeros: pure red gives "FF", pure blue "FF0000", black "0".
QString ColorToText(quint32 color);

} // namespace kolta::pagegen
