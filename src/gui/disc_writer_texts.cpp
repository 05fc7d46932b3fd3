#include "gui/disc_writer_texts.h"

#include <cfenv>
#include <cmath>
#include <cstdio>

namespace quillet::disc_texts {
namespace {

constexpr double kBytesPerMegabyte = 1048576.0;

}  // namespace

std::string SpeedFactorText(double factor) {
    const long long tenths = std::llround(factor * 10.0);
    const long long whole = tenths / 10;
    const long long tenth = std::llabs(tenths % 10);
    std::string text = tenths < 0 ? "-" : "";
    if (whole != 0) text += std::to_string(std::llabs(whole));
    return text + "." + std::to_string(tenth) + "x";
}

std::string MegabytesNumber(double bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f",
                  static_cast<double>(std::llround(bytes / kBytesPerMegabyte * 100.0)) / 100.0);
    return text;
}

std::string FormatMegabytes(double bytes) { return MegabytesNumber(bytes) + " MB"; }

std::string FileNameOfPath(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ImageSizeText(double bytes) { return "Data Image Size: " + FormatMegabytes(bytes); }
std::string FileCountText(std::int64_t files) { return "Files: " + std::to_string(files); }
std::string FolderCountText(std::int64_t folders) { return "Folders: " + std::to_string(folders); }

std::optional<std::string> WriteStatusText(int state) {
    switch (state) {
        case 0:
            return "Preparing Image....";
        case 4:
            return "Closing Track....";
        case 5:
            return "Writing Lead-in....";
        case 6:
            return "Writing Lead-out....";
        case 8:
            return "Updating Volume....";
        case disc::kWriteCompleted:
            return "Write Completed!";
        case disc::kWriteCancelled:
            return "Write Cancelled....";
        case disc::kWriteFailed:
            return "Write Error!";
        default:
            return std::nullopt;
    }
}

bool WriteStatusCarriesProgress(int state) {
    return state >= disc::kWriteWritingData && state <= disc::kWriteVerifyingData;
}

std::string TrackReadingText(std::int64_t track, std::int64_t number, const std::string& text) {
    char trackText[32];
    std::snprintf(trackText, sizeof trackText, "%02lld", static_cast<long long>(track));
    return std::string("Track: ") + trackText + " - Reading..." + std::to_string(number) + " - " +
           text;
}

std::string FreeSpaceText(double freeBytes, double neededBytes) {
    return "Free Space on the loaded disc is " + MegabytesNumber(freeBytes) + " MB!\r\n" +
           "This data image requires " + MegabytesNumber(neededBytes) + " MB of Free Space!";
}

std::string EngineErrorText(const disc::EngineError& error) {
    const auto code = [](int value) { return "(" + std::to_string(value) + ")   "; };
    const auto file = [&](const char* what) {
        const disc::FileError& details = error.fileDetails;
        return what + code(details.errorCode) + details.errorText + "\r\n'" + details.filePath +
               "'";
    };
    switch (error.errorKind) {
        case disc::kErrorKindDevice: {
            const disc::DeviceError& details = error.deviceDetails;
            return "Device Error: " + code(details.errorCode) + details.textA + "\r\n" +
                   details.textB + " - " + details.textC;
        }
        case disc::kErrorKindOutputFile:
            return file("Output File Error: ");
        case disc::kErrorKindSourceFile:
            return file("Source File Error: ");
        case disc::kErrorKindSystem:
            return "System Error: " + code(error.systemCode) + error.errorText;
        default:
            return "Write Error: " + code(error.errorKind) + error.errorText;
    }
}

std::string FileWarningText(const disc::FileError& error) {
    return "File Warning(" + std::to_string(error.errorCode) + "):" + error.filePath + "\r\n" +
           error.errorText;
}

std::optional<std::string> VerifyResultLine(int result) {
    switch (result) {
        case 0:
            return "Verify Error - Could not read Source file from disc: ";
        case 1:
            return "Verify Error - Could not read Destination file from disc: ";
        case 2:
            return "Verify Error - Source and Destination file did not match: ";
        case 5:
            return "Verify Error - Size of Source and Destination file did not match: ";
        default:
            return std::nullopt;
    }
}

std::optional<int> VerifyProgress(std::int64_t position, std::int64_t total) {
    if (total == 0) return std::nullopt;
    const double percent = static_cast<double>(position) / static_cast<double>(total) * 100.0;
    // The default rounding mode takes an exact half to the even neighbour.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(percent);
    std::fesetround(previous);
    return static_cast<int>(rounded);
}

}  // namespace quillet::disc_texts
