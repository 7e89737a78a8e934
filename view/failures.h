#pragma once
// The failure texts of the view, each written once. They are the exact texts of the message
// box but for the full stop that the failure display appends.

#include "measure/failure.h"

#include <QString>

namespace view::failures {

inline constexpr char kOutOfResources[] = "Out of system resources";
inline constexpr char kNotABitmap[] = "Can only modify an image if it contains a bitmap";
inline constexpr char kInvalidBitmap[] = "Bitmap image is not valid";
inline constexpr char kInvalidIcon[] = "Icon image is not valid";
inline constexpr char kStreamRead[] = "Stream read error";
/// %1: libjpeg's message code.
inline constexpr char kJpegError[] = "JPEG error #%1";
/// %1: the file name as given, %2: the system's reason.
inline constexpr char kCannotOpen[] = "Cannot open file \"%1\". %2";
/// %1: the extension as written in the name.
inline constexpr char kUnknownExtension[] = "Unknown picture file extension (.%1)";

[[noreturn]] inline void fail(const QString &text)
{
    throw measure::Failure(text.toStdString());
}

[[noreturn]] inline void fail(const char *text)
{
    throw measure::Failure(text);
}

} // namespace view::failures
