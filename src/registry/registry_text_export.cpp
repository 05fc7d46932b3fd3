// Writing a key tree in the registry text form.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "platform/text_encoding.h"
#include "registry/registry_name.h"
#include "registry/registry_text.h"
#include "registry/utf16_bytes.h"

namespace quillet::registry {
namespace {

constexpr char kLineEnd[] = "\r\n";

void AppendDecimalBytes(std::string& line, std::string_view bytes) {
    line.reserve(line.size() + bytes.size() * 4);
    char number[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) line += ',';
        const auto end =
            std::to_chars(number, number + sizeof number, static_cast<unsigned char>(bytes[i])).ptr;
        line.append(number, end);
    }
}

// The text a string-like value holds, when the plain text marks carry it exactly: UTF-16 with
// one terminating zero and no other, which converts to UTF-8 and back unchanged.
bool PlainText(std::string_view data, std::string* text) {
    if (data.empty()) {
        text->clear();
        return true;
    }
    std::u16string units = Utf16FromLeBytes(data);
    if (data.size() % 2 != 0 || units.empty() || units.back() != 0) return false;
    units.pop_back();
    if (units.find(u'\0') != std::u16string::npos) return false;
    *text = Utf16ToUtf8(units);
    return Utf8ToUtf16(*text) == units;
}

std::string EscapeLineBreaks(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void ValueLine(const std::string& name, std::uint32_t type, const std::string& data,
               std::string* line) {
    *line = "\"" + name;
    std::string text;
    if ((type == kRegSz || type == kRegExpandSz) && PlainText(data, &text)) {
        const bool breaks = text.find_first_of("\r\n") != std::string::npos;
        if (breaks) {
            *line += type == kRegSz ? "\"=xsz:" : "\"=xes:";
            *line += EscapeLineBreaks(text);
        } else {
            *line += type == kRegSz ? "\"= sz:" : "\"=esz:";
            *line += text;
        }
    } else if (type == kRegBinary) {
        *line += "\"=bin:";
        AppendDecimalBytes(*line, data);
    } else if (type == kRegDword && data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[i]);
        *line += "\"= dw:" + std::to_string(static_cast<std::int32_t>(number));
    } else {
        // Types above 0xFF do not fit the two digits of the mark: they carry the type first.
        char mark[24];
        std::snprintf(mark, sizeof mark,
                      type <= 0xFF ? "\"=r%02x:" : "\"=rxt:%x:", static_cast<unsigned>(type));
        *line += mark;
        AppendDecimalBytes(*line, data);
    }
    *line += kLineEnd;
}

// How a refused name is shown in the reason: line breaks, zeros, backslashes and lone surrogates
// escaped, the rest as it is.
std::string ShownName(std::string_view name) {
    const std::u16string units = NameToUtf16(name);
    std::string shown;
    char escape[8];
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() &&
                          units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (pair) {
            shown += NameFromUtf16(std::u16string_view(units).substr(i++, 2));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            std::snprintf(escape, sizeof escape, "\\x%04x", static_cast<unsigned>(unit));
            shown += escape;
        } else if (unit == u'\\') {
            shown += "\\\\";
        } else if (unit == u'\r') {
            shown += "\\r";
        } else if (unit == u'\n') {
            shown += "\\n";
        } else if (unit == 0) {
            shown += "\\0";
        } else {
            shown += NameFromUtf16(std::u16string_view(&unit, 1));
        }
    }
    return shown;
}

// A name the form cannot carry is refused, not written. Names are written unescaped, one record
// a line, and the file is read as UTF-8 (as Windows-1252 when it is not):
//  - a line break would end the line early and the rest would be read back as a line of its own:
//    a backup that is reported as made but cannot be restored, and a crafted key name could even
//    inject a value line;
//  - a lone surrogate has no UTF-8 form; its bytes would make the whole file read as
//    Windows-1252, turning every non-ASCII name and text in it into another;
//  - a zero in a key name cannot be told from the end of the name buffer (the subkey listing
//    cuts names at their first zero), so the key would be exported under a shorter name that may
//    be a sibling's. A zero in a value name is carried, being part of its line like any other;
//  - a key name longer than the buffer it is listed into (kKeyNameBufferChars; Windows allows 255
//    characters) would be cut, and two names that differ only past the cut would become one key.
// A value name could be given an escaped form that plain readers skip, as texts are, but a key
// line cannot: every reader takes each line that begins with a backslash as a key. Programs do
// not make such names, so failing the export (and with it the backup of that item) with the
// reason keeps the form plain and every backup restorable.
Status RefuseName(std::string_view kind, const std::string& name, const std::string& keyPath) {
    const char* flaw = nullptr;
    std::string tooLong;
    if (name.find_first_of("\r\n") != std::string::npos) {
        flaw = "a line break";
    } else if (HasLoneSurrogate(name)) {
        flaw = "a lone UTF-16 surrogate";
    } else if (kind == "key" && name.find('\0') != std::string::npos) {
        flaw = "a zero character";
    } else if (kind == "key" && CharCount(name) > kKeyNameBufferChars) {
        tooLong = "more than " + std::to_string(kKeyNameBufferChars) + " characters";
        flaw = tooLong.c_str();
    } else {
        return Status::Ok();
    }
    return Status::Error("cannot export " + keyPath + ": the " + std::string(kind) + " name \"" +
                         ShownName(name) + "\" holds " + flaw +
                         ", which the registry text form cannot carry");
}

Status WriteValuesOfKey(RegistryStore& store, HKey key, const std::string& keyPath,
                        std::ofstream& out) {
    std::string name;
    std::string data;
    std::string line;
    std::uint32_t type = 0;
    for (std::uint32_t index = 0;; ++index) {
        const RegResult result = store.RegEnumValueRaw(key, index, &name, &type, &data);
        if (result == kErrorNoMoreItems) break;
        // A value that cannot be read must not vanish from the export unnoticed.
        if (result != kErrorSuccess) {
            return Status::Error("cannot list the values of " + keyPath + " (error " +
                                 std::to_string(result) + ")");
        }
        if (Status refused = RefuseName("value", name, keyPath); !refused) return refused;
        ValueLine(name, type, data, &line);
        out << line;
    }
    return Status::Ok();
}

Status WriteValues(ModReg& modReg, const std::string& keyPath, std::ofstream& out) {
    HKey key;
    if (!modReg.OpenForReading(keyPath, &key)) return Status::Ok();
    Status status = WriteValuesOfKey(modReg.store(), key, keyPath, out);
    modReg.store().RegCloseKey(key);
    return status;
}

// Writes the key line, then (when the key can be opened) its values and its subkeys.
// Recurses once a level: no key lies deeper than kMaxKeyDepth, which bounds the nesting.
Status ExportKey(ModReg& modReg, const std::string& keyPath, const std::string& relativePath,
                 std::ofstream& out) {
    out << (relativePath.empty() ? "\\" : relativePath) << kLineEnd;
    HKey key;
    if (!modReg.OpenForReading(keyPath, &key)) return Status::Ok();
    RegistryStore& store = modReg.store();
    Status status = WriteValuesOfKey(store, key, keyPath, out);
    std::string name;
    for (std::uint32_t index = 0; status; ++index) {
        const RegResult result = store.RegEnumKeyEx(key, index, &name);
        if (result == kErrorNoMoreItems) break;
        if (result != kErrorSuccess) {
            status = Status::Error("cannot list the subkeys of " + keyPath + " (error " +
                                   std::to_string(result) + ")");
            break;
        }
        status = RefuseName("key", name, keyPath);
        if (!status) break;
        status = ExportKey(modReg, keyPath + "\\" + name, relativePath + "\\" + name, out);
        if (!status) break;
    }
    store.RegCloseKey(key);
    return status;
}

Status Finish(std::ofstream& out, const std::filesystem::path& file) {
    out.close();
    if (!out) return Status::Error("cannot write " + file.string());
    return Status::Ok();
}

// Refuses a written file that the reader would refuse for its size, its number of lines or the
// length of a line: a backup holding it would be reported as made and fail at restore.
Status CheckReadBackBounds(const std::filesystem::path& file, const std::string& keyPath) {
    std::ifstream in(file, std::ios::binary);
    std::uint64_t bytes = 0;
    std::size_t lines = 0;
    std::size_t lineBytes = 0;
    std::size_t longestLine = 0;
    bool afterCr = false;  // a line's CR LF ending is not part of its length
    char piece[64 * 1024];
    while (in) {
        in.read(piece, sizeof piece);
        const auto count = static_cast<std::size_t>(in.gcount());
        bytes += count;
        for (std::size_t i = 0; i < count; ++i) {
            if (piece[i] != '\n') {
                ++lineBytes;
                afterCr = piece[i] == '\r';
                continue;
            }
            ++lines;
            longestLine = std::max(longestLine, lineBytes - (afterCr ? 1 : 0));
            lineBytes = 0;
            afterCr = false;
        }
    }
    if (in.bad()) return Status::Error("cannot read back " + file.string());
    longestLine = std::max(longestLine, lineBytes);
    if (bytes <= kMaxRegistryTextBytes && lines <= kMaxRegistryTextLines &&
        longestLine <= kMaxRegistryTextLineBytes) {
        return Status::Ok();
    }
    return Status::Error(
        "cannot export " + keyPath + ": its registry text (" + std::to_string(bytes) + " bytes, " +
        std::to_string(lines) + " lines) passes the bounds a restore reads back (" +
        std::to_string(kMaxRegistryTextBytes) + " bytes, " + std::to_string(kMaxRegistryTextLines) +
        " lines, " + std::to_string(kMaxRegistryTextLineBytes) + " bytes a line)");
}

}  // namespace

Status ExportKeyTree(ModReg& modReg, const std::string& keyPath,
                     const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return Status::Error("cannot create " + file.string());
    Status status = ExportKey(modReg, keyPath, "", out);
    if (status) status = Finish(out, file);
    if (status) status = CheckReadBackBounds(file, keyPath);
    if (!status) {
        // A partial export is never left where it could be taken for a whole one.
        out.close();
        std::filesystem::remove(file, ignored);
    }
    return status;
}

Status WriteKeyValues(ModReg& modReg, const std::string& keyPath,
                      const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) return Status::Error("cannot open " + file.string());
    if (Status status = WriteValues(modReg, keyPath, out); !status) return status;
    return Finish(out, file);
}

}  // namespace quillet::registry
