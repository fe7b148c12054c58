#include "WindowFixture.h"
#include "app/LogFile.h"

#include <QCheckBox>
#include <QDir>
#include <QRegularExpression>
#include <QScrollBar>

using namespace ql;
using namespace ql::test;

namespace {

class WindowLog : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        WriteIni("[COMMON]\nLanguage=English\n");
        Show();
        firstLine = int(LogLines().size());
    }
    QStringList NewLines() const { return LogLines().mid(firstLine); }
    int firstLine = 0;
};

TEST_F(WindowLog, PrefixesForADeviceAndForNone)
{
    form->LogDeviceMessage(lkInfo, 1234567, Msg(msg::DeviceConnected));
    form->LogDeviceMessage(lkInfo, 0, Msg(msg::DeviceConnected));
    form->LogDeviceMessage(lkInfo, 705, Msg(msg::ProcessorIdIs), 0x00400419u);
    form->LogMessage(lkInfo, Msg(msg::SearchError), 12, 7, 0);
    EXPECT_EQ(NewLines(), QStringList({"Device 1234567\tDevice connected", "Device -------\tDevice connected",
                                       "Device     705\tProcessor ID 0x00400419",
                                       "Device -------\t(    12)Error 7 of searching for new devices. Last "
                                       "response code of the device 0"}));
}

TEST_F(WindowLog, EachLineKeepsTheColourOfItsKind)
{
    form->LogText(lkError, "red");
    form->LogText(lkSuccess, "green");
    form->LogText(lkInfo, "black");
    form->LogText(TLogKind(7), "unknown kind");
    EXPECT_EQ(NewLines(), QStringList({"red", "green", "black", "unknown kind"}));
    EXPECT_EQ(LineColour(firstLine), QColor(255, 0, 0));
    EXPECT_EQ(LineColour(firstLine + 1), QColor(0, 128, 0));
    EXPECT_EQ(LineColour(firstLine + 2), QColor(0, 0, 0));
    EXPECT_EQ(LineColour(firstLine + 3), QColor(0, 0, 0));
}

TEST_F(WindowLog, TheNewestLineStaysInView)
{
    for (int i = 0; i < 300; ++i)
        form->LogText(lkInfo, QString::number(i));
    QScrollBar* bar = form->reLog->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(form->reLog->LineCount(), firstLine + 300);
}

TEST_F(WindowLog, ThePaneKeepsTheNewestLinesAndTheDailyFileEveryLine)
{
    form->cbWritelogToFile->setChecked(true);
    form->reLog->SetMaximumLines(3);
    for (int i = 0; i < 5; ++i)
        form->LogText(lkInfo, QStringLiteral("line %1").arg(i));
    EXPECT_EQ(LogLines(), QStringList({"line 2", "line 3", "line 4"}));
    EXPECT_EQ(form->reLog->ShownLines(), 3);
    const QByteArray bytes = ReadFileBytes(LogFilePath(ExeDir(), QDate::currentDate()));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(text.contains(QStringLiteral("]\tline %1\r\n").arg(i))) << i;
}

TEST_F(WindowLog, PaintingHeldBackDuringABurstComesBack)
{
    for (int i = 0; i < 50; ++i)
        form->LogText(lkInfo, QString::number(i));
    // A pane that stayed unpainted after the burst would look frozen to the technician.
    EXPECT_TRUE(PumpUntil([&] { return form->reLog->updatesEnabled(); }, 10 * kLogRepaintMs));
    EXPECT_EQ(NewLines().size(), 50);
}

TEST_F(WindowLog, TheDailyFileGetsTheLinesOnlyWhileTheBoxIsTicked)
{
    const QString path = LogFilePath(ExeDir(), QDate::currentDate());
    form->LogText(lkInfo, "before");
    EXPECT_FALSE(QFile::exists(path));
    form->cbWritelogToFile->setChecked(true);
    form->LogDeviceMessage(lkError, 1234567, Msg(msg::DeviceConnected));
    form->cbWritelogToFile->setChecked(false);
    form->LogText(lkInfo, "after");

    const QByteArray bytes = ReadFileBytes(path);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    const QRegularExpression line(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}\]\tDevice 1234567\tDevice connected\r\n$)");
    EXPECT_TRUE(line.match(text).hasMatch()) << text.toStdString();
}

}  // namespace
