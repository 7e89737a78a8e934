#pragma once

#include <stdexcept>

namespace measure {

/// A failure shown to the user: its message is the exact text of the message box. Every module
/// throws it, so it stands apart from the precision header that only the computations need.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace measure
