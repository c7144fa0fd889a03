#pragma once

#include <QString>

// Files that would make the pipeline fail slowly or block (a FIFO blocks open() forever) are
// turned away before it sees them. Empty when `name` may be played, otherwise why not, in
// words for the person who asked. It asks the file system, which may take its time: never
// on a thread that must answer at once.
QString unplayableReason(const QString& name);
