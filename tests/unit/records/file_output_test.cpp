// Saving a file on a disk that fills up: the old file stays, the reason is the
// system's, and no half-written temporary file is left beside it.
#include "records/file_output.h"
#include "support/full_disk.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

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

    // Past the buffer of a buffered write and within it: both must fail.
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
