#include "conversion/HeaderTexts.h"

namespace vsdl::conversion {

Interval IntervalFor(int code) {
    static constexpr std::array<Interval, 14> kIntervals{{
        {"1  (SEC)", 1},
        {"2  (SEC)", 2},
        {"3  (SEC)", 3},
        {"5  (SEC)", 5},
        {"10  (SEC)", 10},
        {"20  (SEC)", 20},
        {"30  (SEC)", 30},
        {"1  (MIN)", 60},
        {"2  (MIN)", 120},
        {"3  (MIN)", 180},
        {"5  (MIN)", 300},
        {"10  (MIN)", 600},
        {"20  (MIN)", 1200},
        {"30  (MIN)", 1800},
    }};
    if (code >= 0 && code < static_cast<int>(kIntervals.size())) {
        return kIntervals[static_cast<std::size_t>(code)];
    }
    return {"N/A", 0};
}

Unit UnitFor(int code) {
    static constexpr std::array<std::string_view, 28> kUnits{
        "",        "FSU",     "QFT",     "PPM",     "PPB",     "PPT",     "mg / l",
        "mg / dl", "mg / ml", "mg / kg", "mg / g",  "ug / l",  "ug / ml", "ug / kg",
        "ug / g",  "ng / l",  "ng / ml", "ng / ul", "ng / kg", "ng / g",  "ng / mg",
        "pg / g",  "pg / mg", "pg / ug", "pg / ml", "pg / ul", "fg / ul", "fg / mg"};
    if (code >= 0 && code < static_cast<int>(kUnits.size())) {
        return {kUnits[static_cast<std::size_t>(code)], true};
    }
    if (code == 100) return {"RAW", true};
    return {};
}

std::string_view MethodFor(int code) {
    if (code == 0) return "INSTANT";
    if (code == 1) return "AVERAGE";
    return "Unknown";
}

}  // namespace vsdl::conversion
