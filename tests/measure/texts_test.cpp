#include "measure/texts.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace {

using TextPair = std::pair<std::string, std::string>;

class CompleteAddress : public testing::TestWithParam<TextPair> { };

TEST_P(CompleteAddress, SchemeAddedOnlyWhenMissing)
{
    EXPECT_EQ(measure::completeAddress(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Addresses,
    CompleteAddress,
    testing::Values(TextPair{"www.Example.org/Lune/", "http://www.Example.org/Lune/"},
        TextPair{"", "http://"},
        TextPair{"http://example.org", "http://example.org"},
        TextPair{"HTTP://Example.org", "HTTP://Example.org"},
        TextPair{"see hTtP://example.org", "see hTtP://example.org"},
        // Another scheme is kept as it is.
        TextPair{"https://example.org/a", "https://example.org/a"},
        TextPair{"HTTPS://example.org", "HTTPS://example.org"},
        TextPair{"ftp://example.org", "ftp://example.org"},
        TextPair{"svn+ssh://example.org", "svn+ssh://example.org"},
        // A host with a port, or something that only looks like a scheme, is not one.
        TextPair{"example.org:8080/page", "http://example.org:8080/page"},
        TextPair{"1abc://x", "http://1abc://x"},
        TextPair{"://x", "http://://x"},
        TextPair{" https://x", "http:// https://x"},
        TextPair{"https:/x", "http://https:/x"}));

class WithFullStop : public testing::TestWithParam<TextPair> { };

TEST_P(WithFullStop, AppendedAfterCodesAboveTheFullStop)
{
    EXPECT_EQ(measure::withFullStop(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Messages,
    WithFullStop,
    testing::Values(TextPair{"'1-2' is not a valid floating point value",
                        "'1-2' is not a valid floating point value."},
        TextPair{"", ""},
        TextPair{"Done.", "Done."},
        TextPair{"Stop!", "Stop!"},
        TextPair{"(x)", "(x)"},
        TextPair{"a ", "a "},
        TextPair{"a-", "a-"},
        TextPair{"a,", "a,"},
        TextPair{"a/", "a/."},
        TextPair{"0", "0."},
        TextPair{"fichier illisible \xc3\xa9", "fichier illisible \xc3\xa9."},
        TextPair{"\xe2\x80\xa6", "\xe2\x80\xa6."}));

} // namespace
