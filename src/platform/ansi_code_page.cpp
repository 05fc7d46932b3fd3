#include "platform/ansi_code_page.h"

#include <iconv.h>

#include <cerrno>
#include <charconv>

#include "platform/text_encoding.h"

namespace quillet {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The name iconv knows the Windows code page by.
std::string IconvName(unsigned number) { return "CP" + std::to_string(number); }

// An iconv conversion from one code page to UTF-8, closed when it goes.
class Conversion {
  public:
    explicit Conversion(unsigned number)
        : m_handle(iconv_open("UTF-8", IconvName(number).c_str())) {}
    ~Conversion() {
        if (valid()) iconv_close(m_handle);
    }
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    std::string run(std::string_view bytes) {
        std::string out;
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        char buffer[256];
        while (inLeft > 0) {
            char* next = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t done = iconv(m_handle, &in, &inLeft, &next, &outLeft);
            out.append(buffer, next);
            if (done != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            // A byte (or an incomplete pair at the end) the code page does not define.
            out.append(kReplacement);
            ++in;
            --inLeft;
            iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

  private:
    iconv_t m_handle;
};

}  // namespace

std::optional<AnsiCodePage> AnsiCodePage::FromNumber(unsigned number) {
    if (number == kWestern) return AnsiCodePage();
    if (!Conversion(number).valid()) return std::nullopt;
    return AnsiCodePage(number);
}

std::optional<AnsiCodePage> AnsiCodePage::FromText(std::string_view text) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return FromNumber(number);
}

std::string AnsiCodePage::decode(std::string_view bytes) const {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    if (m_number == kWestern) return Cp1252ToUtf8(bytes);
    Conversion conversion(m_number);
    return conversion.valid() ? conversion.run(bytes) : Cp1252ToUtf8(bytes);
}

}  // namespace quillet
