#include "cli/terminal_progress.h"

#include <unistd.h>

#include <cstdio>

namespace quillet::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kTextWidth = 40;

}  // namespace

TerminalProgress::TerminalProgress(std::ostream& err, bool enabled)
    : m_err(err), m_enabled(enabled) {}

TerminalProgress::~TerminalProgress() {
    if (m_drawn) m_err << '\n';
}

bool TerminalProgress::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void TerminalProgress::status(const std::string& text) {
    m_text = text;
    draw();
}

void TerminalProgress::progress(int value) {
    m_value = value;
    draw();
}

void TerminalProgress::EntryAdding(const std::string& name) { status("Adding File " + name); }

void TerminalProgress::EntryExtracting(const std::string& name) { status("Unzip File " + name); }

void TerminalProgress::SaveProgress(int percent) {
    status("Write File " + std::to_string(percent) + "%");
}

void TerminalProgress::draw() {
    if (!m_enabled) return;
    const int filled = m_value * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::string text = m_text.substr(0, kTextWidth);
    text.resize(kTextWidth, ' ');
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", m_value);
    m_err << "\r[" << bar << "] " << percent << ' ' << text << std::flush;
    m_drawn = true;
}

}  // namespace quillet::cli
