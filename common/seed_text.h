// A seed as every program takes it from a person: a whole number from 1 to
// 4294967295. Seed 0 is refused rather than played: the C library's
// generator reads it as 1, so it would be seed 1's game under another name.
#ifndef COMMON_SEED_TEXT_H
#define COMMON_SEED_TEXT_H

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

constexpr const char *seedZeroMessage = "seed 0 plays the same game as seed 1 (the C library's generator reads 0 as 1)";

// `option` names the option in the message, as "--seed".
inline bool readSeed(const std::string &text, const std::string &option, uint32_t &seed, std::string &error)
{
    char *end = nullptr;
    errno = 0;
    // Digits only: strtoull would take a sign or leading blanks.
    const bool digitFirst = !text.empty() && text[0] >= '0' && text[0] <= '9';
    const unsigned long long value = digitFirst ? std::strtoull(text.c_str(), &end, 10) : 0;
    const bool whole = end && *end == '\0' && errno == 0 && value <= 4294967295ULL;
    if (whole && value == 0) {
        error = std::string(seedZeroMessage) + ": give " + option + " from 1 to 4294967295";
        return false;
    }
    if (!whole) {
        error = option + " takes a whole number from 1 to 4294967295, not '" + text + "'";
        return false;
    }
    seed = uint32_t(value);
    return true;
}

#endif
