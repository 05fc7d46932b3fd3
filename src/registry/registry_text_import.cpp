// Reading the registry text form back below a base key.
#include <algorithm>
#include <charconv>
#include <vector>

#include "platform/bounded_read.h"
#include "platform/text_encoding.h"
#include "registry/registry_name.h"
#include "registry/registry_text.h"
#include "registry/utf16_bytes.h"

namespace quillet::registry {
namespace {

// One change the file asks for, checked before any is made.
struct Step {
    enum Kind { kReplaceBase, kOpenKey, kSetValue } kind;
    std::string relativePath;  // kOpenKey: the key line
    std::string name;          // kSetValue
    std::uint32_t type = 0;
    std::string data;  // as the registry stores it (UTF-16LE for text)
};

// The line starting at text[*start] (without its CR LF, lone LF or lone CR); moves *start past it.
std::string_view NextLine(std::string_view text, std::size_t* start) {
    const std::size_t from = *start;
    const std::size_t end = text.find_first_of("\r\n", from);
    if (end == std::string_view::npos) {
        *start = text.size();
        return text.substr(from);
    }
    *start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    return text.substr(from, end - from);
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string(bytes / (1024 * 1024)) + " MB"; }

// The bytes of `file`, refused without reading more than one piece past kMaxRegistryTextBytes.
Result<std::string> ReadBounded(const std::filesystem::path& file) {
    Result<std::string> bytes = ReadFileUpTo(file, kMaxRegistryTextBytes);
    if (!bytes) return bytes;
    if (bytes->size() > kMaxRegistryTextBytes) {
        return Status::Error(file.string() + " holds more than the " +
                                 Megabytes(kMaxRegistryTextBytes) +
                                 " a registry text file may hold; nothing changed",
                             ErrorKind::kCorrupt);
    }
    return bytes;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool ParseDecimal(std::string_view text, long long low, long long high, long long* value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && *value >= low &&
           *value <= high;
}

bool ParseBytes(std::string_view data, std::string* bytes) {
    bytes->clear();
    if (data.empty()) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = data.find(',', start);
        long long byte;
        if (!ParseDecimal(data.substr(start, comma - start), 0, 255, &byte)) return false;
        bytes->push_back(static_cast<char>(byte));
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

bool UnescapeLineBreaks(std::string_view text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case '\\':
                *out += '\\';
                break;
            case 'r':
                *out += '\r';
                break;
            case 'n':
                *out += '\n';
                break;
            default:
                return false;
        }
    }
    return true;
}

std::string StoredText(std::string_view utf8) {
    std::u16string units = Utf8ToUtf16(utf8);
    units += u'\0';
    return Utf16LeBytes(units);
}

// The number of bytes of the UTF-8 character that starts at `at` (the text is valid UTF-8).
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    return end - at;
}

// Where the UTF-8 character that ends just before `end` starts.
std::size_t CharacterStartBefore(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    return start;
}

// Reads the value line into a step. An unknown type gives no step; a malformed line an error.
// The opening quote, the closing quote and the ":" of the type mark are skipped as whole
// characters, whatever stands there, so that a name or text never starts or ends inside one.
Status ParseValueLine(std::string_view line, std::vector<Step>* steps) {
    const std::size_t equals = line.find('=');
    const std::size_t nameStart = line.empty() ? 0 : CharacterLength(line, 0);
    if (equals == std::string_view::npos || equals <= nameStart) {
        return Status::Error("a value line without \"=\" after its name");
    }
    const std::size_t nameEnd = CharacterStartBefore(line, equals);
    Step step{Step::kSetValue, {}, std::string(line.substr(nameStart, nameEnd - nameStart)), 0, {}};
    const std::string_view type = Trim(line.substr(equals + 1, 3));
    std::size_t dataStart = equals + 4;
    if (dataStart < line.size()) dataStart += CharacterLength(line, dataStart);
    const std::string_view data = dataStart < line.size() ? line.substr(dataStart) : "";
    if (type == "sz" || type == "esz") {
        step.type = type == "sz" ? kRegSz : kRegExpandSz;
        step.data = StoredText(data);
    } else if (type == "xsz" || type == "xes") {
        std::string text;
        if (!UnescapeLineBreaks(data, &text)) return Status::Error("a text with a bad escape");
        step.type = type == "xsz" ? kRegSz : kRegExpandSz;
        step.data = StoredText(text);
    } else if (type == "dw") {
        long long number;
        if (!ParseDecimal(data, INT32_MIN, INT32_MAX, &number)) {
            return Status::Error("\"" + std::string(data) + "\" is not a 32-bit number");
        }
        const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(number));
        step.type = kRegDword;
        for (int i = 0; i < 4; ++i) step.data += static_cast<char>((bits >> (8 * i)) & 0xFF);
    } else if (type == "bin" || (type.size() == 3 && type[0] == 'r')) {
        std::string_view bytes = data;
        if (type == "bin") {
            step.type = kRegBinary;
        } else if (type == "rxt") {
            // The type in hex, one to eight digits, then ":" and the bytes.
            const std::size_t colon = data.find(':');
            std::uint32_t number = 0;
            if (colon == 0 || colon > 8 ||
                std::from_chars(data.data(), data.data() + colon, number, 16).ptr !=
                    data.data() + colon) {
                return Status::Error("a value type that is not a hexadecimal number of 32 bits");
            }
            step.type = number;
            bytes = data.substr(colon + 1);
        } else {
            unsigned number = 0;
            const auto result = std::from_chars(type.data() + 1, type.data() + 3, number, 16);
            if (result.ec != std::errc() || result.ptr != type.data() + 3) return Status::Ok();
            step.type = number;
        }
        if (!ParseBytes(bytes, &step.data)) {
            return Status::Error("binary data that is not numbers from 0 to 255 joined by \",\"");
        }
    } else {
        return Status::Ok();  // a type this reader does not know is skipped
    }
    steps->push_back(std::move(step));
    return Status::Ok();
}

// The encoding whose byte-order mark `bytes` begin with, or nullptr.
const char* ByteOrderMarkOf(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) return "UTF-8";
    if (bytes.starts_with("\xFF\xFE")) return "UTF-16LE";
    if (bytes.starts_with("\xFE\xFF")) return "UTF-16BE";
    return nullptr;
}

// The number of names in a backslash-separated path; empty components do not count.
std::size_t PathDepth(std::string_view path) {
    std::size_t depth = 0;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t cut = path.find('\\', start);
        if (cut == std::string_view::npos) cut = path.size();
        if (cut > start) ++depth;
        start = cut + 1;
    }
    return depth;
}

// The number of characters of the longest name in a backslash-separated path.
std::size_t LongestNameChars(std::string_view path) {
    std::size_t longest = 0;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t cut = path.find('\\', start);
        if (cut == std::string_view::npos) cut = path.size();
        longest = std::max(longest, CharCount(path.substr(start, cut - start)));
        start = cut + 1;
    }
    return longest;
}

Result<std::vector<Step>> ParseFile(std::string_view text, const std::string& basePath,
                                    std::size_t baseDepth) {
    std::vector<Step> steps;
    std::string currentKeyPath;
    std::size_t start = 0;
    for (std::size_t i = 0; start < text.size(); ++i) {
        const std::string_view line = NextLine(text, &start);
        if (line.empty()) break;
        if (i >= kMaxRegistryTextLines) {
            return Status::Error("more than " + std::to_string(kMaxRegistryTextLines) +
                                     " lines, more than a registry text file may hold",
                                 ErrorKind::kCorrupt);
        }
        if (line.size() > kMaxRegistryTextLineBytes) {
            return Status::Error("line " + std::to_string(i + 1) + ": longer than the " +
                                     Megabytes(kMaxRegistryTextLineBytes) +
                                     " a line of a registry text file may hold",
                                 ErrorKind::kCorrupt);
        }
        if (line.front() == '\\') {
            // "\\" alone is the exported key; any other key line names a key below it, each name
            // after one backslash. An empty name would make the line read as another key.
            if (line.size() > 1 && (line.back() == '\\' || line.find("\\\\") != line.npos)) {
                return Status::Error("line " + std::to_string(i + 1) +
                                     ": a key line with an empty key name");
            }
            // The registry takes a key path as text that ends at its first zero, so a key line
            // holding one names the key before it.
            const std::string_view path = line.substr(0, line.find('\0'));
            const std::string keyPath = basePath + std::string(path);
            if (keyPath == currentKeyPath) continue;  // the key that is current already
            // A name the export would refuse would be restored, and every later backup of the
            // tree would then fail.
            if (const std::size_t chars = LongestNameChars(path); chars > kKeyNameBufferChars) {
                return Status::Error("line " + std::to_string(i + 1) + ": a key name of " +
                                         std::to_string(chars) + " characters, more than the " +
                                         std::to_string(kKeyNameBufferChars) +
                                         " a registry text file may hold",
                                     ErrorKind::kCorrupt);
            }
            currentKeyPath = keyPath;
            if (const std::size_t depth = baseDepth + PathDepth(path); depth > kMaxKeyDepth) {
                return Status::Error("line " + std::to_string(i + 1) + ": a key " +
                                     std::to_string(depth) +
                                     " levels below its root, deeper than the " +
                                     std::to_string(kMaxKeyDepth) + " levels a registry allows");
            }
            if (line.size() == 1) {
                steps.push_back(Step{Step::kReplaceBase, {}, {}, 0, {}});
            } else {
                steps.push_back(Step{Step::kOpenKey, std::string(path), {}, 0, {}});
            }
            continue;
        }
        Status status = ParseValueLine(line, &steps);
        if (!status) {
            return Status::Error("line " + std::to_string(i + 1) + ": " + status.reason());
        }
    }
    return steps;
}

Status ApplySteps(ModReg& modReg, const std::string& basePath, HKey root,
                  const std::string& baseSubkey, const std::vector<Step>& steps) {
    RegistryStore& store = modReg.store();
    HKey current = kNoRoot;
    const auto close = [&] {
        if (current != kNoRoot) store.RegCloseKey(current);
        current = kNoRoot;
    };
    for (const Step& step : steps) {
        RegResult result = kErrorSuccess;
        switch (step.kind) {
            case Step::kReplaceBase:
                close();
                modReg.DeleteKeyTree(basePath);
                result = store.RegCreateKey(root, baseSubkey, &current);
                break;
            case Step::kOpenKey:
                close();
                result = store.RegCreateKey(root, baseSubkey + step.relativePath, &current);
                break;
            case Step::kSetValue:
                // A value before any key, or after a key that could not be made, sets nothing.
                if (current != kNoRoot) {
                    result = store.RegSetValueRaw(current, step.name, step.type, step.data);
                }
                break;
        }
        if (result != kErrorSuccess) {
            close();
            return Status::Error("cannot write below " + basePath + " (registry error " +
                                 std::to_string(result) + ")");
        }
    }
    close();
    return Status::Ok();
}

// Refuses a base key path that names no key, or a whole root: replacing a whole root would wipe
// every other program's settings with it. `subkey` and `root` receive the path's parts.
Status CheckBaseKey(ModReg& modReg, const std::string& baseKeyPath, std::string* subkey,
                    HKey* root) {
    *subkey = baseKeyPath;
    *root = modReg.SplitKeyPath(*subkey);
    if (*root == kNoRoot) {
        return Status::Error("\"" + baseKeyPath + "\" is not a registry key path");
    }
    if (subkey->empty()) {
        return Status::Error("will not replace the whole of " + baseKeyPath +
                             ": name a key below it");
    }
    return Status::Ok();
}

}  // namespace

Status ImportKeyFile(ModReg& modReg, const std::string& baseKeyPath,
                     const std::filesystem::path& file) {
    std::string baseSubkey;
    HKey root = kNoRoot;
    if (Status base = CheckBaseKey(modReg, baseKeyPath, &baseSubkey, &root); !base) return base;
    Result<std::string> bytes = ReadBounded(file);
    if (!bytes) return bytes.status();
    return ImportKeyText(modReg, baseKeyPath, std::move(bytes.value()), file.string());
}

Status ImportKeyText(ModReg& modReg, const std::string& baseKeyPath, std::string bytes,
                     const std::string& sourceName) {
    std::string baseSubkey;
    HKey root = kNoRoot;
    if (Status base = CheckBaseKey(modReg, baseKeyPath, &baseSubkey, &root); !base) return base;
    if (bytes.size() > kMaxRegistryTextBytes) {
        return Status::Error(sourceName + " holds more than the " +
                                 Megabytes(kMaxRegistryTextBytes) +
                                 " a registry text file may hold; nothing changed",
                             ErrorKind::kCorrupt);
    }
    if (const char* encoding = ByteOrderMarkOf(bytes)) {
        return Status::Error(sourceName + " begins with the byte-order mark of " + encoding +
                             ", which registry text never has; nothing changed");
    }
    const std::string text = DecodeTextFileBytes(bytes);
    bytes = std::string();  // only the decoded text is needed from here on
    auto steps = ParseFile(text, baseKeyPath, PathDepth(baseSubkey));
    if (!steps) {
        return Status::Error(sourceName + ", " + steps.reason() + "; nothing changed",
                             steps.status().kind());
    }
    if (steps->empty()) return Status::Ok();

    ModReg::Batch batch(modReg);
    Status applied = ApplySteps(modReg, baseKeyPath, root, baseSubkey, *steps);
    if (!applied) return applied;  // the batch discards what was done
    return batch.commit();
}

}  // namespace quillet::registry
