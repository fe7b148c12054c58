// The simulator takes from the loader's sources only the shared byte layouts: frames,
// bootloader records and the driver libraries' calls. Anything else (sector maps, command
// numbers, version parsing) it must answer from its own tables, or a wrong row on the
// loader's side would be copied by the far end.

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ql::test {
namespace {

TEST(SimIndependence, SimulatorIncludesOnlyTheSharedLayoutsOfTheLoader)
{
    const QStringList shared = {"links/Frame.h", "links/LoaderRecord.h", "links/DriverApi.h"};
    const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s+"([^"]+)")re"),
                                     QRegularExpression::MultilineOption);
    QDirIterator files(QStringLiteral(QL_SOURCE_DIR "/sim"), {"*.h", "*.cpp"}, QDir::Files,
                       QDirIterator::Subdirectories);
    int seen = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        ++seen;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto match = include.globalMatch(text); match.hasNext();) {
            const QString header = match.next().captured(1);
            EXPECT_TRUE(header.startsWith(QLatin1String("sim/")) || shared.contains(header))
                << file.fileName().toStdString() << " includes " << header.toStdString();
        }
    }
    EXPECT_GT(seen, 0);
}

}  // namespace
}  // namespace ql::test
