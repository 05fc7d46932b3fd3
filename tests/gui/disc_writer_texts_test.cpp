// The texts the disc writer composes from the engine's numbers and errors.
#include "gui/disc_writer_texts.h"

#include <gtest/gtest.h>

namespace quillet::disc_texts {
namespace {

TEST(DiscWriterTexts, EngineErrorTextByKind) {
    disc::EngineError error;
    error.errorText = "own text";
    error.deviceDetails = {7, "A", "B", "C"};
    error.fileDetails = {2, "file text", "/x/y"};
    error.systemCode = 13;
    const std::pair<int, std::string> cases[] = {
        {disc::kErrorKindDevice, "Device Error: (7)   A\r\nB - C"},
        {disc::kErrorKindOutputFile, "Output File Error: (2)   file text\r\n'/x/y'"},
        {disc::kErrorKindSourceFile, "Source File Error: (2)   file text\r\n'/x/y'"},
        {disc::kErrorKindWrite, "Write Error: (4)   own text"},
        {disc::kErrorKindSystem, "System Error: (13)   own text"},
        {42, "Write Error: (42)   own text"},
    };
    for (const auto& [kind, text] : cases) {
        error.errorKind = kind;
        EXPECT_EQ(EngineErrorText(error), text) << kind;
    }
}

TEST(DiscWriterTexts, NumbersAsShown) {
    EXPECT_EQ(FormatMegabytes(1.5 * 1048576), "1.50 MB");
    EXPECT_EQ(ImageSizeText(0), "Data Image Size: 0.00 MB");
    EXPECT_EQ(FormatMegabytes(12345.0 * 1048576), "12345.00 MB") << "no digit grouping";
    EXPECT_EQ(TrackReadingText(3, 1200, "Data"), "Track: 03 - Reading...1200 - Data");
    EXPECT_EQ(TrackReadingText(12, 5, "x"), "Track: 12 - Reading...5 - x");
    EXPECT_EQ(FileWarningText({5, "changed", "/a/b"}), "File Warning(5):/a/b\r\nchanged");
    EXPECT_EQ(FileNameOfPath("\\folder\\name"), "name");
    EXPECT_EQ(FileNameOfPath("plain"), "plain");
}

}  // namespace
}  // namespace quillet::disc_texts
