// The source tree keeps its layers: the engine folders never reach up into the window,
// the links never reach up into what uses them, and only the window's folders (and the
// tests and benches that drive it) use Qt Widgets.
// Read from the sources themselves, so a stray include fails here before it spreads.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

const QString kSourceDir = QStringLiteral(QL_SOURCE_DIR);
const QString kWidgetsIncludeDir = QStringLiteral(QL_QT_WIDGETS_INCLUDE_DIR);

const QStringList kEngineFolders = {"core", "links", "devices", "firmware", "writing", "platform"};
const QStringList kWindowFolders = {"app", "panels"};
const QStringList kWidgetsAllowed = {"app", "panels", "tests", "bench"};

// Which folders a folder's sources may not include headers of.
struct TFolderRule {
    const char* Name;
    QStringList Folders;
    QStringList Forbidden;
};

const TFolderRule kFolderRules[] = {
    {"the engine never reaches up into the window", kEngineFolders, kWindowFolders},
    // The channel takes a link entry, which the device entry is built on; the links sit
    // below the devices and the sessions that use them.
    {"the links know nothing of devices, sessions or the window", {"links"},
     {"devices", "writing", "app", "panels"}},
    // A discovery pass stops a session through the entry's session control only.
    {"the devices know nothing of sessions or the window", {"devices"}, {"writing", "app", "panels"}},
};

struct TInclude {
    QString File;  // relative to the source tree
    int Line = 0;
    QString Header;
    bool Angled = false;
};

QString TopFolder(const QString& relative) { return relative.section('/', 0, 0); }

std::vector<TInclude> Includes()
{
    static const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])"));
    std::vector<TInclude> all;
    const QDir root(kSourceDir);
    QDirIterator it(kSourceDir, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = root.relativeFilePath(path);
        if (relative.startsWith("build") || relative.startsWith('.'))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        int line = 0;
        while (!file.atEnd()) {
            const QString text = QString::fromUtf8(file.readLine());
            ++line;
            const auto match = include.match(text);
            if (match.hasMatch())
                all.push_back({relative, line, match.captured(2), match.captured(1) == "<"});
        }
    }
    return all;
}

bool IsWidgetsHeader(const TInclude& inc)
{
    if (!inc.Angled)
        return false;
    if (inc.Header.startsWith("QtWidgets/"))
        return true;
    return inc.Header.startsWith('Q') && !inc.Header.contains('/')
           && QFileInfo::exists(kWidgetsIncludeDir + '/' + inc.Header);
}

QString Where(const TInclude& inc)
{
    return QStringLiteral("%1:%2 includes %3").arg(inc.File).arg(inc.Line).arg(inc.Header);
}

}  // namespace

TEST(Layering, TheSourcesAreFound)
{
    // Guards the rules below against passing on an empty tree.
    const auto includes = Includes();
    const bool sawEngine = std::any_of(includes.begin(), includes.end(),
                                       [](const TInclude& i) { return i.File.startsWith("links/"); });
    const bool sawWidgets = std::any_of(includes.begin(), includes.end(), IsWidgetsHeader);
    EXPECT_TRUE(sawEngine);
    EXPECT_TRUE(sawWidgets) << "no Widgets header recognised under " << kWidgetsIncludeDir.toStdString();
}

TEST(Layering, FoldersNeverIncludeTheLayersAboveThem)
{
    const auto includes = Includes();
    for (const TFolderRule& rule : kFolderRules) {
        SCOPED_TRACE(rule.Name);
        QStringList faults;
        for (const TInclude& inc : includes) {
            if (!rule.Folders.contains(TopFolder(inc.File)) || inc.Angled)
                continue;
            if (rule.Forbidden.contains(TopFolder(inc.Header)))
                faults << Where(inc);
        }
        EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
    }
}

TEST(Layering, OnlyTheWindowUsesQtWidgets)
{
    QStringList faults;
    for (const TInclude& inc : Includes()) {
        if (!kWidgetsAllowed.contains(TopFolder(inc.File)) && IsWidgetsHeader(inc))
            faults << Where(inc);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}
