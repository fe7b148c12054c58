// qlimage as its users run it: a separate process, its output and its exit status.

#include "firmware/ImageFormat.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct TRun {
    int status = -1;
    QString out;
    QString err;
};

TRun Qlimage(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(QLIMAGE_PATH), args);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

class QlimageTool : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(QlimageTool, InspectsTheEmbeddedImage)
{
    const TRun r = Qlimage({"inspect", "--embedded"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    for (const char* expected : {"852010", "0x800D002A", "date yes, extra words no", "stored 0x26A2, computed 0x26A2",
                                 "QRGX-13.39-a6", "04-04-2025 16:56:42", "0x00000000", "0xFFFFFFFF", "851968"})
        EXPECT_TRUE(r.out.contains(expected)) << expected << "\n" << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(QRegularExpression("nRF image\\s+no")));
}

TEST_F(QlimageTool, PackThenInspect)
{
    const QString payload = Write("payload.bin", QByteArray(1000, 'p'));
    const QString out = dir.filePath("out.eraw");
    TRun r = Qlimage({"pack", "--version", "QLBT-2.01-rc", "--date", "01.02.2026 03:04:05",
                      "--start-offset", "0x1000", "--sd-requirement", "168", payload, out});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    r = Qlimage({"inspect", out});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    for (const char* expected : {"QLBT-2.01-rc", "01-02-2026 03:04:05", "0x00001000", "0x000000A8", "1000"})
        EXPECT_TRUE(r.out.contains(expected)) << expected << "\n" << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(QRegularExpression("nRF image\\s+yes")));
}

TEST_F(QlimageTool, BadImagesNameTheReason)
{
    const QByteArray good = ql::BuildFirmwareImage("QRGX-1.02", "", false, 0, 0, "payload");
    QByteArray badSum = good;
    badSum[4] = char(badSum[4] ^ 1);
    QByteArray badDate = ql::BuildFirmwareImage("QRGX-1.02", "31.02.2025 10:00:00", false, 0, 0, "x");
    struct Case { const char* name; QByteArray bytes; int status; const char* reason; };
    const Case cases[] = {
        {"size", good.left(good.size() - 1), 1, "Wrong firmware size"},
        {"checksum", badSum, 1, "Firmware CRC error"},
        {"date", badDate, 0, "Compilation time decoding error"},
    };
    for (const Case& c : cases) {
        const TRun r = Qlimage({"inspect", Write(QString(c.name) + ".eraw", c.bytes)});
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_TRUE(r.err.contains(c.reason)) << c.name << "\n" << qPrintable(r.err);
    }
    EXPECT_NE(Qlimage({"inspect", dir.filePath("absent.eraw")}).status, 0);
}

TEST_F(QlimageTool, PackRefusesWhatTheLoaderWouldRefuse)
{
    const QString big = Write("big.bin", QByteArray(2097153, 'b'));
    TRun r = Qlimage({"pack", "--version", "QRGX-1.02", big, dir.filePath("big.eraw")});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains("Firmware block size is too big")) << qPrintable(r.err);
    EXPECT_FALSE(QFile::exists(dir.filePath("big.eraw")));

    const QString atLimit = Write("limit.bin", QByteArray(2097152, 'b'));
    EXPECT_EQ(Qlimage({"pack", "--version", "QRGX-1.02", atLimit, dir.filePath("limit.eraw")}).status, 0);

    const QString small = Write("small.bin", "abc");
    EXPECT_NE(Qlimage({"pack", "--version", "13.39", small, dir.filePath("v.eraw")}).status, 0);
    EXPECT_NE(Qlimage({"pack", "--version", "QRGX-1.02", "--date", "31.02.2025 10:00:00", small,
                       dir.filePath("d.eraw")}).status, 0);
    EXPECT_NE(Qlimage({"pack", small, dir.filePath("n.eraw")}).status, 0);
}
