#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mailstore/message_state.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Writes messages one after the other in the mboxrd form: each opens with a "From " line
// (MboxFromLine of its header block), then come its bytes exactly as given, except that every
// line matching ">*From " gets one more ">" in front; the message ends with a line break (one is
// added only when its last line has none) and an empty line follows.
//
// A message arrives in pieces of any size and is never held whole: only its header block is kept
// until its end, up to kHeaderBlockLimit bytes, to find the sender and the date; the quoting works
// across the pieces' boundaries. The output goes to `output` in blocks of about kOutputBlock
// bytes; flush() hands over what is left.
//
// setFields() changes the next message's header block: the fields it names are left out of the
// block (with their continuation lines) and written at its end, before its empty line, in the
// block's line ends. A message whose header block has no end within kHeaderBlockLimit bytes is
// written unchanged. A failure of `output` is returned as it is, and the
// writer must not be used afterwards. One thread at a time.
class MboxWriter {
  public:
    using Output = std::function<Status(std::string_view)>;

    static constexpr std::size_t kHeaderBlockLimit = 64 * 1024;
    static constexpr std::size_t kOutputBlock = 256 * 1024;

    explicit MboxWriter(Output output) : m_output(std::move(output)) {}

    // The next piece of the current message (the first piece starts a message).
    Status write(std::span<const std::byte> piece);

    // The fields of the next message (none: written as given). Call before its first write().
    void setFields(std::vector<StateField> fields) { m_fields = std::move(fields); }

    // Ends the current message (an empty one too). The next write() starts another.
    Status finishMessage();

    // Hands everything written so far to the output.
    Status flush();

  private:
    Status append(std::string_view text);
    Status startBody();
    Status quote(std::string_view text);
    Status releaseHeld();
    std::string withFields(std::string_view header) const;

    Output m_output;
    std::string m_pending;  // output not yet handed over

    bool m_started = false;  // the current message has a From line
    std::string m_header;    // the header block while it is looked for
    std::vector<StateField> m_fields;

    // The quoting: at a line's start, the ">" and the part of "From " seen are held back until
    // they turn out to be (or not to be) a line to quote.
    bool m_atLineStart = true;
    std::uint64_t m_heldQuotes = 0;
    std::size_t m_heldFrom = 0;

    bool m_empty = true;  // nothing of the current message given yet
    char m_last = '\0';   // the current message's last byte
    bool m_crlf = false;  // the message's lines end in CR LF
};

}  // namespace quillet::mailstore
