#pragma once

#include "commondialog.h"
#include "module1.h"

class QWidget;

namespace kolta::pagegen {

// The Generate ASP command: asks for a file on cmd and writes the page there;
// the file's name once it is written.
std::optional<QString> generateAsp(Module1 &session, CommonDialog &cmd, Desktop &desktop, QWidget *window);

} // namespace kolta::pagegen
