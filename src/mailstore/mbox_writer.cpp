#include "mailstore/mbox_writer.h"

#include <algorithm>
#include <cstring>

#include "mailstore/mbox_from_line.h"
#include "platform/case_fold.h"

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

// Whether `line` is a field named `name` (any case; blanks may come before the colon).
bool IsField(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || !EqualsIgnoringCase(line.substr(0, name.size()), name)) {
        return false;
    }
    const std::size_t colon = line.find_first_not_of(" \t", name.size());
    return colon != std::string_view::npos && line[colon] == ':';
}

}  // namespace

std::string MboxWriter::withFields(std::string_view header) const {
    const std::size_t end = HeaderBlockEnd(header, 0);
    if (m_fields.empty() || end == std::string_view::npos) return std::string(header);
    const bool crlf = end >= 2 && header[end - 2] == '\r';
    const std::size_t fieldsEnd = end - (crlf ? 2 : 1);
    std::string out;
    out.reserve(header.size() + 64);
    bool dropping = false;  // the line before was left out: so are its continuation lines
    for (std::size_t at = 0; at < fieldsEnd;) {
        const std::size_t next = std::min(header.find('\n', at), fieldsEnd - 1) + 1;
        const std::string_view line = header.substr(at, next - at);
        const bool continuation = line.front() == ' ' || line.front() == '\t';
        if (!continuation || !dropping) {
            dropping = std::any_of(m_fields.begin(), m_fields.end(),
                                   [&](const StateField& f) { return IsField(line, f.name); });
        }
        if (!dropping) out += line;
        at = next;
    }
    for (const StateField& field : m_fields) {
        if (field.value.empty()) continue;
        out.append(field.name).append(": ").append(field.value).append(crlf ? "\r\n" : "\n");
    }
    out += header.substr(fieldsEnd);
    return out;
}

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
    return quote(withFields(header));
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
    // Bytes that go out unchanged are handed on as one run, not line by line.
    std::size_t runStart = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        if (!m_atLineStart) {
            const void* found = std::memchr(text.data() + position, '\n', text.size() - position);
            if (found == nullptr) break;
            const std::size_t newline = static_cast<const char*>(found) - text.data();
            if (!m_crlf) m_crlf = newline > 0 ? text[newline - 1] == '\r' : m_last == '\r';
            position = newline + 1;
            m_atLineStart = true;
            continue;
        }
        const char c = text[position];
        const bool held = m_heldQuotes > 0 || m_heldFrom > 0;
        if (!held && c != '>' && c != kFromWord.front()) {
            m_atLineStart = false;
            continue;
        }
        if (Status s = append(text.substr(runStart, position - runStart)); !s) return s;
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
        runStart = position;
    }
    m_last = text.back();
    return append(text.substr(runStart));
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
    m_fields.clear();
    return append(kSeparatorEnd);
}

}  // namespace quillet::mailstore
