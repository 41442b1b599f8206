#include "rig/rig_kinds.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The window's fields name the same rig as the rig name kestroctl is given.
TEST(RigKinds, FieldsNameTheRigTheirRigNameNames)
{
    const struct
    {
        RigFields fields;
        const char *rigName;
        const char *host; // null: as the rig name gives it
    } cases[] = {
        {{"sim", "", "", ""}, "sim", nullptr},
        {{"sim", "5020", "", ""}, "sim:5020", nullptr},
        {{"sim", "10.0.0.7:5021", "/dev/ttyUSB0", "map.json"}, "sim:5021", "10.0.0.7"},
        {{"modbus-tcp", " rig.local:1502 ", "/dev/ttyUSB0", ""}, "modbus:tcp://rig.local:1502", nullptr},
        {{"modbus-rtu", "rig:1", " /dev/ttyUSB1 ", ""}, "modbus:rtu:/dev/ttyUSB1", nullptr},
        {{"operator", "rig:1", "/dev/ttyUSB0", "map.json"}, "operator", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rigName);
        QString error;
        const std::optional<RigConfig> fromFields = RigConfigFromFields(c.fields, &error);
        ASSERT_TRUE(fromFields) << error.toStdString();
        std::optional<RigConfig> fromName = ParseRigName(QString::fromUtf8(c.rigName), &error);
        ASSERT_TRUE(fromName) << error.toStdString();
        if (c.host)
            fromName->host = QString::fromUtf8(c.host);
        EXPECT_EQ(fromFields->kind, fromName->kind);
        EXPECT_EQ(fromFields->host, fromName->host);
        EXPECT_EQ(fromFields->port, fromName->port);
        EXPECT_EQ(fromFields->device, fromName->device);
        EXPECT_EQ(fromFields->map, fromName->map);
        EXPECT_EQ(fromFields->kindName(), QString::fromUtf8(FindRigKind(c.fields.kind)->key));
    }
}

TEST(RigKinds, RefusalNamesTheRigNameTheFieldsMake)
{
    const struct
    {
        RigFields fields;
        const char *quoted;
    } cases[] = {
        {{"modbus-tcp", "", "", ""}, "«modbus:tcp://»"},
        {{"modbus-rtu", "", " ", ""}, "«modbus:rtu:»"},
        {{"sim", "rig:abc", "", ""}, "«sim:abc»"},
        {{"modbus-tcp", "rig", "", "/nonexistent/map.json"}, "/nonexistent/map.json"},
        {{"serial", "", "", ""}, "«serial»"},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_FALSE(RigConfigFromFields(c.fields, &error)) << c.quoted;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.quoted))) << error.toStdString();
    }
}

} // namespace
