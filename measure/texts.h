#pragma once

#include <string>

namespace measure {

/// The address handed to the browser: "http://" is put in front unless a scheme is there.
[[nodiscard]] std::string completeAddress(const std::string &address);

/// A failure message as the message box shows it, with a full stop where one is due.
[[nodiscard]] std::string withFullStop(const std::string &message);

} // namespace measure
