// One call of a Python controller through libpybrainlet.so: building obs,
// calling controller(obs) and reading its int back. The controller returns
// 0, so what is measured is the brainlet's own cost.
#include "engine/ball_engine.h"
#include "engine/game_rules.h"
#include "plugin/controller_library.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

namespace {

ControllerFunction pythonController = nullptr;

void BM_PythonControllerCall(benchmark::State &state)
{
    if (!pythonController) {
        state.SkipWithError("libpybrainlet.so did not load");
        return;
    }
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.resetSeeded(1);
    int action = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        pythonController(action, 0, engine.getNumAgents(), engine.getNumResources(), engine.getCircleRadius(),
                         engine.getXCoordinate(), engine.getYCoordinate(), engine.getXVelocity(),
                         engine.getYVelocity());
        benchmark::DoNotOptimize(action);
    }
}
BENCHMARK(BM_PythonControllerCall)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("still.py"));
    QFile source(file);
    if (source.open(QIODevice::WriteOnly | QIODevice::Text))
        QTextStream(&source) << "def controller(obs):\n    return 0\n";
    source.close();
    qputenv("PELLORIA_PY_CONTROLLER", file.toLocal8Bit());
    pythonController = loadController(QStringLiteral(PYBRAINLET), QStringLiteral("python")).function;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
