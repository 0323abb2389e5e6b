#pragma once

#include "platform/commondialog.h"
#include "shell/module1.h"

class QWidget;

namespace kolta::pagegen {

// The Generate ASP command: asks for a file on cmd and writes the page there.
void generateAsp(Module1 &session, CommonDialog &cmd, Desktop &desktop, QWidget *window);

} // namespace kolta::pagegen
