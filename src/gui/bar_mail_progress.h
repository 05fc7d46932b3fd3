#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mailstore/mail_progress.h"

class QProgressBar;

namespace quillet {

// The progress of a mail export on a window's bar: the store being read and the share of all
// stores' bytes. It keeps the window answering meanwhile, so that closing it can set
// `cancelRequested`, which the export asks between messages.
class BarMailProgress : public mailstore::MailProgress {
  public:
    BarMailProgress(QProgressBar& bar, const bool& cancelRequested)
        : m_bar(bar), m_cancelRequested(cancelRequested) {}

    void storeStarted(const std::string& fileName, std::size_t position,
                      std::size_t count) override;
    void bytesDone(std::uint64_t done, std::uint64_t total) override;
    bool cancelRequested() override;

  private:
    QProgressBar& m_bar;
    const bool& m_cancelRequested;
};

}  // namespace quillet
