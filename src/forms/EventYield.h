// Lets the window's events run now and then during a long job on its own thread (a conversion,
// reading a BIN for the chart, an export).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdint>

namespace vsdl::forms {

class EventYield {
  public:
    EventYield() { clock_.start(); }

    // Called once per record. Letting the event loop run after every record would cost more
    // than the job itself, and reading the clock costs about as much as a short record, so the
    // clock is read every 64 calls and the events run every 15 ms, which is often enough for a
    // smooth bar and a window that still repaints. `beforeEvents` (the bar) runs just before.
    template <typename BeforeEvents>
    void operator()(BeforeEvents&& beforeEvents) {
        if ((++calls_ & (kCallsPerClockRead - 1)) != 0 || clock_.elapsed() < kIntervalMs) return;
        beforeEvents();
        QCoreApplication::processEvents();
        clock_.restart();
    }
    void operator()() {
        (*this)([] {});
    }

  private:
    static constexpr qint64 kIntervalMs = 15;
    static constexpr std::uint32_t kCallsPerClockRead = 64;  // a power of two

    QElapsedTimer clock_;
    std::uint32_t calls_ = 0;
};

}  // namespace vsdl::forms
