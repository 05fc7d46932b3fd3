#pragma once

#include <filesystem>
#include <string>

namespace quillet::testing {

// A stand-in for the `crontab` command over one file, so that tests never touch the machine's
// own crontab: `crontab -l` prints the file (or fails with "no crontab for ..." when there is
// none), `crontab -` replaces it with standard input. It can be told to refuse every write, or
// to change the file on every read after the first (as another program editing it would).
class StandinCrontab {
  public:
    // Writes the stand-in into `folder`/bin/crontab; `folder` must exist and hold no "'".
    explicit StandinCrontab(const std::filesystem::path& folder);

    // The stand-in program; its folder can go first on PATH.
    const std::filesystem::path& program() const { return m_program; }
    // The crontab's text; empty when there is none.
    std::string text() const;
    void setText(const std::string& text);
    void refuseWrites();
    void changeOnLaterReads();

  private:
    std::filesystem::path m_folder;
    std::filesystem::path m_program;
};

}  // namespace quillet::testing
