#pragma once

#include "commondialog.h"
#include "module1.h"
#include "result.h"

#include <optional>

class QWidget;

namespace kolta::pagegen {

// The Generate ASP command: asks for a file on cmd and writes the page there.
// The file's name once it is written; nothing when the user cancelled the
// save dialog; a failure, which has been shown to the user already.
Result<std::optional<QString>> generateAsp(Module1 &session, CommonDialog &cmd, Desktop &desktop,
                                           QWidget *window);

} // namespace kolta::pagegen
