// Says what happened, in plain words; refusals stand out in red.
#include "StatusLine.h"

#include <QApplication>

namespace uvccamviewer {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("statusLine"));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    say(tr("Ready"));
}

void StatusLine::say(const QString& message)
{
    show(message, "palette(window-text)");
}

void StatusLine::refused(const QString& call, int result)
{
    show(QStringLiteral("%1: refused (%2)").arg(call).arg(result), "#b00020");
}

void StatusLine::rejected(const QString& message)
{
    show(message, "#b00020");
}

void StatusLine::sayBusy(const QString& message)
{
    show(message, "#8a5a00");
    repaint();
}

void StatusLine::show(const QString& message, const char* colour)
{
    setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(QLatin1String(colour)));
    setText(message);
    setToolTip(message);
}

BusyScope::BusyScope(StatusLine& status, const QString& what)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    status.sayBusy(QStringLiteral("%1: waiting for the device…").arg(what));
}

BusyScope::~BusyScope()
{
    QApplication::restoreOverrideCursor();
}

}  // namespace uvccamviewer
