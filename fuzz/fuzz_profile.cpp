// Any bytes as a settings file: reading never fails badly, the settings read back from it
// are within their ranges, and a key written and saved reads back unchanged while every
// other key keeps its value.

#include "app/Settings.h"
#include "platform/Profile.h"

#include <QFile>

#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QStringLiteral("/dev/shm/ql-fuzz-profile-%1.ini").arg(getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const ql::TSettingsValues values = ql::ReadSettingsFile(path);
    if (values.Language != ql::kRussian && values.Language != ql::kEnglish)
        std::abort();
    if (values.MainFormCount < 0 || values.MainFormCount > int(values.MainForm.size()))
        std::abort();

    ql::TProfile before(path);
    const QStringList files = before.KeyNames(QStringLiteral("FILES"));
    ql::TProfile profile(path);
    const QString written = QStringLiteral("1,2,3,4,0,5,1,0,0,1,0,1");
    if (profile.WriteString(QStringLiteral("COMMON"), QStringLiteral("MainForm"), written) && profile.Save()) {
        ql::TProfile after(path);
        if (after.ReadString(QStringLiteral("COMMON"), QStringLiteral("MainForm")) != written)
            std::abort();
        for (const QString& key : files)
            if (after.ReadString(QStringLiteral("FILES"), key) != before.ReadString(QStringLiteral("FILES"), key))
                std::abort();
    }
    return 0;
}
