// The texts of a data set's header block in the PRN report: the banner, the labels, and the
// interval, unit and method of the set header's codes.
#pragma once

#include <array>
#include <string_view>

namespace vsdl::conversion {

struct Interval {
    std::string_view text;  // "1  (SEC)" ... "30  (MIN)", "N/A"
    int seconds;            // 0 for "N/A"
};
Interval IntervalFor(int code);
struct Unit {
    std::string_view name;  // "PPB", "mg / l", "RAW"; empty for code 0, a set without a unit
    bool known = false;     // false for a code the logger does not use
};
Unit UnitFor(int code);
std::string_view MethodFor(int code);

inline constexpr std::string_view kStars79 =
    "*******************************************************************************";
inline constexpr std::string_view kEquals79 =
    "===============================================================================";

// The banner of the first data set, strategy line excepted ("" is an empty line).
inline constexpr std::array<std::string_view, 14> kBanner{
    kStars79,
    "",
    "                      ***********************************",
    "                      *                                 *",
    "                      *  V A L D O R     S E N S I N G  *",
    "                      *                                 *",
    "                      ***********************************",
    "",
    "                       FLUOROMETER INTERNAL DATA LOGGER",
    "",
    "                              DATA OUTPUT PROGRAM",
    "",
    kStars79,
    "",
};

// Labels of the header block: values start in column 25 (24 for the times).
inline constexpr std::string_view kStrategyLabel = "DATA LOGGING STRATEGY:  ";
inline constexpr std::string_view kSetNumberLabel = "DATA SET NO:            ";
inline constexpr std::string_view kMethodLabel = "DATA LOGGING METHOD:    ";
inline constexpr std::string_view kIntervalLabel = "DATA LOGGING INTERVAL:  ";
inline constexpr std::string_view kUnitLabel = "DATA LOGGING UNIT:      ";
inline constexpr std::string_view kStartedLabel = "DATA LOGGING STARTED:  ";
inline constexpr std::string_view kEndedLabel = "DATA LOGGING ENDED:    ";

inline constexpr std::string_view kCycleText = "CYCLE";
inline constexpr std::string_view kOneWayText = "ONE WAY";
inline constexpr std::string_view kNewDataSetLine = "***New Data Set Started***";

}  // namespace vsdl::conversion
