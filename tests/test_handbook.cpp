// Runs every worked example of the controller writer's handbook on the
// engine, so that the handbook cannot drift from the code.
#include "app/window_placement.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/step.h"
#include "tests/engine_fixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

void standStill(int &action, const size_t, const size_t, const size_t, const int *, const int *, const int *,
                const int *, const int *)
{
    action = 0;
}

struct Example {
    int line = 0; // where its block starts in the handbook
    QStringList commands;
};

QVector<Example> examplesIn(const QString &path)
{
    QVector<Example> examples;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return examples;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed() != QLatin1String("```example"))
            continue;
        Example example;
        example.line = i + 1;
        while (++i < lines.size() && lines[i].trimmed() != QLatin1String("```"))
            example.commands << lines[i].simplified();
        examples.append(example);
    }
    return examples;
}

// Plays one example on a fresh engine; returns what went wrong, if anything.
class Runner
{
public:
    Runner() { setUpEmptyArena(engine); }

    QString run(const QString &command)
    {
        const QStringList w = command.split(QLatin1Char(' '));
        QRegularExpressionMatch m;
        auto matches = [&](const char *pattern) {
            m = QRegularExpression(QStringLiteral("^%1$").arg(QLatin1String(pattern))).match(command);
            return m.hasMatch();
        };
        auto n = [&](int k) { return m.captured(k).toInt(); };
        if (matches("(agent|resource) (\\d+) at (-?\\d+),(-?\\d+) radius (\\d+)( velocity (-?\\d+),(-?\\d+))?")) {
            if (m.captured(1) == QLatin1String("agent"))
                placeAgent(engine, size_t(n(2)), n(3), n(4), n(5), n(7), n(8));
            else
                placeResource(engine, size_t(n(2)), n(3), n(4), n(5));
        } else if (matches("action (\\d+) (-?\\d+)")) {
            engine.getActions()[n(1)] = n(2);
        } else if (command == QLatin1String("step")) {
            // The step in agent order: the game shuffles the order first.
            engine.savePositions();
            for (size_t i = 0; i < engine.getNumAgents(); ++i)
                engine.moveAgent(i);
            engine.settleContests();
            engine.eatResources();
            alive = engine.countAliveAgents();
        } else if (matches("game seed (\\d+)")) {
            engine.setController(&standStill);
            engine.resetSeeded(unsigned(n(1)));
            phase = 0;
            laidOut = resourcePlaces();
        } else if (matches("play (\\d+) steps?")) {
            for (int s = 0; s < n(1); ++s) {
                chooseAllActions(engine);
                alive = stepArena(engine, phase);
            }
        } else if (command == QLatin1String("choose actions")) {
            chooseAllActions(engine);
        } else if (matches("screen (\\d+)")) {
            engine.setup(10, arenaScaleFor(size_t(n(1))));
        } else if (command.startsWith(QLatin1String("expect "))) {
            return expect(command.mid(7));
        } else {
            return QStringLiteral("not understood");
        }
        return QString();
    }

private:
    QString expect(const QString &what)
    {
        QRegularExpressionMatch m;
        auto matches = [&](const char *pattern) {
            m = QRegularExpression(QStringLiteral("^%1$").arg(QLatin1String(pattern))).match(what);
            return m.hasMatch();
        };
        if (matches(
                "(agent|resource) (\\d+)( at (-?\\d+),(-?\\d+))?( radius (-?\\d+))?( velocity (-?\\d+),(-?\\d+))?")) {
            const bool agent = m.captured(1) == QLatin1String("agent");
            const size_t k = size_t(m.captured(2).toInt()) + (agent ? 0 : engine.getNumAgents());
            QStringList seen;
            if (!m.captured(3).isEmpty())
                seen << QStringLiteral("at %1,%2").arg(engine.getXCoordinate()[k]).arg(engine.getYCoordinate()[k]);
            if (!m.captured(6).isEmpty())
                seen << QStringLiteral("radius %1").arg(engine.getCircleRadius()[k]);
            if (!m.captured(8).isEmpty())
                seen << QStringLiteral("velocity %1,%2").arg(engine.getXVelocity()[k]).arg(engine.getYVelocity()[k]);
            const QString actual
                = QStringLiteral("%1 %2 %3").arg(m.captured(1), m.captured(2), seen.join(QLatin1Char(' ')));
            return actual == what ? QString() : QStringLiteral("the engine shows '%1'").arg(actual);
        }
        if (matches("alive (\\d+)"))
            return alive == m.captured(1).toInt() ? QString() : QStringLiteral("%1 alive").arg(alive);
        if (what == QLatin1String("set"))
            return isGameSet(alive) && engine.getCircleRadius()[0] > 0 ? QString()
                                                                       : QStringLiteral("not set with agent 0 alive");
        if (matches("arena (\\d+)x(\\d+)")) {
            const QString actual = QStringLiteral("arena %1x%2").arg(engine.width).arg(engine.height);
            return actual == what ? QString() : QStringLiteral("the engine has '%1'").arg(actual);
        }
        if (matches("actions((?: -?\\d+)+)")) {
            QString actual = QStringLiteral("actions");
            for (size_t i = 0; i < engine.getNumAgents(); ++i)
                actual += QStringLiteral(" %1").arg(engine.getActions()[i]);
            return actual == what ? QString() : QStringLiteral("the engine chose '%1'").arg(actual);
        }
        if (what == QLatin1String("resources as laid out"))
            return resourcePlaces() == laidOut ? QString() : QStringLiteral("they moved");
        if (what == QLatin1String("resources laid out anew")) {
            const QVector<QPoint> now = resourcePlaces();
            for (int j = 0; j < now.size(); ++j) {
                const int r = engine.getCircleRadius()[engine.getNumAgents() + size_t(j)];
                if (now[j] == laidOut[j] || r < 1 || r > engine.resourceMaxRadius)
                    return QStringLiteral("resource %1 at %2,%3 radius %4 was not laid out anew")
                        .arg(j)
                        .arg(now[j].x())
                        .arg(now[j].y())
                        .arg(r);
            }
            return QString();
        }
        return QStringLiteral("not understood");
    }

    QVector<QPoint> resourcePlaces() const
    {
        QVector<QPoint> places;
        for (size_t j = engine.getNumAgents(); j < engine.getNumAgents() + engine.getNumResources(); ++j)
            places.append(QPoint(engine.getXCoordinate()[j], engine.getYCoordinate()[j]));
        return places;
    }

    Ball_engine engine;
    size_t phase = 0;
    int alive = 0;
    QVector<QPoint> laidOut;
};

} // namespace

class TestHandbook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyWorkedExampleHolds();
};

void TestHandbook::everyWorkedExampleHolds()
{
    const QVector<Example> examples = examplesIn(QStringLiteral(HANDBOOK));
    QVERIFY2(examples.size() >= 16, qPrintable(QStringLiteral("%1 examples found").arg(examples.size())));
    QStringList failures;
    for (const Example &example : examples) {
        Runner runner;
        for (int c = 0; c < example.commands.size(); ++c) {
            const QString problem = runner.run(example.commands[c]);
            if (!problem.isEmpty()) {
                failures << QStringLiteral("docs/controllers.md:%1: '%2': %3")
                                .arg(example.line + 1 + c)
                                .arg(example.commands[c], problem);
                break;
            }
        }
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
}

QTEST_APPLESS_MAIN(TestHandbook)
#include "test_handbook.moc"
