// quillet-cli disc devices and disc write over the simulated disc engine.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_context.h"
#include "disc/media_profiles.h"
#include "disc/write_settings.h"
#include "support/backup/recording_progress.h"
#include "support/cli/cli_runner.h"
#include "support/disc/simulated_disc_engine.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;
using disc::DeviceSetup;

DeviceSetup Burner() {
    return DeviceSetup{.name = "Burner",
                       .capabilities = {disc::kCapabilityBufferProtection},
                       .media = {disc::kMediaDvdPlusR, true, false},
                       .freeBlocks = 2295104};
}

class DiscCommandTest : public ::testing::Test {
  protected:
    DiscCommandTest() {
        context.useDiscEngine(engine);
        context.useProgress(progress);
        WriteFileBytes(first, "first backup");
        WriteFileBytes(temp / "folder" / "inner.txt", "inside");
    }

    CliRun run(std::vector<std::string> arguments) { return RunCliInProcess(context, arguments); }
    CliRun writeImage(std::vector<std::string> more = {}) {
        std::vector<std::string> arguments{"disc", "write", "--device", "image:" + image.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(first.string());
        return run(arguments);
    }

    TempDir temp;
    const fs::path first = temp / "first.qbk";
    const fs::path image = temp / "out.iso";
    disc::SimulatedDiscEngine engine;
    RecordingProgress progress;
    cli::CliContext context{Environment::Process()};
};

std::string FreeMegabytes(std::int64_t blocks) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(blocks) * 2048 / 1048576);
    return text;
}

TEST_F(DiscCommandTest, DevicesListsTheCompatibleDrivesWithTheirMediaAndFreeSpace) {
    engine.addDevice(Burner());
    engine.addDevice(DeviceSetup{.name = "Old", .compatible = false});
    const DeviceSetup imageDevice = disc::SimulatedDiscEngine::ImageFileDeviceSetup();
    engine.addDevice(imageDevice);

    const CliRun listed = run({"disc", "devices"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    const DeviceSetup burner = Burner();
    EXPECT_EQ(listed.out, burner.name + "\t" + disc::MediaTypeName(burner.media.mediaType) + "\t" +
                              FreeMegabytes(burner.freeBlocks) + "\nimage:PATH\t" +
                              disc::MediaTypeName(imageDevice.media.mediaType) + "\t" +
                              FreeMegabytes(imageDevice.freeBlocks) + "\n");
    EXPECT_EQ(listed.err, "");
}

TEST_F(DiscCommandTest, WriteComposesTheImageSetsTheProjectAndFollowsTheWriteToItsEnd) {
    engine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());
    const CliRun written =
        run({"disc", "write", "--device", "image:" + image.string(), "--verify", "--volume-id",
             "Weekly", "--volume-type", "3", first.string(), (temp / "folder").string()});
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_EQ(written.err, "");
    EXPECT_EQ(written.out, image.string() + ": 2 files written and verified\n");

    ASSERT_EQ(engine.writes().size(), 1u);
    const disc::WriteRecord& write = engine.writes()[0];
    EXPECT_EQ(write.device->ImageFilePath(), image.string());
    EXPECT_EQ(write.settings.volumeIdentifier, "Weekly");
    EXPECT_EQ(write.settings.fileSystemType, disc::kFileSystemIsoJoliet);
    EXPECT_TRUE(write.settings.autoVerify);
    std::vector<std::string> paths;
    for (const disc::ImageItem& item : write.items) paths.push_back(item.imagePath);
    EXPECT_EQ(paths, (std::vector<std::string>{"\\first.qbk", "\\folder", "\\folder\\inner.txt"}));
    ASSERT_FALSE(progress.values.empty());
    EXPECT_EQ(progress.values.back(), 100);
}

TEST_F(DiscCommandTest, WriteTakesTheDiscWriterDefaults) {
    engine.addDevice(Burner());
    const CliRun written = run({"disc", "write", "--device", "Burner", first.string()});
    EXPECT_EQ(written.exitCode, 0) << written.err;
    ASSERT_EQ(engine.writes().size(), 1u);
    const disc::ProjectSettings& settings = engine.writes()[0].settings;
    EXPECT_EQ(settings.fileSystemType, disc::kFileSystemIsoJolietUdf);
    EXPECT_EQ(settings.volumeIdentifier, disc::kBackupDiscName);
    EXPECT_EQ(settings.writeMethod, disc::kWriteMethodTrackAtOnce);
    EXPECT_EQ(settings.writeSpeed, disc::kWriteSpeedMaximum);
    EXPECT_TRUE(settings.bufferProtection) << "the drive has buffer protection";
    EXPECT_FALSE(settings.autoVerify);
    EXPECT_EQ(written.out, "Burner: 1 files written\n");
}

TEST_F(DiscCommandTest, AFileThatDoesNotVerifyCompletesTheWriteWithStatusOne) {
    engine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());
    engine.setVerifyResult("\\first.qbk", disc::kVerifyContentMismatch);
    const CliRun written = writeImage({"--verify"});
    EXPECT_EQ(written.exitCode, 1);
    EXPECT_NE(written.err.find(first.string()), std::string::npos) << written.err;
    EXPECT_EQ(written.out, "");
}

TEST_F(DiscCommandTest, TheVolumeIdIsCountedInCharactersNotBytes) {
    engine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());
    std::string accented;
    for (int i = 0; i < disc::kVolumeIdLength; ++i) accented += "\u00e9";
    EXPECT_EQ(writeImage({"--volume-id", accented}).exitCode, 0);
    EXPECT_EQ(writeImage({"--volume-id", accented + "e"}).exitCode, 2);
}

// Refusals and failures: nothing written (or the write failed), exit status 2, one reason naming
// what went wrong.
struct FailureCase {
    const char* name;
    std::function<void(disc::SimulatedDiscEngine&)> arrange;
    std::vector<std::string> arguments;  // after "disc write"; FILE appended
    const char* reasonPart;
};
void PrintTo(const FailureCase& test, std::ostream* out) { *out << test.name; }

class DiscWriteFailures : public DiscCommandTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DiscWriteFailures, EndWithStatusTwoAndOneReason) {
    const FailureCase& test = GetParam();
    engine.addDevice(Burner());
    test.arrange(engine);
    std::vector<std::string> arguments{"disc", "write"};
    arguments.insert(arguments.end(), test.arguments.begin(), test.arguments.end());
    arguments.push_back(first.string());
    const CliRun written = run(arguments);
    EXPECT_EQ(written.exitCode, 2);
    EXPECT_EQ(written.out, "");
    EXPECT_NE(written.err.find(test.reasonPart), std::string::npos) << written.err;
    EXPECT_EQ(std::count(written.err.begin(), written.err.end(), '\n'), 1) << written.err;
}

const auto kNothing = [](disc::SimulatedDiscEngine&) {};

INSTANTIATE_TEST_SUITE_P(
    DiscWrite, DiscWriteFailures,
    ::testing::Values(
        FailureCase{"UnknownDevice", kNothing, {"--device", "Nowhere"}, "\"Nowhere\""},
        FailureCase{"ImageInAMissingFolder",
                    [](disc::SimulatedDiscEngine& engine) {
                        engine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());
                    },
                    {"--device", "image:/nonexistent-folder/out.iso"},
                    "nonexistent-folder"},
        FailureCase{"VolumeType", kNothing, {"--device", "Burner", "--volume-type", "2"}, "2"},
        FailureCase{"LongVolumeId",
                    kNothing,
                    {"--device", "Burner", "--volume-id", std::string(33, 'v')},
                    "32"},
        FailureCase{"NoDevices",
                    [](disc::SimulatedDiscEngine& engine) { engine.failInitialize(); },
                    {"--device", "Burner"},
                    "initialised"},
        FailureCase{"NoWritableDisc",
                    [](disc::SimulatedDiscEngine& engine) {
                        static_cast<disc::SimulatedDevice*>(engine.DeviceAt(0))->setup().media = {
                            disc::kMediaDvdRom, false, false};
                    },
                    {"--device", "Burner"},
                    "no writable disc"},
        FailureCase{"ImageLargerThanTheDisc",
                    [](disc::SimulatedDiscEngine& engine) {
                        engine.project().setImageSize(Burner().freeBlocks * 2048.0 + 1);
                    },
                    {"--device", "Burner"},
                    "MB free"},
        FailureCase{"WriteNotStarted",
                    [](disc::SimulatedDiscEngine& engine) { engine.refuseWrite(); },
                    {"--device", "Burner"},
                    "could not be started"},
        FailureCase{"EngineError",
                    [](disc::SimulatedDiscEngine& engine) {
                        disc::EngineError error;
                        error.errorText = "laser tired";
                        engine.failWriteWith(error);
                    },
                    {"--device", "Burner"},
                    "laser tired"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::testing
