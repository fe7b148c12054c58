// Any argument list (arguments separated by zero bytes): parsing never fails badly, and a
// serial-number filter, when one is taken, is exactly seven digits.

#include "app/CommandLine.h"

#include <QStringList>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList arguments;
    for (const QByteArray& part : bytes.split('\0'))
        arguments << QString::fromUtf8(part);
    const ql::LoaderOptions options = ql::ParseCommandLine(arguments);
    if (!options.serial.isEmpty()) {
        if (options.serial.size() != 7)
            std::abort();
        for (QChar c : options.serial)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                std::abort();
    }
    return 0;
}
