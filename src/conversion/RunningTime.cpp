#include "conversion/RunningTime.h"

#include <chrono>

namespace vsdl::conversion {

namespace {

int DaysInMonth(int year, int month) {
    using namespace std::chrono;
    const year_month_day_last last{
        std::chrono::year{year}, month_day_last{std::chrono::month{static_cast<unsigned>(month)}}};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

}  // namespace

bool RunningTime::Set(int month, int day, int year2, int hour, int minute, int second) {
    if (year2 < 0 || year2 > 99) return false;
    return SetFull(year2 < 30 ? 2000 + year2 : 1900 + year2, month, day, hour, minute, second);
}

bool RunningTime::SetFull(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1 || year > 9999) return false;
    if (month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    Assign(year, month, day, hour, minute, second);
    return true;
}

void RunningTime::Assign(int year, int month, int day, int hour, int minute, int second) {
    year_ = year;
    month_ = month;
    day_ = day;
    hour_ = hour;
    minute_ = minute;
    second_ = second;
}

bool RunningTime::Add(int seconds) {
    if (seconds <= 0) return true;  // the "N/A" interval: the time stands still
    if (second_ + seconds < 60) {
        second_ += seconds;
        return true;
    }
    int total = second_ + seconds;
    int second = total % 60;
    total = minute_ + total / 60;
    int minute = total % 60;
    total = hour_ + total / 60;
    int hour = total % 24;
    int carryDays = total / 24;
    int year = year_, month = month_, day = day_;
    while (carryDays > 0) {
        const int left = DaysInMonth(year, month) - day;
        if (carryDays <= left) {
            day += carryDays;
            break;
        }
        carryDays -= left + 1;
        day = 1;
        if (++month > 12) {
            month = 1;
            if (++year > 9999) return false;
        }
    }
    Assign(year, month, day, hour, minute, second);
    return true;
}

}  // namespace vsdl::conversion
