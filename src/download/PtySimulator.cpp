#include "download/PtySimulator.h"

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

namespace vsdl::download {
namespace {

constexpr std::array<std::uint8_t, 3> kHandshake = {0xA5, 0x3C, 0x69};
constexpr std::array<std::uint8_t, 6> kEndMarker = {0xC9, 0x96, 0x6C, 0xA5, 0x5A, 0xC3};
// Sync mark, SetCount and the 17-byte header of the first data set: the end-marker search of
// the download begins after them.
constexpr std::size_t kHeaderBytes = 21;

}  // namespace

std::string CheckSimulatorImage(const std::vector<std::uint8_t>& image) {
    if (image.size() < kHeaderBytes + kEndMarker.size()) {
        return "the image is too short to be a download (" + std::to_string(image.size()) +
               " bytes)";
    }
    const bool sync = (image[0] == 0xC3 && image[1] == 0xC3 && image[2] == 0xC3) ||
                      (image[0] == 0x3C && image[1] == 0x3C && image[2] == 0x3C);
    if (!sync) return "the image does not begin with a sync mark (C3 C3 C3 or 3C 3C 3C)";
    const auto from = image.begin() + static_cast<std::ptrdiff_t>(kHeaderBytes);
    const auto found = std::search(from, image.end(), kEndMarker.begin(), kEndMarker.end());
    if (found == image.end()) return "the image does not end with the end marker C9 96 6C A5 5A C3";
    const auto at = static_cast<std::size_t>(found - image.begin());
    if (at + kEndMarker.size() != image.size()) {
        return "the end marker occurs at byte " + std::to_string(at + 1) +
               ", before the end of the image; a download would stop there";
    }
    return {};
}

#ifdef _WIN32

std::unique_ptr<PtySimulator> PtySimulator::Create(const std::string&, SimulatorOptions,
                                                   std::string& error) {
    error = "the simulator needs pseudo-terminals, which this system does not have";
    return nullptr;
}
PtySimulator::~PtySimulator() = default;
SimulatorResult PtySimulator::Serve(const std::atomic<bool>&) {
    return {SimulatorEnd::Stopped, 0};
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
                Log("unexpected byte " + HexByte(b) + " while waiting for " + HexByte(expected));
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
    std::unique_ptr<PtySimulator> sim(new PtySimulator());
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

SimulatorResult PtySimulator::Serve(const std::atomic<bool>& stop) {
    using Wait = Session::Wait;
    SimulatorResult result;
    const auto& image = options_.image;
    const std::size_t fullBlocks = image.size() / kBlockSize;
    const std::size_t partial = image.size() % kBlockSize;
    const SimulatorFaults& faults = options_.faults;

    const auto checksumOf = [&](std::size_t first, std::size_t count) {
        unsigned sum = 0;
        for (std::size_t i = first; i < first + count; ++i) sum += image[i];
        return static_cast<std::uint8_t>(sum & 0xFF);
    };

    for (;;) {
        Session s(master_, options_, stop);
        const auto finish = [&](SimulatorEnd end) {
            result.end = end;
            return result;
        };
        if (s.AwaitConnection(true) != Wait::Got) return finish(SimulatorEnd::Stopped);
        if (!s.Pause(kSettleTime)) return finish(SimulatorEnd::Stopped);
        s.DrainInput();

        // What the session ran into; Got means the download played out in full.
        Wait outcome = Wait::Got;
        std::string note;
        bool silenceDone = false;
        const auto run = [&]() -> Wait {
            if (faults.noiseBytes > 0) {
                std::vector<std::uint8_t> noise;
                unsigned x = 0x5EED;
                while (noise.size() < faults.noiseBytes) {
                    x = x * 1103515245u + 12345u;
                    const auto b = static_cast<std::uint8_t>(x >> 16);
                    // Noise that neither starts the handshake nor makes a text line.
                    if (b == 0xA5 || b == 13 || b == 10 ||
                        kPrintableSet.find(static_cast<char>(b)) != std::string_view::npos) {
                        continue;
                    }
                    noise.push_back(b);
                }
                if (auto w = s.Send(noise.data(), noise.size()); w != Wait::Got) return w;
            }
            for (const std::string& line : options_.textLines) {
                const std::string text = line + "\r\n";
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
                if (auto w = s.Send(bytes, text.size()); w != Wait::Got) return w;
            }
            for (;;) {  // once more after a silence
                const std::vector<std::uint8_t> hs(kHandshake.begin(), kHandshake.end());
                if (auto w = s.Send(hs.data(), hs.size()); w != Wait::Got) return w;
                for (std::size_t i = 0; i < hs.size(); ++i) {
                    const bool first = i == 0;
                    if (auto w = s.Expect(hs[i], first ? &hs : nullptr); w != Wait::Got) return w;
                }
                bool restarted = false;
                for (std::size_t block = 0; block <= fullBlocks; ++block) {
                    const int done = static_cast<int>(block);  // blocks echoed so far
                    if (faults.dropAfterBlock && *faults.dropAfterBlock == done) {
                        note = "line dropped after block " + std::to_string(done);
                        return Wait::Disconnected;
                    }
                    if (faults.silenceAfterBlock && *faults.silenceAfterBlock == done &&
                        !silenceDone) {
                        silenceDone = true;
                        s.Log("silent for " + std::to_string(faults.silenceSeconds) +
                              " s after block " + std::to_string(done));
                        if (!s.Pause(std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(faults.silenceSeconds)))) {
                            return Wait::Stopped;
                        }
                        s.DrainInput();
                        restarted = true;
                        break;
                    }
                    if (block == fullBlocks) break;
                    const std::size_t first = block * kBlockSize;
                    if (auto w = s.Send(image.data() + first, kBlockSize); w != Wait::Got) return w;
                    std::uint8_t sum = checksumOf(first, kBlockSize);
                    const bool spoil =
                        faults.badChecksumBlock && *faults.badChecksumBlock == done + 1;
                    if (spoil) sum = static_cast<std::uint8_t>(sum + 1);
                    if (auto w = s.Send(sum); w != Wait::Got) return w;
                    if (spoil) {
                        note = "wrong checksum sent for block " + std::to_string(done + 1);
                        // The program stops without an answer; wait for it to let go.
                        return s.AwaitConnection(false) == Wait::Got ? Wait::Disconnected
                                                                     : Wait::Stopped;
                    }
                    if (auto w = s.Expect(sum); w != Wait::Got) return w;
                    const bool last = partial == 0 && block + 1 == fullBlocks;
                    // In a download that ends in a full block, that block's checksum byte is
                    // also the final byte, and comes back a second time.
                    if (last) {
                        if (auto w = s.Expect(sum); w != Wait::Got) return w;
                    }
                }
                if (restarted) continue;
                if (partial > 0) {
                    const std::size_t first = fullBlocks * kBlockSize;
                    if (auto w = s.Send(image.data() + first, partial); w != Wait::Got) return w;
                    const std::uint8_t final = checksumOf(first, partial);
                    if (auto w = s.Send(final); w != Wait::Got) return w;
                    if (auto w = s.Expect(final); w != Wait::Got) return w;
                }
                return Wait::Got;
            }
        };
        outcome = run();

        if (outcome == Wait::Stopped) return finish(SimulatorEnd::Stopped);
        if (faults.dropAfterBlock && !note.empty() && note.rfind("line dropped", 0) == 0) {
            s.Log(note);
            ::close(master_);
            master_ = -1;
            return finish(SimulatorEnd::Dropped);
        }
        if (outcome == Wait::Got) {
            ++result.downloads;
            s.Log("download " + std::to_string(result.downloads) +
                  " complete: " + std::to_string(image.size()) + " bytes");
            // Give the program the moment it needs to close the port on its own.
            s.AwaitConnection(false, std::chrono::seconds(2));
        } else {
            s.Log(note.empty() ? "the program closed the port before the download had ended"
                               : note);
            if (note.empty()) result.end = SimulatorEnd::Disconnected;
        }
        if (!options_.repeat) return result;
        if (s.AwaitConnection(false) != Wait::Got) return finish(SimulatorEnd::Stopped);
    }
}

#endif

}  // namespace vsdl::download
