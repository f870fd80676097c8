#include "log/Log.h"

#include "core/MediaApp.h"
#include "core/Preferences.h"
#include "log/Scrubber.h"
#include "log/SystemLog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <syslog.h>

namespace Log {

namespace {

constexpr qint64 kRotateAbove = 2'000'000;

// False before the writer exists and after it has been torn down at exit; lines
// logged then are written on the caller's thread instead.
std::atomic<bool> g_writerAlive{false};

// The serial "moxtrel.log" queue: one named thread running tasks in submission order.
class Writer
{
public:
    Writer()
    {
        m_thread = std::thread([this] { run(); });
        g_writerAlive = true;
    }

    ~Writer()
    {
        g_writerAlive = false;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void submit(std::function<void()> task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
    }

    // Returns once every task submitted before the call has run.
    void drain()
    {
        std::promise<void> done;
        auto finished = done.get_future();
        submit([&done] { done.set_value(); });
        finished.wait();
    }

private:
    void run()
    {
        pthread_setname_np(pthread_self(), "moxtrel.log");
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;  // stopping, and everything queued has been written
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread;
};

const QString &baseName()
{
    static const QString value = MediaApp::isMoxtrel() ? QStringLiteral("Moxtrel") : MediaApp::name();
    return value;
}

Writer &writer()
{
    // The paths the writer uses must outlive it: statics made first are destroyed last.
    (void)file();
    static Writer instance;
    return instance;
}

QString previousFile()
{
    return folder() + QLatin1Char('/') + baseName() + QStringLiteral(".1.log");
}

const Scrubber &scrubber()
{
    static const Scrubber instance(Scrubber::current());
    return instance;
}

void toSyslog(int priority, const char *text)
{
    static std::once_flag once;
    std::call_once(once, [] { openlog("Moxtrel", LOG_PID, LOG_USER); });
    syslog(priority, "%s", text);
}

std::atomic<SystemSink> g_systemSink{&toSyslog};

int systemPriority(Level level)
{
    switch (level) {
    case Level::warning: return LOG_NOTICE;
    case Level::error: return LOG_ERR;
    case Level::debug:
    case Level::info: break;
    }
    return LOG_INFO;
}

void append(const QString &line)
{
    const QString path = file();
    QDir().mkpath(folder());
    const QFileInfo info(path);
    if (info.exists() && info.size() > kRotateAbove) {
        QFile::remove(previousFile());
        QFile::rename(path, previousFile());
    }
    const QByteArray bytes = line.toUtf8();
    QFile out(path);
    if (out.exists() && out.open(QIODevice::WriteOnly | QIODevice::Append)) {
        out.write(bytes);
        out.close();
        return;
    }
    QSaveFile whole(path);
    if (whole.open(QIODevice::WriteOnly)) {
        whole.write(bytes);
        whole.commit();
    }
}

void write(Level level, Area area, const QString &message)
{
    const QString scrubbed = scrub(message);

    const QByteArray text = QStringLiteral("[%1] %2").arg(areaName(area), scrubbed).toUtf8();
    g_systemSink.load()(systemPriority(level), text.constData());

    const QString line = formatLine(QDateTime::currentDateTime(), level, area, scrubbed);
    Writer &queue = writer();
    if (g_writerAlive)
        queue.submit([line] { append(line); });
    else
        append(line);
}

QString salt()
{
    static QMutex mutex;
    static QString cached;
    QMutexLocker lock(&mutex);
    if (cached.isEmpty()) {
        Preferences &store = Preferences::standard();
        const auto stored = store.string(QStringLiteral("fx.logSalt"));
        if (stored && !stored->isEmpty()) {
            cached = *stored;
        } else {
            cached = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
            store.set(QStringLiteral("fx.logSalt"), cached);
        }
    }
    return cached;
}

qsizetype characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString readText(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(in.readAll());
}

const char *const kLevelNames[] = {"DEBUG", "INFO", "WARN", "ERROR"};
const char *const kAreaNames[] = {"app", "player", "library", "converter", "network", "updates"};

} // namespace

void setSystemSink(SystemSink sink)
{
    g_systemSink = sink ? sink : &toSyslog;
}

QString levelName(Level level)
{
    return QString::fromLatin1(kLevelNames[static_cast<int>(level)]);
}

QString areaName(Area area)
{
    return QString::fromLatin1(kAreaNames[static_cast<int>(area)]);
}

std::optional<Level> levelFromName(const QString &name)
{
    for (int i = 0; i < int(std::size(kLevelNames)); ++i)
        if (name == QLatin1String(kLevelNames[i]))
            return static_cast<Level>(i);
    return std::nullopt;
}

std::optional<Area> areaFromName(const QString &name)
{
    for (int i = 0; i < int(std::size(kAreaNames)); ++i)
        if (name == QLatin1String(kAreaNames[i]))
            return static_cast<Area>(i);
    return std::nullopt;
}

const std::vector<Area> &allAreas()
{
    static const std::vector<Area> areas{Area::app,       Area::player,  Area::library,
                                         Area::converter, Area::network, Area::updates};
    return areas;
}

void debug(Area area, const QString &message) { write(Level::debug, area, message); }
void info(Area area, const QString &message) { write(Level::info, area, message); }
void warning(Area area, const QString &message) { write(Level::warning, area, message); }
void error(Area area, const QString &message) { write(Level::error, area, message); }

void changed(Area area, const QString &key, const QString &value, Level level)
{
    static QMutex mutex;
    static QHash<QString, QString> last;
    {
        QMutexLocker lock(&mutex);
        const auto it = last.constFind(key);
        if (it != last.constEnd() && *it == value)
            return;
        last.insert(key, value);
    }
    write(level, area, value);
}

QString secret(const std::optional<QString> &value)
{
    if (!value || value->isEmpty())
        return QStringLiteral("\u2039empty\u203a");
    const QByteArray digest =
        QCryptographicHash::hash(salt().toUtf8() + value->toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("\u2039%1 chars #%2\u203a")
        .arg(characterCount(*value))
        .arg(QString::fromLatin1(digest.left(2).toHex()));
}

QString scrub(const QString &message)
{
    return scrubber().scrub(message);
}

QStringList tail(int n)
{
    if (n <= 0)
        return {};
    if (g_writerAlive)
        writer().drain();
    const QString text = readText(previousFile()) + readText(file());
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.mid(std::max<qsizetype>(0, lines.size() - n));
}

QString folder()
{
    static const QString value = [] {
        QString state = qEnvironmentVariable("XDG_STATE_HOME");
        if (state.isEmpty() || QDir::isRelativePath(state))
            state = QDir::homePath() + QStringLiteral("/.local/state");
        return state + QStringLiteral("/Moxtrel/logs");
    }();
    return value;
}

QString file()
{
    return folder() + QLatin1Char('/') + baseName() + QStringLiteral(".log");
}

QString formatLine(const QDateTime &when, Level level, Area area, const QString &scrubbed)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1Char(' ')
        + levelName(level).leftJustified(5, QLatin1Char(' ')) + QStringLiteral(" [") + areaName(area)
        + QStringLiteral("] ") + scrubbed + QLatin1Char('\n');
}

} // namespace Log
