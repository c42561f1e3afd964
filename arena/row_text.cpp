#include "arena/row_text.h"

#include "arena/games/sandbox.h"
#include "engine/ball_engine.h"

#include <cstring>

QString failureReason(const GameRow &row)
{
    switch (row.failure) {
    case FailureKind::None: return QString();
    case FailureKind::Crashed: {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
        const char *abbreviation = sigabbrev_np(row.failureCode);
        if (abbreviation)
            return QStringLiteral("signal %1 (SIG%2)").arg(row.failureCode).arg(QString::fromLatin1(abbreviation));
#endif
        return QStringLiteral("signal %1").arg(row.failureCode);
    }
    case FailureKind::TimeLimit: return QStringLiteral("a call took over %1 ms").arg(row.failureCode);
    case FailureKind::Exited:
        return QStringLiteral("the controller ended the process with exit code %1").arg(row.failureCode);
    case FailureKind::Refused: {
        const QString call = QString::fromStdString(sandbox::callName(row.failureCode));
        return QStringLiteral("sandbox: refused %1%2")
            .arg(call,
                 call == QLatin1String("mmap") || call == QLatin1String("mremap")
                     ? QStringLiteral(" (a mapping larger than the memory limit)")
                     : QString());
    }
    case FailureKind::Lost: return QStringLiteral("the arena could not start the game");
    case FailureKind::Stalled: return QStringLiteral("the game stopped making progress");
    case FailureKind::BadChannel: return QStringLiteral("its process sent something other than actions");
    }
    return QString();
}

QString failureLine(const GameRow &row)
{
    return QStringLiteral("%1 at seed %2, step %3: %4")
        .arg(QLatin1String(gameEndName(row)))
        .arg(row.seed)
        .arg(row.steps)
        .arg(failureReason(row));
}

QString deathCauseText(const GameRow &row)
{
    switch (row.deathCause) {
    case RadiusChange::Wall: return QStringLiteral("wall");
    case RadiusChange::Contest: return QStringLiteral("contest with agent [%1]").arg(row.deathOther + 1);
    default: return QString();
    }
}

bool parseDeathCause(const QString &text, int32_t &cause, int32_t &other)
{
    const QString contest = QStringLiteral("contest with agent ");
    if (text == QLatin1String("wall")) {
        cause = RadiusChange::Wall;
        other = -1;
        return true;
    }
    if (!text.startsWith(contest))
        return false;
    const QString named = text.mid(contest.size());
    const bool label = named.startsWith(QLatin1Char('[')) && named.endsWith(QLatin1Char(']'));
    bool ok = false;
    const int number = label ? named.mid(1, named.size() - 2).toInt(&ok) : named.toInt(&ok);
    if (!ok)
        return false;
    cause = RadiusChange::Contest;
    other = label ? number - 1 : number;
    return true;
}
