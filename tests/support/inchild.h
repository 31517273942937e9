#pragma once

#include <QString>
#include <functional>

// Runs work in a forked child and returns what it returns, so that dropped privileges, limits
// and failing flushes end with the child; "child failed" when it did not end normally.
QString inChild(const std::function<QString()> &work);

// Becomes the unprivileged user nobody, for the paths that root never takes; false when the
// process may not change its user (then it is not root and already unprivileged).
bool dropToNobody();
