#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// The Windows ANSI code page a system writes its 8-bit texts in: the names in message stores and
// folder lists, subjects in their indexes. Windows-1252 on Western systems, others elsewhere
// (1251 Cyrillic, 1250 Central European, 1253 Greek, 932 Japanese...).
class AnsiCodePage {
  public:
    static constexpr unsigned kWestern = 1252;

    // Windows-1252.
    AnsiCodePage() = default;
    // The code page numbered `number`; nullopt when this system cannot decode it.
    static std::optional<AnsiCodePage> FromNumber(unsigned number);
    // The code page a decimal number names ("1251"); nullopt for other text, or as FromNumber.
    static std::optional<AnsiCodePage> FromText(std::string_view text);

    unsigned number() const { return m_number; }

    // The text as UTF-8. Valid UTF-8 is kept as it is (names our own tools or converters wrote);
    // anything else is read in this code page, and a byte sequence the code page does not define
    // becomes U+FFFD, so no input is rejected and ASCII stays ASCII.
    std::string decode(std::string_view bytes) const;

  private:
    explicit AnsiCodePage(unsigned number) : m_number(number) {}
    unsigned m_number = kWestern;
};

}  // namespace quillet
