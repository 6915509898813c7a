// The instrument simulator serving on a link from a thread of its own, for the tests that run a
// download over a real pseudo-terminal (the serial adapter's and the windows'). It stops when it
// goes.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "instrument/PtySimulator.h"

namespace vsdl::testing {

class ServedImage {
  public:
    ServedImage(const std::string& link, instrument::SimulatorOptions options) {
        sim_ = instrument::PtySimulator::Create(link, std::move(options), error_);
        if (sim_) {
            thread_ = std::thread([this] {
                result_ = sim_->Serve(stop_);
                served_ = true;
            });
        }
    }
    ~ServedImage() { Stop(); }
    ServedImage(const ServedImage&) = delete;
    ServedImage& operator=(const ServedImage&) = delete;

    // Whether it serves; why not when it does not.
    bool Ready() const { return sim_ != nullptr; }
    const std::string& Error() const { return error_; }
    std::string Device() const { return sim_ ? sim_->Device() : std::string(); }
    // Whether it finished its download (without `repeat`) within `timeout`.
    bool WaitServed(std::chrono::milliseconds timeout) const {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (!served_ && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return served_;
    }
    instrument::SimulatorResult Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return result_;
    }

  private:
    std::string error_;
    std::unique_ptr<instrument::PtySimulator> sim_;
    std::atomic<bool> stop_{false}, served_{false};
    instrument::SimulatorResult result_;
    std::thread thread_;
};

}  // namespace vsdl::testing
