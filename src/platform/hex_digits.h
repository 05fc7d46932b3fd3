#pragma once

namespace quillet {

// The value of a hexadecimal digit ('0' to '9', 'a' to 'f', 'A' to 'F'), or -1 for any other
// character.
constexpr int HexDigitValue(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The lower-case hexadecimal digit of the value's low four bits.
constexpr char LowerHexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }

}  // namespace quillet
