// Plan files: the default survives a round trip through a file, and every kind of
// bad plan is refused with the field it is about.
#include "procedure/run_plan.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

void expectSame(const RunPlan &a, const RunPlan &b)
{
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.verificationPercent, b.verificationPercent);
    EXPECT_EQ(a.calibrationPercent, b.calibrationPercent);
    for (auto field : {&RunPlan::tolerancePercent, &RunPlan::averagingSeconds, &RunPlan::samplePeriodSeconds,
                       &RunPlan::stabilityWindowSeconds, &RunPlan::stabilitySigmaPercent, &RunPlan::stabilityDriftPercent,
                       &RunPlan::flowTolerancePercent, &RunPlan::settleTimeoutSeconds, &RunPlan::maxAsFoundErrorPercent,
                       &RunPlan::lowTemperature, &RunPlan::highTemperature, &RunPlan::temperatureTolerance,
                       &RunPlan::temperatureSigma, &RunPlan::temperatureDrift, &RunPlan::temperatureTimeoutSeconds,
                       &RunPlan::thermometerCheckTolerance, &RunPlan::zeroLimitNs, &RunPlan::zeroAveragingSeconds})
        EXPECT_EQ(a.*field, b.*field);
    for (auto field : {&RunPlan::thermometerPhase, &RunPlan::zeroPhase, &RunPlan::flowPhase, &RunPlan::verificationPhase})
        EXPECT_EQ(a.*field, b.*field);
}

QJsonArray numbers(std::initializer_list<double> values)
{
    QJsonArray a;
    for (double v : values)
        a.append(v);
    return a;
}

QJsonArray repeated(int count, double first, double step)
{
    QJsonArray a;
    for (int i = 0; i < count; ++i)
        a.append(first + i * step);
    return a;
}

struct PlanCase
{
    const char *name;
    std::function<void(QJsonObject &)> edit; // applied to the default plan's JSON
    const char *refused;                     // the field the message starts with; null: accepted
    const char *says = "";                   // and what else it must name
};

const PlanCase Cases[] = {
    {"default as is", [](QJsonObject &) {}, nullptr},
    {"only format and version",
     [](QJsonObject &o) { o = QJsonObject{{"format", o["format"]}, {"version", 1}}; }, nullptr},
    {"limits themselves",
     [](QJsonObject &o) {
         o["tolerance_percent"] = 100;
         o["averaging_seconds"] = 3600;
         o["sample_period_seconds"] = 0.05;
         o["stability_window_seconds"] = 0.15;
         o["settle_timeout_seconds"] = 1.15;
         o["flow_tolerance_percent"] = 20;
         o["max_as_found_error_percent"] = 100;
         o["verification_percent"] = repeated(32, -100, 6);
     },
     nullptr},
    {"no format", [](QJsonObject &o) { o.remove("format"); }, "format"},
    {"another format", [](QJsonObject &o) { o["format"] = "kestrolink-snapshot"; }, "format"},
    {"no version", [](QJsonObject &o) { o.remove("version"); }, "version"},
    {"newer version", [](QJsonObject &o) { o["version"] = 2; }, "version", "2"},
    {"version as text", [](QJsonObject &o) { o["version"] = "1"; }, "version"},
    {"unknown field", [](QJsonObject &o) { o["tolerance"] = 0.2; }, "tolerance"},
    {"name not text", [](QJsonObject &o) { o["name"] = 5; }, "name"},
    {"number as text", [](QJsonObject &o) { o["averaging_seconds"] = "30"; }, "averaging_seconds"},
    {"list not a list", [](QJsonObject &o) { o["verification_percent"] = 100; }, "verification_percent"},
    {"text in a list",
     [](QJsonObject &o) {
         QJsonArray a = o["calibration_percent"].toArray();
         a[3] = "-25";
         o["calibration_percent"] = a;
     },
     "calibration_percent[3]"},
    {"no verification points", [](QJsonObject &o) { o["verification_percent"] = QJsonArray(); }, "verification_percent"},
    {"33 verification points", [](QJsonObject &o) { o["verification_percent"] = repeated(33, -96, 6); },
     "verification_percent", "32"},
    {"verification beyond 100 %", [](QJsonObject &o) { o["verification_percent"] = numbers({100, 100.5}); },
     "verification_percent[1]"},
    {"12 calibration points", [](QJsonObject &o) { o["calibration_percent"] = repeated(12, -100, 10); },
     "calibration_percent", "13"},
    {"14 calibration points", [](QJsonObject &o) { o["calibration_percent"] = repeated(14, -100, 10); },
     "calibration_percent", "13"},
    {"calibration below -100 %", [](QJsonObject &o) { o["calibration_percent"] = repeated(13, -120, 10); },
     "calibration_percent[0]"},
    {"calibration point repeated",
     [](QJsonObject &o) {
         QJsonArray a = o["calibration_percent"].toArray();
         a[5] = a[4];
         o["calibration_percent"] = a;
     },
     "calibration_percent[5]"},
    {"calibration descending", [](QJsonObject &o) { o["calibration_percent"] = repeated(13, 100, -10); },
     "calibration_percent[1]"},
    {"zero tolerance", [](QJsonObject &o) { o["tolerance_percent"] = 0; }, "tolerance_percent"},
    {"negative averaging", [](QJsonObject &o) { o["averaging_seconds"] = -30; }, "averaging_seconds"},
    {"averaging over an hour", [](QJsonObject &o) { o["averaging_seconds"] = 3601; }, "averaging_seconds"},
    {"sampling too fast", [](QJsonObject &o) { o["sample_period_seconds"] = 0.04; }, "sample_period_seconds"},
    {"sampling too slow", [](QJsonObject &o) { o["sample_period_seconds"] = 11; }, "sample_period_seconds"},
    {"window under three samples",
     [](QJsonObject &o) {
         o["sample_period_seconds"] = 2;
         o["stability_window_seconds"] = 5.9;
     },
     "stability_window_seconds"},
    {"window over ten minutes", [](QJsonObject &o) { o["stability_window_seconds"] = 601; }, "stability_window_seconds"},
    {"zero sigma", [](QJsonObject &o) { o["stability_sigma_percent"] = 0; }, "stability_sigma_percent"},
    {"drift over 10 %", [](QJsonObject &o) { o["stability_drift_percent"] = 10.5; }, "stability_drift_percent"},
    {"flow tolerance over 20 %", [](QJsonObject &o) { o["flow_tolerance_percent"] = 20.5; }, "flow_tolerance_percent"},
    {"timeout shorter than the window",
     [](QJsonObject &o) {
         o["stability_window_seconds"] = 60;
         o["settle_timeout_seconds"] = 60.5;
     },
     "settle_timeout_seconds"},
    {"timeout over an hour", [](QJsonObject &o) { o["settle_timeout_seconds"] = 3601; }, "settle_timeout_seconds"},
    {"as-found limit at the tolerance",
     [](QJsonObject &o) {
         o["tolerance_percent"] = 0.5;
         o["max_as_found_error_percent"] = 0.5;
     },
     nullptr},
    {"as-found limit under the tolerance",
     [](QJsonObject &o) {
         o["tolerance_percent"] = 0.5;
         o["max_as_found_error_percent"] = 0.4;
     },
     "max_as_found_error_percent", "0.5"},
    {"as-found limit over 100 %", [](QJsonObject &o) { o["max_as_found_error_percent"] = 100.5; },
     "max_as_found_error_percent"},
    {"as-found limit as text", [](QJsonObject &o) { o["max_as_found_error_percent"] = "10"; },
     "max_as_found_error_percent"},
    {"flow phases only",
     [](QJsonObject &o) {
         o["thermometer_phase"] = false;
         o["zero_phase"] = false;
     },
     nullptr},
    {"every phase off",
     [](QJsonObject &o) {
         for (const char *k : {"thermometer_phase", "zero_phase", "flow_phase", "verification_phase"})
             o[k] = false;
     },
     "thermometer_phase"},
    {"phase as a number", [](QJsonObject &o) { o["zero_phase"] = 1; }, "zero_phase"},
    {"temperatures ten degrees apart",
     [](QJsonObject &o) {
         o["low_temperature"] = 15;
         o["high_temperature"] = 25;
     },
     nullptr},
    {"temperatures under ten degrees apart",
     [](QJsonObject &o) {
         o["low_temperature"] = 15;
         o["high_temperature"] = 24.9;
     },
     "high_temperature", "low_temperature"},
    {"temperatures the wrong way round",
     [](QJsonObject &o) {
         o["low_temperature"] = 60;
         o["high_temperature"] = 20;
     },
     "high_temperature"},
    {"fluid above 150 degrees", [](QJsonObject &o) { o["high_temperature"] = 151; }, "high_temperature"},
    {"zero temperature tolerance", [](QJsonObject &o) { o["temperature_tolerance"] = 0; }, "temperature_tolerance"},
    {"temperature timeout inside the window",
     [](QJsonObject &o) { o["temperature_timeout_seconds"] = 10.5; }, "temperature_timeout_seconds"},
    {"temperature timeout over two hours",
     [](QJsonObject &o) { o["temperature_timeout_seconds"] = 7201; }, "temperature_timeout_seconds"},
    {"zero limit as text", [](QJsonObject &o) { o["zero_limit_ns"] = "0.05"; }, "zero_limit_ns"},
    {"zero averaging under a second", [](QJsonObject &o) { o["zero_averaging_seconds"] = 0.5; },
     "zero_averaging_seconds"},
    {"one run a point", [](QJsonObject &o) { o["runs_per_point"] = 1; }, nullptr},
    {"no runs", [](QJsonObject &o) { o["runs_per_point"] = 0; }, "runs_per_point"},
    {"eleven runs", [](QJsonObject &o) { o["runs_per_point"] = 11; }, "runs_per_point"},
    {"a run and a half", [](QJsonObject &o) { o["runs_per_point"] = 2.5; }, "runs_per_point"},
    {"runs as text", [](QJsonObject &o) { o["runs_per_point"] = "3"; }, "runs_per_point"},
    {"fewer runs at most than at first",
     [](QJsonObject &o) {
         o["runs_per_point"] = 4;
         o["max_runs_per_point"] = 3;
     },
     "max_runs_per_point", "4"},
    {"runs shorter than a second",
     [](QJsonObject &o) {
         o["averaging_seconds"] = 5;
         o["runs_per_point"] = 6;
         o["max_runs_per_point"] = 6;
     },
     "runs_per_point"},
    {"no repeatability limit", [](QJsonObject &o) { o["repeatability_limit_percent"] = 0; },
     "repeatability_limit_percent"},
    {"guarded verdicts", [](QJsonObject &o) { o["decision_rule"] = "guarded"; }, nullptr},
    {"an unknown decision rule", [](QJsonObject &o) { o["decision_rule"] = "strict"; }, "decision_rule", "guarded"},
    {"zero check off", [](QJsonObject &o) { o["zero_check"] = "off"; }, nullptr},
    {"zero check as a flag", [](QJsonObject &o) { o["zero_check"] = true; }, "zero_check", "stop"},
    {"zero stability of nothing", [](QJsonObject &o) { o["zero_stability_percent"] = 0; }, "zero_stability_percent"},
};

class PlanFile : public ::testing::TestWithParam<PlanCase>
{
};

} // namespace

TEST_P(PlanFile, AcceptedOrRefusedNamingTheField)
{
    const PlanCase &c = GetParam();
    QJsonObject json = RunPlanFile::ToJson(RunPlanFile::Default());
    c.edit(json);
    QString error;
    const auto plan = RunPlanFile::Parse(QJsonDocument(json).toJson(), &error);
    if (!c.refused) {
        ASSERT_TRUE(plan) << error.toStdString();
        // What the file said, and the default for what it left out.
        QJsonObject expected = RunPlanFile::ToJson(RunPlanFile::Default());
        for (auto it = json.begin(); it != json.end(); ++it)
            expected[it.key()] = *it;
        EXPECT_EQ(RunPlanFile::ToJson(*plan), expected);
        EXPECT_TRUE(RunPlanFile::Check(*plan, &error)) << error.toStdString();
        return;
    }
    ASSERT_FALSE(plan);
    EXPECT_TRUE(error.startsWith(QString::fromLatin1(c.refused) + ": ")) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Plans, PlanFile, ::testing::ValuesIn(Cases), [](const auto &info) {
    std::string name;
    for (char ch : std::string(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST(PlanFileLoad, DefaultRoundTripsThroughAFile)
{
    const RunPlan plan = RunPlanFile::Default();
    EXPECT_EQ(plan.calibrationPercent,
              (QList<double>{-100, -75, -45, -25, -10, -5, 0, 5, 10, 25, 45, 75, 100}));
    EXPECT_EQ(plan.verificationPercent, (QList<double>{100, 50, 25, 10, -10, -25, -50, -100}));
    QString error;
    EXPECT_TRUE(RunPlanFile::Check(plan, &error)) << error.toStdString();

    QTemporaryDir dir;
    const QString path = dir.filePath("plan.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(RunPlanFile::ToJson(plan)).toJson());
    file.close();
    const auto back = RunPlanFile::Load(path, &error);
    ASSERT_TRUE(back) << error.toStdString();
    expectSame(*back, plan);

    for (const QString &bad : {dir.filePath("missing.json"), dir.path()}) {
        EXPECT_FALSE(RunPlanFile::Load(bad, &error));
        EXPECT_TRUE(error.contains(bad)) << error.toStdString();
    }
}
