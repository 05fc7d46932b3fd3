#include "support/schedule/standin_crontab.h"

#include <sys/stat.h>

#include "support/platform/temp_dir.h"

namespace quillet::testing {

StandinCrontab::StandinCrontab(const std::filesystem::path& folder)
    : m_folder(folder), m_program(folder / "bin" / "crontab") {
    std::filesystem::create_directories(m_program.parent_path());
    WriteFileBytes(
        m_program,
        "#!/bin/sh\n"
        "dir='" +
            folder.string() +
            "'\n"
            "case \"$1\" in\n"
            "-l)\n"
            "  if [ -f \"$dir/change\" ]; then\n"
            "    if [ -f \"$dir/read-once\" ]; then echo '# changed' >> \"$dir/crontab.txt\"; fi\n"
            "    touch \"$dir/read-once\"\n"
            "  fi\n"
            "  [ -f \"$dir/crontab.txt\" ] || { echo 'no crontab for tester' >&2; exit 1; }\n"
            "  cat \"$dir/crontab.txt\" ;;\n"
            "-)\n"
            "  if [ -f \"$dir/refuse\" ]; then\n"
            "    echo \"errors in crontab file, can't install.\" >&2; exit 1\n"
            "  fi\n"
            "  cat > \"$dir/crontab.new\" && mv \"$dir/crontab.new\" \"$dir/crontab.txt\" ;;\n"
            "*) echo 'usage: crontab -l | crontab -' >&2; exit 1 ;;\n"
            "esac\n");
    chmod(m_program.c_str(), 0755);
}

std::string StandinCrontab::text() const {
    const std::filesystem::path file = m_folder / "crontab.txt";
    return std::filesystem::exists(file) ? ReadFileBytes(file) : std::string();
}

void StandinCrontab::setText(const std::string& text) {
    WriteFileBytes(m_folder / "crontab.txt", text);
}

void StandinCrontab::refuseWrites() { WriteFileBytes(m_folder / "refuse", ""); }

void StandinCrontab::changeOnLaterReads() { WriteFileBytes(m_folder / "change", ""); }

}  // namespace quillet::testing
