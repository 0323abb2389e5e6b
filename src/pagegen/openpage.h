#pragma once

#include "commondialog.h"
#include "module1.h"
#include "result.h"

#include <optional>

class QWidget;

namespace kolta::pagegen {

// The Open Page command: asks for a page on cmd and restores the session
// values it was written from. The file's name; nothing when the user
// cancelled; a failure, which has been shown to the user already.
Result<std::optional<QString>> openPage(Module1 &session, CommonDialog &cmd, Desktop &desktop, QWidget *window);

} // namespace kolta::pagegen
