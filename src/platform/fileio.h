#pragma once

#include "text.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

// How readFile makes a file into a text.
struct FileReading
{
    /// A file of 32 MiB or more opens at once and is read on demand; a smaller one, read whole
    /// in a few tens of milliseconds, stays as it was opened whatever happens to the file later.
    static constexpr qint64 defaultOnDemandFrom = qint64(32) << 20;

    qint64 onDemandFrom = defaultOnDemandFrom;
    std::shared_ptr<PageCache> cache = PageCache::shared();
    /// Told once when a file read on demand changed on disk or could no longer be read.
    std::function<void(FileTrouble)> onTrouble;
};

// Makes the regular file at `path` into `text`: read whole into memory, or, from a size on,
// read on demand; the reason in plain words, or empty. Files that report no size are read whole
// to their real end. Anything but a regular file (a folder, a FIFO, a device) is refused before
// a byte is read, and so is a file that would make a read wait (a stream of kernel messages, a
// file under another program's lease), so that nothing blocks the window.
QString readFile(const QString &path, Text &text, const FileReading &how = {});

// Makes `text` the whole content of the regular file `path`, straight from where its bytes lie,
// writing through symbolic links and keeping the file's owner, group and mode; the reason in plain
// words, or empty. The file is replaced atomically and the replacement made durable where its
// owner and group can be kept: a new file, whose whole length is reserved first, takes the old
// one's place once it is complete. A file with several names, in a folder that takes no new
// files, or whose owner and group this user cannot give a new file, is written in place once room
// for the new length has been reserved. A failure leaves the old file as it was, unless its reason
// says otherwise: once writing in place has begun, the file holds part of the new text; once the
// replacement has taken the old file's place, the disk may not hold it yet.
//
// The file a text is read from on demand is saved over only while it is as it was opened. A text
// that is that file with bytes overwritten at their own offsets is saved by writing just those
// bytes. Any other text is written in place over it never, since that would overwrite bytes
// before they are read: where the file can only be written in place, the save is refused.
QString writeWholeFile(const QString &path, const Text &text);

// Lets a write beyond the process's file-size limit fail with "File too large." instead of ending
// the program with SIGXFSZ and losing the text; the window's services call it when it is built.
void keepRunningBeyondFileSizeLimit();
