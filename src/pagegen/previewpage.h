#pragma once

#include "desktop.h"
#include "module1.h"
#include "result.h"

class QWidget;

namespace kolta {
namespace jet { class DBEngine; }
}

namespace kolta::pagegen {

// The most rows a preview shows; a line after them tells how many more the page would show.
inline constexpr int PreviewRowLimit = 1000;

// The Preview Page command: runs gSqlQuery as the page's provider would, writes
// the HTML the page would send to a temporary file and opens it in the browser.
// A relative background image is looked for in imageFolder. The file's name,
// or the failure, which has been shown to the user already.
Result<QString> previewPage(const Module1 &session, jet::DBEngine &engine, Desktop &desktop, QWidget *window,
                            const QString &imageFolder);

} // namespace kolta::pagegen
