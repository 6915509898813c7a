// The running time: the date and time that gives a data set's untimed records their time.
#pragma once

#include <cstring>

namespace vsdl::conversion {

class RunningTime {
  public:
    // Reads month/day/two-digit year and hour:minute:second (each 0-99), the year with the
    // pivot 00-29 -> 2000-2029, 30-99 -> 1930-1999. False when it is no valid date and time.
    bool Set(int month, int day, int year2, int hour, int minute, int second);
    // The same with a four-digit year (1-9999).
    bool SetFull(int year, int month, int day, int hour, int minute, int second);
    // Adds up to a day of seconds with the calendar. False, leaving the time unchanged, when
    // the result would pass 12/31/9999 23:59:59.
    bool Add(int seconds);
    // "mm/dd/yy hh:mm:ss" (17 characters); inline, as it runs for every untimed record.
    char* PutShort(char* out) const {
        std::memcpy(out, text_, sizeof text_);
        return out + sizeof text_;
    }
    // "mm/dd/yyyy hh:mm:ss" (19 characters): the time in the error lines of untimed records.
    char* PutLong(char* out) const;

    int year() const { return year_; }
    int month() const { return month_; }
    int day() const { return day_; }
    int hour() const { return hour_; }
    int minute() const { return minute_; }
    int second() const { return second_; }

  private:
    // Takes a checked date and time and renders its text.
    void Assign(int year, int month, int day, int hour, int minute, int second);

    int year_ = 2000, month_ = 1, day_ = 1, hour_ = 0, minute_ = 0, second_ = 0;
    // "mm/dd/yy hh:mm:ss", kept up to date: most steps only touch the seconds.
    char text_[17] = {'0', '1', '/', '0', '1', '/', '0', '0', ' ',
                      '0', '0', ':', '0', '0', ':', '0', '0'};
};

}  // namespace vsdl::conversion
