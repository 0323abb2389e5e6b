#pragma once

// What the plain page and the page with options share.

#include "aspwriter.h"

#include <QStringList>

namespace kolta::pagegen {

// The page's row loop, as it stands in the page and as it comes out of it.
inline const QLatin1StringView RowStart("  <TR>");
inline const QLatin1StringView CellStart("      <TD>");
inline const QLatin1StringView CellEnd("</TD>");
inline const QLatin1StringView CellLoopIndent("    ");
inline const QLatin1StringView RowEnd("  </TR>");
inline const QLatin1StringView PageEnd("</TABLE></BODY></HTML>");
inline const QLatin1StringView CrLf("\r\n");

// The heading row's lines in order, or the reason one is missing.
Result<QStringList> headings(const Module1 &session);
// Server.HTMLEncode
QString htmlEncode(const QString &text);
QString withBackgroundIn(const QString &header, const QString &folder);
QByteArray toWindows1252(const QString &text);
// The column count as the cell loop writes it.
QString cellCount(qint16 count);
// One table row of the page's row loop: a cell for each of count fields.
QStringList rowLines(qint16 count);

// Whether any page option is set: parameters, paging or an empty-result text.
bool hasPageOptions(const Module1 &session);
Result<QByteArray> composeOptionsPage(const Module1 &session);
Result<QString> composeOptionsPreview(const Module1 &session, const PageRows &result, const QString &imageFolder);

} // namespace kolta::pagegen
