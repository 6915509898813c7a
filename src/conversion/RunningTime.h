// The running time: the date and time that gives a data set's untimed records their time.
#pragma once

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

    int year() const { return year_; }
    int month() const { return month_; }
    int day() const { return day_; }
    int hour() const { return hour_; }
    int minute() const { return minute_; }
    int second() const { return second_; }

  private:
    // Takes a checked date and time.
    void Assign(int year, int month, int day, int hour, int minute, int second);

    int year_ = 2000, month_ = 1, day_ = 1, hour_ = 0, minute_ = 0, second_ = 0;
};

}  // namespace vsdl::conversion
