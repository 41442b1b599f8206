// An area's state after a restore, from its registers before, in the snapshot and now.
#include "records/restore_report.h"
#include <gtest/gtest.h>

TEST(RestoreReport, AreaStateComesFromTheRegistersThatHadToChange)
{
    using S = AreaRestoreState;
    const struct
    {
        QVector<quint16> before, target, now;
        S expected;
    } cases[] = {
        {{1, 2, 3}, {7, 8, 9}, {7, 8, 9}, S::Written},
        {{1, 2, 3}, {7, 8, 9}, {1, 2, 3}, S::NotWritten},
        {{1, 2, 3}, {7, 8, 9}, {7, 2, 3}, S::Partial},
        {{1, 2, 3}, {7, 8, 9}, {1, 2, 9}, S::Partial},
        // A register that was already right says nothing about the writes.
        {{7, 2, 3}, {7, 8, 9}, {7, 2, 3}, S::NotWritten},
        {{7, 2, 3}, {7, 8, 9}, {7, 8, 3}, S::Partial},
        // Nothing had to change and nothing did.
        {{7, 8, 9}, {7, 8, 9}, {7, 8, 9}, S::Written},
        // Values that are neither the old nor the new ones.
        {{1, 2, 3}, {7, 8, 9}, {4, 5, 6}, S::NotWritten},
        // Unread: no registers at all.
        {{1, 2, 3}, {7, 8, 9}, {}, S::NotWritten},
        // No before known: every register counts as one to change.
        {{}, {7, 8, 9}, {7, 0, 0}, S::Partial},
    };
    for (const auto &c : cases)
        EXPECT_EQ(int(DecideAreaState(c.before, c.target, c.now)), int(c.expected))
            << c.before.size() << " " << c.now.size() << " now[0]=" << (c.now.isEmpty() ? -1 : c.now[0]);
}

TEST(RestoreReport, CoefficientsOfEachAreaAndTheSummary)
{
    EXPECT_EQ(AreaRegisterAt(CalibrationArea::Coefficients, 0), 16);
    EXPECT_EQ(AreaRegisterAt(CalibrationArea::Coefficients, 4), 32);
    EXPECT_EQ(AreaRegisterAt(CalibrationArea::Coefficients, 15), 43);
    EXPECT_EQ(AreaRegisterAt(CalibrationArea::FlowTable, 53), 74);
    EXPECT_TRUE(CoefficientIndicesOf(CalibrationArea::Density).isEmpty());
    EXPECT_EQ(CoefficientIndicesOf(CalibrationArea::Zero), (QList<int>{4, 5, 6, 7}));
    EXPECT_EQ(CoefficientIndicesOf(CalibrationArea::FlowTable).size(), 8);

    const QList<CalibrationArea> areas{CalibrationArea::Density, CalibrationArea::Thermometer, CalibrationArea::Zero,
                                       CalibrationArea::FlowTable};
    const QMap<CalibrationArea, AreaRestoreState> states{{CalibrationArea::Density, AreaRestoreState::Written},
                                                         {CalibrationArea::Thermometer, AreaRestoreState::Written},
                                                         {CalibrationArea::Zero, AreaRestoreState::Unchecked},
                                                         {CalibrationArea::FlowTable, AreaRestoreState::Partial}};
    EXPECT_EQ(StatesSummary(areas, states), "записано: Фиксированная плотность, Термометр; частично: Калибровка расхода; "
                                            "не проверено (нет связи): Калибровка 0");
}
