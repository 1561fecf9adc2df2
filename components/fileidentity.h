#pragma once

#include <QString>

#include <optional>

// What tells a file apart from another one later put under its name (its
// device and number); nothing when there is no file. One per platform.
struct FileIdentity
{
    unsigned long long volume = 0;
    unsigned long long file = 0;
    bool operator==(const FileIdentity &) const = default;
};
std::optional<FileIdentity> fileIdentity(const QString &path);
