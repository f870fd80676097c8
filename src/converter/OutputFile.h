#pragma once

#include <QIODevice>
#include <QSaveFile>

// Writes all of `bytes`, retrying after a short write so that a real failure (a
// full disk) surfaces as an error with its errorString().
inline bool writeAll(QIODevice &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// Commits a QSaveFile only when every byte reached the disk. QSaveFile::commit()
// alone misses a failure of the last buffered write (a full disk, say), which
// would leave a cut-off file reported as a success. On failure errorString() says
// why, and the temporary file goes when the QSaveFile does.
inline bool commitOutput(QSaveFile &file)
{
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return false;
    return file.commit();
}

// Hands writes on to a file and remembers any that came up short. QPdfWriter
// writes through a QDataStream, which after one short write (a full disk) drops
// everything else without telling the file, so the file alone sees no error.
class CheckedWrites : public QIODevice
{
public:
    explicit CheckedWrites(QIODevice &target)
        : m_target(target)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool failed() const { return m_failed; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        const qint64 written = m_target.write(data, length);
        if (written != length)
            m_failed = true;
        return written;
    }

private:
    QIODevice &m_target;
    bool m_failed = false;
};
