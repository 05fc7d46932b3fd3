#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disc/disc_engine.h"

// The texts the disc writer window composes from numbers: write speeds, image sizes, status
// lines and messages. Pure functions, so that their rules are tested without a window.
namespace quillet::disc_texts {

// A write speed's factor formatted "#.0" followed by "x": 8 reads "8.0x", 2.4 "2.4x", 0.5 ".5x"
// (no leading zero). Tenths are rounded half away from zero.
std::string SpeedFactorText(double factor);
// The single speed entry of a drive that reports no write speeds; its speed value is 0.
inline constexpr char kMaximumSpeedText[] = "MAX";

// Bytes as megabytes (÷ 1048576), no digit grouping, two decimals: "1.50". Without the unit.
std::string MegabytesNumber(double bytes);
// Bytes as megabytes with the unit: "1.50 MB".
std::string FormatMegabytes(double bytes);

// The text after the last "\" of an image or source path; the whole path when it has none.
std::string FileNameOfPath(const std::string& path);

// The status bar's image totals.
std::string ImageSizeText(double bytes);
std::string FileCountText(std::int64_t files);
std::string FolderCountText(std::int64_t folders);

// The first status panel's text for a write status, or nullopt when the state leaves it
// unchanged (1, 2, 3, 7 and unknown states).
std::optional<std::string> WriteStatusText(int state);
// Whether a write status sets the progress bar to its percent (1, 2 and 3).
bool WriteStatusCarriesProgress(int state);

// "Track: 03 - Reading...N - text".
std::string TrackReadingText(std::int64_t track, std::int64_t number, const std::string& text);

// The free-space refusal, with both sizes in megabytes.
std::string FreeSpaceText(double freeBytes, double neededBytes);

// A message's text for an engine error, composed by its kind.
std::string EngineErrorText(const disc::EngineError& error);

// "File Warning(code):path" CR LF text.
std::string FileWarningText(const disc::FileError& error);

// The line of a verify result that is shown as a message (0, 1, 2, 5), else nullopt.
std::optional<std::string> VerifyResultLine(int result);
// The progress bar's value for a verified file: position ÷ total × 100 to the nearest integer,
// an exact half to the even neighbour; nullopt when the total is 0 (the bar is left alone).
std::optional<int> VerifyProgress(std::int64_t position, std::int64_t total);

}  // namespace quillet::disc_texts
