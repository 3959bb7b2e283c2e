// The newest clip in the temporary directory.
#include "TestClip.h"

#include <QDir>
#include <QFileInfo>

namespace uvccamctl {

QString findClip(const QDateTime& since)
{
    const QFileInfoList clips = QDir(QDir::tempPath()).entryInfoList({QStringLiteral("*.m4a")}, QDir::Files, QDir::Time);
    for (const QFileInfo& clip : clips) {
        if (clip.lastModified() >= since)
            return clip.absoluteFilePath();
    }
    return QString();
}

}  // namespace uvccamctl
