#include "app/ConvertCommand.h"

#include "converter/ConverterEngine.h"
#include "converter/ConverterModel.h"
#include "core/MediaApp.h"
#include "core/Preferences.h"
#include "engine/ConvertTypes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <QHash>
#include <QSet>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

using State = ConverterModel::Status::State;

struct Request
{
    QString to;
    ConvertQuality quality = ConvertQuality::balanced;
    int maxSize = 0;
    QString outputDir;
    bool estimate = false;
    bool help = false;
    QStringList paths;
    QString error;
};

void out(const QString &text)
{
    std::fputs(qPrintable(text), stdout);
    std::fflush(stdout);
}

void err(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

QString bytes(qint64 size)
{
    return QLocale::c().formattedDataSize(size, 1, QLocale::DataSizeSIFormat);
}

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

Request parse(const QStringList &args)
{
    Request r;
    bool filesOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args.at(i);
        if (filesOnly || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            r.paths << arg;
            continue;
        }
        QString value;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const bool inlineValue = arg.startsWith(QLatin1String("--")) && eq > 0;
        if (inlineValue) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                r.error = arg + QStringLiteral(" needs a value.");
                return false;
            }
            value = args.at(++i);
            return true;
        };
        if (arg == QLatin1String("--")) {
            filesOnly = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            r.help = true;
        } else if (arg == QLatin1String("--estimate")) {
            r.estimate = true;
        } else if (arg == QLatin1String("--to")) {
            if (!takeValue())
                return r;
            if (!ConvertTarget::byID(value)) {
                r.error = QStringLiteral("Unknown format \"%1\". \"zentrova-media convert --help\" lists them.").arg(value);
                return r;
            }
            r.to = value;
        } else if (arg == QLatin1String("--quality")) {
            if (!takeValue())
                return r;
            const auto quality = ConvertQuality::fromRawValue(value);
            if (!quality) {
                r.error = QStringLiteral("The quality is best, balanced or small, not \"%1\".").arg(value);
                return r;
            }
            r.quality = *quality;
        } else if (arg == QLatin1String("--max-size")) {
            if (!takeValue())
                return r;
            bool ok = false;
            const int size = value.toInt(&ok);
            if (!ok || !ConvertOptions::isValidMaxSize(size)) {
                r.error = QStringLiteral("The maximum size is 0 (original), 2160, 1080, 720 or 480, not \"%1\".").arg(value);
                return r;
            }
            r.maxSize = size;
        } else if (arg == QLatin1String("--output-dir")) {
            if (!takeValue())
                return r;
            r.outputDir = value;
        } else {
            r.error = QStringLiteral("Unknown option \"%1\".").arg(arg);
            return r;
        }
    }
    if (r.help)
        return r;
    if (r.paths.isEmpty())
        r.error = QStringLiteral("Name the files or folders to convert.");
    else if (r.to.isEmpty() && !r.estimate)
        r.error = QStringLiteral("Choose a format with --to, for example --to mp4.");
    return r;
}

QString helpText()
{
    QString text = QStringLiteral(
        "Usage: zentrova-media convert --to ID [--quality best|balanced|small] [--max-size N]\n"
        "                              [--output-dir DIR] [--estimate] PATHS…\n"
        "\n"
        "Converts files, and the files of folders and their subfolders, without changing the\n"
        "originals. Results are saved next to each original (or in DIR) under a free name.\n"
        "\n"
        "  --to ID           the output format (below)\n"
        "  --quality Q       best, balanced (default) or small\n"
        "  --max-size N      largest video height or picture side: 2160, 1080, 720 or 480;\n"
        "                    0 keeps the original size (default)\n"
        "  --output-dir DIR  save into DIR instead of next to the originals\n"
        "  --estimate        print the expected output sizes instead of converting\n"
        "                    (for every format of each file when --to is not given)\n"
        "  -h, --help        show this text\n"
        "\n"
        "Formats by kind of input (the first is the usual choice):\n");
    for (const ConvertKind &kind : ConvertKind::allCases()) {
        text += QStringLiteral("\n  %1:\n").arg(kind.title());
        for (const ConvertTarget &target : ConvertTarget::targets(kind))
            text += QStringLiteral("    %1%2\n").arg(target.id, -12).arg(target.title);
    }
    text += QStringLiteral("\nThe exit status is 0 when every file was converted, 1 when any failed or was\n"
                           "stopped, 2 when the command line is wrong.\n");
    return text;
}

// Ctrl+C or a termination request stops the conversions cleanly: partial files are
// removed and the summary still prints. A second Ctrl+C ends at once.
class StopSignal
{
public:
    explicit StopSignal(std::function<void()> stop)
    {
        if (::pipe(s_pipe) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(s_pipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [stop] {
            char c;
            (void)!::read(s_pipe[0], &c, 1);
            std::signal(SIGINT, SIG_DFL);
            stop();
        });
        std::signal(SIGINT, &StopSignal::handle);
        std::signal(SIGTERM, &StopSignal::handle);
    }
    ~StopSignal()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        m_notifier.reset();
        if (s_pipe[0] >= 0) {
            ::close(s_pipe[0]);
            ::close(s_pipe[1]);
            s_pipe[0] = s_pipe[1] = -1;
        }
    }

private:
    static void handle(int)
    {
        const char c = 1;
        (void)!::write(s_pipe[1], &c, 1);
    }

    static inline int s_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// Prints the conversions as they go: a block of progress lines redrawn in place on
// a terminal, plain lines at every tenth otherwise; one result line per file.
class ProgressPrinter
{
public:
    explicit ProgressPrinter(const ConverterModel &model)
        : m_model(model)
        , m_tty(::isatty(STDOUT_FILENO))
    {
    }

    void changed(const QUuid &id)
    {
        const auto item = m_model.item(id);
        if (!item)
            return;
        const ConverterModel::Status &status = item->status;
        if (status.state == State::running) {
            if (!m_started.contains(id))
                m_started.insert(id, QDateTime::currentMSecsSinceEpoch());
            if (!m_tty) {
                const int tenth = int(status.progress * 10);
                if (m_lastTenth.value(id, -1) < tenth) {
                    m_lastTenth[id] = tenth;
                    out(progressLine(*item) + QLatin1Char('\n'));
                }
            }
        } else if (status.finished() && !m_reported.contains(id)) {
            m_reported.insert(id);
            m_started.remove(id);
            erase();
            out(resultLine(*item) + QLatin1Char('\n'));
        }
        redraw();
    }

    void redraw()
    {
        if (!m_tty)
            return;
        erase();
        QString block;
        for (const ConverterModel::Item &item : m_model.items()) {
            if (item.status.state == State::running)
                block += progressLine(item) + QStringLiteral("\x1b[K\n");
        }
        m_drawn = int(block.count(QLatin1Char('\n')));
        out(block);
    }

    static QString resultLine(const ConverterModel::Item &item)
    {
        const QString name = fileName(item.url);
        switch (item.status.state) {
        case State::done:
            return name + QStringLiteral(": Saved as ") + fileName(item.status.output);
        case State::failed:
            return name + QStringLiteral(": ") + item.status.message;
        case State::cancelled:
            return name + QStringLiteral(": Stopped");
        default:
            return name;
        }
    }

private:
    void erase()
    {
        if (m_tty && m_drawn > 0)
            out(QStringLiteral("\x1b[%1F\x1b[J").arg(m_drawn));
        m_drawn = 0;
    }

    QString progressLine(const ConverterModel::Item &item) const
    {
        const double p = item.status.progress;
        QString line = fileName(item.url) + QStringLiteral(": ");
        if (p <= 0)
            return line + QStringLiteral("Converting…");
        line += QString::number(int(p * 100)) + QStringLiteral(" %");
        const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_started.value(item.id);
        if (p >= 0.02 && elapsed >= 1000) {
            const qint64 left = qint64(elapsed * (1 - p) / p / 1000 + 0.5);
            line += left >= 60 ? QStringLiteral(", about %1 min %2 s left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'))
                               : QStringLiteral(", about %1 s left").arg(left);
        }
        return line;
    }

    const ConverterModel &m_model;
    const bool m_tty;
    int m_drawn = 0;
    QHash<QUuid, qint64> m_started;
    QHash<QUuid, int> m_lastTenth;
    QSet<QUuid> m_reported;
};

// Items whose kind does not offer the chosen format leave the queue with a message.
int refuseUnsuitable(ConverterModel &model, const ConvertTarget &target)
{
    int refused = 0;
    const QList<ConverterModel::Item> items = model.items();
    for (const ConverterModel::Item &item : items) {
        const QList<ConvertTarget> offered = ConvertTarget::targets(item.kind);
        if (std::find(offered.cbegin(), offered.cend(), target) != offered.cend())
            continue;
        out(fileName(item.url) + QStringLiteral(": ") + item.kind.title() + QStringLiteral(" can't be converted to ")
            + target.title + QStringLiteral(".\n"));
        model.remove(item.id);
        ++refused;
    }
    return refused;
}

void waitUntil(const std::function<bool()> &done, ConverterModel &model)
{
    QEventLoop loop;
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    const auto a = QObject::connect(&model, &ConverterModel::itemChanged, &loop, check);
    const auto b = QObject::connect(&model, &ConverterModel::estimatesChanged, &loop, check);
    const auto c = QObject::connect(&model, &ConverterModel::runningChanged, &loop, check);
    const auto d = QObject::connect(&model, &ConverterModel::samplingChanged, &loop, check);
    if (!done())
        loop.exec();
    QObject::disconnect(a);
    QObject::disconnect(b);
    QObject::disconnect(c);
    QObject::disconnect(d);
}

bool allProbed(const ConverterModel &model)
{
    return std::all_of(model.items().cbegin(), model.items().cend(),
                       [](const ConverterModel::Item &item) { return item.probed || (item.kind != ConvertKind::video && item.kind != ConvertKind::audio); });
}

QString estimateText(const ConverterModel &model, const ConverterModel::Item &item, const ConvertTarget &target)
{
    const auto size = model.estimate(item, target);
    if (!size)
        return QStringLiteral("no estimate");
    QString text = QStringLiteral("about ") + bytes(*size);
    if (item.size > 0) {
        const double r = double(*size) / double(item.size);
        if (r < 0.995)
            text += QStringLiteral(" (%1% smaller)").arg(qRound((1 - r) * 100));
        else if (r > 1.005)
            text += QStringLiteral(" (%1% bigger)").arg(qRound((r - 1) * 100));
        else
            text += QStringLiteral(" (same size)");
    }
    return text;
}

int runEstimate(ConverterModel &model, const Request &request)
{
    waitUntil([&] { return allProbed(model); }, model);
    QList<ConvertTarget> sampledTargets;  // video formats, measured one target at a time
    for (const ConverterModel::Item &item : model.items()) {
        QList<ConvertTarget> targets = ConvertTarget::targets(item.kind);
        if (!request.to.isEmpty())
            targets = {*ConvertTarget::byID(request.to)};
        for (const ConvertTarget &t : std::as_const(targets)) {
            if (item.kind == ConvertKind::video && ConverterEngine::needsSample(t) && !sampledTargets.contains(t))
                sampledTargets << t;
        }
    }
    for (const ConvertTarget &t : std::as_const(sampledTargets)) {
        model.setChoice(t.id, ConvertKind::video);
        waitUntil([&] {
            return !model.sampling()
                && std::none_of(model.items().cbegin(), model.items().cend(),
                                [&](const ConverterModel::Item &item) { return model.isEstimating(item, t); });
        }, model);
    }
    for (const ConverterModel::Item &item : model.items()) {
        out(QStringLiteral("%1 (%2, %3):\n").arg(fileName(item.url), item.kind.title(), bytes(item.size)));
        QList<ConvertTarget> targets = ConvertTarget::targets(item.kind);
        if (!request.to.isEmpty())
            targets = {*ConvertTarget::byID(request.to)};
        for (const ConvertTarget &t : std::as_const(targets))
            out(QStringLiteral("  %1%2\n").arg(t.id, -12).arg(estimateText(model, item, t)));
    }
    return 0;
}

int runConversions(ConverterModel &model, const ConvertTarget &target, int refused)
{
    for (const ConvertKind &kind : ConvertKind::allCases())
        model.setChoice(target.id, kind);
    ProgressPrinter printer(model);
    QObject::connect(&model, &ConverterModel::itemChanged, &model, [&](const QUuid &id) { printer.changed(id); });
    QTimer ticker;  // keeps the time left current between progress reports
    QObject::connect(&ticker, &QTimer::timeout, [&] { printer.redraw(); });
    ticker.start(1000);
    StopSignal stop([&] { model.cancelAll(); });

    model.convertAll();
    waitUntil([&] {
        return model.running() == 0
            && std::all_of(model.items().cbegin(), model.items().cend(),
                           [](const ConverterModel::Item &item) { return item.status.finished(); });
    }, model);
    ticker.stop();
    printer.redraw();

    int saved = 0, failed = refused, stopped = 0;
    for (const ConverterModel::Item &item : model.items()) {
        saved += item.status.state == State::done;
        failed += item.status.state == State::failed;
        stopped += item.status.state == State::cancelled;
    }
    const int total = saved + failed + stopped;
    QString summary = QStringLiteral("%1 file%2: %3 saved").arg(total).arg(total == 1 ? "" : "s").arg(saved);
    if (failed)
        summary += QStringLiteral(", %1 failed").arg(failed);
    if (stopped)
        summary += QStringLiteral(", %1 stopped").arg(stopped);
    out(summary + QStringLiteral(".\n"));
    return failed + stopped > 0 ? 1 : 0;
}

} // namespace

int runConvertCommand(const QStringList &args)
{
    const Request request = parse(args);
    if (request.help) {
        out(helpText());
        return 0;
    }
    if (!request.error.isEmpty()) {
        err(request.error + QStringLiteral("\nTry \"zentrova-media convert --help\"."));
        return 2;
    }
    QString folder;
    if (!request.outputDir.isEmpty()) {
        const QFileInfo info(request.outputDir);
        if (!info.isDir()) {
            err(QStringLiteral("There is no folder at %1.").arg(request.outputDir));
            return 2;
        }
        folder = info.absoluteFilePath();
    }
    for (const QString &path : request.paths) {
        if (!QFileInfo::exists(path))
            err(QStringLiteral("%1: No such file or folder.").arg(path));
    }

    // The window's remembered choices stay as they are: this run keeps its own.
    QTemporaryDir scratch;
    Preferences prefs(scratch.filePath(QStringLiteral("preferences.json")));
    ConverterModel model(prefs);
    model.setQuality(request.quality);
    model.setMaxSize(request.maxSize);
    if (!folder.isEmpty())
        model.setFolder(folder);
    model.add(request.paths);
    if (model.skipped() > 0) {
        out(QStringLiteral("%1 skipped (not a format %2 converts)\n").arg(model.skipped()).arg(MediaApp::name()));
    }
    const int missing = int(std::count_if(request.paths.cbegin(), request.paths.cend(),
                                          [](const QString &p) { return !QFileInfo::exists(p); }));
    if (model.items().isEmpty()) {
        err(QStringLiteral("Nothing to convert."));
        return 1;
    }
    if (request.estimate)
        return runEstimate(model, request);
    const ConvertTarget target = *ConvertTarget::byID(request.to);
    const int refused = refuseUnsuitable(model, target);
    if (model.items().isEmpty()) {
        out(QStringLiteral("%1 file%2: 0 saved, %1 failed.\n").arg(refused).arg(refused == 1 ? "" : "s"));
        return 1;
    }
    const int status = runConversions(model, target, refused);
    return missing > 0 ? 1 : status;
}
