#include "instrument/PtySimulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <filesystem>
#include <system_error>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

#include "common/Paths.h"
#include "download/DownloadProtocol.h"

namespace vsdl::instrument {

#ifdef _WIN32

std::unique_ptr<PtySimulator> PtySimulator::Create(const std::string&, SimulatorOptions,
                                                   std::string& error) {
    error = "the simulator needs pseudo-terminals, which this system does not have";
    return nullptr;
}
PtySimulator::~PtySimulator() = default;
SimulatorResult PtySimulator::Serve(const std::atomic<bool>&) {
    return {SimulatorEnd::Stopped, 0, {}};
}

#else

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollStep = std::chrono::milliseconds(50);
// The program opens the port and clears it right away; the instrument starts a little later,
// as a person pressing its button would.
constexpr auto kSettleTime = std::chrono::milliseconds(250);
// A handshake that was cleared away with the port's buffers is sent again after this long
// without any answer.
constexpr auto kHandshakeRetry = std::chrono::seconds(3);

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

// One connection's worth of protocol, with pacing and waiting that watch `stop` and the line.
class PtySimulator::Session {
  public:
    enum class Wait { Got, Stopped, Disconnected };

    Session(int master, const SimulatorOptions& options, const std::atomic<bool>& stop)
        : master_(master), options_(options), stop_(stop) {
        if (options.rate > 0) {
            byteTime_ = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(10.0 / options.rate));
        }
    }

    bool Connected() {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0) return errno == EINTR;
        return (p.revents & POLLHUP) == 0;
    }

    // Waits for the program to open the port (or, with `open` false, to close it).
    Wait AwaitConnection(bool open, Clock::duration limit = Clock::duration::max()) {
        const auto start = Clock::now();
        while (Connected() != open) {
            if (stop_) return Wait::Stopped;
            if (Clock::now() - start > limit) return Wait::Disconnected;
            std::this_thread::sleep_for(kPollStep);
            DrainInput();
        }
        return Wait::Got;
    }

    bool Pause(Clock::duration d) {
        const auto until = Clock::now() + d;
        while (Clock::now() < until) {
            if (stop_) return false;
            std::this_thread::sleep_for(std::min<Clock::duration>(kPollStep, until - Clock::now()));
        }
        return true;
    }

    Wait Send(const std::uint8_t* data, std::size_t n) {
        std::size_t sent = 0;
        if (byteTime_.count() > 0) next_ = std::max(next_, Clock::now());
        while (sent < n) {
            if (stop_) return Wait::Stopped;
            std::size_t chunk = n - sent;
            if (byteTime_.count() > 0) {
                // A real line carries one byte per byte time; send what is due by now.
                if (!Pause(std::max(Clock::duration::zero(), next_ - Clock::now()))) {
                    return Wait::Stopped;
                }
                const auto due = 1 + (Clock::now() - next_) / byteTime_;
                chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(due));
            }
            pollfd p{master_, POLLOUT, 0};
            const int r = ::poll(&p, 1, static_cast<int>(kPollStep.count()));
            if (r < 0 && errno != EINTR) return Wait::Disconnected;
            if (p.revents & POLLHUP) return Wait::Disconnected;
            if (r <= 0 || !(p.revents & POLLOUT)) continue;
            const ssize_t w = ::write(master_, data + sent, chunk);
            if (w < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                return Wait::Disconnected;
            }
            sent += static_cast<std::size_t>(w);
            if (byteTime_.count() > 0) next_ += byteTime_ * w;
        }
        return Wait::Got;
    }

    Wait Send(std::uint8_t byte) { return Send(&byte, 1); }

    // Waits for `expected` from the program; other bytes are passed over. With `retry`, the
    // bytes in `resend` go out again after kHandshakeRetry without any byte from the program.
    Wait Expect(std::uint8_t expected, const std::vector<std::uint8_t>* resend = nullptr) {
        auto lastSend = Clock::now();
        for (;;) {
            if (!received_.empty()) {
                const std::uint8_t b = received_.front();
                received_.pop_front();
                if (b == expected) return Wait::Got;
                Log("unexpected byte " + download::HexByte(b) + " while waiting for " +
                    download::HexByte(expected));
                continue;
            }
            if (stop_) return Wait::Stopped;
            if (resend && Clock::now() - lastSend > kHandshakeRetry) {
                if (Send(resend->data(), resend->size()) != Wait::Got) return Wait::Disconnected;
                lastSend = Clock::now();
            }
            pollfd p{master_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(kPollStep.count()));
            if (r < 0) {
                if (errno == EINTR) continue;
                return Wait::Disconnected;
            }
            if (r == 0) continue;
            if (p.revents & POLLIN) {
                std::uint8_t buffer[256];
                const ssize_t got = ::read(master_, buffer, sizeof buffer);
                if (got > 0) {
                    const auto now = Clock::now();
                    received_.insert(received_.end(), buffer, buffer + got);
                    // The answer occupies the line too before the next byte can follow it.
                    if (byteTime_.count() > 0) next_ = std::max(next_, now + byteTime_ * got);
                    continue;
                }
            }
            if (p.revents & (POLLHUP | POLLERR)) return Wait::Disconnected;
        }
    }

    void DrainInput() {
        std::uint8_t buffer[256];
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
            if (::read(master_, buffer, sizeof buffer) <= 0) break;
        }
        received_.clear();
    }

    void Log(const std::string& text) const {
        if (options_.log) options_.log(text);
    }

    DownloadOutcome Play(const std::vector<Step>& plan);

  private:
    int master_;
    const SimulatorOptions& options_;
    const std::atomic<bool>& stop_;
    Clock::duration byteTime_{0};
    Clock::time_point next_{};
    std::deque<std::uint8_t> received_;
};

std::unique_ptr<PtySimulator> PtySimulator::Create(const std::string& link,
                                                   SimulatorOptions options, std::string& error) {
    namespace fs = std::filesystem;
    if (const std::string why = CheckSimulatorImage(options.image); !why.empty()) {
        error = why;
        return nullptr;
    }
    auto sim = std::make_unique<PtySimulator>(Key{});
    sim->options_ = std::move(options);
    sim->master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (sim->master_ < 0 || ::grantpt(sim->master_) != 0 || ::unlockpt(sim->master_) != 0) {
        error = Errno("cannot open a pseudo-terminal");
        return nullptr;
    }
    ::fcntl(sim->master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(sim->master_, F_SETFL, ::fcntl(sim->master_, F_GETFL) | O_NONBLOCK);
    const char* name = ::ptsname(sim->master_);
    if (!name) {
        error = Errno("cannot name the pseudo-terminal");
        return nullptr;
    }
    sim->device_ = name;

    // Raw from the start: no echo, no line editing, no CR/LF translation, whoever opens it.
    termios t{};
    if (::tcgetattr(sim->master_, &t) != 0) {
        error = Errno("cannot read the pseudo-terminal's settings");
        return nullptr;
    }
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    if (::tcsetattr(sim->master_, TCSANOW, &t) != 0) {
        error = Errno("cannot set the pseudo-terminal's settings");
        return nullptr;
    }
    // Opened and closed once, so that the pty reports a hang-up until the program opens it:
    // that is how a session notices the program.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        error = Errno("cannot open the pseudo-terminal's device");
        return nullptr;
    }
    ::close(slave);

    std::error_code ec;
    const fs::path linkPath = paths::ToFsPath(link);
    const auto status = fs::symlink_status(linkPath, ec);
    if (fs::exists(status) && !fs::is_symlink(status)) {
        error = link + " exists and is not a symbolic link; it is left alone";
        return nullptr;
    }
    if (linkPath.has_parent_path()) fs::create_directories(linkPath.parent_path(), ec);
    // Made under a temporary name and renamed over the old link, so the link never names a
    // half-ready device.
    fs::path temp = linkPath;
    temp += ".tmp" + std::to_string(::getpid());
    fs::remove(temp, ec);
    fs::create_symlink(name, temp, ec);
    if (!ec) fs::rename(temp, linkPath, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "cannot make the link " + link + ": " + ec.message();
        return nullptr;
    }
    sim->link_ = link;
    return sim;
}

PtySimulator::~PtySimulator() {
    if (!link_.empty()) {
        std::error_code ec;
        const auto path = paths::ToFsPath(link_);
        if (paths::FromFsPath(std::filesystem::read_symlink(path, ec)) == device_ && !ec) {
            std::filesystem::remove(path, ec);
        }
    }
    if (master_ >= 0) ::close(master_);
}

// Plays one download's steps; how the download ended.
DownloadOutcome PtySimulator::Session::Play(const std::vector<Step>& plan) {
    const auto ended = [](Wait w) {
        return w == Wait::Stopped ? DownloadOutcome::Stopped : DownloadOutcome::ProgramLeft;
    };
    for (const Step& step : plan) {
        if (!step.note.empty()) Log(step.note);
        switch (step.kind) {
            case Step::Kind::Send:
                if (Wait w = Send(step.bytes.data(), step.bytes.size()); w != Wait::Got) {
                    return ended(w);
                }
                break;
            case Step::Kind::SendImage:
                if (Wait w = Send(options_.image.data() + step.from, step.count); w != Wait::Got) {
                    return ended(w);
                }
                break;
            case Step::Kind::ExpectEcho:
                for (std::size_t i = 0; i < step.bytes.size(); ++i) {
                    const bool resend = step.resendUntilAnswered && i == 0;
                    if (Wait w = Expect(step.bytes[i], resend ? &step.bytes : nullptr);
                        w != Wait::Got) {
                        return ended(w);
                    }
                }
                break;
            case Step::Kind::Silence:
                if (!Pause(std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(step.seconds)))) {
                    return DownloadOutcome::Stopped;
                }
                DrainInput();
                break;
            case Step::Kind::DropLine:
                return DownloadOutcome::LineDropped;
            case Step::Kind::AwaitLetGo:
                return AwaitConnection(false) == Wait::Got ? DownloadOutcome::BadChecksumSent
                                                           : DownloadOutcome::Stopped;
        }
    }
    return DownloadOutcome::Complete;
}

SimulatorResult PtySimulator::Serve(const std::atomic<bool>& stop) {
    using Wait = Session::Wait;
    SimulatorResult result;
    const std::vector<Step> plan =
        PlanDownload(options_.image, options_.textLines, options_.faults);
    for (;;) {
        Session s(master_, options_, stop);
        if (s.AwaitConnection(true) != Wait::Got || !s.Pause(kSettleTime)) {
            result.end = SimulatorEnd::Stopped;
            return result;
        }
        s.DrainInput();
        const DownloadOutcome outcome = s.Play(plan);
        result.outcomes.push_back(outcome);
        switch (outcome) {
            case DownloadOutcome::Stopped:
                result.end = SimulatorEnd::Stopped;
                return result;
            case DownloadOutcome::LineDropped:
                ::close(master_);
                master_ = -1;
                result.end = SimulatorEnd::Dropped;
                return result;
            case DownloadOutcome::Complete:
                ++result.downloads;
                s.Log("download " + std::to_string(result.downloads) +
                      " complete: " + std::to_string(options_.image.size()) + " bytes");
                // Give the program the moment it needs to close the port on its own.
                s.AwaitConnection(false, std::chrono::seconds(2));
                break;
            case DownloadOutcome::ProgramLeft:
                s.Log("the program closed the port before the download had ended");
                result.end = SimulatorEnd::Disconnected;
                break;
            case DownloadOutcome::BadChecksumSent:
                break;
        }
        if (!options_.repeat) return result;
        if (s.AwaitConnection(false) != Wait::Got) {
            result.end = SimulatorEnd::Stopped;
            return result;
        }
    }
}

#endif

}  // namespace vsdl::instrument
