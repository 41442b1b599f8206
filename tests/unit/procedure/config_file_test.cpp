// The files a person hands a run (its plan, the rig's register map) are read only when
// they are regular files of sane size, with every key once; each refusal names the
// file and the field, and a FIFO or a device is refused without being read.
#include "procedure/run_plan.h"
#include "rig/rig_config.h"
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const char Plan[] = R"({"format": "kestrolink-run-plan", "version": 1, %1})";
const char Map[] = R"({"version": 1, "setpoint": null, %1})";
const char Reference[] = R"("reference": {"address": 100, "scale": 3600})";

struct FileCase
{
    const char *name;
    const char *planFields; // into Plan's %1; null: the file is `special`
    const char *mapFields;  // into Map's %1
    const char *special;    // "fifo", "/dev/zero", "big"
    const char *planSays, *mapSays;
};

const FileCase Cases[] = {
    {"fifo", nullptr, nullptr, "fifo", "не обычный файл", "не обычный файл"},
    {"device", nullptr, nullptr, "/dev/zero", "не обычный файл", "не обычный файл"},
    {"over a mebibyte", nullptr, nullptr, "big", "больше 1024 КиБ", "больше 1024 КиБ"},
    {"key twice", R"("averaging_seconds": 30, "averaging_seconds": 60)", R"("unit_id": 1, "unit_id": 2, %R)",
     nullptr, "averaging_seconds: поле задано дважды", "unit_id: поле задано дважды"},
    {"nested key twice", R"("name": "a", "tolerance_percent": 1, "name": "b")",
     R"("reference": {"address": 100, "address": 101, "scale": 3600})", nullptr, "name: поле задано дважды",
     "reference.address: поле задано дважды"},
    {"number beyond double", R"("averaging_seconds": 1e999)", R"("reference": {"address": 100, "scale": 1e999})",
     nullptr, "averaging_seconds: число", "reference.scale: не JSON"},
    {"in a list", R"("verification_percent": [100, 1e999])", R"("retries": 1e999, %R)", nullptr,
     "verification_percent[1]: число", "retries: не JSON"},
};

class ConfigFile : public ::testing::TestWithParam<FileCase>
{
protected:
    QString make(const char *fields, const char *frame)
    {
        const FileCase &c = GetParam();
        if (c.special && QLatin1String(c.special) == QLatin1String("/dev/zero"))
            return QStringLiteral("/dev/zero");
        const QString path = dir.filePath(QString::number(++n) + QStringLiteral(".json"));
        if (c.special && QLatin1String(c.special) == QLatin1String("fifo")) {
            EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            return path;
        }
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        if (c.special) // valid JSON, only too long
            f.write(QString::fromLatin1(frame).arg(QStringLiteral("\"x\": \"%1\"").arg(QString(1100 * 1024, QLatin1Char('y')))).toUtf8());
        else
            f.write(QString::fromLatin1(frame).arg(QString::fromLatin1(fields).replace(QLatin1String("%R"), QLatin1String(Reference))).toUtf8());
        return path;
    }
    QTemporaryDir dir;
    int n = 0;
};

TEST_P(ConfigFile, IsRefusedNamingTheFileAndTheField)
{
    const FileCase &c = GetParam();
    QString error;
    const QString plan = make(c.planFields, Plan);
    EXPECT_FALSE(RunPlanFile::Load(plan, &error));
    EXPECT_TRUE(error.contains(plan) && error.contains(QString::fromUtf8(c.planSays))) << error.toStdString();
    const QString map = make(c.mapFields, Map);
    EXPECT_FALSE(LoadRigMap(map, &error));
    EXPECT_TRUE(error.contains(map) && error.contains(QString::fromUtf8(c.mapSays))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Files, ConfigFile, ::testing::ValuesIn(Cases), [](const auto &info) {
    std::string name;
    for (char ch : std::string(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

} // namespace
