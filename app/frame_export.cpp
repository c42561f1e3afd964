#include "app/frame_export.h"

#include "app/agent_panel.h"
#include "app/replay_view.h"
#include "engine/ball_engine.h"
#include "engine/game_rules.h"
#include "views/arena_painter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

// A status line under the arena when the overlay is burnt in.
constexpr int statusHeight = 40;
// How often progress is said, in milliseconds.
constexpr qint64 progressEveryMs = 2000;

// Paints the frames of one export, one at a time, into one image.
class FramePainter
{
public:
    FramePainter(const Replay &replay, const ExportOptions &options) : replay(replay), options(options)
    {
        engine.setup(rules::agentsPerGame, rules::maxArenaScale);
        painter.setup(uint32_t(rules::agentsPerGame), engine);
        image = QImage(engine.width, engine.height + (options.overlay ? statusHeight : 0), QImage::Format_RGB32);
    }

    const QImage &paint(int step)
    {
        showFrame(replay.frames[size_t(step)], engine);
        OverlayState shown;
        shown.ring = shown.deaths = options.overlay;
        QPainter p(&image);
        p.fillRect(image.rect(), Qt::black);
        paintScaled(p, QRectF(0, 0, engine.width, engine.height), painter, engine, overlayAt(replay, step, shown));
        if (options.overlay) {
            p.setPen(Qt::white);
            p.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 11));
            p.drawText(QRect(8, engine.height, engine.width - 16, statusHeight), Qt::AlignVCenter | Qt::TextWordWrap,
                       stepStatus(replay, step, options.ending));
        }
        return image;
    }

private:
    const Replay &replay;
    const ExportOptions &options;
    Ball_engine engine;
    ArenaPainter painter;
    QImage image;
};

int lastOf(const Replay &replay, const ExportOptions &options)
{
    const int last = int(replay.frames.size()) - 1;
    return options.to < 0 ? last : std::min(options.to, last);
}

// "exporting: 120 of 734 frames (16%)", at most every few seconds.
class Progress
{
public:
    explicit Progress(int total) : total(total) { clock.start(); }
    void done(int frames)
    {
        if (frames < total && clock.elapsed() < said + progressEveryMs)
            return;
        said = clock.elapsed();
        std::fprintf(stderr, "\rexporting: %d of %d frames (%d%%)%s", frames, total, total ? 100 * frames / total : 100,
                     frames == total ? "\n" : "");
        std::fflush(stderr);
    }

private:
    int total;
    QElapsedTimer clock;
    qint64 said = -progressEveryMs;
};

QStringList ffmpegArguments(const QString &path, const QSize &size)
{
    QStringList arguments{QStringLiteral("-y"),
                          QStringLiteral("-loglevel"),
                          QStringLiteral("error"),
                          QStringLiteral("-f"),
                          QStringLiteral("rawvideo"),
                          QStringLiteral("-pix_fmt"),
                          QStringLiteral("bgra"),
                          QStringLiteral("-s"),
                          QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                          QStringLiteral("-framerate"),
                          QString::number(1000 / rules::tickIntervalMs),
                          QStringLiteral("-i"),
                          QStringLiteral("-")};
    if (path.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive))
        arguments << QStringLiteral("-vf")
                  << QStringLiteral("scale=640:-1:flags=lanczos,split[a][b];[a]palettegen[p];[b][p]paletteuse");
    else
        // No look-ahead and few threads: the encoder holds a frame or two,
        // not dozens, and its memory stays small.
        arguments << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p") << QStringLiteral("-preset")
                  << QStringLiteral("veryfast") << QStringLiteral("-tune") << QStringLiteral("zerolatency")
                  << QStringLiteral("-threads") << QStringLiteral("2");
    return arguments << path;
}

bool streamFrames(QProcess &ffmpeg, FramePainter &frames, int from, int last, QString &error)
{
    Progress progress(last - from + 1);
    for (int step = from; step <= last; ++step) {
        const QImage &image = frames.paint(step);
        const qint64 bytes = qint64(image.bytesPerLine()) * image.height();
        if (ffmpeg.write(reinterpret_cast<const char *>(image.constBits()), bytes) != bytes) {
            error = QStringLiteral("ffmpeg stopped reading: %1").arg(ffmpeg.errorString());
            return false;
        }
        // One frame in flight at most: memory stays flat however long the game.
        while (ffmpeg.bytesToWrite() > 0)
            if (!ffmpeg.waitForBytesWritten(-1))
                break;
        progress.done(step - from + 1);
    }
    return true;
}

} // namespace

bool videoFormatSupported(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("mp4") || suffix == QLatin1String("mkv") || suffix == QLatin1String("webm")
        || suffix == QLatin1String("gif");
}

bool exportFrames(const Replay &replay, const QString &dir, const ExportOptions &options, QString &error)
{
    if (!QDir().mkpath(dir)) {
        error = QStringLiteral("cannot make the folder %1").arg(dir);
        return false;
    }
    FramePainter frames(replay, options);
    const int last = lastOf(replay, options);
    Progress progress(last - options.from + 1);
    for (int step = options.from; step <= last; ++step) {
        const QString file = QDir(dir).filePath(QStringLiteral("frame-%1.png").arg(step, 5, 10, QLatin1Char('0')));
        if (!frames.paint(step).save(file, "PNG")) {
            error = QStringLiteral("cannot write %1").arg(file);
            return false;
        }
        progress.done(step - options.from + 1);
    }
    return true;
}

bool exportVideo(const Replay &replay, const QString &path, const ExportOptions &options, QString &error)
{
    const QString ffmpegPath = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpegPath.isEmpty()) {
        error = QStringLiteral("--export-video needs ffmpeg, which is not installed (apt-get install ffmpeg)");
        return false;
    }
    FramePainter frames(replay, options);
    const QSize size = frames.paint(options.from).size();
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    ffmpeg.start(ffmpegPath, ffmpegArguments(path, size));
    if (!ffmpeg.waitForStarted(-1)) {
        error = QStringLiteral("cannot start ffmpeg: %1").arg(ffmpeg.errorString());
        return false;
    }
    const bool streamed = streamFrames(ffmpeg, frames, options.from, lastOf(replay, options), error);
    ffmpeg.closeWriteChannel();
    const bool finished
        = ffmpeg.waitForFinished(-1) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    if (streamed && !finished)
        error = QStringLiteral("ffmpeg could not write %1: %2")
                    .arg(path, QString::fromLocal8Bit(ffmpeg.readAllStandardError()).trimmed());
    return streamed && finished;
}
