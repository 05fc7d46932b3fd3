// quillet-cli disc devices | disc write: the drives, and writing files onto a disc or into an image
// file, for scripts and scheduled jobs.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "disc/disc_engine.h"
#include "disc/media_profiles.h"
#include "disc/write_settings.h"

namespace quillet::cli {
namespace {

namespace fs = std::filesystem;

constexpr char kImageDevicePrefix[] = "image:";
// How long one wait for the engine's events lasts before the loop looks again.
constexpr std::chrono::milliseconds kEventWait(200);

// Bytes as megabytes (of 1048576 bytes) with two decimals.
std::string Megabytes(double bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", bytes / 1048576.0);
    return text;
}

bool InitializeOrSay(disc::DiscEngine& engine, std::ostream& err) {
    if (engine.InitializeDevices(false)) return true;
    Fail(err, "the disc devices cannot be initialised");
    return false;
}

int RunDevices(disc::DiscEngine& engine, std::ostream& out, Json* json, std::ostream& err) {
    if (!InitializeOrSay(engine, err)) return kExitNothingDone;
    if (json) *json = {{"devices", Json::array()}};
    for (int i = 0; i < engine.DeviceCount(); ++i) {
        disc::DiscDevice* device = engine.DeviceAt(i);
        if (device == nullptr || !device->IsCompatible()) continue;
        device->RefreshMedia(true);
        // Each named as --device takes it; the image-file device's path is the user's to choose.
        const std::string name =
            device->IsImageFile() ? std::string(kImageDevicePrefix) + "PATH" : device->DeviceName();
        const std::string media = disc::MediaTypeName(device->LoadedMedia().mediaType);
        const double freeBytes = disc::FreeBytes(*device, engine.Project());
        out << name << '\t' << media << '\t' << Megabytes(freeBytes) << '\n';
        if (json) {
            (*json)["devices"].push_back({{"device", name},
                                          {"media", media},
                                          {"free_bytes", static_cast<std::int64_t>(freeBytes)}});
        }
    }
    return kExitOk;
}

struct WriteArguments {
    std::string device;
    bool verify = false;
    std::string volumeId = disc::WriteSettings().volumeId;
    int volumeType = disc::WriteSettings().fileSystemType;
    std::vector<std::string> files;
};

// The compatible drive of that name, or the image-file device aimed at the file "image:PATH"
// names; null, with the reason written to `err`, when there is none.
disc::DiscDevice* FindDeviceOrSay(disc::DiscEngine& engine, const std::string& name,
                                  std::ostream& err) {
    const bool image = name.rfind(kImageDevicePrefix, 0) == 0;
    for (int i = 0; i < engine.DeviceCount(); ++i) {
        disc::DiscDevice* device = engine.DeviceAt(i);
        if (device == nullptr || !device->IsCompatible()) continue;
        if (image && device->IsImageFile()) {
            const std::string path = name.substr(std::string(kImageDevicePrefix).size());
            std::error_code error;
            const fs::path target = path.empty() ? fs::path() : fs::absolute(path, error);
            if (!target.empty() && !fs::is_directory(target.parent_path(), error)) {
                Fail(err, "no folder " + target.parent_path().string() + " for the image file");
                return nullptr;
            }
            if (target.empty() || !device->SetImageFilePath(target.string())) {
                Fail(err, "cannot write an image file named \"" + path + "\"");
                return nullptr;
            }
            return device;
        }
        if (!image && !device->IsImageFile() && device->DeviceName() == name) return device;
    }
    Fail(err, "no disc device \"" + name + "\" (see quillet-cli disc devices)");
    return nullptr;
}

// Puts each file or folder into the image's root under its own name.
bool ComposeImageOrSay(disc::DataProject& project, const std::vector<std::string>& files,
                       std::ostream& err) {
    disc::ImageFileSystem& image = project.FileSystem();
    image.ClearImage();
    for (const std::string& file : files) {
        const fs::path source = fs::absolute(file).lexically_normal();
        const std::string name = source.has_filename() ? source.filename().string()
                                                       : source.parent_path().filename().string();
        const std::string imagePath = disc::kImageRoot + name;
        const bool added = fs::is_directory(source) ? image.AddFolder(source.string(), imagePath)
                                                    : image.AddFile(source.string(), imagePath);
        if (!added) {
            Fail(err, "cannot put " + file + " into the image as " + name +
                          " (unreadable, or a second item of that name)");
            return false;
        }
    }
    return true;
}

// Whether the disc in `device` can take the image.
bool CheckMediaOrSay(disc::DiscEngine& engine, disc::DiscDevice& device, std::ostream& err) {
    const disc::MediaCheck media = disc::CheckMediaForImage(device, engine.Project());
    if (!media.writable) {
        Fail(err, "no writable disc in " + device.DeviceName());
        return false;
    }
    if (media.imageFits()) return true;
    Fail(err, "the image needs " + Megabytes(media.neededBytes) + " MB but the disc has " +
                  Megabytes(media.freeBytes) + " MB free");
    return false;
}

// The reason an engine error gives, on one line.
std::string EngineErrorReason(const disc::EngineError& error) {
    switch (error.errorKind) {
        case disc::kErrorKindDevice:
            return "device error " + std::to_string(error.deviceDetails.errorCode) + ": " +
                   error.deviceDetails.textA + ": " + error.deviceDetails.textB + " (" +
                   error.deviceDetails.textC + ")";
        case disc::kErrorKindOutputFile:
        case disc::kErrorKindSourceFile:
            return error.fileDetails.filePath + ": " + error.fileDetails.errorText;
        default:
            return error.errorText;
    }
}

// Follows one write: its progress on the terminal, its warnings and errors on stderr, and how it
// ended.
class WriteFollower : public disc::DiscEventListener {
  public:
    WriteFollower(BackupProgress* progress, std::ostream& err) : m_progress(progress), m_err(err) {}

    std::optional<int> endState;
    std::vector<std::string> errors;
    std::vector<std::string> verifyFailures;
    int verifiedTotal = 0;
    int verifiedMatched = 0;

  private:
    void WriteStatus(int state, int percent) override {
        if (disc::IsWriteEndState(state)) endState = state;
        if (state == disc::kWritePreparingImage) say("Preparing image");
        if (state == disc::kWriteWritingData) say("Writing");
        if (state >= disc::kWriteWritingData && state <= disc::kWriteVerifyingData) {
            tell(percent);
        }
    }
    bool FileWarning(const disc::FileError& error) override {
        m_err << "quillet-cli: warning: " << error.filePath << ": " << error.errorText << '\n';
        return true;
    }
    void ErrorRaised(const disc::EngineError& error) override {
        errors.push_back(EngineErrorReason(error));
    }
    void VerifyStarted(int) override { say("Verifying"); }
    void FileVerified(const disc::ImageItem& item, int result, int position, int total) override {
        if (result != disc::kVerifyMatched && result != disc::kVerifyEmptyFile) {
            verifyFailures.push_back(item.sourcePath + ": " + VerifyFailure(result));
        }
        say("Verifying " + item.itemName);
        if (total > 0) tell(position * 100 / total);
    }
    void VerifyFinished(int total, int matched) override {
        verifiedTotal = total;
        verifiedMatched = matched;
    }

    static std::string VerifyFailure(int result) {
        switch (result) {
            case disc::kVerifySourceUnreadable:
                return "the source file could not be read";
            case disc::kVerifyDestinationUnreadable:
                return "the written file could not be read back";
            case disc::kVerifySizeMismatch:
                return "the written file's size differs from the source's";
            default:
                return "the written file differs from the source";
        }
    }
    void say(const std::string& text) {
        if (m_progress != nullptr) m_progress->status(text);
    }
    void tell(int percent) {
        if (m_progress != nullptr) m_progress->progress(percent);
    }

    BackupProgress* m_progress;
    std::ostream& m_err;
};

int RunWrite(const WriteArguments& args, disc::DiscEngine& engine, CliContext& context,
             std::ostream& out, Json* json, std::ostream& err) {
    if (!disc::IsVolumeType(args.volumeType)) {
        return Fail(
            err, "--volume-type must be 1, 3, 4, 5 or 7, not " + std::to_string(args.volumeType));
    }
    if (!disc::VolumeIdFits(args.volumeId)) {
        return Fail(err, "--volume-id holds at most 32 characters");
    }
    if (!InitializeOrSay(engine, err)) return kExitNothingDone;
    disc::DiscDevice* device = FindDeviceOrSay(engine, args.device, err);
    if (device == nullptr) return kExitNothingDone;
    disc::DataProject& project = engine.Project();
    disc::ApplyLoadSettings(project);
    if (!ComposeImageOrSay(project, args.files, err)) return kExitNothingDone;
    if (!CheckMediaOrSay(engine, *device, err)) return kExitNothingDone;

    // The disc writer window's defaults, but for what the arguments choose; buffer protection
    // follows the device, as the window's box does.
    disc::WriteSettings settings;
    settings.volumeId = args.volumeId;
    settings.fileSystemType = args.volumeType;
    settings.autoVerify = args.verify;
    settings.bufferProtection = device->HasCapability(disc::kCapabilityBufferProtection);
    disc::ApplyWriteSettings(project, settings);

    return context.withProgress([&](BackupProgress* progress) {
        WriteFollower follower(progress, err);
        engine.addListener(&follower);
        if (!project.WriteImage(*device)) {
            engine.removeListener(&follower);
            return Fail(err, "the write to " + args.device + " could not be started");
        }
        // An engine that stops without an end state would otherwise keep the loop waiting.
        while (!follower.endState && engine.isBusy()) engine.pumpEvents(kEventWait);
        engine.removeListener(&follower);
        if (!follower.endState) follower.endState = disc::kWriteFailed;

        const std::string target = device->IsImageFile() ? device->ImageFilePath() : args.device;
        if (*follower.endState == disc::kWriteCancelled) {
            return Fail(err, "the write to " + target + " was cancelled");
        }
        if (*follower.endState == disc::kWriteFailed) {
            for (const std::string& failure : follower.verifyFailures) Fail(err, failure);
            return Fail(err, "the write to " + target + " failed: " +
                                 (follower.errors.empty() ? std::string("no reason given")
                                                          : follower.errors.front()));
        }
        if (json) {
            *json = {{"target", target},
                     {"files", project.FileSystem().FileCount()},
                     {"verified", args.verify && follower.verifyFailures.empty()},
                     {"verify_failures", follower.verifyFailures}};
        }
        if (!follower.verifyFailures.empty()) {
            for (const std::string& failure : follower.verifyFailures) Fail(err, failure);
            err << "quillet-cli: " << target << " was written, but "
                << follower.verifyFailures.size() << " of " << follower.verifiedTotal
                << " files did not verify\n";
            return kExitPartial;
        }
        out << target << ": " << project.FileSystem().FileCount() << " files written";
        if (args.verify) out << " and verified";
        out << '\n';
        return kExitOk;
    });
}

}  // namespace

void AddDiscCommand(CLI::App& app, CommandRun& run) {
    CLI::App* disc = app.add_subcommand("disc", "Write files onto a CD, DVD or into an image file");
    disc->require_subcommand(1);

    CLI::App* devices = disc->add_subcommand(
        "devices",
        "List the disc devices: the name --device takes TAB the disc in it TAB free MB (the "
        "image file last, as image:PATH)");
    devices->callback([&run] {
        run.exitCode = RunDevices(run.context.discEngine(), run.listing(), run.json(), run.err);
    });

    auto args = std::make_shared<WriteArguments>();
    CLI::App* write = disc->add_subcommand("write",
                                           "Write files and folders onto the disc in a drive, or "
                                           "into an image file (--device image:PATH)");
    write->add_option("--device", args->device, "A device name from disc devices, or image:PATH")
        ->required();
    write->add_flag("--verify", args->verify, "Read every written file back and compare it");
    write->add_option("--volume-id", args->volumeId, "The disc's name (at most 32 characters)")
        ->capture_default_str();
    write
        ->add_option("--volume-type", args->volumeType,
                     "1 ISO9660, 4 UDF, 3 ISO9660/Joliet, 5 ISO9660/UDF, 7 ISO9660/Joliet/UDF")
        ->capture_default_str();
    write->add_option("FILE", args->files, "The files and folders to write")
        ->required()
        ->check(CLI::ExistingPath);
    write->callback([&run, args] {
        run.exitCode = RunWrite(*args, run.context.discEngine(), run.context, run.report(),
                                run.json(), run.err);
    });
}

}  // namespace quillet::cli
