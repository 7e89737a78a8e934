#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace links {

// The two pages the program opens, stored without their scheme: openurl puts "http://" in
// front. A packager who hosts the pages elsewhere changes these two lines and nothing else.
inline constexpr char kHomePage[] = "example.org/korvalen/";
inline constexpr char kLunarMountainsPage[] =
    "example.org/korvalen/mesurer-les-montagnes-lunaires.html";

/// Hands a web address to the desktop's default browser without waiting; true when accepted.
using UrlOpener = std::function<bool(const QUrl &url)>;

/// The desktop's own opener (its default browser).
[[nodiscard]] UrlOpener desktopOpener();

/// The address as handed to the browser: "http://" in front unless it already holds one.
[[nodiscard]] QUrl completedUrl(const QString &address);

} // namespace links
