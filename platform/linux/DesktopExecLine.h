// The command line of a desktop entry's Exec key: quoting one argument, and splitting a line into arguments.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace uvccam::platform {

// Both work on the value as the entry holds it once its string escapes are undone
// (DesktopEntry writes and undoes those): a literal backslash in a quoted argument is
// "\\" here and "\\\\" in the file.
//
// An argument with a reserved character (space, tab, newline, " ' \ > < ~ | & ; $ * ? # ( ) `)
// goes in double quotes, where " ` $ and \ take a backslash; a literal % is written %%
// inside or outside quotes, since % starts a field code such as %U.
QString quoteExecArgument(const QString& argument);

// The arguments, quotes and %% undone; other field codes stay as written. None when a
// quote is not closed.
std::optional<QStringList> splitExecLine(const QString& line);

}  // namespace uvccam::platform
