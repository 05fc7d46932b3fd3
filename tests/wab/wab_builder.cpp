#include "wab/wab_builder.h"

#include "platform/text_encoding.h"
#include "wab/wab_layout.h"

namespace quillet::testing {
namespace {

void AppendWord(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

std::string Utf16Bytes(const std::string& text) {
    std::string out;
    for (char16_t unit : Utf8ToUtf16(text)) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

std::string RecordBytes(const WabRecord& record) {
    std::string data;
    for (const WabProperty& property : record.properties) AppendWord(data, property.tag);
    for (const WabProperty& property : record.properties) {
        AppendWord(data, property.tag);
        if ((property.tag & wab::kMultiValued) == 0) {
            AppendWord(data, static_cast<std::uint32_t>(property.values.at(0).size()));
            data += property.values.at(0);
            continue;
        }
        std::string elements;
        for (const std::string& value : property.values) {
            AppendWord(elements, static_cast<std::uint32_t>(value.size()));
            elements += value;
        }
        AppendWord(data, static_cast<std::uint32_t>(property.values.size()));
        AppendWord(data, static_cast<std::uint32_t>(elements.size()));
        data += elements;
    }
    std::string out;
    for (std::uint32_t word :
         {record.live ? wab::kRecordLive : 0u, wab::kRecordKind, record.id,
          static_cast<std::uint32_t>(record.properties.size()), wab::kRecordMarker, 0u, 0u,
          static_cast<std::uint32_t>(data.size())}) {
        AppendWord(out, word);
    }
    return out + data;
}

std::string DisplayNameOf(const WabRecord& record) {
    for (const WabProperty& property : record.properties) {
        if (property.tag >> 16 == wab::kDisplayName) return property.values.at(0);
    }
    return {};
}

}  // namespace

WabProperty TextProperty(std::uint16_t id, const std::string& text) {
    return {wab::Tag(id, wab::kTypeUnicode), {Utf16Bytes(text) + std::string(2, '\0')}};
}

WabProperty TextListProperty(std::uint16_t id, const std::vector<std::string>& texts) {
    WabProperty property{wab::Tag(id, wab::kTypeUnicode | wab::kMultiValued), {}};
    for (const std::string& text : texts)
        property.values.push_back(TextProperty(id, text).values[0]);
    return property;
}

WabProperty GroupMembersProperty(const std::vector<std::string>& addresses) {
    WabProperty property{wab::Tag(wab::kGroupMembers, wab::kTypeBinary | wab::kMultiValued), {}};
    for (const std::string& address : addresses) {
        // A one-off entry: flags, a provider id, then the name, "SMTP" and the address.
        std::string entry(20, '\0');
        for (const std::string& text : {address, std::string("SMTP"), address}) {
            entry += Utf16Bytes(text) + std::string(2, '\0');
        }
        property.values.push_back(entry);
    }
    return property;
}

BuiltWab BuildWab(const std::vector<WabRecord>& records) {
    std::uint32_t indexed = 0;
    for (const WabRecord& record : records) indexed += record.indexed ? 1 : 0;
    BuiltWab built;
    built.indexOffset = wab::kHeaderSize;
    const std::uint32_t textOffset = built.indexOffset + indexed * wab::kIndexEntrySize;
    std::uint32_t at = textOffset + indexed * wab::kTextEntrySize;

    std::string index, texts, body;
    for (const WabRecord& record : records) {
        built.recordOffsets.push_back(at);
        std::string bytes = RecordBytes(record);
        if (record.indexed) {
            AppendWord(index, record.id);
            AppendWord(index, at);
            std::string name = DisplayNameOf(record).substr(0, 0x40);
            name.resize(0x40, '\0');
            texts += name;
            AppendWord(texts, record.id);
        }
        body += bytes;
        at += static_cast<std::uint32_t>(bytes.size());
    }

    std::string& out = built.bytes;
    out.assign(wab::kMagic.begin(), wab::kMagic.end());
    AppendWord(out, indexed);
    AppendWord(out, indexed);
    const std::uint32_t tables[][4] = {
        {wab::kIndexTable, wab::kIndexEntrySize, built.indexOffset, indexed},
        {wab::kTextTable, wab::kTextEntrySize, textOffset, indexed}};
    for (std::uint32_t i = 0; i < wab::kDescriptorCount; ++i) {
        for (std::uint32_t field = 0; field < 4; ++field)
            AppendWord(out, i < 2 ? tables[i][field] : 0);
    }
    out += index + texts + body;
    return built;
}

void PutWord(std::string& bytes, std::uint32_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
}

}  // namespace quillet::testing
