// The two one-line settings files in the program folder: serialport.cfg (the COM port number)
// and lastbin.cfg (the full path of the last BIN file).
//
// Reading never fails: a missing, empty or unreadable file gives the empty text and the caller
// applies its default. Writing replaces the file atomically (a temporary file in the same folder,
// flushed to disk and renamed over the old one), so a failed or interrupted write never leaves a
// truncated or empty settings file behind; the caller gets the file and the system's reason.
//
// All text is 8-bit (UTF-8 on the Qt side); the files hold exactly the value and CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vsdl::settings {

inline constexpr std::string_view kSerialPortFile = "serialport.cfg";
inline constexpr std::string_view kLastBinFile = "lastbin.cfg";
// Used when serialport.cfg gives nothing.
inline constexpr std::string_view kDefaultPort = "1";
// The port text that makes the download listen on every serial port (AnyPort.h). A number
// keeps its meaning; older versions read this text as a port that is not available.
inline constexpr std::string_view kAnyPort = "any";

// True for kAnyPort in any letter case, blanks around it ignored.
bool IsAnyPort(std::string_view text);

// The first delimited field of the file's text: leading blanks skipped; a field that begins
// with a double quote runs to the next double quote (or the end of the line when there is
// none); otherwise it ends at the first comma or at the end of the line, trailing blanks cut.
std::string FirstField(std::string_view content);

// The value of lastbin.cfg: the first line with the blanks around it skipped; a value that
// begins with a double quote runs to the next double quote (or the end of the line); any other
// value runs to the end of the line, so that a folder such as "Smith, J" keeps its comma.
std::string LastBinValue(std::string_view content);

// The saved port text of serialport.cfg in `programFolder` ("" when missing or empty): its first
// field.
std::string ReadSerialPortText(std::string_view programFolder);

// The saved path of lastbin.cfg in `programFolder` ("" when missing or empty): its LastBinValue.
std::string ReadLastBinPath(std::string_view programFolder);

struct WriteResult {
    bool ok = true;
    std::string path;    // the file that was (or was to be) written
    std::string reason;  // the system's reason when !ok
};

// Replaces `file` with one line: value + CR LF. On failure the old file is left as it was.
WriteResult WriteOneLine(std::string_view file, std::string_view value);

// The message box text for a failed write: "The file <path> could not be written." and the
// system's reason on a second line, as every window reports a file it could not write.
std::string WriteFailureMessage(const WriteResult& result);

WriteResult WriteSerialPort(std::string_view programFolder, std::int32_t port);
WriteResult WriteAnyPort(std::string_view programFolder);
WriteResult WriteLastBinPath(std::string_view programFolder, std::string_view path);

// The leading number of the text (blanks skipped, optional sign, digits, optional fraction),
// nullopt when the text does not begin with a number.
std::optional<double> LeadingNumber(std::string_view text);

// The COM port number the download uses for a port text: the leading number rounded to the
// nearest whole number, halves to the even neighbour (2.5 gives 2, 3.5 gives 4); 0 when the
// text does not begin with a number or the number does not fit.
std::int32_t PortNumberFromText(std::string_view text);

// A port text typed by the user, accepted when the download would use it: its port number
// (PortNumberFromText) when that is 1 or more ("03", " 3 ", "+3", "3.0" and "2.5" give 3, 3,
// 3, 3 and 2), nullopt otherwise ("", "COM3", "0", "-1").
std::optional<std::int32_t> PortEntry(std::string_view text);

}  // namespace vsdl::settings
