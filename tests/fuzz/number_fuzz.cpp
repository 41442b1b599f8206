// Typed numbers and number texts: never a crash, and a text read back gives the
// value it was written from, as far as its pattern keeps the digits.
#include "fuzz_input.h"
#include "protocol/number_text.h"
#include <QLocale>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    QLocale::setDefault(in.byte() & 1 ? QLocale(QLocale::Russian) : QLocale::c());
    const float f = in.value<float>();
    const double d = in.value<double>();

    // A float written in the general format reads back exactly.
    if (std::isfinite(f)) {
        const QString text = FormatGeneral(double(f));
        check(ParseTypedFloat(text) == f);
    }
    for (NumPattern p : {NumPattern::P0_000, NumPattern::P0_0hh, NumPattern::P0_00, NumPattern::P0_0000,
                         NumPattern::P0_hhh, NumPattern::P0_000_7h, NumPattern::General, NumPattern::Word}) {
        const QString text = FormatFloatPattern(d, p);
        check(!text.isEmpty());
        // Fixed patterns keep at least two decimals' worth where the value is modest.
        if (std::isfinite(d) && std::fabs(d) < 1e6 && (p == NumPattern::P0_00 || p == NumPattern::P0_000)) {
            try {
                check(std::fabs(ParseLocaleDouble(text) - d) <= 0.0051);
            } catch (const EConvertError &) {
                check(false);
            }
        }
    }
    // Whatever is typed: a number or the conversion error, nothing else.
    const uint8_t *rest = nullptr;
    const size_t n = in.take(size, &rest);
    const QString typed = QString::fromUtf8(reinterpret_cast<const char *>(rest), qsizetype(n));
    for (auto parse : {&ParseTypedFloat, &ParseLocaleFloat}) {
        try {
            check(std::isfinite(parse(typed)));
        } catch (const EConvertError &e) {
            check(e.message().contains(typed));
        }
    }
    return 0;
}
