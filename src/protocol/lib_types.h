#pragma once
// Records of decoded meter values. Every record is built empty for each frame,
// so the fields a response block does not fill arrive empty (texts), false or 0.
#include <QString>
#include <array>
#include <variant>

struct TQ_main
{
    QString Status;
    QString Rashod_M;
    QString Rashod_O;
    QString Plotnost;
    QString TempMCU;
    QString TempTube;
    QString FRQ;
    QString TimePostCer0;
    QString ARU;
};

struct TQ_settings
{
    QString Plotnost_FIX;
    bool Plotnost_FIX_En = false;
};

// Kf false: the four point texts are filled; true: A and B are filled.
struct TQ_kalibr_Termo
{
    QString Temp_20;
    QString Temp_60;
    QString ADC_20;
    QString ADC_60;
    QString A;
    QString B;
    bool Kf = false;
};

// Kf false: the four point texts are filled; true: A and B are filled.
struct TQ_kalibr_0_Termo
{
    QString Temp_20;
    QString Temp_60;
    QString t_20;
    QString t_60;
    QString A;
    QString B;
    bool Kf = false;
};

struct TQ_kalibr_Termo_ADC
{
    QString ADC_str;
    float ADC_float = 0.0f;
};

struct TQ_kalibr_Termo_ns
{
    QString ns_str;
    float ns_float = 0.0f;
    QString T_str;
    float T_float = 0.0f;
};

// Kf true: A..D filled; false: Q_Max, Q_Max_Float and the 26 points filled.
// Etalon[n - 1] and Pribor[n - 1] hold point n (1..13).
struct TQ_Rashod_Kf
{
    static constexpr int PointCount = 13;
    QString A;
    QString B;
    QString C;
    QString D;
    QString Q_Max;
    float Q_Max_Float = 0.0f;
    std::array<QString, PointCount> Etalon;
    std::array<QString, PointCount> Pribor;
    bool Kf = false;
};

// type_Q_Ns true: current delta-t and mass flow filled; false: the three averages.
struct TQ_kalibr_Rashod
{
    QString Q_Ns_str;
    float Q_Ns_float = 0.0f;
    QString Q_Qm_str;
    float Q_Qm_float = 0.0f;
    QString sred_times_val;
    QString sred_Qm_val;
    QString Time_ms;
    bool type_Q_Ns = false;
};

using AnyRecord = std::variant<TQ_main, TQ_settings, TQ_kalibr_Termo, TQ_kalibr_0_Termo,
                               TQ_kalibr_Termo_ADC, TQ_kalibr_Termo_ns, TQ_Rashod_Kf,
                               TQ_kalibr_Rashod>;
