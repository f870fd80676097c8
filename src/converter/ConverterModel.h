#pragma once

#include "engine/ConvertTypes.h"
#include "engine/FFmpeg.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

class Preferences;

// The converter's queue: the files the user gave, the chosen format per kind of
// input, quality, size limit and output folder; converts the waiting files two at a
// time and records each result in its row. Main thread only.
class ConverterModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int skipped READ skipped NOTIFY skippedChanged)
    Q_PROPERTY(int running READ running NOTIFY runningChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY runningChanged)
    Q_PROPERTY(bool sampling READ sampling NOTIFY samplingChanged)
    Q_PROPERTY(int maxSize READ maxSize WRITE setMaxSize NOTIFY maxSizeChanged)
    Q_PROPERTY(QString folder READ folderPath NOTIFY folderChanged)
    Q_PROPERTY(bool combinePDF READ combinePDF WRITE setCombinePDF NOTIFY combinePDFChanged)

public:
    struct Status
    {
        enum class State { waiting, running, done, failed, cancelled };
        State state = State::waiting;
        double progress = 0;  // running
        QString output;       // done
        QString message;      // failed

        static Status waiting() { return {}; }
        static Status running(double progress) { return {State::running, progress, {}, {}}; }
        static Status done(const QString &output) { return {State::done, 0, output, {}}; }
        static Status failed(const QString &message) { return {State::failed, 0, {}, message}; }
        static Status cancelled() { return {State::cancelled, 0, {}, {}}; }

        bool finished() const { return state == State::done || state == State::failed || state == State::cancelled; }
        bool isActive() const { return state == State::waiting || state == State::running; }
        friend bool operator==(const Status &, const Status &) = default;
    };

    struct Item
    {
        QUuid id;
        QString url;  // the source file's absolute path
        ConvertKind kind;
        Status status;
        qint64 size = 0;
        std::optional<FFmpeg::Probe> probe;
        bool probed = false;
    };

    struct Total
    {
        qint64 bytes = 0;
        bool any = false;      // at least one estimate was available
        bool pending = false;  // some missing estimate may still come
    };

    static constexpr int maxRunning = 2;

    explicit ConverterModel(Preferences &prefs, QObject *parent = nullptr);
    ~ConverterModel() override;

    static ConverterModel &shared();

    const QList<Item> &items() const { return m_items; }
    std::optional<Item> item(const QUuid &id) const;

    // Files are taken as they are, folders two levels deep (hidden files skipped).
    void add(const QStringList &paths);
    void remove(const QUuid &id);
    void cancel(const QUuid &id);
    void cancelAll();
    void clearFinished();
    void convertAll();

    QString choice(ConvertKind kind) const { return m_choice.value(kind.value()); }
    std::optional<ConvertTarget> target(ConvertKind kind) const;
    void setChoice(const QString &targetID, ConvertKind kind);
    ConvertQuality quality() const { return m_quality; }
    void setQuality(ConvertQuality quality);
    int maxSize() const { return m_maxSize; }
    void setMaxSize(int maxSize);
    std::optional<QString> folder() const { return m_folder; }
    QString folderPath() const { return m_folder.value_or(QString()); }
    void setFolder(const std::optional<QString> &folder);
    bool combinePDF() const { return m_combinePDF; }
    void setCombinePDF(bool combine);
    ConvertOptions options() const { return {m_quality, m_maxSize}; }

    int skipped() const { return m_skipped; }
    int running() const { return m_running; }
    bool isBusy() const { return m_running > 0; }
    bool sampling() const { return m_sampling; }
    bool hasFinished() const;
    int pending() const;
    QList<ConvertKind> kinds() const;

    // Size estimates.
    static QString sampleKey(const QUuid &id, const QString &targetID, ConvertQuality quality, int maxSize);
    std::optional<qint64> estimate(const Item &item, const ConvertTarget &target) const;
    bool isEstimating(const Item &item, const ConvertTarget &target) const;
    Total estimatedTotal(ConvertKind kind, const ConvertTarget &target) const;
    qint64 originalTotal(ConvertKind kind) const;
    void measureNext();
    const QHash<QString, qint64> &sampled() const { return m_sampled; }
    const QSet<QString> &failedSamples() const { return m_failedSamples; }

    // The sentence shown for an ffmpeg failure message.
    static QString describeFailure(const QString &targetID, const QString &message);

signals:
    void itemsChanged();                // rows added or removed
    void itemChanged(const QUuid &id);  // status or probe of one row
    void skippedChanged();
    void runningChanged();
    void samplingChanged();
    void maxSizeChanged();
    void qualityChanged();
    void choiceChanged();
    void folderChanged();
    void combinePDFChanged();
    void estimatesChanged();

private:
    int indexOf(const QUuid &id) const;
    void setStatus(const QUuid &id, const Status &status);
    void setRunning(int running);
    void setSampling(bool sampling);
    void probeItem(const QUuid &id);

    bool combinePictures();
    void startNext();
    void start(Item &item, const ConvertTarget &target);
    void startFFmpeg(const QUuid &id, const ConvertTarget &target, const QString &output);
    void runJob(const QUuid &id, const ConvertTarget &target, const QString &output,
                const std::optional<FFmpeg::Probe> &probe);
    void startInBackground(const Item &item, const ConvertTarget &target, const QString &output);
    void finish(const QList<QUuid> &ids, ConvertKind kind, const QString &targetID, const QString &output,
                const Status &status);

    Preferences &m_prefs;
    QList<Item> m_items;
    QMap<ConvertKind::Value, QString> m_choice;
    ConvertQuality m_quality;
    int m_maxSize = 0;
    std::optional<QString> m_folder;
    bool m_combinePDF = false;
    int m_skipped = 0;
    QHash<QUuid, FFmpeg::Job *> m_jobs;
    QSet<QUuid> m_stopRequested;   // running rows whose job has not started yet
    QHash<QUuid, QString> m_outputs;  // reserved output of every running row
    QHash<QString, qint64> m_sampled;
    QSet<QString> m_failedSamples;
    bool m_sampling = false;
    int m_running = 0;
};
