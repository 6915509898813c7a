// The download's jobs as both front ends run them: where the image is saved, what is asked on
// the way and what lastbin.cfg records; and the session's lock, port and texts. (The line that
// names the port the instrument was found on is checked where a window and vsdl show it.)
#include "jobs/DownloadJobs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/Paths.h"
#include "support/CoreTestSupport.h"
#include "support/ScriptedPort.h"

namespace vsdl::jobs {
namespace {

using namespace vsdl::testing;

constexpr const char* kImage = "the downloaded image";

struct SaveCase {
    const char* title;
    const char* before = "";  // a file there before, holding "older"; a name ending in / a folder
    const char* folder = "";  // the chosen folder, below the test folder
    const char* name = "";    // the chosen name
    bool answer = true;       // to the overwrite question
    const char* asked = "";   // the file the question names; "" for no question
    SaveOutcome::End end = SaveOutcome::End::Saved;
    const char* saved = "";    // the file that holds the image afterwards, recorded when Saved
    const char* message = "";  // the start of the failure text
};

using End = SaveOutcome::End;
// clang-format off
const SaveCase kSaveCases[] = {
    {.title = "a new name is copied and recorded", .name = "Run7.BIN", .saved = "Run7.BIN"},
    {.title = "an existing file is kept when the user says no", .before = "RUN8.BIN",
     .name = "RUN8.BIN", .answer = false, .asked = "RUN8.BIN", .end = End::Declined},
    {.title = "an existing file is replaced when the user says yes", .before = "RUN8.BIN",
     .name = "RUN8.BIN", .asked = "RUN8.BIN", .saved = "RUN8.BIN"},
#ifndef _WIN32
    {.title = "another letter case is another file where case counts", .before = "run7.bin",
     .name = "RUN7.BIN", .saved = "RUN7.BIN"},
#endif
    {.title = "the temporary file itself stays and is recorded in lower case", .folder = "data",
     .name = "~TempIDL.BIN", .asked = "data/~tempidl.bin", .saved = "data/~tempidl.bin"},
    {.title = "the temporary file itself, kept as it is", .folder = "data",
     .name = "~tempidl.bin", .answer = false, .asked = "data/~tempidl.bin", .end = End::Declined},
    {.title = "the temporary file's name in another folder is copied there", .folder = "other",
     .name = "~tempidl.bin", .saved = "other/~tempidl.bin"},
    {.title = "a folder that is not there", .folder = "gone", .name = "x.BIN", .end = End::Failed,
     .message = "The download could not be saved as {}gone/x.BIN: "},
    {.title = "lastbin.cfg that cannot be written", .before = "data/lastbin.cfg/",
     .name = "Run9.BIN", .end = End::Failed, .saved = "Run9.BIN",
     .message = "The file {}data/lastbin.cfg could not be written.\n"},
};
// clang-format on

void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.title;
}

class SaveRules : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveRules, WhereTheImageGoesAndWhatIsRecorded) {
    const SaveCase& c = GetParam();
    TempDir dir;
    const std::string root = paths::WithTrailingSeparator(dir.str());
    const auto at = [&root](const std::string& name) { return root + name; };
    fs::create_directories(dir.path() / "data");
    fs::create_directories(dir.path() / "other");
    WriteFile(at("data/~tempidl.bin"), kImage);
    const std::string before = c.before;
    if (!before.empty()) {
        before.back() == '/' ? void(fs::create_directories(at(before)))
                             : WriteFile(at(before), "older");
    }
    std::vector<std::string> asked;
    const SaveOutcome outcome = SaveDownload({.dataFolder = at("data"),
                                              .settingsFolder = at("data"),
                                              .folder = at(c.folder),
                                              .name = c.name,
                                              .mayReplace = [&](const std::string& existing) {
                                                  asked.push_back(existing);
                                                  return c.answer;
                                              }});

    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(asked, *c.asked ? std::vector<std::string>{at(c.asked)} : std::vector<std::string>{});
    const std::string saved = c.saved;
    if (!saved.empty()) {
        EXPECT_EQ(ReadFile(at(saved)), kImage);
    }
    if (!before.empty() && before.back() != '/' && before != saved) {
        EXPECT_EQ(ReadFile(at(before)), "older");
    }
    if (c.end == End::Saved) {
        EXPECT_EQ(outcome.saved, at(saved));
        EXPECT_EQ(ReadFile(at("data/lastbin.cfg")), at(saved) + "\r\n");
    } else {
        EXPECT_FALSE(fs::is_regular_file(at("data/lastbin.cfg")));
    }
    std::string message = c.message;
    if (const auto brace = message.find("{}"); brace != std::string::npos) {
        message.replace(brace, 2, root);
    }
    EXPECT_EQ(outcome.message.substr(0, message.size()), message);
    EXPECT_EQ(outcome.copied, !saved.empty() && saved.rfind("data/", 0) != 0);
    // Nothing but the chosen file is ever written beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "other"), {}),
              saved == "other/~tempidl.bin" ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Save, SaveRules, ::testing::ValuesIn(kSaveCases));

TEST(SaveRules, WithoutAnAnswerAnExistingFileIsNeverReplaced) {
    TempDir dir;
    WriteFile(dir / "~tempidl.bin", kImage);
    WriteFile(dir / "Run1.BIN", "older");
    const SaveOutcome outcome = SaveDownload({.dataFolder = dir.str(),
                                              .settingsFolder = "",
                                              .folder = dir.str(),
                                              .name = "Run1.BIN",
                                              .mayReplace = {}});
    EXPECT_EQ(outcome.end, SaveOutcome::End::Declined);
    EXPECT_EQ(ReadFile(dir / "Run1.BIN"), "older");
}

class Session : public ::testing::Test {
  protected:
    Session() {
        where.data = paths::WithTrailingSeparator(dir.str());
        where.config = where.data;
        where.ports = {where.data};
    }
    PortMakers Makers(bool opens) const {
        PortMakers make;
        // A port that opens (or not) and names its device; of "any port", ttyS0 never opens.
        const auto port = [opens](const std::string& device) {
            auto made = std::make_unique<ScriptedPort>(ScriptedPort::Bytes{}, device);
            made->openFails = !opens || device == "/dev/ttyS0";
            return made;
        };
        make.numbered = [port] { return port("/dev/ttyUSB0"); };
        make.device = port;
        make.any = [port] {
            return std::make_unique<download::AnyPort>(
                std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyS0"}, port);
        };
        return make;
    }

    TempDir dir;
    folders::ProgramFolders where;
    DownloadSession session;
};

TEST_F(Session, ASecondDownloadIsTurnedAwayAndALockFileInTheWayIsNamed) {
    ASSERT_EQ(session.Lock(where, {}), DownloadSession::Step::Ready);
    DownloadSession second;
    EXPECT_EQ(second.Lock(where, {}), DownloadSession::Step::Busy);
    EXPECT_EQ(second.Failure(), download::BusyText(where.data + "~tempidl.bin"));
    session.Release();
    fs::create_directories(dir.path() / "~tempidl.bin.lock" / "inside");
    EXPECT_EQ(second.Lock(where, {}), DownloadSession::Step::LockFailed);
    EXPECT_EQ(second.Failure().rfind("The lock file " + where.data + "~tempidl.bin.lock", 0), 0u);
}

struct PortCase {
    const char* settings = nullptr;  // serialport.cfg; nullptr for none
    const char* port = "";           // the port text the front end gives
    const char* device = "";
    bool opens = true;
    const char* said = "";  // the listening line, or the failure (which starts with "Error")
};

// clang-format off
const PortCase kPortCases[] = {
    {.settings = "3\r\n", .said = "Listening on COM3: /dev/ttyUSB0"},
    {.said = "Listening on COM1: /dev/ttyUSB0"},  // without serialport.cfg
    {.settings = "3\r\n", .port = "4", .said = "Listening on COM4: /dev/ttyUSB0"},
    {.settings = "12\r\n",
     .said = "Error: COM port #12 is not available.  Please change and try again."},
    {.port = "2", .opens = false,
     .said = "Error: COM port #2 is not available.  Please change and try again.\n"
             "/dev/ttyUSB0: Device or resource busy. Another program is using the port."},
    {.settings = "3\r\n", .device = "/dev/pts/7", .said = "Listening on /dev/pts/7"},
    {.device = "/dev/pts/7", .opens = false,
     .said = "Error: /dev/pts/7 is not available.\n"
             "/dev/pts/7: Device or resource busy. Another program is using the port."},
    {.settings = "any\r\n",
     .said = "Listening on every port: /dev/ttyUSB0. Not opened: /dev/ttyS0 (Device or resource "
             "busy)."},
    {.settings = "any\r\n", .opens = false,
     .said = "Error: COM port #any is not available.  Please change and try again.\nNone of the "
             "serial ports could be opened. Not opened: /dev/ttyUSB0 (Device or resource busy), "
             "/dev/ttyS0 (Device or resource busy)."},
};
// clang-format on

void PrintTo(const PortCase& c, std::ostream* os) {
    const std::string said = c.said;
    *os << said.substr(0, said.find('\n'));
}

class Ports : public Session, public ::testing::WithParamInterface<PortCase> {};

TEST_P(Ports, TheSessionOpensThePortItsTextNames) {
    const PortCase& c = GetParam();
    if (c.settings != nullptr) WriteFile(dir / "serialport.cfg", c.settings);
    ASSERT_EQ(session.Lock(where, {}), DownloadSession::Step::Ready);
    const DownloadSession::Step step = session.OpenPort(c.port, c.device, Makers(c.opens));
    const bool fails = std::string(c.said).rfind("Error", 0) == 0;
    EXPECT_EQ(step, fails ? DownloadSession::Step::PortNotAvailable : DownloadSession::Step::Ready);
    EXPECT_EQ(fails ? session.Failure() : session.ListeningLine(), c.said);
}

INSTANTIATE_TEST_SUITE_P(Session, Ports, ::testing::ValuesIn(kPortCases));

TEST_F(Session, WithoutAPortNothingIsDownloaded) {
    ASSERT_EQ(session.Lock(where, {}), DownloadSession::Step::Ready);
    EXPECT_EQ(session.OpenPort("1", "", {}), DownloadSession::Step::PortNotAvailable);
    EXPECT_EQ(session.Failure(),
              "Error: COM port #1 is not available.  Please change and try again.");
    download::DownloadControl control;
    RecordingUi ui;
    EXPECT_EQ(session.Run(ui, control).end, download::DownloadEnd::NotStarted);
}

}  // namespace
}  // namespace vsdl::jobs
