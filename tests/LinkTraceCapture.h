#pragma once
// Switches the link trace on for a scope and keeps its lines.

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>

namespace ql::test {

class TLinkTraceCapture {
public:
    TLinkTraceCapture()
    {
        Current() = this;
        QLoggingCategory::setFilterRules(QStringLiteral("ql.link.debug=true"));
        previous_ = qInstallMessageHandler(&TLinkTraceCapture::Collect);
    }
    ~TLinkTraceCapture()
    {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
        Current() = nullptr;
    }
    QStringList Lines() const
    {
        QMutexLocker lock(&mutex_);
        return lines_;
    }

private:
    static TLinkTraceCapture*& Current()
    {
        static TLinkTraceCapture* current = nullptr;
        return current;
    }
    static void Collect(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        TLinkTraceCapture* self = Current();
        if (self && QByteArray(context.category) == "ql.link") {
            QMutexLocker lock(&self->mutex_);
            self->lines_ << text;
        }
    }
    QtMessageHandler previous_ = nullptr;
    mutable QMutex mutex_;
    QStringList lines_;
};

}  // namespace ql::test
