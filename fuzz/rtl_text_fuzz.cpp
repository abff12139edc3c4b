// Texts read from preferences, registry values and scripts: integers,
// floats, colours and date-time formats.

#include "platform/rtl/color.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/numbers.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    std::int32_t i = 0;
    if (TryStrToInt(text, i) && StrToInt(IntToStr(i)) != i)
        std::abort();
    std::int64_t l = 0;
    if (TryStrToInt64(text, l) && StrToInt64(u'$' + IntToHex(l, 16)) != l)
        std::abort();
    for (QChar separator : {QChar(u'.'), QChar(u',')}) {
        double d = 0;
        // 15 digits cannot hold the extremes: the largest doubles read back as
        // out of range and the smallest as underflow.
        if (TryStrToFloat(text, d, separator) && (d == 0 || (std::abs(d) > 1e-300 && std::abs(d) < 1e300))) {
            double back = 0;
            if (!TryStrToFloat(FloatToStr(d, separator), back, separator))
                std::abort();
        }
    }
    if (const auto color = TryStringToColor(text); color && StringToColor(ColorToString(*color)) != *color)
        std::abort();

    static const FormatSettings settings = FormatSettings::fromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    FormatDateTime(text, 46362.919942, settings);
    FormatDateTime(text, -1.5, settings);
    return 0;
}
