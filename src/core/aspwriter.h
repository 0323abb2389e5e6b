#pragma once

#include "module1.h"
#include "result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace kolta::pagegen {

// Escaping of values on their way into the page. Each leaves a value that
// needs none unchanged.
QString vbsLiteralBody(const QString &value);   // inside "..." of VBScript
QString oledbValue(const QString &value);       // a connection-string value
QString htmlText(const QString &value);         // the HTML parts of the page

// Whether path names an Access 2007 or later file (".accdb").
bool isAceDatabase(const QString &path);
// The page's connection string: the Jet 4.0 provider for ".mdb" files, ACE
// 12.0 for ".accdb" files.
QString connectionString(const Module1 &session);

// The whole page, Windows-1252 with CR LF line ends, from the session values.
// Fails when a heading is missing from gFieldLabels or the count is out of range.
Result<QByteArray> composeAspPage(const Module1 &session);

// What the statement of the page gives, for a preview.
struct PageRows
{
    int columns = 0;              // the result's column count
    QList<QVariantList> rows;     // the first rows, each value as the page's VBScript writes it (Null: null)
    qint64 moreRows = 0;          // rows the page would show beyond these
};

// The HTML that the page of composeAspPage sends for these rows, with a line
// saying how many more it would show; a relative BACKGROUND image is made a
// file address in imageFolder, where the browser finds it beside the page.
Result<QString> composePagePreview(const Module1 &session, const PageRows &result, const QString &imageFolder);

} // namespace kolta::pagegen
