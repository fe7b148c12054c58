#pragma once
// A log sink that keeps what it is given, for assertions on the lines a step logs.

#include "core/LogSink.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace ql::test {

struct TLoggedLine {
    TLogKind Kind;
    int Device;
    QString Text;
};

class TCollectingLog : public TLogSink {
public:
    void LogDeviceText(TLogKind kind, int device, const QString& text) override
    {
        Lines.push_back({kind, device, text});
    }
    QStringList Texts() const
    {
        QStringList out;
        for (const auto& line : Lines)
            out << line.Text;
        return out;
    }
    std::vector<TLoggedLine> Lines;
};

}  // namespace ql::test
