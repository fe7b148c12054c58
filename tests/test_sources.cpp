#include "TestLog.h"
#include "core/MessageCatalogue.h"
#include "firmware/FirmwareSources.h"
#include "firmware/ImageFormat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

namespace {

class FirmwareSources : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCurrentLanguage(kEnglish);
        ASSERT_TRUE(dir.isValid());
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
    TCollectingLog log;
    FirmwareList blocks;
    TFirmwareVersion version;
};

}  // namespace

TEST_F(FirmwareSources, ResourceHoldsTheEmbeddedImage)
{
    ASSERT_TRUE(LoadFirmwareFromResource(blocks, version, log));
    EXPECT_EQ(VersionText(version), "QRGX-13.39-a6");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]->Length, 851968u);
    EXPECT_TRUE(log.Lines.empty());
}

TEST_F(FirmwareSources, FileImage)
{
    const QString path = Write("Image.ERAW", BuildFirmwareImage("QLMV-9.01", "", false, 0, 0, "data"));
    ASSERT_TRUE(LoadFirmwareFromFile(path, blocks, version, log));
    EXPECT_EQ(VersionText(version), "QLMV-9.01");
    EXPECT_EQ(blocks[0]->Length, 4u);

    // The file is read at each load: a replaced file gives the new image.
    Write("Image.ERAW", BuildFirmwareImage("QLMV-9.02", "", false, 0, 0, "data"));
    FirmwareList again;
    ASSERT_TRUE(LoadFirmwareFromFile(path, again, version, log));
    EXPECT_EQ(VersionText(version), "QLMV-9.02");
}

TEST_F(FirmwareSources, MissingFileOrDirectoryNamesThePath)
{
    for (const QString& path : {dir.filePath("absent.eraw"), dir.path(), QString()}) {
        TCollectingLog lines;
        EXPECT_FALSE(LoadFirmwareFromFile(path, blocks, version, lines)) << qPrintable(path);
        EXPECT_EQ(lines.Texts(), QStringList{QStringLiteral("Firmware loading: File %1 not found").arg(path)});
        EXPECT_EQ(lines.Lines[0].Kind, lkError);
    }
    EXPECT_TRUE(blocks.empty());
}

TEST_F(FirmwareSources, BadFileReportsItsReason)
{
    QByteArray image = BuildFirmwareImage("QLMV-9.01", "", false, 0, 0, "data");
    image[image.size() - 1] = 'X';
    EXPECT_FALSE(LoadFirmwareFromFile(Write("bad.eraw", image), blocks, version, log));
    EXPECT_EQ(log.Texts(), QStringList{"Firmware CRC error"});
}
