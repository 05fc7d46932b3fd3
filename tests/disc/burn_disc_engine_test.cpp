#include "disc/burn_disc_engine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libburn/libburn.h>
#include <signal.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "disc/image_verifier.h"
#include "disc/iso_image_builder.h"
#include "disc/media_profiles.h"
#include "disc/optical_device.h"
#include "disc/tree_names.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"
#include "support/recording_disc_listener.h"

namespace quillet::disc {
namespace {

using testing::ReadFileBytes;
using testing::RecordingDiscListener;
using testing::TempDir;
using testing::WriteFileBytes;

// Records the thread of every write event as well.
class ThreadCheckingListener : public RecordingDiscListener {
  public:
    std::vector<std::thread::id> threads;
    void WriteStatus(int state, int percent) override {
        threads.push_back(std::this_thread::get_id());
        RecordingDiscListener::WriteStatus(state, percent);
    }
    void FileVerified(const ImageItem& item, int result, int position, int total) override {
        threads.push_back(std::this_thread::get_id());
        RecordingDiscListener::FileVerified(item, result, position, total);
    }
    bool ended() const {
        const auto states = writeStates();
        return !states.empty() && IsWriteEndState(states.back());
    }
};

class BurnDiscEngineTest : public ::testing::Test {
  protected:
    static constexpr std::time_t kFileDate = 981201600;  // 2001-02-03 12:00 UTC

    void SetUp() override {
        ASSERT_TRUE(engine.InitializeDevices(false));
        engine.addListener(&listener);
        imageDevice = engine.DeviceAt(engine.DeviceCount() - 1);
        target = (dir / "out" / "backup.iso").string();
        std::filesystem::create_directories(dir / "out");
        imageDevice->SetImageFilePath(target);
    }

    // A small tree: a backup file, an empty file, a file in a subfolder and an empty folder.
    void composeTree() {
        WriteFileBytes(dir / "src" / "backup.qbk", std::string(300000, 'q') + "end");
        WriteFileBytes(dir / "src" / "empty.txt", "");
        WriteFileBytes(dir / "src" / "Mail" / "Inbox.dbx", "inbox bytes");
        WriteFileBytes(dir / "src" / "Mail" / "a=b.txt", "a name genisoimage must escape");
        std::filesystem::create_directories(dir / "src" / "Nothing");
        // Joliet's plain limits (64 characters a name, 240 bytes a path) would leave it out.
        WriteFileBytes(dir / "src" / std::string(60, 'f') / std::string(90, 'n'), "long");
        // Too long for Joliet (and so for the default type's UDF tree): shortened, its extension
        // kept, in those trees alone.
        WriteFileBytes(dir / "src" / (std::string(120, 'l') + ".qbk"), "a long-named backup");
        // Deeper than ISO 9660's eight levels and genisoimage's six grafted folders.
        WriteFileBytes(dir / "src" / "1" / "2" / "3" / "4" / "5" / "6" / "7" / "deep.txt", "d");
        // Dated long before the write, so that every tree of the image shows which date it took.
        const timespec dates[2] = {{kFileDate, 0}, {kFileDate, 0}};
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "src")) {
            ::utimensat(AT_FDCWD, entry.path().c_str(), dates, 0);
        }
        ::utimensat(AT_FDCWD, (dir / "src").c_str(), dates, 0);
        ImageFileSystem& image = engine.Project().FileSystem();
        ASSERT_TRUE(image.AddFolder((dir / "src").string() + "\\*.*", "\\Data"));
        ASSERT_TRUE(image.AddFile((dir / "src" / "backup.qbk").string(), "\\backup.qbk"));
    }

    // Delivers events until the write ends, as `watched` (else the fixture's listener) hears.
    void finishWrite(const ThreadCheckingListener* watched = nullptr) {
        if (watched == nullptr) watched = &listener;
        for (int rounds = 0; !watched->ended() && rounds < 1200; ++rounds) {
            engine.pumpEvents(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(watched->ended()) << "the write did not end";
    }

    // The first error the engine raised; fails the test when it raised none.
    EngineError firstError() const {
        for (const auto& event : listener.events) {
            if (const auto* raised = std::get_if<ErrorRaisedEvent>(&event)) return raised->error;
        }
        ADD_FAILURE() << "no error was raised";
        return {};
    }

    // Writes the image, which must fail with an error of `kind` naming `path`.
    void expectFailedWriteNaming(int kind, const std::string& path) {
        ASSERT_TRUE(engine.Project().WriteImage(*imageDevice));
        finishWrite();
        EXPECT_EQ(listener.writeStates().back(), kWriteFailed);
        const EngineError error = firstError();
        EXPECT_EQ(error.errorKind, kind);
        EXPECT_EQ(error.fileDetails.filePath, path);
    }

    // The files beside the target other than the target.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
            if (entry.path() != target) names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempDir dir;
    BurnDiscEngine engine;
    ThreadCheckingListener listener;
    DiscDevice* imageDevice = nullptr;
    std::string target;
};

TEST_F(BurnDiscEngineTest, TheImageFileDeviceIsListedLastAndCannotBeErased) {
    EXPECT_EQ(imageDevice->DeviceName(), kImageFileDeviceName);
    EXPECT_TRUE(imageDevice->IsCompatible());
    EXPECT_TRUE(imageDevice->IsImageFile());
    EXPECT_EQ(imageDevice->LoadedMedia(), (MediaInfo{kMediaImageFile, true, false}));
    EXPECT_GT(imageDevice->FreeBlocks(true), 0);
    EXPECT_EQ(imageDevice->WriteSpeedCount(), 0);
    for (const MediaProfile& row : MediaProfiles()) {
        if (row.writeCapability != 0) {
            EXPECT_FALSE(imageDevice->HasCapability(row.writeCapability));
        }
    }
    EXPECT_FALSE(imageDevice->HasCapability(kCapabilityBufferProtection));
    EXPECT_FALSE(imageDevice->EraseDisc(true, imageDevice->EraseValue()));
}

TEST_F(BurnDiscEngineTest, AnEmptyImageIsAnImageOfEveryType) {
    for (int type : {kFileSystemIso9660, kFileSystemIsoJolietUdf}) {
        listener.events.clear();
        engine.Project().SetFileSystemType(type);
        const double size = engine.Project().ImageSize();
        EXPECT_GT(size, 0) << type;
        ASSERT_TRUE(engine.Project().WriteImage(*imageDevice));
        finishWrite();
        EXPECT_EQ(listener.writeStates().back(), kWriteCompleted) << type;
        EXPECT_EQ(static_cast<double>(std::filesystem::file_size(target)), size) << type;
    }
}

// The file system type, and whether "Use File Dates" is on.
class ImageWriteTest : public BurnDiscEngineTest,
                       public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(ImageWriteTest, WritesTheImageAndVerifiesEveryFileOnTheOwnersThread) {
    composeTree();
    const auto [type, useFileDates] = GetParam();
    DataProject& project = engine.Project();
    project.SetFileSystemType(type);
    project.SetUseFileDates(useFileDates);
    project.SetVolumeIdentifier("Quillet Test");
    project.SetAutoVerify(true);
    const double expectedSize = project.ImageSize();

    ASSERT_TRUE(project.WriteImage(*imageDevice));
    EXPECT_TRUE(engine.isBusy());
    finishWrite();
    EXPECT_FALSE(engine.isBusy());
    EXPECT_EQ(listener.writeStates().front(), kWritePreparingImage);
    EXPECT_EQ(listener.writeStates().back(), kWriteCompleted);

    const int files = engine.Project().FileSystem().FileCount();
    std::vector<std::string> verified;
    std::vector<ImageItem> verifiedItems;
    for (const auto& event : listener.events) {
        if (const auto* file = std::get_if<FileVerifiedEvent>(&event)) {
            EXPECT_TRUE(file->result == kVerifyMatched || file->result == kVerifyEmptyFile)
                << file->item.imagePath << " " << file->result;
            verified.push_back(file->item.imagePath);
            verifiedItems.push_back(file->item);
        }
    }
    EXPECT_EQ(verified.size(), static_cast<size_t>(files));
    EXPECT_NE(std::find(listener.events.begin(), listener.events.end(),
                        ScriptedEvent(VerifyFinishedEvent{files, files})),
              listener.events.end());
    for (std::thread::id thread : listener.threads) EXPECT_EQ(thread, std::this_thread::get_id());

    EXPECT_EQ(static_cast<double>(std::filesystem::file_size(target)), expectedSize);
    EXPECT_TRUE(leftovers().empty());
    // Each file's and folder's ISO 9660 and Joliet record carries its own date with "Use File
    // Dates", the write's without; genisoimage gives files their own date all the same.
    const bool filesDated = useFileDates || FileSystemHasUdf(type);
    for (const char* tree : {"", "-J"}) {
        if (!testing::ToolOnPath("isoinfo")) break;
        if (*tree != '\0' && !FileSystemHasJoliet(type)) continue;
        std::string listing;
        ASSERT_EQ(testing::RunCommand(std::string("TZ=UTC isoinfo -l ") + tree + " -i " +
                                          testing::ShellQuote(target),
                                      &listing),
                  0);
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);) {
            const std::string name = line.substr(line.find(']') + 1);
            const bool file = line.rfind("----------", 0) == 0;
            if ((file || line.rfind("d---------", 0) == 0) && name != "  . " && name != "  .. ") {
                EXPECT_EQ(line.find("Feb  3 2001") != std::string::npos,
                          file ? filesDated : useFileDates)
                    << tree << " " << line;
            }
        }
    }
    if (FileSystemHasJoliet(type) && testing::ToolOnPath("isoinfo")) {
        std::string joliet;
        ASSERT_EQ(testing::RunCommand("isoinfo -f -J -i " + testing::ShellQuote(target), &joliet),
                  0);
        for (const ImageItem& item : verifiedItems) {
            const std::string path = TreePath(item, kJolietNames);
            EXPECT_NE(joliet.find(path + "\n"), std::string::npos) << path << " in\n" << joliet;
        }
    }
    if (FileSystemHasUdf(type)) {
        if (!testing::ToolOnPath("udfinfo")) GTEST_SKIP() << "udfinfo is not installed";
        std::string output;
        EXPECT_EQ(testing::RunCommand("udfinfo " + testing::ShellQuote(target), &output), 0)
            << output;
        EXPECT_NE(output.find("label=Quillet Test"), std::string::npos) << output;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileSystemTypes, ImageWriteTest,
    ::testing::Combine(::testing::Values(kFileSystemIso9660, kFileSystemIsoJoliet,
                                         kFileSystemIsoUdf, kFileSystemIsoJolietUdf),
                       ::testing::Bool()));

// libburn's stdio pseudo-drive stands in for an optical drive: the drive's road (grab by address,
// write type, reading the disc back through libburn) is the same.
TEST_F(BurnDiscEngineTest, ADriveIsWrittenAndReadBackThroughLibburn) {
    composeTree();
    const std::string disc = (dir / "disc.img").string();
    burn::burn_drive_info* found = nullptr;
    ASSERT_EQ(
        burn::burn_drive_scan_and_grab(&found, const_cast<char*>(("stdio:" + disc).c_str()), 0), 1);
    OpticalDevice drive(engine, found[0]);
    burn::burn_drive_release(found[0].drive, 0);
    burn::burn_drive_info_free(found);
    drive.RefreshMedia(true);
    EXPECT_EQ(drive.LoadedMedia(), (MediaInfo{kMediaImageFile, true, false}));
    EXPECT_GT(drive.FreeBlocks(false), 0);
    EXPECT_FALSE(drive.EraseDisc(true, drive.EraseValue()));

    // Every tree is read back through the drive: Rock Ridge, Joliet and UDF.
    engine.Project().SetFileSystemType(kFileSystemIsoJolietUdf);
    engine.Project().SetAutoVerify(true);
    engine.Project().SetFinalizeDisc(true);
    ASSERT_TRUE(engine.Project().WriteImage(drive));
    finishWrite();
    EXPECT_EQ(listener.writeStates().back(), kWriteCompleted);
    const int files = engine.Project().FileSystem().FileCount();
    EXPECT_NE(std::find(listener.events.begin(), listener.events.end(),
                        ScriptedEvent(VerifyFinishedEvent{files, files})),
              listener.events.end());
}

TEST_F(BurnDiscEngineTest, ACancelledWriteLeavesThePreviousFileAsItWas) {
    composeTree();
    WriteFileBytes(target, "the previous image");
    engine.Project().SetFileSystemType(kFileSystemIsoJoliet);
    ASSERT_TRUE(engine.Project().WriteImage(*imageDevice));
    engine.Project().AbortWrite();
    finishWrite();
    EXPECT_EQ(listener.writeStates().back(), kWriteCancelled);
    EXPECT_EQ(ReadFileBytes(target), "the previous image");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(BurnDiscEngineTest, AMissingSourceFailsTheWriteNamingTheFile) {
    composeTree();
    const std::string gone = (dir / "src" / "Mail" / "Inbox.dbx").string();
    std::filesystem::remove(gone);
    expectFailedWriteNaming(kErrorKindSourceFile, gone);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(BurnDiscEngineTest, ATargetThatIsNoRegularFileIsRefusedAndKept) {
    composeTree();
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    expectFailedWriteNaming(kErrorKindOutputFile, target);
    EXPECT_TRUE(std::filesystem::is_fifo(target)) << "the FIFO was replaced";
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(BurnDiscEngineTest, AFileOf4GiBOrMoreIsRefusedForUdfNamingTheFile) {
    const auto large = dir / "large.qbk";
    { std::ofstream created(large); }
    std::filesystem::resize_file(large, 4LL << 30);  // sparse, so cheap
    ASSERT_TRUE(engine.Project().FileSystem().AddFile(large.string(), "\\large.qbk"));
    WriteFileBytes(target, "the previous image");
    engine.Project().SetFileSystemType(kFileSystemIsoJolietUdf);
    expectFailedWriteNaming(kErrorKindSourceFile, large.string());
    EXPECT_EQ(ReadFileBytes(target), "the previous image");
}

TEST_F(BurnDiscEngineTest, VerificationTellsEachWayAFileCanDifferFromItsSource) {
    struct Case {
        std::string name;
        std::function<void(const std::filesystem::path&)> change;
        int result;
    };
    const std::vector<Case> cases = {
        {"same", [](const auto&) {}, kVerifyMatched},
        {"empty", [](const auto&) {}, kVerifyEmptyFile},
        {"changed", [](const auto& p) { WriteFileBytes(p, "CONTENT"); }, kVerifyContentMismatch},
        {"grown", [](const auto& p) { WriteFileBytes(p, "content and more"); },
         kVerifySizeMismatch},
        {"removed", [](const auto& p) { std::filesystem::remove(p); }, kVerifySourceUnreadable},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir / c.name, c.name == "empty" ? "" : "content");
        ASSERT_TRUE(engine.Project().FileSystem().AddFile((dir / c.name).string(), "\\" + c.name));
    }
    engine.Project().SetFileSystemType(kFileSystemIso9660);
    ASSERT_TRUE(engine.Project().WriteImage(*imageDevice));
    finishWrite();
    ASSERT_EQ(listener.writeStates().back(), kWriteCompleted);

    EngineError error;
    auto verifier = ImageVerifier::OpenFile(target, kFileSystemIso9660, error);
    ASSERT_TRUE(verifier) << error.errorText;
    const std::atomic<bool> stop = false;
    for (const Case& c : cases) {
        c.change(dir / c.name);
        ImageItem item;
        item.imagePath = "\\" + c.name;
        item.sourcePath = (dir / c.name).string();
        EXPECT_EQ(verifier->compare(item, stop), c.result) << c.name;
    }
    ImageItem missing;
    missing.imagePath = "\\not-written";
    missing.sourcePath = (dir / "same").string();
    EXPECT_EQ(verifier->compare(missing, stop), kVerifyDestinationUnreadable);
}

TEST_F(BurnDiscEngineTest, VerificationLooksForEachFileInEveryTreeOfItsType) {
    if (!testing::ToolOnPath("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
    const std::string longName = std::string(120, 'l') + ".qbk";  // cut by genisoimage itself
    for (const char* name : {"short.txt", longName.c_str()}) WriteFileBytes(dir / "in" / name, "c");
    const std::atomic<bool> stop = false;
    for (const auto& [options, type, name, matched] :
         std::vector<std::tuple<std::string, int, std::string, bool>>{
             {"-J -joliet-long -udf", kFileSystemIsoJolietUdf, "short.txt", true},
             {"-J -joliet-long -udf", kFileSystemIsoJolietUdf, longName, false},
             {"-udf", kFileSystemIsoUdf, longName, true},
             {"", kFileSystemIsoUdf, "short.txt", false},
             {"", kFileSystemIsoJoliet, "short.txt", false}}) {
        ASSERT_EQ(testing::RunCommand("genisoimage -quiet -R -input-charset UTF-8 " + options +
                                      " -o " + target + " " + (dir / "in").string()),
                  0);
        EngineError error;
        auto verifier = ImageVerifier::OpenFile(target, type, error);
        ImageItem item;
        item.imagePath = "\\" + name;
        item.sourcePath = (dir / "in" / name).string();
        EXPECT_EQ(verifier && verifier->compare(item, stop) == kVerifyMatched, matched)
            << options << " " << type << " " << name << " " << error.errorText;
    }
}

TEST_F(BurnDiscEngineTest, AnImageThatDoesNotVerifyNeverReplacesThePreviousFile) {
    // Truncated once the image is laid out: what is read back is not what the source now holds.
    struct Truncating : ThreadCheckingListener {
        std::filesystem::path source;
        void WriteStatus(int state, int percent) override {
            if (state == kWriteLeadIn) std::filesystem::resize_file(source, 0);
            ThreadCheckingListener::WriteStatus(state, percent);
        }
    } truncating;
    truncating.source = dir / "backup.qbk";
    WriteFileBytes(truncating.source, std::string(4u << 20, 'b'));
    ASSERT_TRUE(engine.Project().FileSystem().AddFile(truncating.source.string(), "\\b.qbk"));
    WriteFileBytes(target, "the previous image");
    engine.removeListener(&listener);
    engine.addListener(&truncating);
    engine.Project().SetFileSystemType(kFileSystemIsoJoliet);
    engine.Project().SetAutoVerify(true);
    ASSERT_TRUE(engine.Project().WriteImage(*imageDevice));
    ASSERT_NO_FATAL_FAILURE(finishWrite(&truncating));
    EXPECT_NE(std::find(truncating.events.begin(), truncating.events.end(),
                        ScriptedEvent(VerifyFinishedEvent{1, 0})),
              truncating.events.end());
    EXPECT_EQ(truncating.writeStates().back(), kWriteFailed);
    EXPECT_TRUE(ReadFileBytes(target) == "the previous image") << "the previous file was replaced";
    EXPECT_TRUE(leftovers().empty());
}

class ChangedSourceTest : public BurnDiscEngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ChangedSourceTest, AFileChangedSinceItWasAddedIsWarnedAboutAndTheAnswerIsFollowed) {
    const auto source = dir / "grows.txt";
    WriteFileBytes(source, "short");
    ASSERT_TRUE(engine.Project().FileSystem().AddFile(source.string(), "\\grows.txt"));
    WriteFileBytes(source, "longer than before");
    listener.continueAfterWarning = GetParam();
    engine.Project().SetFileSystemType(kFileSystemIso9660);
    ASSERT_TRUE(engine.Project().WriteImage(*imageDevice));
    finishWrite();
    const auto warning = std::find_if(listener.events.begin(), listener.events.end(), [](auto& e) {
        return std::holds_alternative<FileWarningEvent>(e);
    });
    ASSERT_NE(warning, listener.events.end());
    EXPECT_EQ(std::get<FileWarningEvent>(*warning).error.filePath, source.string());
    EXPECT_EQ(listener.writeStates().back(), GetParam() ? kWriteCompleted : kWriteCancelled);
    EXPECT_EQ(std::filesystem::exists(target), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Answers, ChangedSourceTest, ::testing::Bool());

// A write ended by a signal: the chosen file keeps its previous content; SIGTERM also takes the
// temporary away, SIGKILL leaves it for the next write to remove.
class KilledWriteTest : public BurnDiscEngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(KilledWriteTest, AKilledWriteLeavesThePreviousFileAsItWas) {
    // Large enough that the write is still running when the signal comes: sparse, so cheap.
    {
        std::filesystem::create_directories(dir / "big");
        std::ofstream big(dir / "big" / "large.bin");
    }
    std::filesystem::resize_file(dir / "big" / "large.bin", 2LL << 30);
    ASSERT_TRUE(
        engine.Project().FileSystem().AddFile((dir / "big" / "large.bin").string(), "\\large.bin"));
    WriteFileBytes(target, "the previous image");
    engine.Project().SetFileSystemType(kFileSystemIso9660);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        ::alarm(60);  // never outlives a parent that stopped waiting
        struct Signaller : DiscEventListener {
            int fd;
            bool told = false;
            void WriteStatus(int state, int percent) override {
                if (state == kWriteWritingData && percent > 0 && !told) {
                    told = (::write(fd, "w", 1) == 1);
                }
            }
        } signaller;
        signaller.fd = ready[1];
        BurnDiscEngine inChild;
        inChild.InitializeDevices(false);
        inChild.addListener(&signaller);
        DiscDevice* device = inChild.DeviceAt(inChild.DeviceCount() - 1);
        device->SetImageFilePath(target);
        inChild.Project().FileSystem().AddFile((dir / "big" / "large.bin").string(), "\\l.bin");
        if (!inChild.Project().WriteImage(*device)) ::_exit(3);
        for (;;) inChild.pumpEvents(std::chrono::milliseconds(100));
    }
    ::close(ready[1]);
    char byte = 0;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::kill(child, GetParam());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam());
    EXPECT_EQ(ReadFileBytes(target), "the previous image");
    EXPECT_EQ(leftovers().empty(), GetParam() == SIGTERM);
}

INSTANTIATE_TEST_SUITE_P(Signals, KilledWriteTest, ::testing::Values(SIGTERM, SIGKILL));

TEST(MediaProfilesTest, RewritableMediaPairWithTheCapabilityThatWritesThem) {
    // The media type and capability pairs that erasing goes by.
    for (const auto& [capability, mediaType] : std::vector<std::pair<int, int>>{
             {kCapabilityWriteCdRw, kMediaCdRw},
             {kCapabilityWriteDvdMinusRw, kMediaDvdMinusRw},
             {kCapabilityWriteDvdRam, kMediaDvdRam},
             {kCapabilityWriteDvdPlusRw, kMediaDvdPlusRw},
             {kCapabilityWriteBdRe, kMediaBdRe},
         }) {
        const auto rows = MediaProfiles();
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const MediaProfile& row) {
            return row.mediaType == mediaType && row.writeCapability == capability &&
                   row.rewritable;
        })) << mediaType;
    }
    EXPECT_EQ(MediaTypeOfProfile(0x0A), 253);
    EXPECT_EQ(MediaTypeOfProfile(0x13), 4);
    EXPECT_EQ(MediaTypeOfProfile(0x12), 1);
    EXPECT_EQ(MediaTypeOfProfile(0x1A), 9);
    EXPECT_EQ(MediaTypeOfProfile(0x43), 15);
    EXPECT_EQ(MediaTypeOfProfile(0), kMediaNone);
    EXPECT_EQ(MediaTypeOfProfile(0x0123), kMediaUnknown);
    EXPECT_EQ(MediaTypeName(kMediaImageFile), "Disc image file");
    const auto file = FindMediaProfile(0xFFFF);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->rewritable);
    EXPECT_EQ(file->writeCapability, 0);
    const int drive[] = {0x08, 0x09, 0x0A, 0x10, 0x11, 0x1A};
    EXPECT_EQ(WriteCapabilitiesOfProfiles(drive),
              (std::set<int>{kCapabilityWriteCdR, kCapabilityWriteCdRw, kCapabilityWriteDvdMinusR,
                             kCapabilityWriteDvdPlusRw}));
}

}  // namespace
}  // namespace quillet::disc
