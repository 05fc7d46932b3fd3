// Reading Wine's registry file text into a key tree.
#include <charconv>
#include <cstring>

#include "platform/hex_digits.h"
#include "registry/registry_name.h"
#include "registry/registry_store.h"
#include "registry/utf16_bytes.h"
#include "registry/wine_registry_file.h"
#include "registry/wine_string_escape.h"

namespace quillet::registry {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kTicks1601To1970 = 116444736000000000ULL;
constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

// One line of the file: its bytes with the line end, and its content without it.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;  // past the line end
    std::string_view content;
};

class LineReader {
  public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    bool next(Line* line) {
        if (m_pos >= m_text.size()) return false;
        std::size_t newline = m_text.find('\n', m_pos);
        const std::size_t end = newline == std::string_view::npos ? m_text.size() : newline + 1;
        std::size_t contentEnd = newline == std::string_view::npos ? m_text.size() : newline;
        if (contentEnd > m_pos && m_text[contentEnd - 1] == '\r') --contentEnd;
        *line = Line{m_pos, end, m_text.substr(m_pos, contentEnd - m_pos)};
        m_pos = end;
        ++m_number;
        return true;
    }
    std::size_t number() const { return m_number; }

  private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

bool IsBlank(std::string_view content) {
    return content.find_first_not_of(" \t") == std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Reads hex digits at `pos` into `value`; false when there are none.
bool ParseHexNumber(std::string_view text, std::size_t& pos, std::uint64_t* value) {
    const std::size_t start = pos;
    *value = 0;
    while (pos < text.size() && HexDigitValue(text[pos]) >= 0) {
        *value = *value * 16 + static_cast<std::uint64_t>(HexDigitValue(text[pos]));
        ++pos;
    }
    return pos > start && pos - start <= 16;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : m_text(text), m_reader(text) {}

    Result<std::unique_ptr<KeyTree>> run() {
        m_tree = std::make_unique<KeyTree>();
        Line line;
        if (!m_reader.next(&line) || line.content != kSignature) {
            return Status::Error("not a Wine registry file (its first line is not \"" +
                                 std::string(kSignature) + "\")");
        }
        std::size_t contentEnd = line.end;  // end of the last non-blank line
        bool inHeader = true;
        while (m_reader.next(&line)) {
            if (IsBlank(line.content)) continue;
            if (line.content[0] == '[') {
                if (inHeader) {
                    m_tree->header = std::string(m_text.substr(0, contentEnd));
                    inHeader = false;
                } else {
                    finishBlock(contentEnd);
                }
                Status status = startBlock(line, contentEnd);
                if (!status) return status;
            } else if (inHeader) {
                // Header lines (comments, #arch=) stay in the header text.
            } else {
                // Blank lines inside a block are kept as lines we do not interpret.
                for (std::size_t blank = contentEnd; blank < line.begin;) {
                    const std::size_t next = m_text.find('\n', blank);
                    const std::size_t end = next == std::string_view::npos ? line.begin : next + 1;
                    m_node->metaLines.emplace_back(m_text.substr(blank, end - blank));
                    blank = end;
                }
                readContentLine(line);
            }
            contentEnd = m_lastEnd > line.end ? m_lastEnd : line.end;
        }
        if (inHeader) {
            m_tree->header = std::string(m_text.substr(0, contentEnd));
        } else {
            finishBlock(contentEnd);
        }
        m_tree->trailer = std::string(m_text.substr(contentEnd));
        checkTreeOrder();
        return std::move(m_tree);
    }

  private:
    Status startBlock(const Line& line, std::size_t leadingBegin) {
        std::u16string path;
        std::size_t pos = 1;
        if (!ParseWineEscaped(line.content, pos, ']', &path)) {
            return Status::Error("line " + std::to_string(m_reader.number()) +
                                 ": a key line without its closing \"]\"");
        }
        std::size_t depth = 0;
        for (std::size_t start = 0; start < path.size();) {
            std::size_t cut = path.find(u'\\', start);
            if (cut == std::u16string::npos) cut = path.size();
            if (cut > start) ++depth;
            start = cut + 1;
        }
        if (depth > kMaxKeyDepth) {
            return Status::Error("line " + std::to_string(m_reader.number()) + ": a key " +
                                 std::to_string(depth) + " levels deep, deeper than the " +
                                 std::to_string(kMaxKeyDepth) + " levels a registry allows");
        }
        std::shared_ptr<KeyNode> node = m_tree->root;
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t cut = path.find(u'\\', start);
            if (cut == std::u16string::npos) cut = path.size();
            if (cut > start) {
                bool created = false;
                node = node->addSubkey(NameFromUtf16(path.substr(start, cut - start)), &created);
                if (created) node->changed = false;
            }
            start = cut + 1;
        }
        if (node->hasSourceBlock) node->changed = true;  // a key listed twice is written once
        m_node = node.get();
        m_node->hasSourceBlock = true;
        m_node->leadingLines = std::string(m_text.substr(leadingBegin, line.begin - leadingBegin));
        m_node->fileOrder = m_blockCount++;
        m_blockBegin = line.begin;

        std::string_view rest = line.content.substr(pos + 1);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        std::uint64_t seconds = 0;
        const auto parsed = std::from_chars(rest.data(), rest.data() + rest.size(), seconds);
        if (parsed.ec == std::errc()) m_node->modified = TicksFromUnixSeconds(seconds);
        return Status::Ok();
    }

    void finishBlock(std::size_t contentEnd) {
        m_node->sourceBlock = std::string(m_text.substr(m_blockBegin, contentEnd - m_blockBegin));
    }

    void readContentLine(const Line& line) {
        const std::string_view content = line.content;
        if (StartsWith(content, "#time=")) {
            std::size_t pos = 6;
            std::uint64_t ticks = 0;
            if (ParseHexNumber(content, pos, &ticks) && pos == content.size()) {
                m_node->modified = ticks;
                return;
            }
        }
        if ((content[0] == '@' || content[0] == '"') && readValue(line)) return;
        m_node->metaLines.emplace_back(m_text.substr(line.begin, line.end - line.begin));
    }

    // Reads a value line (and its continuation lines); false, consuming nothing more, when the
    // line is not a value Wine could read.
    bool readValue(const Line& line) {
        std::string_view content = line.content;
        RegValue value;
        std::size_t pos = 1;
        if (content[0] == '"') {
            std::u16string name;
            if (!ParseWineEscaped(content, pos, '"', &name)) return false;
            ++pos;
            value.name = NameFromUtf16(name);
            value.folded = FoldName(name);
        }
        if (pos >= content.size() || content[pos] != '=') return false;
        ++pos;
        const std::string_view data = content.substr(pos);

        std::size_t end = line.end;
        if (!data.empty() && data[0] == '"') {
            if (!readText(content, pos, kRegSz, &value)) return false;
        } else if (StartsWith(data, "str:\"")) {
            pos += 4;
            if (!readText(content, pos, kRegSz, &value)) return false;
        } else if (StartsWith(data, "str(")) {
            pos += 4;
            std::uint64_t type = 0;
            if (!ParseHexNumber(content, pos, &type) || type > 0xFFFFFFFF ||
                content.substr(pos, 3) != "):\"") {
                return false;
            }
            pos += 2;
            if (!readText(content, pos, static_cast<std::uint32_t>(type), &value)) return false;
        } else if (StartsWith(data, "dword:")) {
            pos += 6;
            std::uint64_t number = 0;
            if (!ParseHexNumber(content, pos, &number) || number > 0xFFFFFFFF ||
                pos != content.size()) {
                return false;
            }
            value.type = kRegDword;
            for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
        } else if (StartsWith(data, "hex")) {
            pos += 3;
            std::uint64_t type = kRegBinary;
            if (pos < content.size() && content[pos] == '(') {
                ++pos;
                if (!ParseHexNumber(content, pos, &type) || type > 0xFFFFFFFF ||
                    pos >= content.size() || content[pos] != ')') {
                    return false;
                }
                ++pos;
            }
            if (pos >= content.size() || content[pos] != ':') return false;
            ++pos;
            value.type = static_cast<std::uint32_t>(type);
            if (!readHexBytes(content.substr(pos), &value.data, &end)) return false;
        } else {
            return false;
        }
        value.sourceText = std::string(m_text.substr(line.begin, end - line.begin));
        m_lastEnd = end;
        m_node->loadValue(std::move(value));
        return true;
    }

    bool readText(std::string_view content, std::size_t pos, std::uint32_t type, RegValue* value) {
        std::u16string text;
        ++pos;  // the opening quote
        if (!ParseWineEscaped(content, pos, '"', &text)) return false;
        if (pos + 1 != content.size()) return false;
        text += u'\0';
        value->type = type;
        value->data = Utf16LeBytes(text);
        return true;
    }

    // Reads comma-separated hex bytes; a line ending in a backslash continues on the next line.
    // `end` becomes the end of the last line read.
    bool readHexBytes(std::string_view content, std::string* bytes, std::size_t* end) {
        LineReader lookahead = m_reader;
        std::size_t lastEnd = *end;
        std::size_t pos = 0;
        for (;;) {
            while (pos < content.size() && (content[pos] == ' ' || content[pos] == '\t')) ++pos;
            if (pos >= content.size()) break;
            if (content[pos] == '\\' && pos + 1 == content.size()) {
                Line next;
                if (!lookahead.next(&next)) return false;
                content = next.content;
                lastEnd = next.end;
                pos = 0;
                continue;
            }
            const int high = HexDigitValue(content[pos]);
            const int low = pos + 1 < content.size() ? HexDigitValue(content[pos + 1]) : -1;
            if (high < 0 || low < 0) return false;
            bytes->push_back(static_cast<char>(high * 16 + low));
            pos += 2;
            if (pos < content.size() && content[pos] == ',') ++pos;
        }
        m_reader = lookahead;
        *end = lastEnd;
        return true;
    }

    void checkTreeOrder() {
        std::size_t last = 0;
        bool first = true;
        bool ordered = true;
        walk(*m_tree->root, [&](const KeyNode& node) {
            if (!node.hasSourceBlock) return;
            if (!first && node.fileOrder < last) ordered = false;
            last = node.fileOrder;
            first = false;
        });
        m_tree->treeOrdered = ordered;
    }

    // Recurses once a level, bounded by the refusal of keys deeper than kMaxKeyDepth.
    template <typename Visit>
    static void walk(const KeyNode& node, Visit&& visit) {
        visit(node);
        for (const auto& child : node.subkeys()) walk(*child, visit);
    }

    std::string_view m_text;
    LineReader m_reader;
    std::unique_ptr<KeyTree> m_tree;
    KeyNode* m_node = nullptr;
    std::size_t m_blockBegin = 0;
    std::size_t m_blockCount = 0;
    std::size_t m_lastEnd = 0;
};

}  // namespace

std::uint64_t TicksFromUnixSeconds(std::uint64_t seconds) {
    return seconds * kTicksPerSecond + kTicks1601To1970;
}

std::uint64_t UnixSecondsFromTicks(std::uint64_t ticks) {
    return ticks < kTicks1601To1970 ? 0 : (ticks - kTicks1601To1970) / kTicksPerSecond;
}

Result<std::unique_ptr<KeyTree>> ParseWineRegistry(std::string_view text) {
    return Parser(text).run();
}

}  // namespace quillet::registry
