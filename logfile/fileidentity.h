#pragma once

#include <QString>
#include <optional>

// What tells one version of a file from another without reading it.
struct FileIdentity
{
    qint64 device = 0;
    qint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;

    bool sameFile(const FileIdentity &other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const FileIdentity &other) const
    {
        return sameFile(other) && size == other.size && mtimeNs == other.mtimeNs;
    }

    // Follows symbolic links, as the save does.
    static std::optional<FileIdentity> ofPath(const QString &path);
    static std::optional<FileIdentity> ofDescriptor(int fd);
};
