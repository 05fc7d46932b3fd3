#include <algorithm>
#include <charconv>
#include <filesystem>

#include "backup/backup_item.h"
#include "backup/identity_list.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "registry/mod_reg.h"
#include "schedule/day_codes.h"
#include "schedule/job_program.h"
#include "schedule/register_backup_job.h"
#include "schedule/system_time_zone.h"

namespace quillet::cli {
namespace {

struct AddArguments {
    std::string identity;
    std::string out;
    std::string at;
    std::string days;
    std::string items = "all";
    std::optional<std::string> passwordFile;
};

int RunAdd(const AddArguments& args, CliContext& context, std::ostream& out, Json* json,
           std::ostream& err) {
    if (context.refuseWindowsDisk(err,
                                  "back it up once with quillet-cli backup; scheduled "
                                  "backups work on a Wine prefix")) {
        return kExitNothingDone;
    }
    if (!ParseStartTime(args.at)) {
        return Fail(err, "--at " + args.at + " is not a time of day (H:MM, 0:00 to 23:59)");
    }
    if (const auto piece = FirstPieceNamingNoDay(args.days)) {
        return Fail(err,
                    "\"" + *piece + "\" in --days is not a day; days are " + DayListFromDays(0x7F));
    }
    auto items = ParseSelectedItems(args.items);
    if (!items) return Fail(err, items.reason());
    auto password = ProtectionPassword(args.passwordFile, context);
    if (!password) return Fail(err, password.reason());
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return kExitNothingDone;
    const std::optional<Identity> identity =
        FindIdentityOrSay(ListIdentities(system->modReg()), args.identity, err);
    if (!identity) return kExitNothingDone;

    const std::optional<std::filesystem::path> prefix = context.winePrefix();
    Scheduler& scheduler =
        context.scheduler(prefix ? std::optional(prefix->string()) : std::nullopt);
    const BackupJobRequest request{
        .identityKey = identity->key,
        .itemMask = MaskText(*items),
        .password = *password,
        .backupFile = std::filesystem::absolute(args.out).lexically_normal().string(),
        .startTime = args.at,
        .dayList = args.days,
    };
    const JobRegistration registration =
        RegisterBackupJob(scheduler, QuilletProgramPath().string(), request);
    if (!registration.scheduled()) {
        // On one line, as the scheduler's reason may hold the crontab command's own lines.
        StreamMessageService(err).showMessage(JobNotScheduledMessage(registration.reason),
                                              MessageIcon::Critical, MessageButtons::Ok);
        return kExitNothingDone;
    }
    out << JobScheduledMessage(*registration.number) << '\n';
    if (json) *json = {{"number", *registration.number}};
    return kExitOk;
}

// The items of a mask as --items takes them: "all", or a comma list of names.
std::string ItemNames(const std::string& mask) {
    if (mask.find_first_not_of('1') == std::string::npos) return "all";
    return SelectedItemNames(mask, &ItemDescription::commandName, ",");
}

// The last run comes after the six fields that earlier versions printed, so that scripts reading
// those by position go on working; the note on the time zone goes to stderr.
// A job as JSON: its last run's time as the run log keeps it, with the zone's offset.
Json JobJson(const ScheduledJob& job) {
    Json lastRun;
    if (job.lastRun) {
        lastRun = {{"time", job.lastRun->time},
                   {"exit_status", job.lastRun->exitCode},
                   {"reason", job.lastRun->reason}};
    }
    return {{"number", job.number},
            {"at", FormatStartTime(job.startTime)},
            {"days", job.runsOnce() ? Json() : Json(DayListFromDays(job.daysOfWeek))},
            {"identity", job.job.identityKey},
            {"items", ItemNames(job.job.itemMask)},
            {"file", job.job.backupFile},
            {"last_run", std::move(lastRun)}};
}

int RunList(CliContext& context, std::ostream& out, Json* json, std::ostream& err) {
    Scheduler& scheduler = context.scheduler(std::nullopt);
    auto jobs = scheduler.listJobs();
    if (!jobs) return Fail(err, jobs.reason());
    err << LocalTimeNote(scheduler.timeZoneName()) << '\n';
    if (json) *json = {{"time_zone", scheduler.timeZoneName()}, {"jobs", Json::array()}};
    for (const ScheduledJob& job : *jobs) {
        if (json) (*json)["jobs"].push_back(JobJson(job));
        out << job.number << '\t' << FormatStartTime(job.startTime) << '\t'
            << (job.runsOnce() ? "once" : DayListFromDays(job.daysOfWeek)) << '\t'
            << job.job.identityKey << '\t' << ItemNames(job.job.itemMask) << '\t'
            << job.job.backupFile << '\t' << LastRunText(job.lastRun) << '\n';
    }
    return kExitOk;
}

int RunRemove(const std::string& numberText, CliContext& context, std::ostream& out, Json* json,
              std::ostream& err) {
    int number = 0;
    const auto [end, error] =
        std::from_chars(numberText.data(), numberText.data() + numberText.size(), number);
    if (error != std::errc() || end != numberText.data() + numberText.size() || number <= 0) {
        return Fail(err, numberText + " is not a job number (see quillet-cli schedule list)");
    }
    if (Status removed = context.scheduler(std::nullopt).removeJob(number); !removed) {
        return Fail(err, removed.reason());
    }
    out << "Task " << number << " has been removed.\n";
    if (json) *json = {{"removed", number}};
    return kExitOk;
}

}  // namespace

void AddScheduleCommand(CLI::App& app, CommandRun& run) {
    CLI::App* schedule = app.add_subcommand(
        "schedule", "Scheduled backups: lines of your crontab that run quillet unattended");
    schedule->require_subcommand(1);

    auto args = std::make_shared<AddArguments>();
    CLI::App* add = schedule->add_subcommand("add", "Schedule a backup of one identity");
    add->add_option("-i,--identity", args->identity, "The identity: its key or its user name")
        ->required();
    add->add_option("-o,--out", args->out, "The backup file each run writes (replaced every time)")
        ->required();
    add->add_option("--at", args->at, "The start time, H:MM")->required();
    add->add_option("--days", args->days,
                    "The days, a comma list of " + DayListFromDays(0x7F) +
                        "; without it the backup runs once, at the next start time");
    add->add_option("--items", args->items,
                    "all (default), eight 0/1 digits in item order, or a comma list of " +
                        ItemCommandNames(","));
    add->add_option("--password-file", args->passwordFile,
                    "Protect the backups with the password on this file's first line (it is "
                    "kept in your crontab, readable by you and root only)");
    add->callback([&run, args] {
        run.exitCode = RunAdd(*args, run.context, run.report(), run.json(), run.err);
    });

    CLI::App* list = schedule->add_subcommand(
        "list",
        "List the scheduled backups: number TAB H:MM TAB days TAB identity TAB items TAB file TAB "
        "last run (its time and result: OK, or the exit status and reason; never); the times are "
        "this computer's local time");
    list->callback(
        [&run] { run.exitCode = RunList(run.context, run.listing(), run.json(), run.err); });

    auto number = std::make_shared<std::string>();
    CLI::App* remove = schedule->add_subcommand("remove", "Remove scheduled backup N");
    remove->add_option("N", *number, "The job's number (see schedule list)")->required();
    remove->callback([&run, number] {
        run.exitCode = RunRemove(*number, run.context, run.report(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
