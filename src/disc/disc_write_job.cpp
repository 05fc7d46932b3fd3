#include "disc/disc_write_job.h"

#include <stdint.h>
// libisofs.h needs the fixed-width integer types declared first.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "disc/burn_library.h"
#include "disc/image_verifier.h"
#include "disc/iso_image_builder.h"
#include "disc/udf_bridge.h"

namespace quillet::disc {

using namespace ::burn;

namespace {

// How often libburn's status is looked at while it writes.
constexpr auto kStatusInterval = std::chrono::milliseconds(100);

// The WriteStatus state of a libburn drive status; -1 for none to report.
int StateOfDriveStatus(burn_drive_status status) {
    switch (status) {
        case BURN_DRIVE_WRITING:
            return kWriteWritingData;
        case BURN_DRIVE_WRITING_LEADIN:
        case BURN_DRIVE_WRITING_PREGAP:
            return kWriteLeadIn;
        case BURN_DRIVE_WRITING_LEADOUT:
            return kWriteLeadOut;
        case BURN_DRIVE_CLOSING_TRACK:
            return kWriteClosingTrack;
        case BURN_DRIVE_CLOSING_SESSION:
            return kWriteUpdatingVolume;
        case BURN_DRIVE_WRITING_SYNC:
            return kWriteSynchronizing;
        default:
            return -1;
    }
}

class Reporter {
  public:
    explicit Reporter(const WriteJob& job) : m_job(job) {}

    void status(int state, int percent) {
        m_job.hub->post([state, percent](EventHub& hub) {
            hub.raise([&](DiscEventListener& l) { l.WriteStatus(state, percent); });
        });
    }
    // Raises FileWarning and waits for the listeners' answer, so that a "stop" takes effect
    // before anything is written. Setting the abort flag (the engine going) ends the wait.
    void warning(FileError error) {
        struct Answer {
            std::mutex mutex;
            std::condition_variable given;
            std::optional<bool> goOn;
        };
        auto answer = std::make_shared<Answer>();
        m_job.hub->post([error = std::move(error), answer](EventHub& hub) {
            const bool goOn =
                hub.raiseAll([&](DiscEventListener& l) { return l.FileWarning(error); });
            std::lock_guard lock(answer->mutex);
            answer->goOn = goOn;
            answer->given.notify_all();
        });
        std::unique_lock lock(answer->mutex);
        while (!answer->goOn && !*m_job.abort) {
            answer->given.wait_for(lock, kStatusInterval);
        }
        if (answer->goOn == false) *m_job.abort = true;
    }
    void error(EngineError error) {
        m_job.hub->post([error = std::move(error)](EventHub& hub) {
            hub.raise([&](DiscEventListener& l) { l.ErrorRaised(error); });
        });
    }
    template <typename Event>
    void event(Event raise) {
        m_job.hub->post([raise](EventHub& hub) { hub.raise(raise); });
    }
    // The end state; the write is over for the hub before its listeners hear of it.
    void end(int state) {
        const int percent = state == kWriteCompleted ? 100 : 0;
        m_job.hub->post([state, percent](EventHub& hub) {
            hub.setBusy(false);
            hub.raise([&](DiscEventListener& l) { l.WriteStatus(state, percent); });
        });
    }

  private:
    const WriteJob& m_job;
};

// A failure of the drive, or of the image file the image-file device writes.
EngineError OutputError(const WriteJob& job, const std::string& what) {
    std::string details = BurnLibrary::TakeMessages();
    EngineError error;
    if (job.replacement) {
        error.errorKind = kErrorKindOutputFile;
        error.errorText = what + (details.empty() ? "" : ": " + details);
        error.fileDetails = {0, error.errorText, job.imageFilePath};
    } else {
        error.errorKind = kErrorKindDevice;
        error.errorText = what;
        error.deviceDetails = {0, what, details.empty() ? what : details, job.deviceName};
    }
    return error;
}

// The sources still there as they were added: a missing one fails the write; a changed one is
// warned about (its content at write time goes on the disc). The end state when the write stops
// here, nullopt when it goes on.
std::optional<int> CheckSources(const WriteJob& job, Reporter& report) {
    for (const ImageItem& item : job.items) {
        if (item.isFolder) continue;
        struct stat info {};
        errno = 0;
        if (::stat(item.sourcePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            ::access(item.sourcePath.c_str(), R_OK) != 0) {
            const int code = errno != 0 ? errno : ENOENT;
            EngineError error;
            error.errorKind = kErrorKindSourceFile;
            error.errorText = std::strerror(code);
            error.fileDetails = {code, error.errorText, item.sourcePath};
            report.error(error);
            return kWriteFailed;
        }
        if (static_cast<double>(info.st_size) != item.itemSize) {
            report.warning(
                {0, "The file changed since it was added to the image.", item.sourcePath});
        }
    }
    if (*job.abort) return kWriteCancelled;
    return std::nullopt;
}

struct BurnDiscRelease {
    void operator()(burn_disc* disc) const { burn_disc_free(disc); }
};
struct BurnOptionsRelease {
    void operator()(burn_write_opts* options) const { burn_write_opts_free(options); }
};

// One session with one data track reading `source`.
std::unique_ptr<burn_disc, BurnDiscRelease> MakeDisc(burn::burn_source* source) {
    std::unique_ptr<burn_disc, BurnDiscRelease> disc(burn_disc_create());
    burn_session* session = burn_session_create();
    burn_track* track = burn_track_create();
    burn_disc_add_session(disc.get(), session, BURN_POS_END);
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    burn_track_set_source(track, source);
    burn_session_add_track(session, track, BURN_POS_END);
    // The disc holds its own references now.
    burn_track_free(track);
    burn_session_free(session);
    return disc;
}

// Chooses the write type the project asks for when the drive and disc allow it, else the one
// libburn finds; false when none fits.
bool ChooseWriteType(const WriteJob& job, burn_write_opts* options, burn_disc* disc,
                     std::string& reasons) {
    char why[BURN_REASONS_LEN] = {};
    if (!job.replacement) {
        const bool discAtOnce = job.settings.writeMethod == kWriteMethodDiscAtOnce;
        burn_write_opts_set_write_type(options, discAtOnce ? BURN_WRITE_SAO : BURN_WRITE_TAO,
                                       discAtOnce ? BURN_BLOCK_SAO : BURN_BLOCK_MODE1);
        if (burn_write_opts_auto_write_type(options, disc, why, 1) != BURN_WRITE_NONE) {
            return true;
        }
    }
    const bool found = burn_write_opts_auto_write_type(options, disc, why, 2) != BURN_WRITE_NONE;
    reasons = why;
    return found;
}

// Follows libburn's write, reporting each state change and the percentage written; cancels it
// when the abort flag is set. Returns whether it was cancelled.
bool FollowWrite(const WriteJob& job, burn_drive* drive, Reporter& report,
                 std::optional<UdfBridge>& udf) {
    bool cancelled = false;
    int lastState = -2, lastPercent = -1;
    burn_progress progress{};
    burn_drive_status status;
    while ((status = burn_drive_get_status(drive, &progress)) != BURN_DRIVE_IDLE) {
        if (*job.abort && !cancelled) {
            cancelled = true;
            burn_drive_cancel(drive);
            if (udf) udf->stop();
        }
        const int state = StateOfDriveStatus(status);
        int percent = 0;
        if (state == kWriteWritingData && progress.sectors > 0) {
            percent = static_cast<int>(100LL * progress.sector / progress.sectors);
            percent = std::clamp(percent, 0, 100);
        }
        if (state >= 0 && (state != lastState || percent != lastPercent)) {
            report.status(state, percent);
            lastState = state;
            lastPercent = percent;
        }
        std::this_thread::sleep_for(kStatusInterval);
    }
    return cancelled || *job.abort;
}

// Reads every file back and compares it with its source: how many did not match, nullopt when
// cancelled meanwhile.
std::optional<int> Verify(const WriteJob& job, ImageVerifier& verifier, Reporter& report) {
    std::vector<const ImageItem*> files;
    for (const ImageItem& item : job.items) {
        if (!item.isFolder) files.push_back(&item);
    }
    const int total = static_cast<int>(files.size());
    report.event([total](DiscEventListener& l) { l.VerifyStarted(total); });
    int matched = 0;
    for (int i = 0; i < total; ++i) {
        const std::optional<int> result =
            verifier.compare(*files[static_cast<size_t>(i)], *job.abort);
        if (!result) return std::nullopt;
        if (*result == kVerifyMatched || *result == kVerifyEmptyFile) ++matched;
        const ImageItem item = *files[static_cast<size_t>(i)];
        const int code = *result, position = i + 1;
        report.event([item, code, position, total](DiscEventListener& l) {
            l.FileVerified(item, code, position, total);
        });
    }
    report.event([total, matched](DiscEventListener& l) { l.VerifyFinished(total, matched); });
    if (*job.abort) return std::nullopt;
    return total - matched;
}

// The whole write; returns its end state, after reporting any error.
int WriteAndVerify(WriteJob& job, Reporter& report) {
    report.status(kWritePreparingImage, 0);
    if (const std::optional<int> end = CheckSources(job, report)) return *end;

    // Grab the drive first: where a disc already holds sessions, the image starts after them.
    GrabbedDrive drive(job.driveAddress, !job.replacement);
    if (drive.drive() == nullptr) {
        report.error(OutputError(
            job, job.replacement ? "Cannot open the image file" : "Cannot open the drive"));
        return kWriteFailed;
    }
    std::unique_ptr<burn_write_opts, BurnOptionsRelease> options(
        burn_write_opts_new(drive.drive()));
    int startBlock = 0;
    if (!job.replacement) {
        int lba = 0, nwa = 0;
        if (burn_disc_track_lba_nwa(drive.drive(), options.get(), 0, &lba, &nwa) == 1) {
            startBlock = nwa;
        }
    }

    // The image's byte stream.
    EngineError error;
    std::optional<UdfBridge> udf;
    IsoImagePtr iso;
    burn::burn_source* source = nullptr;
    if (FileSystemHasUdf(job.settings.fileSystemType)) {
        if (startBlock != 0) {
            report.error(OutputError(job, "A UDF image can only be written to a blank disc"));
            return kWriteFailed;
        }
        if (auto prepared = UdfBridge::Prepare(job.items, job.settings, error)) {
            udf.emplace(std::move(*prepared));
        }
        std::optional<std::int64_t> size;
        if (udf) size = udf->imageSize(error);
        const int fd = size ? udf->start(error) : -1;
        if (fd >= 0) {
            source = burn_fd_source_new(fd, -1, *size);
            if (source == nullptr) ::close(fd);
        }
    } else {
        iso = BuildIsoImage(job.items, job.settings, error);
        if (iso) {
            source = CreateIsoSource(iso.get(), job.settings, false, error,
                                     static_cast<std::uint32_t>(startBlock));
        }
    }
    if (source == nullptr) {
        if (error.errorText.empty()) error = OutputError(job, "Cannot make the image");
        report.error(error);
        return kWriteFailed;
    }
    auto disc = MakeDisc(source);
    burn_source_free(source);

    burn_write_opts_set_perform_opc(options.get(), 0);
    burn_write_opts_set_multi(options.get(), job.replacement || job.settings.finalizeDisc ? 0 : 1);
    burn_write_opts_set_simulate(options.get(), job.settings.testWrite ? 1 : 0);
    burn_write_opts_set_underrun_proof(options.get(), job.settings.bufferProtection ? 1 : 0);
    burn_drive_set_speed(drive.drive(), 0, job.settings.writeSpeed);
    std::string reasons;
    if (!ChooseWriteType(job, options.get(), disc.get(), reasons)) {
        report.error(OutputError(job, "The disc cannot be written: " + reasons));
        return kWriteFailed;
    }

    report.status(kWriteLeadIn, 0);
    burn_disc_write(options.get(), disc.get());
    const bool cancelled = FollowWrite(job, drive.drive(), report, udf);
    const bool wroteWell = burn_drive_wrote_well(drive.drive()) == 1;
    if (cancelled) {
        return kWriteCancelled;
    }
    if (!wroteWell) {
        // libburn reads the pipe no more: genisoimage, waiting to write into it, is ended now,
        // unless its own failure is what stopped the write.
        EngineError own;
        report.error(udf && udf->stop(&own) ? own
                                            : OutputError(job, "The image could not be written"));
        return kWriteFailed;
    }
    // libburn has read the size announced: the pipe's reading end goes with the disc now, so that
    // genisoimage, should it still be writing (an image longer than it announced), ends rather
    // than waits for a reader.
    disc.reset();
    if (udf && !udf->finish(error)) {
        report.error(error);
        return kWriteFailed;
    }
    report.status(kWriteLeadOut, 100);

    if (job.settings.autoVerify && !job.settings.testWrite) {
        std::unique_ptr<ImageVerifier> verifier;
        if (job.replacement) {
            drive.release(false);
            verifier = ImageVerifier::OpenFile(job.replacement->temporary().string(),
                                               job.settings.fileSystemType, error);
        } else {
            burn_drive_re_assess(drive.drive(), 0);
            verifier =
                ImageVerifier::OpenDisc(drive.drive(), static_cast<std::uint32_t>(startBlock),
                                        job.settings.fileSystemType, error);
        }
        if (!verifier) {
            report.error(error);
            return kWriteFailed;
        }
        const std::optional<int> mismatched = Verify(job, *verifier, report);
        if (!mismatched) return kWriteCancelled;
        // An image that does not match its sources is no backup: it never takes the place of the
        // previous file, and is removed with its temporary rather than kept beside it, where each
        // failed scheduled write would leave another image-sized file.
        if (*mismatched > 0 && job.replacement) {
            EngineError failure;
            failure.errorKind = kErrorKindOutputFile;
            failure.errorText = std::to_string(*mismatched) +
                                " files did not verify: the new image was removed and the "
                                "previous file left as it was";
            failure.fileDetails = {0, failure.errorText, job.imageFilePath};
            report.error(failure);
            return kWriteFailed;
        }
    }

    // A test write writes nothing: the chosen file stays as it was.
    if (job.replacement && !job.settings.testWrite) {
        drive.release(false);
        report.status(kWriteUpdatingVolume, 100);
        if (Status committed = job.replacement->commit(); !committed) {
            EngineError failure;
            failure.errorKind = kErrorKindOutputFile;
            failure.errorText = committed.reason();
            failure.fileDetails = {0, committed.reason(), job.imageFilePath};
            report.error(failure);
            return kWriteFailed;
        }
    }
    return kWriteCompleted;
}

}  // namespace

void RunWriteJob(WriteJob job) {
    Reporter report(job);
    const int end = WriteAndVerify(job, report);
    // The temporary of a write that did not complete goes before anyone hears of the end: the
    // chosen file is then as it was, and nothing else is left beside it.
    job.replacement.reset();
    report.end(end);
}

}  // namespace quillet::disc
