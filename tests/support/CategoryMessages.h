// What one of our backends' logging categories says while this object lives (one at a time).
#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>

#include <utility>
#include <vector>

namespace uvccam::testing {

class CategoryMessages {
public:
    // With `debug`, the category's debug messages are turned on for the time (the USB
    // backend traces every ioctl at debug level).
    explicit CategoryMessages(QByteArray category, bool debug = false) : category_(std::move(category)), debug_(debug)
    {
        current() = this;
        previous_ = qInstallMessageHandler(&CategoryMessages::record);
        if (debug_)
            QLoggingCategory::setFilterRules(QString::fromLatin1(category_ + ".debug=true"));
    }
    ~CategoryMessages()
    {
        if (debug_)
            QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    CategoryMessages(const CategoryMessages&) = delete;
    CategoryMessages& operator=(const CategoryMessages&) = delete;

    // Every message, or only the warnings and worse, in the order they came; messages may
    // come from a streaming thread.
    QStringList texts() const { return taken(false); }
    QStringList warnings() const { return taken(true); }
    void clear()
    {
        const QMutexLocker lock(&mutex_);
        messages_.clear();
    }

private:
    QStringList taken(bool warningsOnly) const
    {
        const QMutexLocker lock(&mutex_);
        QStringList texts;
        for (const auto& [type, text] : messages_) {
            if (!warningsOnly || type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
                texts << text;
        }
        return texts;
    }
    static CategoryMessages*& current()
    {
        static CategoryMessages* listening = nullptr;
        return listening;
    }
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        CategoryMessages* self = current();
        if (self && context.category && self->category_ == context.category) {
            const QMutexLocker lock(&self->mutex_);
            self->messages_.emplace_back(type, text);
        } else if (self && self->previous_) {
            self->previous_(type, context, text);
        }
    }

    QByteArray category_;
    bool debug_;
    QtMessageHandler previous_ = nullptr;
    mutable QMutex mutex_;
    std::vector<std::pair<QtMsgType, QString>> messages_;
};

}  // namespace uvccam::testing
