// Writing a key tree as Wine's registry file text.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/hex_digits.h"
#include "registry/registry_name.h"
#include "registry/registry_store.h"
#include "registry/utf16_bytes.h"
#include "registry/wine_registry_file.h"
#include "registry/wine_string_escape.h"

namespace quillet::registry {
namespace {

// Wine breaks hex data after the comma that takes a line past this many characters.
constexpr int kHexLineWidth = 76;

bool IsTerminatedText(const RegValue& value) {
    const std::string& data = value.data;
    return data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
           data[data.size() - 2] == 0;
}

void AppendValue(std::string& out, const RegValue& value) {
    char buffer[32];
    int count;
    if (!value.name.empty()) {
        out += '"';
        count = 1 + static_cast<int>(AppendWineEscaped(out, NameToUtf16(value.name), '"', '"',
                                                       FinalZero::kWritten));
        out += "\"=";
        count += 2;
    } else {
        out += "@=";
        count = 2;
    }

    if (IsTextType(value.type) && IsTerminatedText(value)) {
        if (value.type != kRegSz) {
            std::snprintf(buffer, sizeof buffer, "str(%x):", value.type);
            out += buffer;
        }
        out += '"';
        AppendWineEscaped(out, Utf16FromLeBytes(value.data), '"', '"', FinalZero::kImplied);
        out += "\"\n";
        return;
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x\n", number);
        out += buffer;
        return;
    }

    if (value.type == kRegBinary) {
        out += "hex:";
        count += 4;
    } else {
        count += std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
        out += buffer;
    }
    const std::size_t size = value.data.size();
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = static_cast<unsigned char>(value.data[i]);
        out += LowerHexDigit(byte >> 4);
        out += LowerHexDigit(byte);
        count += 2;
        if (i + 1 < size) {
            out += ',';
            if (++count > kHexLineWidth) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
}

// Wine leaves out a key that has subkeys and nothing else: creating the subkeys recreates it.
bool WineWritesKey(const KeyNode& node) {
    return !node.values.empty() || node.subkeyCount() == 0 || !node.metaLines.empty();
}

struct Entry {
    KeyNode* node;
    std::string path;  // escaped as in a key line
};

// Lists the keys in pre-order (a key, then each subkey's tree in turn), without recursing.
void CollectTreeOrder(KeyNode& root, std::vector<Entry>& out) {
    std::vector<Entry> pending{Entry{&root, ""}};
    while (!pending.empty()) {
        out.push_back(std::move(pending.back()));
        pending.pop_back();
        const Entry& entry = out.back();
        const auto& subkeys = entry.node->subkeys();
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) {
            std::string childPath = entry.path;
            if (!childPath.empty()) childPath += "\\\\";
            AppendWineEscaped(childPath, NameToUtf16((*it)->name), '[', ']', FinalZero::kWritten);
            pending.push_back(Entry{it->get(), std::move(childPath)});
        }
    }
}

std::string GenerateBlock(KeyNode& node, const std::string& path, std::uint64_t nowTicks) {
    node.modified = nowTicks;
    std::string block;
    char buffer[64];
    block += '[';
    block += path;
    std::snprintf(buffer, sizeof buffer, "] %u\n#time=%x%08x\n",
                  static_cast<unsigned>(UnixSecondsFromTicks(nowTicks)),
                  static_cast<unsigned>(nowTicks >> 32), static_cast<unsigned>(nowTicks));
    block += buffer;
    for (const std::string& line : node.metaLines) block += line;
    for (RegValue& value : node.values) {
        if (value.sourceText.empty()) {
            const std::size_t start = block.size();
            AppendValue(block, value);
            value.sourceText = block.substr(start);
        } else {
            block += value.sourceText;
        }
    }
    return block;
}

}  // namespace

std::string SerializeWineRegistry(KeyTree& tree, std::uint64_t nowTicks) {
    std::vector<Entry> entries;
    CollectTreeOrder(*tree.root, entries);
    if (!tree.treeOrdered) {
        std::stable_partition(entries.begin(), entries.end(),
                              [](const Entry& e) { return e.node->hasSourceBlock; });
        const auto firstNew = std::find_if(entries.begin(), entries.end(),
                                           [](const Entry& e) { return !e.node->hasSourceBlock; });
        std::stable_sort(entries.begin(), firstNew, [](const Entry& a, const Entry& b) {
            return a.node->fileOrder < b.node->fileOrder;
        });
    }

    std::size_t size = tree.header.size() + tree.trailer.size();
    for (const Entry& entry : entries) {
        size += entry.node->leadingLines.size() + entry.node->sourceBlock.size();
    }
    std::string out;
    out.reserve(size + size / 16);
    out += tree.header;
    for (Entry& entry : entries) {
        KeyNode& node = *entry.node;
        if (node.changed || !node.hasSourceBlock) {
            if (!WineWritesKey(node)) continue;
            if (!node.hasSourceBlock) node.leadingLines = "\n";
            node.sourceBlock = GenerateBlock(node, entry.path, nowTicks);
            node.hasSourceBlock = true;
            node.changed = false;
        }
        out += node.leadingLines;
        out += node.sourceBlock;
    }
    out += tree.trailer;
    tree.changed = false;
    return out;
}

}  // namespace quillet::registry
