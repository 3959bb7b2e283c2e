// The tool's manual page in roff, made from the same tables as its --help.
#pragma once

#include "Commands.h"

#include <QString>

#include <vector>

namespace uvccamctl {

// The whole page for man(1): NAME, SYNOPSIS, DESCRIPTION, OPTIONS, COMMANDS, EXIT STATUS
// and EXAMPLES. `version` goes into the page's footer.
QString manPage(const ToolHelp& help, const std::vector<Command>& commands, const QString& version);

}  // namespace uvccamctl
