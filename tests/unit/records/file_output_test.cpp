// Saving a file on a disk that fills up: the old file stays, the reason is the
// system's, and no half-written temporary file is left beside it.
#include "records/file_output.h"
#include "support/full_disk.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QFileInfo>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(FileOutput, AFullDiskKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.json");
    const QByteArray old("the good old file\n");
    QString error;
    ASSERT_TRUE(FileOutput::Save(path, old, &error)) << error.toStdString();
    ASSERT_EQ(contentOf(path), old);

    // Within the write buffer the disk fills at the commit (its flush); past it, at the write.
    for (const qsizetype size : {qsizetype(100), qsizetype(5000), qsizetype(70000)}) {
        SCOPED_TRACE(size);
        const QByteArray fresh(size, 'x');
        bool saved = true;
        {
            FullDisk full(rlim_t(size / 2));
            saved = FileOutput::Save(path, fresh, &error);
        }
        EXPECT_FALSE(saved);
        EXPECT_EQ(error, qt_error_string(EFBIG));
        EXPECT_EQ(contentOf(path), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.json"}) << "no temporary file left";
    }

    const QByteArray fresh(70000, 'y');
    ASSERT_TRUE(FileOutput::Save(path, fresh, &error)) << error.toStdString();
    EXPECT_EQ(contentOf(path), fresh);
    EXPECT_FALSE(FileOutput::Save(dir.filePath("missing/out.json"), fresh, &error));
    EXPECT_FALSE(error.isEmpty());
}

// An output path is replaced only when it is a regular file or nothing: a device node,
// a folder, a FIFO or a link to a device stays what it was, and the reason names it.
TEST(FileOutput, OnlyARegularFileOrNothingIsReplaced)
{
    QTemporaryDir dir;
    const QString device = dir.filePath("full");
    // /dev/full's numbers; only root makes a device node.
    const bool haveDevice = ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    // Only nodes of this test's own: a fault here must not replace the system's /dev/full.
    ASSERT_TRUE(QFile::link(haveDevice ? device : fifo, dir.filePath("to-device")));
    ASSERT_TRUE(QFile::link(dir.filePath("missing/x"), dir.filePath("nowhere")));
    const struct
    {
        const char *name;
        bool refused;
    } cases[] = {
        {"full", true}, {"fifo", true}, {"folder", true}, {"to-device", true}, {"nowhere", true}, {"new.json", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!haveDevice && QLatin1String(c.name) == QLatin1String("full"))
            continue;
        const QString path = dir.filePath(c.name);
        const bool wasFile = QFileInfo(path).isFile();
        const bool wasLink = QFileInfo(path).isSymLink();
        QString error;
        EXPECT_EQ(FileOutput::Save(path, QByteArray("{}\n"), &error), !c.refused) << error.toStdString();
        if (!c.refused)
            continue;
        EXPECT_TRUE(error.contains(path) && error.contains(QStringLiteral("не заменяется"))) << error.toStdString();
        EXPECT_EQ(QFileInfo(path).isFile(), wasFile) << "the node was replaced";
        EXPECT_EQ(QFileInfo(path).isSymLink(), wasLink);
    }
    EXPECT_EQ(contentOf(dir.filePath("new.json")), QByteArray("{}\n"));
}
