#include "hive_writer.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace quillet::examples {

std::unique_ptr<HiveWriter> HiveWriter::Open(const std::filesystem::path& baseHive,
                                             std::string* reason) {
    hive_h* handle = hivex_open(baseHive.c_str(), HIVEX_OPEN_WRITE);
    if (handle == nullptr) {
        *reason = "cannot open the hive " + baseHive.string() + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<HiveWriter>(new HiveWriter(handle, baseHive));
}

HiveWriter::HiveWriter(hive_h* handle, std::filesystem::path baseHive)
    : m_handle(handle), m_baseHive(std::move(baseHive)) {}

HiveWriter::~HiveWriter() { hivex_close(m_handle); }

hive_node_h HiveWriter::root() const { return hivex_root(m_handle); }

bool HiveWriter::fail(std::string_view what) {
    m_lastError = std::string(what) + " in the hive made from " + m_baseHive.string() + ": " +
                  std::strerror(errno);
    return false;
}

hive_node_h HiveWriter::child(hive_node_h parent, std::string_view name) {
    const std::string text(name);
    errno = 0;
    if (const hive_node_h found = hivex_node_get_child(m_handle, parent, text.c_str())) {
        return found;
    }
    if (errno != 0) {
        fail("cannot look up the key " + text);
        return 0;
    }
    const hive_node_h added = hivex_node_add_child(m_handle, parent, text.c_str());
    if (added == 0) fail("cannot add the key " + text);
    return added;
}

bool HiveWriter::writeValues(hive_node_h node, const registry::KeyNode& from) {
    // hive_set_value points into these strings; libhivex copies the bytes before returning.
    std::vector<std::string> names;
    std::vector<std::string> data;
    names.reserve(from.values.size());
    data.reserve(from.values.size());
    std::vector<hive_set_value> values;
    for (const registry::RegValue& value : from.values) {
        names.push_back(value.name);
        data.push_back(value.data);
        values.push_back({names.back().data(), static_cast<hive_type>(value.type),
                          data.back().size(), data.back().data()});
    }
    if (hivex_node_set_values(m_handle, node, values.size(), values.data(), 0) != 0) {
        return fail("cannot set the values of the key " + from.name);
    }
    return true;
}

bool HiveWriter::writeTree(hive_node_h node, const registry::KeyNode& from) {
    if (!writeValues(node, from)) return false;
    for (const auto& subkey : from.subkeys()) {
        const hive_node_h added = child(node, subkey->name);
        if (added == 0 || !writeTree(added, *subkey)) return false;
    }
    return true;
}

bool HiveWriter::commit(const std::filesystem::path& file) {
    if (hivex_commit(m_handle, file.c_str(), 0) != 0) {
        m_lastError = "cannot write the hive " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace quillet::examples
