// Writes the seed inputs of the fuzz targets, each made by the code the target reads it back
// with: exports of the sample prefix's keys, information files, job command lines and small
// backups.
//
// Usage: quillet_fuzz_seeds SAMPLE_PREFIX OUT_DIR
//   SAMPLE_PREFIX: a prefix written by examples/make-sample-prefix.sh (its user.reg is read);
//   OUT_DIR: gets one folder per target (registry_text, information_file, job_command_line,
//   open_backup, dbx_reader, wab_reader). Exits 1, with the reason on stderr, when a seed cannot be
//   made.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "backup/backup_item.h"
#include "backup/information_file.h"
#include "fuzz_support.h"
#include "mailstore/dbx_builder.h"
#include "mailstore/dbx_layout.h"
#include "registry/mod_reg.h"
#include "registry/registry_text.h"
#include "registry/utf16_bytes.h"
#include "registry/wine_registry_file.h"
#include "schedule/job_command_line.h"
#include "support/registry/memory_registry_store.h"
#include "wab/wab_builder.h"
#include "wab/wab_layout.h"

namespace {

namespace fs = std::filesystem;
using namespace quillet;
using namespace quillet::registry;

constexpr char kSampleIdentity[] = "{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}";
// The password the open_backup target opens its input with.
constexpr char kPassword[] = "fuzz";

void Check(const Status& status, const std::string& what) {
    if (!status) {
        std::fprintf(stderr, "quillet_fuzz_seeds: %s: %s\n", what.c_str(), status.reason().c_str());
        std::exit(1);
    }
}

void Write(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::FILE* out = std::fopen(file.c_str(), "wb");
    const bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (!out || std::fclose(out) != 0 || !written) Check(Status::Error("cannot write"), file);
}

// Copies every key and value of a Wine registry file into the current-user root of `store`.
void LoadUserHive(RegistryStore& store, const fs::path& userReg) {
    auto tree = ParseWineRegistry(fuzz::ReadWholeFile(userReg));
    Check(tree.ok() ? Status::Ok() : Status::Error(tree.reason()), userReg.string());
    std::vector<std::pair<const KeyNode*, std::string>> pending{{(*tree)->root.get(), ""}};
    while (!pending.empty()) {
        const auto [node, path] = pending.back();
        pending.pop_back();
        if (!path.empty()) {
            HKey key;
            if (store.RegCreateKey(kHkeyCurrentUser, path, &key) != kErrorSuccess) {
                Check(Status::Error("cannot create the key"), path);
            }
            for (const RegValue& value : node->values) {
                (void)store.RegSetValueRaw(key, value.name, value.type, value.data);
            }
            store.RegCloseKey(key);
        }
        for (const auto& subkey : node->subkeys()) {
            pending.emplace_back(subkey.get(),
                                 path.empty() ? subkey->name : path + "\\" + subkey->name);
        }
    }
}

std::string Utf16Text(std::u16string text) {
    text += u'\0';
    return Utf16LeBytes(text);
}

// A key holding a value of every type the text form carries, each form of mark once.
void AddEveryValueForm(RegistryStore& store, const std::string& path) {
    HKey key;
    if (store.RegCreateKey(kHkeyCurrentUser, path, &key) != kErrorSuccess) {
        Check(Status::Error("cannot create the key"), path);
    }
    (void)store.RegSetValueRaw(key, "", kRegSz, Utf16Text(u"default"));
    (void)store.RegSetValueRaw(key, "Text", kRegSz, Utf16Text(u"Zo\u00eb \u00c5ngstr\u00f6m"));
    (void)store.RegSetValueRaw(key, "Path", kRegExpandSz, Utf16Text(u"%UserProfile%\\Mail"));
    (void)store.RegSetValueRaw(key, "Lines", kRegSz, Utf16Text(u"one\r\ntwo\\three"));
    (void)store.RegSetValueRaw(key, "ExpandLines", kRegExpandSz, Utf16Text(u"%A%\n%B%"));
    (void)store.RegSetValueRaw(key, "Number", kRegDword, std::string("\xfe\xff\xff\xff", 4));
    (void)store.RegSetValueRaw(key, "Bytes", kRegBinary, std::string("\x00\x7f\x80\xff", 4));
    (void)store.RegSetValueRaw(key, "List", kRegMultiSz, Utf16Text(std::u16string(u"a\0b\0", 4)));
    (void)store.RegSetValueRaw(key, "Wide", kRegQword, std::string(8, '\x01'));
    store.RegCloseKey(key);
}

// Exports of the sample's keys that a backup carries, in the registry text form.
void RegistryTextSeeds(const fs::path& userReg, const fs::path& out) {
    MemoryRegistryStore store;
    ModReg modReg(store);
    LoadUserHive(store, userReg);
    AddEveryValueForm(store, "Software\\Quillet Fuzz\\Every Form");
    fs::create_directories(out);

    const std::string identity = std::string("HKEY_CURRENT_USER\\Identities\\") + kSampleIdentity;
    const std::string version = identity + "\\Software\\Microsoft\\Outlook Express\\5.0";
    const std::pair<const char*, std::string> keys[] = {
        {"accounts", identity + "\\Software\\Microsoft\\Internet Account Manager"},
        {"shared_accounts", "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager"},
        {"rules", version + "\\Rules"},
        {"block_senders", version + "\\Block Senders"},
        {"signatures", version + "\\signatures"},
        {"settings", version + "\\Mail"},
        {"every_form", "HKEY_CURRENT_USER\\Software\\Quillet Fuzz"},
    };
    for (const auto& [name, key] : keys) {
        Check(ExportKeyTree(modReg, key, out / (std::string(name) + ".txt")), key);
    }
}

// Information files as a backup writes them, and one with a description of several lines.
void InformationFileSeeds(const fs::path& out, fs::path* backupInformation) {
    fs::create_directories(out);
    const fs::path full = out / "backup.dat";
    const std::pair<std::string, std::string> lines[] = {
        {"BackupComputer", "workstation"},
        {"BackupLogonUser", "quillet"},
        {"BackupIdentity", "Main Identity"},
        {"BackupTime", "01/01/2024 00:00:00"},
        {"BackupInformation", EncodeDescription("Before the move\r\nsecond line")},
        {std::string(kItems[kAccounts].informationKey), "OBA1.TMP"},
        {std::string(kItems[kRules].informationKey), "OBR2.TMP"},
        {std::string(kItems[kMessages].informationKey), "Inbox.dbx;Sent Items.dbx"},
        {std::string(kItems[kSettings].informationKey), "OBS3.TMP"},
        {"BackupItem", "10110001"},
    };
    for (const auto& [key, value] : lines) Check(SaveINI(key, value, full), full);
    *backupInformation = full;

    const fs::path latin = out / "windows_1252.dat";
    Check(SaveINI("BackupIdentity", "Zo\xeb", latin), latin);
    Check(SaveINI("backupitem", "00000000", latin), latin);
    // The first byte of the target's input is the length of the key it writes back.
    const char line[] =
        "\x0e"
        "BackupComputer"
        "desk\xc3\xa9\0tail";
    Write(out / "written_line.dat", std::string(line, sizeof line - 1));
}

void JobCommandLineSeeds(const fs::path& out) {
    const JobCommandLine jobs[] = {
        {kSampleIdentity, "11111111", "secret", "/home/quillet/Backups/daily.qbk"},
        {kSampleIdentity, "10100001", "", "/tmp/b f.qbk"},
    };
    int number = 0;
    for (const JobCommandLine& job : jobs) {
        Write(out / ("job" + std::to_string(++number) + ".txt"), MakeJobCommandLine(job));
    }
}

// Small backups made by the archive: protected with the target's password, unprotected, and
// protected with another password.
void OpenBackupSeeds(const fs::path& registryText, const fs::path& information,
                     const fs::path& out) {
    const fs::path work = fuzz::ScratchFolder() / "seed-entries";
    fs::create_directories(work);
    fs::copy_file(information, work / kInformationFileName, fs::copy_options::overwrite_existing);
    fs::copy_file(registryText / "accounts.txt", work / "OBA1.TMP",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(registryText / "rules.txt", work / "OBR2.TMP",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(registryText / "settings.txt", work / "OBS3.TMP",
                  fs::copy_options::overwrite_existing);
    Write(work / "Inbox.dbx", std::string("\xcf\xad\x12\xfe\xc5\xfd\x74\x6f", 8) + "inbox");
    Write(work / "Sent Items.dbx", std::string("\xcf\xad\x12\xfe\xc5\xfd\x74\x6f", 8) + "sent");

    struct Seed {
        const char* name;
        const char* password;
        int level;
    };
    const Seed seeds[] = {
        {"protected.qbk", kPassword, 6}, {"plain.qbk", "", 0}, {"other_password.qbk", "other", 1}};
    fs::create_directories(out);
    for (const Seed& seed : seeds) {
        archive::ZipArchive archive;
        archive.setCompressionThreads(1);
        archive.setCompressionLevel(seed.level);
        Check(archive.CreateArchive(out / seed.name), seed.name);
        for (const char* entry : {"OBA1.TMP", "OBR2.TMP", "Inbox.dbx", "Sent Items.dbx", "OBS3.TMP",
                                  kInformationFileName}) {
            auto added = archive.AddFileEntry(work / entry);
            Check(added.ok() ? Status::Ok() : Status::Error(added.reason()), entry);
        }
        archive.EncryptOnWrite(*seed.password != '\0');
        archive.WritePassword(seed.password);
        Check(archive.SaveArchive(), seed.name);
    }
}

// Message stores written from the format's layout: a deep tree with every kind of message (direct
// and indirect fields, no body, lost, deleted), the same store damaged, and a folder list.
void DbxReaderSeeds(const fs::path& out) {
    fs::create_directories(out);
    const fs::path store = out / "messages.dbx";
    auto writeStore = [&](const fs::path& file) {
        testing::DbxStoreBuilder builder(file, {.treeFanOut = 2});
        const std::string text =
            "Subject: seed\r\nFrom: a@example.org\r\n\r\n" + std::string(0x230, 'x') + "\r\n";
        builder.addMessage(text);
        builder.addMessage(text, {.indirectFields = true});
        builder.addMessage(text, {.withoutBody = true});
        builder.addMessage(text, {.placement = testing::DbxPlacement::kLost});
        builder.addMessage(text, {.placement = testing::DbxPlacement::kDeleted});
        builder.addMessage("Subject: short\r\n\r\nbody\r\n", {.index = 9});
        return builder.finish();
    };
    writeStore(store);
    for (testing::DbxDamage damage :
         {testing::DbxDamage::kChunkLoop, testing::DbxDamage::kBadNodeMarker}) {
        const fs::path damaged =
            out / (std::string("damaged-") + testing::DbxDamageName(damage) + ".dbx");
        testing::DamageDbxStore(damaged, writeStore(damaged), damage);
    }
    testing::WriteDbxFolderList(out / "Folders.dbx", testing::StandardDbxFolders());

    // Stores that would cost far more than their size: many messages whose chains lead into one
    // long chain, many whose chains lead into one chunk that loops, and a deep chain of folders.
    for (const bool loop : {false, true}) {
        const fs::path file = out / (loop ? "shared-loop.dbx" : "shared-chain.dbx");
        testing::DbxStoreBuilder builder(file);
        builder.addMessage("Subject: long\r\n\r\n" + std::string(loop ? 10 : 20 * 0x200, 'x'));
        for (int i = 0; i < 300; ++i) builder.addMessage("Subject: short\r\n\r\nx\r\n");
        const testing::DbxStoreLayout layout = builder.finish();
        const std::uint32_t head = layout.messages.front().chunks.front();
        if (loop) testing::PatchUint32(file, head + mailstore::kChunkNext, head);
        for (std::size_t i = 1; i < layout.messages.size(); ++i) {
            testing::PatchUint32(file, layout.messages[i].chunks.back() + mailstore::kChunkNext,
                                 head);
        }
    }
    std::vector<testing::DbxFolder> deep = {{0, 0xFFFFFFFF, "Outlook Express", "", 0}};
    for (std::uint32_t id = 1; id <= 1000; ++id) deep.push_back({id, id - 1, "Deep", "", 0});
    deep.back().storeFile = "Deep.dbx";
    testing::WriteDbxFolderList(out / "deep-folders.dbx", deep);
}

// Address books written from the format's layout: every kind of property, a group, a deleted and
// an unindexed record; the same book with its index naming one record twice, and cut short.
void WabReaderSeeds(const fs::path& out) {
    fs::create_directories(out);
    using testing::TextProperty;
    testing::WabRecord person{1,
                              {TextProperty(wab::kDisplayName, "Zoë Ångström"),
                               TextProperty(wab::kEmailAddress, "zoe@example.org"),
                               testing::TextListProperty(wab::kOtherEmails, {"a@x.org", "b@x.org"}),
                               TextProperty(wab::kComment, "a, b; c\\\r\nd"),
                               TextProperty(wab::kHomeCity, "Besançon"),
                               {wab::Tag(wab::kOffice, wab::kTypeString8), {"Caf\xE9"}},
                               {wab::Tag(0x3A40, wab::kTypeLong), {std::string(4, '\1')}}}};
    testing::WabRecord group{2,
                             {TextProperty(wab::kDisplayName, "Club"),
                              testing::GroupMembersProperty({"a@x.org", "b@x.org"})}};
    testing::WabRecord deleted{3, {TextProperty(wab::kDisplayName, "Gone")}, false, false};
    testing::WabRecord lost{4, {TextProperty(wab::kDisplayName, "Lost")}, true, false};
    testing::BuiltWab built = testing::BuildWab({person, group, deleted, lost});
    Write(out / "book.wab", built.bytes);
    std::string loop = built.bytes;
    testing::PutWord(loop, built.indexOffset + wab::kIndexEntrySize + 4, built.recordOffsets[0]);
    Write(out / "index-loop.wab", loop);
    Write(out / "cut.wab", built.bytes.substr(0, built.recordOffsets[1] + 40));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillet_fuzz_seeds SAMPLE_PREFIX OUT_DIR\n");
        return 2;
    }
    const fs::path prefix = argv[1];
    const fs::path out = argv[2];
    RegistryTextSeeds(prefix / "user.reg", out / "registry_text");
    fs::path information;
    InformationFileSeeds(out / "information_file", &information);
    JobCommandLineSeeds(out / "job_command_line");
    DbxReaderSeeds(out / "dbx_reader");
    WabReaderSeeds(out / "wab_reader");
    OpenBackupSeeds(out / "registry_text", information, out / "open_backup");
    return 0;
}
