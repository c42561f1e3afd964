// The Python module `pelloria`: seeded games to play and train against, one
// at a time or many per call, with the names and shapes of the Gymnasium
// API, and frames painted by the game's own ArenaPainter.
#include "arena_painter.h"
#include "game_core.h"
#include "game_rules.h"
#include "offscreen.h"

#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace py = pybind11;

namespace {

constexpr int defaultMaxSteps = 100000;

using IntArray = py::array_t<int32_t, py::array::c_style>;

// A whole number from Python (numpy's integers count; floats and bools do
// not), or a TypeError naming `what`.
py::int_ wholeNumber(const py::handle &value, const char *what)
{
    if (py::isinstance<py::bool_>(value) || py::isinstance<py::float_>(value) || !py::hasattr(value, "__index__"))
        throw py::type_error(std::string(what) + " must be an int, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    return py::int_(value.attr("__index__")());
}

// A seed: a whole number from 0 to 2^32 - 1, or a clear error.
uint32_t seedFrom(const py::handle &value)
{
    const py::int_ number = wholeNumber(value, "seed");
    if (number < py::int_(0) || number > py::int_(UINT32_MAX))
        throw py::value_error("seed must be from 0 to 4294967295, not " + py::repr(number).cast<std::string>());
    return number.cast<uint32_t>();
}

int actionFrom(const py::handle &value)
{
    const py::int_ number = wholeNumber(value, "action");
    // Like a plug-in's: anything outside 0..8 is no acceleration.
    if (number < py::int_(INT_MIN) || number > py::int_(INT_MAX))
        return 0;
    return number.cast<int>();
}

// What the games' controllers see: radius, x, y (15 circles) and vx, vy (10
// agents) as int32 arrays, with a leading axis of games when `batched`.
py::dict observation(const GameCore *const *games, size_t count, bool batched)
{
    const py::ssize_t n = py::ssize_t(count);
    auto shaped = [&](py::ssize_t width) {
        return IntArray(batched ? std::vector<py::ssize_t>{n, width} : std::vector<py::ssize_t>{width});
    };
    IntArray radius = shaped(GameCore::circles), x = shaped(GameCore::circles), y = shaped(GameCore::circles),
             vx = shaped(GameCore::agents), vy = shaped(GameCore::agents);
    for (size_t i = 0; i < count; ++i)
        games[i]->observe(radius.mutable_data() + i * GameCore::circles, x.mutable_data() + i * GameCore::circles,
                          y.mutable_data() + i * GameCore::circles, vx.mutable_data() + i * GameCore::agents,
                          vy.mutable_data() + i * GameCore::agents);
    py::dict obs;
    obs["radius"] = radius;
    obs["x"] = x;
    obs["y"] = y;
    obs["vx"] = vx;
    obs["vy"] = vy;
    return obs;
}

py::dict observation(const GameCore &game)
{
    const GameCore *one = &game;
    return observation(&one, 1, false);
}

py::dict information(const GameCore &game)
{
    py::dict info;
    info["seed"] = game.seed();
    info["step"] = game.steps();
    info["agent0_radius"] = game.agent0Radius();
    info["alive"] = game.alive();
    if (game.over()) {
        info["outcome"] = game.outcome();
        info["agent0_rank"] = game.agent0Rank();
        info["agent0_survived"] = std::strcmp(game.outcome(), "set") == 0 && game.agent0Radius() > 0;
    }
    return info;
}

// Text needs a QGuiApplication; a script has none, so one is made the first
// time a frame is asked for, on the offscreen platform unless told otherwise.
void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    prepareOffscreen();
    static int argc = 1;
    static char name[] = "pelloria";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    (void)app;
}

py::array_t<uint8_t> renderFrame(const GameCore &game)
{
    ensureGuiApplication();
    const Ball_engine &engine = game.arena();
    ArenaPainter painter;
    painter.setup(uint32_t(engine.getNumAgents()), engine);
    QImage image(engine.width, engine.height, QImage::Format_RGB888);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPaintEvent event(image.rect());
        painter.paint(&p, &event, engine);
    }
    py::array_t<uint8_t> frame({engine.height, engine.width, 3});
    uint8_t *out = frame.mutable_data();
    for (int row = 0; row < engine.height; ++row)
        std::memcpy(out + size_t(row) * size_t(engine.width) * 3, image.constScanLine(row), size_t(engine.width) * 3);
    return frame;
}

class Game
{
public:
    Game(int maxSteps, bool playOut) : core(checkedSteps(maxSteps), playOut) {}

    py::tuple reset(const py::object &seed)
    {
        nextSeed = seed.is_none() ? nextSeed : seedFrom(seed);
        core.reset(nextSeed);
        nextSeed = nextSeed == UINT32_MAX ? 0 : nextSeed + 1;
        started = true;
        return py::make_tuple(observation(core), information(core));
    }

    py::tuple step(const py::handle &action)
    {
        const int code = actionFrom(action);
        if (!started)
            throw py::value_error("call reset() before step()");
        const StepOutcome o = core.step(code);
        return py::make_tuple(observation(core), o.reward, o.terminated, o.truncated, information(core));
    }

    py::array_t<uint8_t> render() const
    {
        if (!started)
            throw py::value_error("call reset() before render()");
        return renderFrame(core);
    }

    static int checkedSteps(int maxSteps)
    {
        if (maxSteps < 1)
            throw py::value_error("max_steps must be at least 1");
        return maxSteps;
    }

    GameCore core;
    uint32_t nextSeed = 1;
    bool started = false;
};

// n games stepped in one call, each reset with the next seed when it ends.
class VectorGame
{
public:
    VectorGame(int n, const py::object &seed, int maxSteps, bool playOut)
    {
        if (n < 1)
            throw py::value_error("n must be at least 1");
        firstSeed = seedFrom(seed);
        for (int i = 0; i < n; ++i)
            games.push_back(std::make_unique<GameCore>(Game::checkedSteps(maxSteps), playOut));
    }

    py::tuple reset(const py::object &chosenSeeds)
    {
        if (chosenSeeds.is_none()) {
            nextSeed = firstSeed;
            for (auto &game : games)
                game->reset(nextSeed++);
        } else {
            // Chosen seeds, for instance the same few for every candidate
            // of a training step; later games go on after the largest.
            std::vector<uint32_t> chosen;
            for (const py::handle item : py::iter(chosenSeeds))
                chosen.push_back(seedFrom(item));
            if (chosen.size() != games.size())
                throw py::value_error("seeds must hold " + std::to_string(games.size()) + " seeds");
            uint32_t largest = 0;
            for (size_t i = 0; i < games.size(); ++i) {
                games[i]->reset(chosen[i]);
                largest = std::max(largest, chosen[i]);
            }
            nextSeed = largest + 1;
        }
        py::dict info;
        info["seed"] = seeds();
        return py::make_tuple(observations(), info);
    }

    py::tuple step(const py::array &actions)
    {
        if (nextSeed == 0 && firstSeed != 0)
            throw py::value_error("call reset() before step()");
        const char kind = actions.dtype().kind();
        if (kind != 'i' && kind != 'u')
            throw py::type_error("actions must be an array of ints, not of dtype " + std::string(py::str(actions.dtype())));
        if (actions.ndim() != 1 || actions.shape(0) != py::ssize_t(games.size()))
            throw py::value_error("actions must have shape (" + std::to_string(games.size()) + ",)");
        const auto codes = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(actions);
        const long long *code = codes.data();
        const size_t n = games.size();
        const py::ssize_t count = py::ssize_t(n);
        py::array_t<float> rewards(count);
        py::array_t<bool> terminated(count), truncated(count), survived(count);
        py::array_t<int64_t> endedSeed(count);
        IntArray finalRadius(count), finalRank(count), finalSteps(count);
        {
            py::gil_scoped_release release;
            for (size_t i = 0; i < n; ++i) {
                GameCore &game = *games[i];
                const long long c = code[i];
                const StepOutcome o = game.step(c < INT_MIN || c > INT_MAX ? 0 : int(c));
                rewards.mutable_data()[i] = o.reward;
                terminated.mutable_data()[i] = o.terminated;
                truncated.mutable_data()[i] = o.truncated;
                endedSeed.mutable_data()[i] = game.over() ? int64_t(game.seed()) : -1;
                finalRadius.mutable_data()[i] = game.agent0Radius();
                finalRank.mutable_data()[i] = game.agent0Rank();
                finalSteps.mutable_data()[i] = game.steps();
                survived.mutable_data()[i] = game.over() && std::strcmp(game.outcome(), "set") == 0 && game.agent0Radius() > 0;
                if (game.over())
                    game.reset(nextSeed++);
            }
        }
        py::dict info;
        info["seed"] = seeds();
        info["ended_seed"] = endedSeed;
        info["agent0_radius"] = finalRadius;
        info["agent0_rank"] = finalRank;
        info["steps"] = finalSteps;
        info["agent0_survived"] = survived;
        return py::make_tuple(observations(), rewards, terminated, truncated, info);
    }

    size_t size() const { return games.size(); }

private:
    py::dict observations() const
    {
        std::vector<const GameCore *> all;
        for (const auto &game : games)
            all.push_back(game.get());
        return observation(all.data(), all.size(), true);
    }

    py::array_t<uint32_t> seeds() const
    {
        py::array_t<uint32_t> out(py::ssize_t(games.size()));
        for (size_t i = 0; i < games.size(); ++i)
            out.mutable_data()[i] = games[i]->seed();
        return out;
    }

    std::vector<std::unique_ptr<GameCore>> games;
    uint32_t firstSeed = 1;
    uint32_t nextSeed = 0;
};

} // namespace

PYBIND11_MODULE(pelloria, m)
{
    m.doc() = "Seeded Pelloria games under pelloria-arena's rules, for playing and training controllers.";
    m.attr("ACTIONS") = int(BRAINLET_ACTIONS);
    m.attr("AGENTS") = int(BRAINLET_AGENTS);
    m.attr("RESOURCES") = int(BRAINLET_RESOURCES);
    m.attr("ARENA_WIDTH") = int(BRAINLET_MAX_ARENA_WIDTH);
    m.attr("ARENA_HEIGHT") = int(BRAINLET_MAX_ARENA_HEIGHT);
    m.attr("DEATH_PENALTY") = deathPenalty;

    py::class_<Game>(m, "Game",
                     "One seeded game. reset(seed) lays it out; step(action) plays agent 0's action and one "
                     "step of the rules.\n\nreward: the change in agent 0's radius, and DEATH_PENALTY more "
                     "on the step it dies. terminated: the game is set, nobody is left, or agent 0 is dead "
                     "(with play_out=True, only the game's own end counts). truncated: max_steps reached.")
        .def(py::init<int, bool>(), py::arg("max_steps") = defaultMaxSteps, py::arg("play_out") = false)
        .def("reset", &Game::reset, py::arg("seed") = py::none(),
             "Lays out the game of `seed` (default: the seed after the last one, from 1). Returns (obs, info).")
        .def("step", &Game::step, py::arg("action"),
             "Returns (obs, reward, terminated, truncated, info).")
        .def("render", &Game::render, "The frame as an RGB array of shape (height, width, 3).")
        .def_property_readonly("seed", [](const Game &g) { return g.core.seed(); })
        .def_property_readonly("steps", [](const Game &g) { return g.core.steps(); });

    py::class_<VectorGame>(m, "VectorGame",
                           "n games stepped in one call. Each game that ends is laid out again at once with "
                           "the next seed not played yet; its obs is then the new game's, and info tells "
                           "ended_seed, agent0_survived, agent0_radius and agent0_rank of the game that ended.")
        .def(py::init<int, const py::object &, int, bool>(), py::arg("n"), py::arg("seed") = 1,
             py::arg("max_steps") = defaultMaxSteps, py::arg("play_out") = false)
        .def("reset", &VectorGame::reset, py::arg("seeds") = py::none(),
             "Lays out games seed .. seed + n - 1, or the n `seeds` given. Returns (obs, info).")
        .def("step", &VectorGame::step, py::arg("actions"),
             "actions: ints of shape (n,). Returns (obs, rewards, terminated, truncated, info).")
        .def("__len__", &VectorGame::size);
}
