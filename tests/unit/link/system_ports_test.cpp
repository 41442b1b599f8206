#include "link/candidate_ports.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Lays out a sysfs-like tree: class/tty/<tty>/device -> the USB interface directory.
class SysfsTree
{
public:
    bool addTty(const QString &tty, const QByteArray &interfaceText, const QByteArray &productText)
    {
        const QString device = dir.filePath("devices/usb1/1-1." + tty);
        const QString iface = device + "/" + tty + ":1.0";
        const QString ttyDir = dir.filePath("class/tty/" + tty);
        if (!QDir().mkpath(iface) || !QDir().mkpath(ttyDir))
            return false;
        if (!interfaceText.isNull() && !write(iface + "/interface", interfaceText))
            return false;
        if (!productText.isNull() && !write(device + "/product", productText))
            return false;
        return QFile::link(iface, ttyDir + "/device");
    }
    QString root() const { return dir.path(); }

private:
    static bool write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    QTemporaryDir dir;
};

TEST(SysfsPortDescription, InterfaceStringThenProductThenNotFound)
{
    SysfsTree sys;
    ASSERT_TRUE(sys.addTty("ttyACM0", "KESTRO DEBUG PORT\n", "Kestro Flowmeter\n"));
    ASSERT_TRUE(sys.addTty("ttyACM1", QByteArray(), "  Kestro Flowmeter\n"));
    ASSERT_TRUE(sys.addTty("ttyACM2", "\n", "Kestro Flowmeter"));
    ASSERT_TRUE(sys.addTty("ttyACM3", QByteArray(), QByteArray()));

    const struct
    {
        const char *port;
        const char *description;
    } cases[] = {
        {"ttyACM0", "KESTRO DEBUG PORT"},
        {"/dev/ttyACM0", "KESTRO DEBUG PORT"}, // a path names the same tty
        {"ttyACM1", "Kestro Flowmeter"},
        {"ttyACM2", "Kestro Flowmeter"}, // a blank interface string counts as none
        {"ttyACM3", "NOT_FOUND"},
        {"ttyUSB9", "NOT_FOUND"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SysfsPortDescription(sys.root(), c.port).toStdString(), c.description) << c.port;
}

TEST(SortPortNames, ByStemThenNumber)
{
    QStringList names{"ttyUSB0", "ttyACM10", "ttyACM2", "ttyACM0", "ttyACM", "ttyACM00"};
    SortPortNames(names);
    EXPECT_EQ(names, (QStringList{"ttyACM", "ttyACM0", "ttyACM00", "ttyACM2", "ttyACM10", "ttyUSB0"}));
}

} // namespace

TEST(TtyDeviceNames, ListsTheFolderSortedWithoutDotEntries)
{
    QTemporaryDir sys;
    for (const char *name : {"ttyS1", "ttyACM0", "console"})
        ASSERT_TRUE(QDir(sys.path()).mkpath(QString::fromLatin1(name)));
    EXPECT_EQ(TtyDeviceNames(sys.path()), (QStringList{"console", "ttyACM0", "ttyS1"}));
    EXPECT_TRUE(TtyDeviceNames(sys.filePath("missing")).isEmpty());
}
