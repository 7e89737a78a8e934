#include "measure/texts.h"

namespace measure {

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A leading scheme name followed by "://" (https://, ftp://...). Requiring the slashes keeps a
// host with a port, such as "example.org:8080/page", from passing for a scheme.
bool hasScheme(const std::string &address)
{
    if (address.empty() || !isAsciiLetter(address[0]))
        return false;
    std::size_t i = 1;
    while (i < address.size()
        && (isAsciiLetter(address[i]) || isAsciiDigit(address[i]) || address[i] == '+'
            || address[i] == '-' || address[i] == '.'))
        ++i;
    return address.compare(i, 3, "://") == 0;
}

} // namespace

std::string completeAddress(const std::string &address)
{
    std::string lower = address;
    for (char &c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower.find("http://") != std::string::npos || hasScheme(address))
        return address;
    return "http://" + address;
}

std::string withFullStop(const std::string &message)
{
    // Compared as an unsigned byte, the last byte of a multi-byte UTF-8 character is above
    // 0x2E, so such a message gets its full stop like one ending in a letter.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > 0x2E)
        return message + ".";
    return message;
}

} // namespace measure
