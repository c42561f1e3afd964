// A game turned into pictures without a window: PNG files, or a video
// streamed to ffmpeg frame by frame, with progress on stderr.
#ifndef APP_FRAME_EXPORT_H
#define APP_FRAME_EXPORT_H

#include "replay/replay.h"

#include <QString>

struct ExportOptions {
    int from = 0;
    int to = -1;          // the last step when negative
    bool overlay = false; // the viewer's overlay, the step and the status line burnt in
    QString ending;       // how a failed game ended, for the status line
};

// The video formats ffmpeg is asked for, by the file's extension.
bool videoFormatSupported(const QString &path);

// PNG frames frame-NNNNN.png of the steps chosen, painted as the window does.
bool exportFrames(const Replay &replay, const QString &dir, const ExportOptions &options, QString &error);
// The steps chosen as a video at the game's own pace, through ffmpeg's
// standard input: nothing but the frame being painted is held.
bool exportVideo(const Replay &replay, const QString &path, const ExportOptions &options, QString &error);

#endif
