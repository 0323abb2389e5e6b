#pragma once

#include "rtfreader.h"

class QTextDocument;

namespace kolta::about {

// Replaces the document's content with the read rich text. Text without a
// font or size of its own takes the document's default font.
void fillTextDocument(QTextDocument &document, const RtfDocument &rtf);

} // namespace kolta::about
