#include "mailstore/mbox_writer.h"

#include <algorithm>
#include <cstring>

#include "mailstore/mbox_from_line.h"

namespace quillet::mailstore {

namespace {

constexpr std::string_view kFromWord = "From ";

// The separator line and the empty line after each message end in LF alone, whatever the
// messages' own line ends: Python's mailbox.mbox takes only b"\n" for the empty line before a
// "From " line (a CR LF there would become part of the message), and Thunderbird reads either.
constexpr std::string_view kSeparatorEnd = "\n";

// Where the header block ends (the index after its empty line), or npos; `from` is where the
// search may start.
std::size_t HeaderBlockEnd(std::string_view text, std::size_t from) {
    if (text.starts_with("\r\n")) return 2;
    if (text.starts_with("\n")) return 1;
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        if (i + 1 < text.size() && text[i + 1] == '\n') return i + 2;
        if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') return i + 3;
    }
    return std::string_view::npos;
}

}  // namespace

Status MboxWriter::append(std::string_view text) {
    m_pending += text;
    if (m_pending.size() < kOutputBlock) return Status::Ok();
    return flush();
}

Status MboxWriter::flush() {
    if (m_pending.empty()) return Status::Ok();
    Status status = m_output(m_pending);
    m_pending.clear();
    return status;
}

Status MboxWriter::write(std::span<const std::byte> piece) {
    const std::string_view text(reinterpret_cast<const char*>(piece.data()), piece.size());
    if (text.empty()) return Status::Ok();
    m_empty = false;
    if (m_started) return quote(text);
    const std::size_t searchFrom = m_header.size() < 2 ? 0 : m_header.size() - 2;
    m_header += text;
    if (HeaderBlockEnd(m_header, searchFrom) == std::string_view::npos &&
        m_header.size() < kHeaderBlockLimit) {
        return Status::Ok();
    }
    return startBody();
}

Status MboxWriter::startBody() {
    m_started = true;
    std::string header;
    header.swap(m_header);
    if (Status s = append(MboxFromLine(header)); !s) return s;
    if (Status s = append(kSeparatorEnd); !s) return s;
    return quote(header);
}

Status MboxWriter::releaseHeld() {
    static const std::string kQuotes(1024, '>');
    while (m_heldQuotes > 0) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_heldQuotes, kQuotes.size()));
        if (Status s = append(std::string_view(kQuotes).substr(0, count)); !s) return s;
        m_heldQuotes -= count;
    }
    Status status = append(kFromWord.substr(0, m_heldFrom));
    m_heldFrom = 0;
    m_atLineStart = false;
    return status;
}

Status MboxWriter::quote(std::string_view text) {
    if (text.empty()) return Status::Ok();
    std::size_t position = 0;
    while (position < text.size()) {
        if (!m_atLineStart) {
            const void* found = std::memchr(text.data() + position, '\n', text.size() - position);
            const std::size_t end =
                found == nullptr ? text.size() : static_cast<const char*>(found) - text.data() + 1;
            if (found != nullptr && !m_crlf) {
                const std::size_t newline = end - 1;
                m_crlf = newline > 0 ? text[newline - 1] == '\r' : m_last == '\r';
            }
            if (Status s = append(text.substr(position, end - position)); !s) return s;
            position = end;
            m_atLineStart = found != nullptr;
            continue;
        }
        const char c = text[position];
        if (m_heldFrom == 0 && c == '>') {
            ++m_heldQuotes;
            ++position;
        } else if (c == kFromWord[m_heldFrom]) {
            ++position;
            if (++m_heldFrom == kFromWord.size()) {
                if (Status s = append(">"); !s) return s;
                if (Status s = releaseHeld(); !s) return s;
            }
        } else if (Status s = releaseHeld(); !s) {
            return s;
        }
    }
    m_last = text.back();
    return Status::Ok();
}

Status MboxWriter::finishMessage() {
    if (!m_started) {
        if (Status s = startBody(); !s) return s;
    }
    if (Status s = releaseHeld(); !s) return s;
    if (!m_empty && m_last != '\n') {
        if (Status s = append(m_last == '\r' ? "\n" : m_crlf ? "\r\n" : "\n"); !s) return s;
    }
    m_started = false;
    m_atLineStart = true;
    m_empty = true;
    m_last = '\0';
    m_crlf = false;
    return append(kSeparatorEnd);
}

}  // namespace quillet::mailstore
