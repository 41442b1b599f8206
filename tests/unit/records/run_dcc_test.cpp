// A run's DCC: valid against PTB's schema for every kind of ending, and every number
// read back from it exactly as the record's JSON gives it.
#include "records/run_dcc.h"
#include <QJsonArray>
#include <QProcess>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <cmath>

namespace {

const QDateTime T0(QDate(2026, 12, 10), QTime(8, 30, 0, 125), Qt::UTC);

RunPoint flowPoint(RunPhase phase, int index, bool budget)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.referenceFlow = 0.1 + 0.2 + index; // not a short decimal: every bit must come back
    p.meterFlow = std::nextafter(1000.0 * index, 1e9);
    p.relativeError = 1.0 / 3 - index;
    if (index == 2)
        p.reducedError = -0.0625;
    p.tubeTemperature = 20.0 + index / 7.0;
    // The failed run's points carry the meter's density; the completed one has the rig's.
    if (!budget)
        p.density = 998.0 + index / 9.0;
    if (budget) {
        UncertaintyBudget b;
        b.expandedPercent = 0.12;
        b.coverageFactor = 2.0000000000000004;
        b.coverageProbability = 0.9545;
        p.metrology.budget = b;
    }
    return p;
}

RunPoint temperaturePoint(RunPhase phase, int index)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    PointTemperature t;
    t.setpoint = 10.0 * index;
    t.referenceTemperature = 10.0 * index + 1e-9;
    t.tubeTemperature = 10.0 * index - 0.1;
    t.error = -0.1 - 1e-9;
    t.deltaT = 1e-300;
    p.temperature = t;
    p.tubeTemperature = t.tubeTemperature;
    return p;
}

RunRecord baseRun(RunEnd end)
{
    RunRecord r;
    r.uuid = QStringLiteral("6f1c1a2e-0c55-4e0e-9a3c-1f2e3d4c5b6a");
    r.meterSerial = QStringLiteral("KM-0042");
    r.portSerial = QStringLiteral("206A36A45345");
    r.operatorName = QStringLiteral("Иванов И. И.");
    r.programVersion = QStringLiteral("1.4.0");
    r.startedUtc = T0;
    r.endedUtc = T0.addSecs(3600);
    r.end = end;
    r.qMax = 12000.5f;
    return r;
}

struct DccCase
{
    const char *name;
    RunRecord run;
};

std::vector<DccCase> cases()
{
    RunRecord completed = baseRun(RunEnd::Completed);
    completed.points = {temperaturePoint(RunPhase::Thermometer, 1), temperaturePoint(RunPhase::Thermometer, 2),
                        temperaturePoint(RunPhase::ZeroTemperatureCheck, 1),
                        flowPoint(RunPhase::AsFound, 1, true), flowPoint(RunPhase::AsFound, 2, true),
                        flowPoint(RunPhase::AsLeft, 1, true)};
    completed.metrology.rule = DecisionRule::Guarded;
    completed.metrology.asFound = Conformity::Fail;
    completed.metrology.asLeft = Conformity::Pass;
    ReferenceInstrument ref;
    ref.name = QStringLiteral("Эталонный расходомер R-1");
    ref.certificate = QStringLiteral("C-77/2026");
    ref.dueDate = QDate(2027, 6, 1);
    ref.expandedUncertaintyPercent = 0.05;
    completed.metrology.reference = ref;
    completed.rigSettings.insert(QStringLiteral("density"), 998.2);
    completed.parties.laboratoryName = QStringLiteral("Лаборатория <&> \"Кестро\"");
    completed.parties.customerName = QStringLiteral("ООО Заказчик");
    completed.parties.signatoryName = QStringLiteral("Петров П. П.");
    completed.parties.signatoryRole = QStringLiteral("начальник лаборатории");

    RunRecord failed = baseRun(RunEnd::Failed);
    failed.endReason = QStringLiteral("связь с прибором потеряна");
    failed.points = {flowPoint(RunPhase::AsFound, 1, false), flowPoint(RunPhase::AsFound, 2, false)};
    failed.asFoundFit = false;
    failed.rigSettings.insert(QStringLiteral("reference_instrument"),
                              QJsonObject{{"name", "R-2"}, {"certificate", ""}, {"due_date", ""}});

    RunRecord undetermined = baseRun(RunEnd::Completed);
    undetermined.points = {flowPoint(RunPhase::AsLeft, 1, true), flowPoint(RunPhase::AsLeft, 2, false)};
    undetermined.metrology.asLeft = Conformity::Undetermined;

    RunRecord empty = baseRun(RunEnd::Aborted);
    empty.portSerial.clear();
    empty.programVersion.clear();
    empty.endedUtc = QDateTime();
    ReferenceInstrument bare; // its U is the one quantity a run with no point carries
    bare.expandedUncertaintyPercent = 0.1;
    empty.metrology.reference = bare;

    return {{"completed_with_budgets_and_temperatures", completed},
            {"failed_without_budgets", failed},
            {"undetermined", undetermined},
            {"aborted_without_points", empty}};
}

// xmllint's verdict on the bytes: empty when valid.
QString schemaErrors(const QByteArray &xml)
{
    QProcess p;
    p.start(QStringLiteral("xmllint"), {"--noout", "--schema", KESTRO_DCC_SCHEMA, "-"});
    if (!p.waitForStarted(30000))
        return QStringLiteral("xmllint did not start");
    p.write(xml);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return QStringLiteral("xmllint did not finish");
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    return QString::fromUtf8(p.readAllStandardError());
}

class RunDccSchema : public testing::TestWithParam<DccCase>
{
};

TEST_P(RunDccSchema, WritesAValidCertificate)
{
    QString error;
    const QByteArray xml = RunDcc::Write(GetParam().run, &error);
    ASSERT_FALSE(xml.isEmpty()) << error.toStdString();
    EXPECT_EQ(schemaErrors(xml), QString()) << xml.toStdString();
}

TEST_P(RunDccSchema, ACertificateMissingAUnitIsRefused)
{
    QByteArray xml = RunDcc::Write(GetParam().run);
    const qsizetype from = xml.indexOf("<si:unit>");
    ASSERT_GE(from, 0);
    const qsizetype to = xml.indexOf("</si:unit>", from) + qsizetype(strlen("</si:unit>"));
    xml.remove(from, to - from);
    EXPECT_NE(schemaErrors(xml), QString());
}

// The values read back, in document order, each with its point's phase and its refType.
struct ReadValue
{
    QString phase, quantity, point;
    double value = 0;
    std::optional<double> uncertainty;
};

QList<ReadValue> readBack(const QByteArray &xml)
{
    QList<ReadValue> out;
    QXmlStreamReader r(xml);
    QString phase, quantity, point;
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement())
            continue;
        const QString ref = r.attributes().value(QStringLiteral("refType")).toString();
        if (r.name() == QLatin1String("measurementResult"))
            phase = ref.mid(QStringLiteral("kestro_phase_").size());
        else if (r.name() == QLatin1String("quantity"))
            quantity = ref;
        else if (r.name() == QLatin1String("list") && ref == QLatin1String("kestro_point"))
            point.clear();
        else if (r.name() == QLatin1String("content") && point.isNull())
            point = r.readElementText();
        else if (r.name() == QLatin1String("value") && r.namespaceUri() == QLatin1String("https://ptb.de/si")) {
            bool ok = false;
            out.append({phase, quantity, point, r.readElementText().toDouble(&ok), std::nullopt});
            EXPECT_TRUE(ok);
        } else if (r.name() == QLatin1String("uncertainty") && !out.isEmpty())
            out.last().uncertainty = r.readElementText().toDouble();
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return out;
}

TEST_P(RunDccSchema, EveryPointsNumberReadsBackExactly)
{
    const RunRecord &run = GetParam().run;
    const QList<ReadValue> values = readBack(RunDcc::Write(run));
    const QJsonArray points = RunToJson(run).value("points").toArray();
    int flowValues = 0;
    for (const QJsonValue &pv : points) {
        const QJsonObject p = pv.toObject();
        const QString name = QStringLiteral("Точка %1").arg(p.value("index").toInt());
        auto find = [&](const char *ref) -> const ReadValue * {
            for (const ReadValue &v : values) {
                if (v.phase == p.value("phase").toString() && v.point == name && v.quantity == QLatin1String(ref))
                    return &v;
            }
            return nullptr;
        };
        if (!p.value("temperature").isObject()) {
            const ReadValue *ref = find("kestro_referenceFlow");
            const ReadValue *meter = find("kestro_meterFlow");
            const ReadValue *err = find("kestro_relativeError");
            ASSERT_TRUE(ref && meter && err) << name.toStdString();
            EXPECT_EQ(ref->value, p.value("reference_flow").toDouble());
            EXPECT_EQ(meter->value, p.value("meter_flow").toDouble());
            EXPECT_EQ(err->value, p.value("relative_error").toDouble());
            const QJsonValue budget = p.value("metrology").toObject().value("budget");
            EXPECT_EQ(err->uncertainty.has_value(), budget.isObject());
            if (budget.isObject()) {
                EXPECT_EQ(*err->uncertainty, budget.toObject().value("expanded_percent").toDouble());
            }
            ++flowValues;
        } else {
            const QJsonObject t = p.value("temperature").toObject();
            const ReadValue *ref = find("kestro_referenceTemperature");
            const ReadValue *tube = find("kestro_tubeTemperature");
            ASSERT_TRUE(ref && tube) << name.toStdString();
            EXPECT_EQ(ref->value, t.value("reference_temperature").toDouble());
            EXPECT_EQ(tube->value, t.value("tube_temperature").toDouble());
        }
    }
    int flowPoints = 0;
    for (const RunPoint &p : run.points)
        flowPoints += p.temperature ? 0 : 1;
    EXPECT_EQ(flowValues, flowPoints);
}

INSTANTIATE_TEST_SUITE_P(Runs, RunDccSchema, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<DccCase> &i) { return std::string(i.param.name); });

TEST(RunDccWrite, ANumberXmlCannotCarryIsRefused)
{
    RunRecord run = baseRun(RunEnd::Completed);
    run.points = {flowPoint(RunPhase::AsLeft, 1, false)};
    run.points[0].meterFlow = std::nan("");
    QString error;
    EXPECT_TRUE(RunDcc::Write(run, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
