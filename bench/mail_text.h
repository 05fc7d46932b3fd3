#pragma once

// Pieces of generated mail text that the benchmarks' store makers share. Everything is drawn from
// one deterministic generator: the same seed gives the same bytes on every machine.

#include <cstdint>
#include <cstdio>
#include <string>

namespace quillet::bench {

class Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t limit) { return static_cast<std::size_t>(next() % limit); }
    std::size_t between(std::size_t low, std::size_t high) { return low + below(high - low + 1); }
    // Skewed towards small values, like word frequencies in text.
    std::size_t skewed(std::size_t limit) {
        const double u = static_cast<double>(next() >> 11) / 9007199254740992.0;
        return static_cast<std::size_t>(static_cast<double>(limit) * u * u * u) % limit;
    }

  private:
    std::uint64_t m_state;
};

inline const char* const kPersonNames[16] = {"Anna",  "Ben",  "Clara", "David", "Eva",   "Frank",
                                             "Greta", "Hugo", "Ines",  "Jonas", "Karin", "Lukas",
                                             "Maria", "Nils", "Olga",  "Paul"};

// A Date header's value in 2004, such as "Tue, 7 Sep 2004 14:02:11 +0100".
inline std::string MailDate(Random& random) {
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof(text), "%s, %zu %s 2004 %02zu:%02zu:%02zu +0100",
                  kDays[random.below(7)], 1 + random.below(28), kMonths[random.below(12)],
                  random.below(24), random.below(60), random.below(60));
    return text;
}

// About `bytes` bytes of made-up attachment data in base64, handed to line() 76 characters a line.
template <class Line>
void Base64Lines(Random& random, std::size_t bytes, Line&& line) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t done = 0; done < bytes; done += 3) {
        const std::uint64_t bits = random.next();
        for (int k = 0; k < 4; ++k) text += kAlphabet[(bits >> (6 * k)) & 63];
        if (text.size() == 76) {
            line(text);
            text.clear();
        }
    }
    if (!text.empty()) line(text);
}

}  // namespace quillet::bench
