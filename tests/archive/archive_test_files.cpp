#include "archive_test_files.h"

#include <zip.h>

#include <array>
#include <cstdio>
#include <random>

namespace quillet::testing {

std::string TextContent(std::size_t bytes, std::uint32_t seed) {
    static const char* const kWords[] = {
        "the",      "meeting", "report",  "attached", "thanks", "regards", "> quoted", "budget",
        "Subject:", "From:",   "project", "tomorrow", "a",      "of",      "and"};
    std::mt19937 generator(seed);
    std::string text;
    text.reserve(bytes + 16);
    while (text.size() < bytes) {
        text += kWords[generator() % std::size(kWords)];
        text += (generator() % 9 == 0) ? "\r\n" : " ";
    }
    text.resize(bytes);
    return text;
}

std::string RandomContent(std::size_t bytes, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(generator() & 0xff);
    return data;
}

std::string ReadWithLibzip(const std::filesystem::path& file, const std::string& name,
                           const std::string& password) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return "(cannot open)";
    std::string data;
    if (zip_file_t* entry = zip_fopen_encrypted(archive, name.c_str(), 0, password.c_str())) {
        char buffer[65536];
        zip_int64_t count = 0;
        while ((count = zip_fread(entry, buffer, sizeof(buffer))) > 0) {
            data.append(buffer, static_cast<std::size_t>(count));
        }
        if (count < 0) data = "(read failed)";
        zip_fclose(entry);
    } else {
        const int code = zip_error_code_zip(zip_get_error(archive));
        data = code == ZIP_ER_WRONGPASSWD ? "(wrong password)" : "(cannot open entry)";
    }
    zip_discard(archive);
    return data;
}

}  // namespace quillet::testing
