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
    qint64 node = 0; // the device a device node stands for (st_rdev)

    bool sameFile(const FileIdentity &other) const
    {
        return device == other.device && inode == other.inode;
    }
    // The same device node: a device that came back under its name is another one.
    bool sameNode(const FileIdentity &other) const { return sameFile(other) && node == other.node; }
    bool operator==(const FileIdentity &other) const
    {
        return sameFile(other) && size == other.size && mtimeNs == other.mtimeNs;
    }

    // Follows symbolic links, as the save does.
    static std::optional<FileIdentity> ofPath(const QString &path);
    static std::optional<FileIdentity> ofDescriptor(int fd);
};
