#pragma once

#include <QLatin1StringView>

// Texts the program shows or writes, each defined once.
namespace kolta::texts {

inline constexpr QLatin1StringView AppTitle("KOLTA");
inline constexpr QLatin1StringView NoSqlStatement("No SQL Statement!");
inline constexpr QLatin1StringView Done("Done!");
inline constexpr QLatin1StringView SqlError("SQL Error!");
inline constexpr QLatin1StringView DefaultPageHeader("<HTML><BODY><TABLE>");
inline constexpr QLatin1StringView PreviewMoreRows("KOLTA preview: the page would show %1 more rows here.");
inline constexpr QLatin1StringView PreviewFailed("The page could not be previewed.");

inline constexpr QLatin1StringView AccessFilter(
    "MS Access databases (*.mdb)|*.mdb|MS Access 2007 databases (*.accdb)|*.accdb");
inline constexpr QLatin1StringView SystemDbFilter("System Databases (*.mdw)|*.mdw");
inline constexpr QLatin1StringView AspFilter("Active Server Pages (*.asp)|*.asp");
inline constexpr QLatin1StringView PdfFilter("PDF documents (*.pdf)|*.pdf");

} // namespace kolta::texts
